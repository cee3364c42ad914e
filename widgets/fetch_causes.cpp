#include "widgets/fetch_causes.h"

#include <string_view>

namespace qv::widgets {
namespace {

struct CauseText {
    std::string_view cause;  // as the fetcher writes it
    const char* shown;
};

// One row per cause the fetcher writes; a new cause (a proxy's, say) is one more row.
constexpr CauseText kCauseTexts[] = {
    {"timeout", "超时"},
    {"connection refused", "连接被拒绝"},
    {"connection reset", "连接被重置"},
    {"cannot connect", "无法连接"},
    {"host not found", "找不到服务器"},
    {"too many redirects", "重定向次数过多"},
    {"redirect to a non-web address", "重定向到非网页地址"},
    {"not a web address", "不是网页地址"},
    {"malformed URL", "网址格式错误"},
    {"body too large", "网页太大"},
    {"connection closed without an answer", "连接被关闭，没有应答"},
    {"send error", "发送数据出错"},
    {"receive error", "接收数据出错"},
    {"stopped", "已停止"},
    {"client error", "程序内部错误"},
};

struct StatusText {
    int status;
    const char* shown;
};

constexpr StatusText kStatusTexts[] = {
    {400, "请求无效"},       {401, "需要登录"},       {403, "禁止访问"},
    {404, "网页不存在"},     {407, "代理服务器需要登录"}, {408, "请求超时"},
    {410, "网页已删除"},     {429, "请求过多"},       {500, "服务器内部错误"},
    {502, "网关错误"},       {503, "服务暂时不可用"}, {504, "网关超时"},
};

constexpr std::string_view kHttpPrefix = "HTTP ";

}  // namespace

QString ShownCause(const std::string& cause) {
    for (const CauseText& row : kCauseTexts)
        if (row.cause == cause) return QString::fromUtf8(row.shown);
    const QString text = QString::fromStdString(cause);
    if (std::string_view(cause).substr(0, kHttpPrefix.size()) == kHttpPrefix) {
        bool number = false;
        const int status = text.mid(static_cast<qsizetype>(kHttpPrefix.size())).toInt(&number);
        for (const StatusText& row : kStatusTexts)
            if (number && row.status == status)
                return QStringLiteral("%1（%2）").arg(text, QString::fromUtf8(row.shown));
    }
    return text;
}

QString FailedFetchDetail(const QString& url, const std::string& cause) {
    QString detail = QStringLiteral("网址：") + url;
    if (!cause.empty()) detail += QStringLiteral("\r\n原因：") + ShownCause(cause);
    return detail;
}

}  // namespace qv::widgets
