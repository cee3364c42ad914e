// Placeholder until the dialog's layout lands: a plain form with the message and buttons.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/dialog_ex.h"

namespace qv::ui {

TMessageForm::TMessageForm(QWidget* parent) : QDialog(parent) {}
void TMessageForm::toggleDetails() { details_shown_ = !details_shown_; }
void TMessageForm::toolBarClick(int) {}
QString TMessageForm::SaveFileName(const QString& chosen, bool) { return chosen; }
void TMessageForm::buildDetailArea() {}
void TMessageForm::saveDetail() {}
void TMessageForm::printDetail() {}

std::unique_ptr<TMessageForm> CreateDetailMessageDialog(const QString& message, const QString& detail,
                                                        MsgDlgType kind, MsgDlgButtons buttons) {
    auto form = std::make_unique<TMessageForm>();
    form->setWindowTitle(KindCaption(kind));
    auto* layout = new QVBoxLayout(form.get());
    layout->addWidget(new QLabel(message, form.get()));
    auto* ok = new QPushButton(QStringLiteral("确定"), form.get());
    QObject::connect(ok, &QPushButton::clicked, form.get(), [f = form.get()] { f->done(mrOk); });
    layout->addWidget(ok);
    return form;
}

}  // namespace qv::ui
