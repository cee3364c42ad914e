#pragma once
// The message functions and the message dialog behind them. Every message the program
// shows goes through one seam: tests install a handler that records what was shown and
// answers instead of the user.
#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QKeyEvent;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace qv::widgets {

enum class MsgDlgType { mtWarning = 0, mtError = 1, mtInformation = 2, mtConfirmation = 3, mtCustom = 4 };

// One bit per button; the dialog shows the chosen ones in bit order.
enum MsgDlgBtn : unsigned {
    mbYes = 1u << 0, mbNo = 1u << 1, mbOK = 1u << 2, mbCancel = 1u << 3,
    mbAbort = 1u << 4, mbRetry = 1u << 5, mbIgnore = 1u << 6, mbAll = 1u << 7,
    mbNoToAll = 1u << 8, mbYesToAll = 1u << 9, mbHelp = 1u << 10, mbDetails = 1u << 11,
};
using MsgDlgButtons = unsigned;

enum ModalResult : int {
    mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5,
    mrYes = 6, mrNo = 7, mrAll = 8, mrNoToAll = 9, mrYesToAll = 10,
};

// What one message function is about to show.
struct ShownMessage {
    enum class Box { Dialog, SystemError, SystemInfo, SystemQuestion, Choice };
    Box box = Box::Dialog;
    MsgDlgType kind = MsgDlgType::mtCustom;
    QString caption;
    QString message;
    QString detail;
    MsgDlgButtons buttons = 0;
    // The button captions of a Choice; its answer is the index of the one chosen.
    QStringList choices;
};

// Returns the modal result the user's answer gives. Empty = show the real dialogs.
using MessageHandler = std::function<int(const ShownMessage&)>;
// Installs `handler` and returns the one it replaces.
MessageHandler SetMessageHandler(MessageHandler handler);

// The application's title: the caption of the custom kind.
QString ApplicationTitle();
QString KindCaption(MsgDlgType kind);

class TMessageForm : public QDialog {
    Q_OBJECT
public:
    explicit TMessageForm(QWidget* parent = nullptr);
    QPlainTextEdit* detailText() const { return detail_text_; }
    QWidget* detailPanel() const { return detail_panel_; }
    // The "Details" button's fold flag.
    bool detailsShown() const { return details_shown_; }
    void toggleDetails();

    // Tool bar actions, by position: 0 copy, 1 save, 2 print, 4 help.
    void toolBarClick(int position);
    // The save action without its dialog: the name the ".txt" rule gives.
    static QString SaveFileName(const QString& chosen, bool text_filter);
    // The save action's writing part: the text as UTF-8; throws std::runtime_error on failure.
    static void WriteDetailFile(const QString& file_name, const QString& text);

    // The close box (and every other way of rejecting) answers mrCancel.
    void reject() override;

protected:
    // Escape answers the cancel button, not a plain reject.
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend std::unique_ptr<TMessageForm> CreateDetailMessageDialog(const QString&, const QString&,
                                                                   MsgDlgType, MsgDlgButtons);
    void buildDetailArea();
    void saveDetail();
    void printDetail();

    QWidget* detail_panel_ = nullptr;
    QPlainTextEdit* detail_text_ = nullptr;
    QPushButton* details_button_ = nullptr;
    QPushButton* cancel_button_ = nullptr;
    bool details_shown_ = false;
};

// Builds the dialog laid out in dialog units of the message font; not yet shown.
std::unique_ptr<TMessageForm> CreateDetailMessageDialog(const QString& message, const QString& detail,
                                                        MsgDlgType kind, MsgDlgButtons buttons);

int DetailMessageDlg(const QString& message, const QString& detail, MsgDlgType kind,
                     MsgDlgButtons buttons);
void ShowErrorDetail(const QString& message, const QString& detail);
void ShowError(const QString& message);
void ShowWarning(const QString& message);
void ShowInfo(const QString& message);
// mrYes, mrNo, or mrCancel when the dialog was closed otherwise.
int AskConfirm(const QString& message);
// The system's own plain boxes.
void ShowErrorBox(const QString& message);
void ShowInfoBox(const QString& message);
// The system's OK/Cancel question box with the question icon; mrOk or mrCancel.
int AskQuestion(const QString& caption, const QString& message);
// A question whose buttons carry captions of their own, the last one cancelling: the
// index of the button chosen, the last one's when the box was closed otherwise.
int AskChoice(const QString& message, const QStringList& choices);

}  // namespace qv::widgets
