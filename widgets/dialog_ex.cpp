#include "widgets/dialog_ex.h"

#include <QApplication>
#include <QList>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

namespace qv::widgets {
namespace {

MessageHandler& Handler() {
    // Touched on the UI thread only; tests replace it for the length of a test.
    static MessageHandler handler;
    return handler;
}

int ShowSystemBox(const ShownMessage& m) {
    if (Handler()) return Handler()(m);
    QMessageBox::Icon icon = m.box == ShownMessage::Box::SystemError ? QMessageBox::Critical
                             : m.box == ShownMessage::Box::SystemInfo ? QMessageBox::Information
                                                                      : QMessageBox::Question;
    QMessageBox box(icon, m.caption, m.message, QMessageBox::NoButton, QApplication::activeWindow());
    QPushButton* ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    if (m.box == ShownMessage::Box::SystemQuestion)
        box.setEscapeButton(box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole));
    else
        box.setEscapeButton(ok);
    box.exec();
    return box.clickedButton() == ok ? mrOk : mrCancel;
}

}  // namespace

MessageHandler SetMessageHandler(MessageHandler handler) {
    std::swap(Handler(), handler);
    return handler;
}

QString ApplicationTitle() {
    QString name = QApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Quorvane") : name;
}

QString KindCaption(MsgDlgType kind) {
    switch (kind) {
        case MsgDlgType::mtWarning: return QStringLiteral("警告");
        case MsgDlgType::mtError: return QStringLiteral("错误");
        case MsgDlgType::mtInformation: return QStringLiteral("提示");
        case MsgDlgType::mtConfirmation: return QStringLiteral("确认");
        case MsgDlgType::mtCustom: break;
    }
    return ApplicationTitle();
}

int DetailMessageDlg(const QString& message, const QString& detail, MsgDlgType kind,
                     MsgDlgButtons buttons) {
    if (Handler()) {
        ShownMessage m{ShownMessage::Box::Dialog, kind, KindCaption(kind), message, detail, buttons, {}};
        return Handler()(m);
    }
    // Messages keep the CR LF breaks the program writes; Qt draws a bare line feed.
    QString shown = message;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    std::unique_ptr<TMessageForm> form = CreateDetailMessageDialog(shown, detail, kind, buttons);
    int result = form->exec();
    return result == QDialog::Rejected ? mrCancel : result;
}

void ShowErrorDetail(const QString& message, const QString& detail) {
    DetailMessageDlg(message, detail, MsgDlgType::mtError, mbOK | mbDetails);
}
void ShowError(const QString& message) {
    DetailMessageDlg(message, QString(), MsgDlgType::mtError, mbOK);
}
void ShowWarning(const QString& message) {
    DetailMessageDlg(message, QString(), MsgDlgType::mtWarning, mbOK);
}
void ShowInfo(const QString& message) {
    DetailMessageDlg(message, QString(), MsgDlgType::mtInformation, mbOK);
}
int AskConfirm(const QString& message) {
    return DetailMessageDlg(message, QString(), MsgDlgType::mtConfirmation, mbYes | mbNo);
}

void ShowErrorBox(const QString& message) {
    ShowSystemBox({ShownMessage::Box::SystemError, MsgDlgType::mtError, QStringLiteral("错误"),
                   message, QString(), mbOK, {}});
}
void ShowInfoBox(const QString& message) {
    ShowSystemBox({ShownMessage::Box::SystemInfo, MsgDlgType::mtInformation,
                   QStringLiteral("提示"), message, QString(), mbOK, {}});
}
int AskQuestion(const QString& caption, const QString& message) {
    return ShowSystemBox({ShownMessage::Box::SystemQuestion, MsgDlgType::mtConfirmation, caption,
                          message, QString(), mbOK | mbCancel, {}});
}

int AskChoice(const QString& message, const QStringList& choices) {
    const int last = static_cast<int>(choices.size()) - 1;
    ShownMessage m{ShownMessage::Box::Choice, MsgDlgType::mtConfirmation,
                   KindCaption(MsgDlgType::mtConfirmation), message, QString(), 0, choices};
    if (Handler()) return std::clamp(Handler()(m), 0, last);
    QString shown = message;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::Question, m.caption, shown, QMessageBox::NoButton,
                    QApplication::activeWindow());
    QList<QAbstractButton*> buttons;
    for (int i = 0; i <= last; ++i)
        buttons.append(box.addButton(choices[i], i == last ? QMessageBox::RejectRole
                                                             : QMessageBox::AcceptRole));
    if (last >= 0) {
        box.setDefaultButton(qobject_cast<QPushButton*>(buttons.front()));
        box.setEscapeButton(buttons.back());
    }
    box.exec();
    const int chosen = static_cast<int>(buttons.indexOf(box.clickedButton()));
    return chosen < 0 ? last : chosen;
}

}  // namespace qv::widgets
