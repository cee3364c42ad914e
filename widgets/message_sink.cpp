#include "widgets/message_sink.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "widgets/dialog_ex.h"

namespace qv::widgets {
namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

void DialogMessageSink::ShowErrorDetail(const std::string& message, const std::string& detail) {
    widgets::ShowErrorDetail(Q(message), Q(detail));
}
void DialogMessageSink::ShowError(const std::string& message) { widgets::ShowError(Q(message)); }
void DialogMessageSink::ShowWarning(const std::string& message) { widgets::ShowWarning(Q(message)); }
void DialogMessageSink::ShowInfo(const std::string& message) { widgets::ShowInfo(Q(message)); }
bool DialogMessageSink::AskConfirm(const std::string& message) {
    return widgets::AskConfirm(Q(message)) == mrYes;
}
void DialogMessageSink::RequestApplicationEnd() {
    // Called before the loop runs (a failed connection at start-up): quit() alone would
    // be lost, so it is queued to run once the loop is up.
    if (auto* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
}

}  // namespace qv::widgets
