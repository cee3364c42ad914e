#include "widgets/fetch_causes.h"

#include "engine/cause_text.h"

namespace qv::widgets {

QString ShownCause(const std::string& cause) { return QString::fromStdString(CauseText(cause)); }

QString FailedFetchDetail(const QString& url, const std::string& cause) {
    QString detail = QStringLiteral("网址：") + url;
    if (!cause.empty()) detail += QStringLiteral("\r\n原因：") + ShownCause(cause);
    return detail;
}

}  // namespace qv::widgets
