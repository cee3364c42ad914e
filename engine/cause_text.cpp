#include "engine/cause_text.h"

#include <charconv>

namespace qv {
namespace {

struct Words {
    std::string_view cause;  // as the fetcher writes it
    std::string_view shown;
};

// One row per cause the fetcher writes; a new cause is one more row.
constexpr Words kCauses[] = {
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
    {"no contact layout", "联系方式网页中没有联系方式"},
    {"no profile layout", "公司介绍网页中没有公司介绍"},
    {"proxy refused", "代理服务器拒绝连接"},
    {"proxy unreachable", "无法连接代理服务器"},
    {"proxy not found", "找不到代理服务器"},
    {"proxy timeout", "连接代理服务器超时"},
    {"proxy reset", "代理服务器断开了连接"},
    {"proxy auth", "代理服务器不接受用户名或密码"},
    {"proxy cannot connect to the site", "代理服务器连不上网站"},
    {"proxy cannot resolve the site", "代理服务器找不到网站"},
    {"proxy error", "代理服务器出错"},
};

struct StatusWords {
    int status;
    std::string_view shown;
};

constexpr StatusWords kStatuses[] = {
    {400, "请求无效"},       {401, "需要登录"},       {403, "禁止访问"},
    {404, "网页不存在"},     {407, "代理服务器需要登录"}, {408, "请求超时"},
    {410, "网页已删除"},     {429, "请求过多"},       {500, "服务器内部错误"},
    {502, "网关错误"},       {503, "服务暂时不可用"}, {504, "网关超时"},
};

constexpr std::string_view kHttp = "HTTP ";
constexpr std::string_view kProxyHttp = "proxy HTTP ";

// "HTTP 404（网页不存在）", or the text as it is for a status the table does not know.
std::string StatusText(std::string_view http_status) {
    const std::string_view digits = http_status.substr(kHttp.size());
    int status = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), status);
    std::string text(http_status);
    if (error != std::errc{} || end != digits.data() + digits.size()) return text;
    for (const StatusWords& row : kStatuses)
        if (row.status == status) return text + "（" + std::string(row.shown) + "）";
    return text;
}

}  // namespace

std::string CauseText(std::string_view cause) {
    for (const Words& row : kCauses)
        if (row.cause == cause) return std::string(row.shown);
    if (cause.starts_with(kHttp)) return StatusText(cause);
    if (cause.starts_with(kProxyHttp)) return "代理服务器应答 " + StatusText(cause.substr(kProxyHttp.size() - kHttp.size()));
    return std::string(cause);
}

std::string CauseText(std::string_view cause, std::string_view proxy) {
    std::string text = CauseText(cause);
    if (proxy.empty()) return text;
    constexpr std::string_view kProxy = "代理服务器";
    const std::string named = std::string(kProxy) + " " + std::string(proxy);
    if (cause.starts_with("proxy ")) {
        // Every proxy cause's words name the proxy server; that name gains the address.
        if (const size_t at = text.find(kProxy); at != std::string::npos) {
            const bool at_end = at + kProxy.size() == text.size();
            text.replace(at, kProxy.size(), at_end ? named : named + " ");
        }
        if (cause.starts_with(kProxyHttp)) text += "，没有转来网站的应答";
        return text;
    }
    // The proxy was reached and passed the request on: what went wrong is the site's.
    return (cause.starts_with(kHttp) ? "网站应答 " : "") + text + "，经代理服务器 " + std::string(proxy);
}

}  // namespace qv
