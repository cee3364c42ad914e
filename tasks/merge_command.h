#pragma once
// 任务 → 合并导出...: the records of the chosen tasks as one spreadsheet, each company once
// with the tasks that held it. The dialog gathers the choices; the merge itself runs off
// the GUI thread behind a progress box that cancels, and a failure keeps the dialog open
// with what was chosen.
#include <QDialog>
#include <QString>

#include <optional>
#include <vector>

#include "core/task_file.h"
#include "export/export_file.h"
#include "export/merge.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QListWidget;

namespace qv::tasks {

// The merge's progress box shows once it has run this long.
inline constexpr int kMergeProgressAfterMs = 400;

class MergeDialog : public QDialog {
    Q_OBJECT
public:
    // `tasks` in task-list order, all ticked; one without a data file cannot be ticked.
    explicit MergeDialog(std::vector<TaskFile> tasks, QWidget* parent = nullptr,
                         int progress_after_ms = kMergeProgressAfterMs);

    QListWidget* taskList() const { return tasks_list_; }
    QLineEdit* fileEdit() const { return file_edit_; }
    // 附加国际格式电话.
    QCheckBox* phoneColumns() const { return phones_; }
    // The ticked tasks in list order.
    std::vector<TaskFile> ChosenTasks() const;
    exporting::DedupRule Rule() const;
    void SetRule(exporting::DedupRule rule);

    // "合并导出": checks the choices and merges; closes only when the file was written.
    void accept() override;

private:
    void Browse();
    void TickAll(bool ticked);
    // The file name as typed, with ".xlsx" when it has no extension; empty after a
    // warning when it cannot be used.
    QString TargetPath();

    std::vector<TaskFile> tasks_;
    int progress_after_ms_;
    QListWidget* tasks_list_ = nullptr;
    QButtonGroup* rules_ = nullptr;
    QLineEdit* file_edit_ = nullptr;
    QCheckBox* phones_ = nullptr;
    QString confirmed_path_;  // replacing it was agreed to in the save dialog
    QString confirmed_type_;  // the file type chosen there
};

void doMergeExport(QWidget* parent, std::vector<TaskFile> tasks);

}  // namespace qv::tasks
