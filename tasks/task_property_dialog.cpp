#include "tasks/task_property_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/task_name.h"
#include "core/data_module.h"
#include "widgets/dialog_buttons.h"
#include "core/text.h"
#include "widgets/dialog_ex.h"

namespace qv::tasks {
namespace {

QLabel* NewTotalPanel(QWidget* parent, const QString& count) {
    // A bare number reads as anything; it is the search's count of companies.
    auto* total = new QLabel(count.isEmpty() ? QStringLiteral("没有读到公司数量")
                                             : QStringLiteral("共有 %1 家公司").arg(count),
                             parent);
    total->setObjectName(QStringLiteral("pnlTotal"));
    total->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    total->setAlignment(Qt::AlignCenter);
    total->setMinimumHeight(36);
    QFont font = total->font();
    font.setBold(true);
    font.setPointSize(font.pointSize() + 5);
    total->setFont(font);
    QPalette palette = total->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    total->setPalette(palette);
    return total;
}

bool NameTaken(const std::string& name) {
    if (!MiddleObj) return false;
    auto rows = MiddleObj->QueryRecords("SELECT * FROM Tasks WHERE TaskName=" + QuotedStr(name));
    return rows && !rows->rows.empty();
}

}  // namespace

TfrmTaskProperty::TfrmTaskProperty(QWidget* owner, const QString& count,
                                   const TAddTaskResult& search)
    : QDialog(owner) {
    setWindowTitle(QStringLiteral("任务属性"));
    setFixedSize(376, 174);
    total_ = NewTotalPanel(this, count);
    name_edit_ = new QLineEdit(QString::fromStdString(DefaultTaskName(search)), this);
    name_edit_->setObjectName(QStringLiteral("edtTaskName"));
    remark_edit_ = new QPlainTextEdit(this);
    remark_edit_->setObjectName(QStringLiteral("memRemark"));
    remark_edit_->setPlainText(QString::fromStdString(DefaultTaskRemark(search)) + u'\n');
    // Enter confirms the dialog instead of starting a new line.
    remark_edit_->installEventFilter(this);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("任务名称："), name_edit_);
    form->addRow(QStringLiteral("备注说明："), remark_edit_);
    QDialogButtonBox* buttons = widgets::NewOkCancelButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(total_);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

bool TfrmTaskProperty::eventFilter(QObject* watched, QEvent* event) {
    if (watched == remark_edit_ && event->type() == QEvent::KeyPress) {
        auto key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmTaskProperty::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    name_edit_->setFocus();
}

void TfrmTaskProperty::accept() {
    std::string name = Trim(name_edit_->text().toStdString());
    // Refused here, before anything is stored: the name becomes the data file's name.
    if (std::string fault = TaskNameFault(name); !fault.empty()) {
        widgets::ShowWarning(QString::fromStdString(fault));
        name_edit_->setFocus();
        return;
    }
    if (NameTaken(name)) {
        widgets::ShowWarning(QStringLiteral("任务名称重复。"));
        name_edit_->setFocus();
        return;
    }
    name_ = QString::fromStdString(name);
    // The remark keeps its line breaks as the stored tasks write them.
    remark_ = remark_edit_->toPlainText().replace(u'\n', QStringLiteral("\r\n"));
    QDialog::accept();
}

int ShowTaskPropertyDialog(QWidget* owner, const QString& count, const TAddTaskResult& search,
                           QString& name, QString& remark) {
    TfrmTaskProperty dialog(owner, count, search);
    if (dialog.exec() != QDialog::Accepted) return widgets::mrCancel;
    name = dialog.taskName();
    remark = dialog.remark();
    return widgets::mrOk;
}

}  // namespace qv::tasks
