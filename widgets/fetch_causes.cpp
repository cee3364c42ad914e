#include "widgets/fetch_causes.h"

#include "engine/cause_text.h"

namespace qv::widgets {

QString ShownCause(const std::string& cause) { return QString::fromStdString(CauseText(cause)); }

QString ShownCause(const std::string& cause, const std::string& proxy) {
    return QString::fromStdString(CauseText(cause, proxy));
}

QString FailedFetchDetail(const QString& url, const std::string& cause, const std::string& proxy) {
    QString detail = QStringLiteral("网址：") + url;
    if (!cause.empty()) detail += QStringLiteral("\r\n原因：") + ShownCause(cause, proxy);
    if (!proxy.empty()) detail += QStringLiteral("\r\n代理服务器：") + QString::fromStdString(proxy);
    return detail;
}

}  // namespace qv::widgets
