#include "tasks/merge_command.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <atomic>
#include <chrono>
#include <future>
#include <limits>
#include <optional>

#include "widgets/export_command.h"
#include "widgets/dialog_buttons.h"
#include "widgets/dialog_ex.h"
#include "widgets/save_place.h"

namespace qv::tasks {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kProgressSteps = 1000;

QString Q(const std::string& s) { return QString::fromStdString(s); }

struct Outcome {
    std::optional<exporting::MergeSummary> summary;
    QString failure;  // empty unless it failed
};

// Runs the merge on a thread of its own while the window goes on; the box appears once
// the merge has taken `show_after_ms`, and its cancel stops the merge.
Outcome MergeWithProgress(QWidget* owner, const std::vector<TaskFile>& tasks,
                          const std::string& path, exporting::ExportFormat format,
                          const exporting::MergeOptions& options, int show_after_ms) {
    std::atomic<bool> cancel{false};
    std::atomic<std::int64_t> done{0}, total{1};
    auto merging = std::async(std::launch::async, [&] {
        return exporting::MergeTasks(tasks, path, format, options,
                                     [&](std::int64_t d, std::int64_t t) {
                                         done = d;
                                         total = std::max<std::int64_t>(t, 1);
                                         return !cancel.load();
                                     });
    });
    QProgressDialog box(QStringLiteral("正在合并任务数据……"), QStringLiteral("取消"), 0,
                        kProgressSteps, owner);
    box.setObjectName(QStringLiteral("MergeProgress"));
    box.setWindowTitle(widgets::ApplicationTitle());
    box.setWindowModality(Qt::ApplicationModal);
    box.setAutoReset(false);
    box.setAutoClose(false);
    box.setMinimumDuration(std::numeric_limits<int>::max());  // shown below, not by its estimate
    const auto show_at = Clock::now() + std::chrono::milliseconds(show_after_ms);
    while (merging.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
        if (!box.isVisible() && !cancel && Clock::now() >= show_at) box.show();
        if (box.isVisible()) box.setValue(static_cast<int>(done * kProgressSteps / total));
        QApplication::processEvents();
        if (box.wasCanceled()) cancel = true;
    }
    box.close();
    Outcome outcome;
    try {
        outcome.summary = merging.get();
    } catch (const exporting::ExportCancelled&) {
    } catch (const std::exception& e) {
        outcome.failure = QString::fromUtf8(e.what());
    }
    return outcome;
}

// "xlsx" for .xlsx and so on, as the export names its files.
QString SuffixOf(exporting::ExportFormat format) {
    return QFileInfo(widgets::ExportFileName(QStringLiteral("x"), format)).suffix();
}

QString SummaryMessage(const exporting::MergeSummary& summary, exporting::ExportFormat format,
                       const QString& path) {
    QString text = QStringLiteral("合并导出完成：%1\r\n文件：%2").arg(Q(exporting::MergeSummaryText(summary, format)), path);
    for (const std::string& note : summary.notes) text += QStringLiteral("\r\n") + Q(note);
    return text;
}

}  // namespace

MergeDialog::MergeDialog(std::vector<TaskFile> tasks, QWidget* parent, int progress_after_ms)
    : QDialog(parent), tasks_(std::move(tasks)), progress_after_ms_(progress_after_ms) {
    setObjectName(QStringLiteral("MergeDlg"));
    setWindowTitle(QStringLiteral("合并导出"));
    auto* layout = new QVBoxLayout(this);

    layout->addWidget(new QLabel(QStringLiteral("要合并的任务（按任务列表的顺序）："), this));
    tasks_list_ = new QListWidget(this);
    tasks_list_->setObjectName(QStringLiteral("MergeTasksLB"));
    for (const TaskFile& task : tasks_) {
        auto* item = new QListWidgetItem(Q(task.name), tasks_list_);
        if (QFileInfo::exists(QFile::decodeName(task.path.c_str()))) {
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Checked);
        } else {
            item->setText(Q(task.name) + QStringLiteral("（还没有数据文件）"));
            item->setFlags(Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
        }
    }
    layout->addWidget(tasks_list_, 1);
    auto* tick_row = new QHBoxLayout;
    auto* all = new QPushButton(QStringLiteral("全选"), this);
    auto* none = new QPushButton(QStringLiteral("全不选"), this);
    connect(all, &QPushButton::clicked, this, [this] { TickAll(true); });
    connect(none, &QPushButton::clicked, this, [this] { TickAll(false); });
    tick_row->addWidget(all);
    tick_row->addWidget(none);
    tick_row->addStretch();
    layout->addLayout(tick_row);

    auto* rules_box = new QGroupBox(QStringLiteral("去重方式"), this);
    auto* rules_row = new QHBoxLayout(rules_box);
    rules_ = new QButtonGroup(this);
    const std::pair<const char*, exporting::DedupRule> rules[] = {
        {"按会员帐号", exporting::DedupRule::ByMemberId},
        {"按公司名称", exporting::DedupRule::ByCompanyName},
        {"不去重", exporting::DedupRule::None}};
    for (const auto& [caption, rule] : rules) {
        auto* button = new QRadioButton(QString::fromUtf8(caption), rules_box);
        rules_->addButton(button, static_cast<int>(rule));
        rules_row->addWidget(button);
    }
    rules_row->addStretch();
    SetRule(exporting::DedupRule::ByMemberId);
    rules_box->setToolTip(QStringLiteral(
        "同一家公司只保留字段最完整的一条记录（一样完整时取较晚的任务），第一列“来源任务”列出包含它的所有任务。"
        "按会员帐号时，没有会员帐号的记录按公司名称合并。"));
    layout->addWidget(rules_box);

    auto* file_row = new QHBoxLayout;
    file_row->addWidget(new QLabel(QStringLiteral("保存到："), this));
    file_edit_ = new QLineEdit(QDir(QDir::homePath()).filePath(QStringLiteral("合并导出.xlsx")), this);
    file_edit_->setObjectName(QStringLiteral("MergeFileED"));
    file_row->addWidget(file_edit_, 1);
    auto* browse = new QPushButton(QStringLiteral("浏览..."), this);
    browse->setObjectName(QStringLiteral("BrowseBTN"));
    connect(browse, &QPushButton::clicked, this, &MergeDialog::Browse);
    file_row->addWidget(browse);
    layout->addLayout(file_row);
    phones_ = new QCheckBox(QStringLiteral("附加国际格式电话"), this);
    phones_->setObjectName(QStringLiteral("PhoneColumnsCB"));
    phones_->setToolTip(QStringLiteral("在各列之后加上手机、电话、传真的国际格式（如 +8675583456789）。"));
    layout->addWidget(phones_);

    QDialogButtonBox* buttons = widgets::NewOkCancelButtons(this);
    buttons->findChild<QPushButton*>(QStringLiteral("OkBTN"))->setText(QStringLiteral("合并导出"));
    layout->addWidget(buttons);
    resize(460, 420);
}

std::vector<TaskFile> MergeDialog::ChosenTasks() const {
    std::vector<TaskFile> chosen;
    for (int i = 0; i < tasks_list_->count(); ++i)
        if (tasks_list_->item(i)->checkState() == Qt::Checked) chosen.push_back(tasks_[static_cast<size_t>(i)]);
    return chosen;
}

exporting::DedupRule MergeDialog::Rule() const {
    return static_cast<exporting::DedupRule>(rules_->checkedId());
}

void MergeDialog::SetRule(exporting::DedupRule rule) {
    rules_->button(static_cast<int>(rule))->setChecked(true);
}

void MergeDialog::TickAll(bool ticked) {
    for (int i = 0; i < tasks_list_->count(); ++i) {
        QListWidgetItem* item = tasks_list_->item(i);
        if (item->flags() & Qt::ItemIsEnabled) item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    }
}

void MergeDialog::Browse() {
    QFileDialog dialog(this, QStringLiteral("合并导出"));
    dialog.setObjectName(QStringLiteral("MergeFileDlg"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(widgets::ExportFileTypes());
    widgets::OpenAtLastSavePlace(dialog);
    dialog.selectFile(QFileInfo(file_edit_->text()).fileName());
    auto follow_type = [&dialog](const QString& type) {
        if (auto format = widgets::ExportFormatOfType(type))
            dialog.setDefaultSuffix(SuffixOf(*format));
    };
    follow_type(dialog.selectedNameFilter());
    connect(&dialog, &QFileDialog::filterSelected, &dialog, follow_type);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    widgets::RememberSavePlace(dialog);
    const widgets::ExportChoice choice =
        widgets::ChooseExport(dialog.selectedFiles().front(), dialog.selectedNameFilter());
    confirmed_path_ = choice.path;
    confirmed_type_ = dialog.selectedNameFilter();
    file_edit_->setText(confirmed_path_);
}

QString MergeDialog::TargetPath() {
    QString path = file_edit_->text().trimmed();
    if (path.isEmpty()) {
        widgets::ShowWarning(QStringLiteral("请输入或选择要保存的文件。"));
        return {};
    }
    path = widgets::ExportFileName(path, exporting::ExportFormat::Xlsx);
    if (path != confirmed_path_ && QFileInfo::exists(path) &&
        widgets::AskConfirm(QStringLiteral("文件 %1 已经存在，要替换它吗？").arg(path)) != widgets::mrYes)
        return {};
    return path;
}

void MergeDialog::accept() {
    std::vector<TaskFile> chosen = ChosenTasks();
    if (chosen.empty()) {
        widgets::ShowWarning(QStringLiteral("请至少选择一个要合并的任务。"));
        return;
    }
    const QString path = TargetPath();
    if (path.isEmpty()) return;
    file_edit_->setText(path);
    // A CRM type chosen in the save dialog holds for the file chosen there.
    widgets::ExportChoice choice = widgets::ChooseExport(path, path == confirmed_path_ ? confirmed_type_ : QString());
    choice.phone_columns = phones_->isChecked();
    const exporting::ExportFormat format = choice.format;
    exporting::MergeOptions options;
    options.rule = Rule();
    options.output = widgets::ExportOptionsOf(choice, QString());
    Outcome outcome =
        MergeWithProgress(this, chosen, QFile::encodeName(path).toStdString(), format, options, progress_after_ms_);
    if (outcome.summary) {
        QDialog::accept();
        widgets::ShowInfo(SummaryMessage(*outcome.summary, format, path));
    } else if (!outcome.failure.isEmpty()) {
        widgets::DetailMessageDlg(
            QStringLiteral("合并导出失败。\r\n\r\n文件：%1\r\n原因：%2").arg(path, outcome.failure),
            outcome.failure, widgets::MsgDlgType::mtWarning, widgets::mbOK | widgets::mbDetails);
    }
    // A cancelled merge says nothing; the dialog stays for another try.
}

void doMergeExport(QWidget* parent, std::vector<TaskFile> tasks) {
    if (tasks.empty()) {
        widgets::ShowWarning(QStringLiteral("任务列表中没有任务。"));
        return;
    }
    MergeDialog dialog(std::move(tasks), parent);
    dialog.exec();
}

}  // namespace qv::tasks
