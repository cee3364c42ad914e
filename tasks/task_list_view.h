#pragma once
// The task list grid of the main window: its columns, their widths, the rows of the saved
// tasks, and the state and progress columns that follow each task's run.
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <set>

#include "core/database.h"
#include "engine/scheduler.h"
#include "engine/task_progress.h"

class QTableWidget;

namespace qv::tasks {

// The columns after the first five: the run's state (or whether a task's last run did not
// finish, after a stop, a crash or a kill, so the user sees what can be continued) and its
// progress figures.
enum TaskListColumn {
    kStateColumn = 5,
    kStoredColumn,
    kTotalColumn,
    kProgressColumn,
    kSpeedColumn,
    kLeftColumn,
    kLastRunColumn,  // when the task's last run ended, from its file
    // What the task searches for, shown beside its name (see Init).
    kKeywordColumn,
    // What the task's last run found ("新增 12 · 变更 5 · 消失 3"), shown after kLastRunColumn.
    kChangesColumn,
    kTaskListColumns
};

class TaskListView {
public:
    TaskListView(QTableWidget* grid, const TaskScheduler& scheduler) : grid_(grid), scheduler_(scheduler) {}

    QTableWidget* grid() const { return grid_; }

    void Init();
    // One row per task of `tasks` (the Tasks table), or one empty row; the signals of the
    // grid are the caller's to block.
    void Fill(const DataPacket& tasks);
    // Makes `row` (clamped to the rows there are) the current one.
    void SetCurrentRow(int row);
    void Resize();
    // The name and keyword columns fit their texts; the remark takes the rest.
    void FitColumns();

    int SelectedRow() const;
    QString SelectedCell(int column) const;

    // A run of task `id` began, counting into `progress`. `shows_file`: a retry, which adds
    // to what the file holds and leaves its run as it was, so the list goes on showing the
    // file's state and records.
    void RunStarted(int id, std::shared_ptr<TaskProgress> progress, bool shows_file = false);
    // Whether task `id` has a run of this session that has ended.
    bool RunOver(int id) const {
        auto ran = figures_.find(id);
        return ran != figures_.end() && !ran->second.ended.isEmpty();
    }
    bool HasRun(int id) const { return figures_.count(id) > 0; }
    // The run of task `id` ended so, with `reason` as the state's tooltip (none: the
    // tooltip stays).
    void RunEnded(int id, const QString& ended, std::optional<QString> reason = std::nullopt);
    // Every run still queued (or task `id`'s alone) is now over.
    void LiveRunsEnded(const QString& ended, const QString& reason);
    void LiveRunEnded(int id, const QString& ended, const QString& reason);
    void ForgetRun(int id) { figures_.erase(id); }

    // Column 5 of every task row (or of task `only_task` alone): see TaskCommands.
    void RefreshStates(int only_task = -1);
    // Columns 6 to 10 from the runs' counters, and the state of queued tasks.
    void RefreshProgress();

    // Runs that ended without this window (the timer's, the command line's) and that it has
    // not told of yet: "定时更新：3 个任务，新增 12，变更 5，消失 3"; their tasks' 上次变化
    // cells are bold until opened. Nothing when there are none.
    std::optional<QString> TellUnseenRuns();
    // The user opened task `id`'s records or changes: its runs count as shown.
    void Opened(int id, const std::string& data_file);

private:
    // What the task list shows of a task that ran in this session.
    struct RunFigures {
        std::shared_ptr<TaskProgress> progress;
        ProgressMeter meter;
        QString ended;   // its end state, empty while queued
        QString reason;  // why it ended so, shown as a tooltip
        bool paused = false;  // at the last refresh
        bool shows_file = false;
    };

    // 总数 and 进度 of a task that did not run in this session, as its file keeps them.
    void ShowSavedFigures(int row, const std::string& path);

    QTableWidget* grid_;
    const TaskScheduler& scheduler_;
    std::map<int, RunFigures> figures_;  // by task ID
    std::map<int, long long> told_;      // by task ID, the last unseen run told of
    std::set<int> unseen_;               // tasks whose 上次变化 is bold
};

}  // namespace qv::tasks
