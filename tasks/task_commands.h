#pragma once
// The commands on the task list of the main window and its selected task: add
// (task_add.cpp), start and retry (task_start.cpp), pause and resume, stop all, delete,
// view data; the command states that follow the scheduler, and the handler through which
// tasks report their messages. The grid itself is TaskListView's.
#include <QObject>
#include <QString>

#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "core/database.h"
#include "core/task_file.h"
#include "engine/scheduler.h"
#include "engine/task_progress.h"
#include "tasks/file_stamps.h"
#include "tasks/task_list_view.h"
#include "widgets/qt_handover.h"

class QAction;
class QTableWidget;
class QWidget;

namespace qv::tasks {

class TaskPages;
struct TTaskTab;

struct TaskActions {
    QAction* actAddTask = nullptr;
    QAction* actStart = nullptr;
    QAction* actPause = nullptr;
    QAction* actPauseAll = nullptr;
    QAction* actCancel = nullptr;
    QAction* actDelTask = nullptr;
    QAction* actViewData = nullptr;
    // These take the state of actAddTask.
    std::vector<QAction*> followers;
    // Offered whenever actStart is.
    QAction* actRetryFailed = nullptr;
};

class TaskCommands : public QObject {
    Q_OBJECT
public:
    TaskCommands(QWidget* window, QTableWidget* task_list, TaskPages& pages, TaskActions actions,
                 std::function<void(const QString&)> set_status);
    ~TaskCommands() override;

    TaskScheduler& scheduler() { return scheduler_; }
    QTableWidget* taskList() const { return list_.grid(); }

    void InitTaskListGrid();
    void LoadTasks();
    // Reads the task list again when another program (quorvane-cli) added or deleted tasks
    // since it was loaded; the window calls it when it becomes active.
    void ReloadTasksIfChanged();
    void FillTaskListGrid();
    void ResizeTaskListGrid();
    // The name and keyword columns fit their texts; the remark takes the rest.
    void FitTaskListColumns();
    // The selected row's number (column 3), trimmed name (column 1) and URL (column 4).
    QString SelectedNumber() const;
    QString SelectedName() const;
    QString SelectedUrl() const;

    void UpdateTaskActions(const QString& number);
    void UpdateCommandActions();
    void ShowTaskMessage(const std::string& text, TaskSink* log);
    // The status panel as the shown task page has it: the record counter of a task data
    // page, else the running-task summary while tasks are queued, else nothing.
    void ShowStatusOfShownPage();

    void doAddTask();
    void doStartTask();
    void doPauseTask();
    void doPauseAllTask();
    void doCancelTask();
    void doDelTask();
    void doViewData();
    // 查看变化...: the task's 变化 page (also a double-click on its 上次变化 cell).
    void doViewChanges();
    // A double-click on a change: the task's records with that record selected.
    void ShowRecord(const QString& name, qint64 record_id);
    // Runs the timer or the command line made since the window last looked: said in the
    // status bar, and their tasks' 上次变化 bold until opened.
    void TellRunsNotStartedHere();
    // 重新抓取失败的公司: crawls again only the companies that the task's last run
    // skipped because a page failed, appending those that now answer.
    void doRetryFailed();
    // Column 5 of every task row (or of task `only_task` alone): its run's state (等待, 运行,
    // 暂停, 完成, 失败, 已停止); for a task that did not run in this session, what its data
    // file says (完成, 未完成, 已停止, 失败, or 运行 while another program collects it) with
    // its record count; and when the task's last run ended.
    void RefreshTaskStates(int only_task = -1);
    // Columns 6 to 10 from the runs' counters, and the state of queued tasks; runs a few
    // times a second while anything ran.
    void RefreshProgress();

    void taskListSGSelectCell(int column, int row);
    // Makes the first row of task `name` the current one (a page was picked by its tab).
    void SelectTaskRow(const QString& name);
    // Every task of the list with its data file, in list order; the path is empty for a
    // name that cannot be a file name.
    std::vector<TaskFile> TaskFiles() const;
    // The exit query: true when the window may close.
    bool CloseQuery();
    // What destroying the window does: close the pages, empty the scheduler.
    void Shutdown();

signals:
    // The last task that was queued has ended: its name and how it ended.
    void allTasksEnded(const QString& name, const QString& outcome);

private:
    bool ClosePageGuard(TTaskTab& tab);
    // Waiting, running or paused.
    bool TaskQueued(int id) const;
    // Closes the task's page, if one is open, without asking.
    void CloseTaskPageOf(const QString& name);
    void ShowRunSummary();
    // False (after the file error) when the data file cannot be made.
    bool CreateTaskDataFile(const QString& name);
    // How the task's run uses its data file; nothing when the user keeps the file as it
    // is (cancelled, or declined to empty it).
    std::optional<RunKind> PrepareDataFile(const QString& name);
    // The checks every start makes before it touches the data file; false after a warning.
    bool CanStart(const QString& name, const QString& url);
    // The run lock of the task's data file (made when missing); nothing, after a warning,
    // while another program collects the file.
    std::optional<DataFileRunLock> TakeRunLock(const QString& name);
    // Opens the run page and hands the task, with its file's lock, to the scheduler.
    void StartRun(const QString& number, const QString& name, const QString& url, RunKind kind,
                  DataFileRunLock lock);
    int TaskIdOf(const QString& name) const;
    void TaskEnded(const TThreadTask& entry, int result_code);
    // Every task of the queue is now over, with `reason` as its state's tooltip.
    void MarkQueuedStopped(const QString& reason);
    void ShowPauseCaptions();
    // Reads the task list and the states of tasks again where another program (quorvane-cli,
    // the weekly timer) changed the profile's files since; a timer calls it every few seconds.
    void NoticeWorkBeside();

    QWidget* window_;
    TaskPages& pages_;
    TaskActions actions_;
    std::function<void(const QString&)> set_status_;
    DataPacket cdsTasks_;
    widgets::QtUiHandover handover_;
    TaskScheduler scheduler_{handover_};
    TaskListView list_;
    QTimer progress_timer_;
    FileStamps stamps_;
    QTimer beside_timer_;
};

// DataDir + name + ".db"; std::invalid_argument when the name cannot be a file name.
std::string TaskFilePath(const QString& name);

}  // namespace qv::tasks
