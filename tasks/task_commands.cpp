#include "tasks/task_commands.h"

#include <QAction>
#include <QApplication>
#include <QStyle>
#include <QTableWidget>

#include <filesystem>
#include <optional>
#include <system_error>

#include "core/app_info.h"
#include "core/data_files.h"
#include "core/data_module.h"
#include "core/ini_file.h"
#include "core/run_journal.h"
#include "core/run_lock.h"
#include "core/saved_tasks.h"
#include "core/text.h"
#include "engine/fetcher.h"
#include "engine/crawl.h"
#include "tasks/changes_page.h"
#include "tasks/find_page.h"
#include "tasks/proxy_setting.h"
#include "widgets/grids.h"
#include "widgets/member_grid.h"
#include "tasks/result_total.h"
#include "tasks/task_pages.h"
#include "tasks/trash.h"
#include "widgets/dialog_ex.h"

namespace qv::tasks {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// Counters are read this often; the collection threads never wait for it.
constexpr int kProgressRefreshMs = 300;
// How soon work done beside the window shows: a few stat calls each time.
constexpr int kBesideCheckMs = 2000;

const QString kStopAllReason = QStringLiteral("所有任务被中止");

// Into the desktop's trash, where the user can take it back: true when it went there;
// without a trash the file is erased.
bool TrashOrRemoveDataFile(const std::string& path) {
    if (std::filesystem::exists(path) && MoveToDesktopTrash(path)) return true;
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::filesystem::remove(path + suffix, ec);
        if (ec) throw std::runtime_error("无法删除任务文件 " + path + "：" + ec.message());
    }
    return false;
}

}  // namespace

std::string TaskFilePath(const QString& name) { return TaskDataFilePath(AppInfo->DataDir, S(name)); }

TaskCommands::TaskCommands(QWidget* window, QTableWidget* task_list, TaskPages& pages,
                           TaskActions actions, std::function<void(const QString&)> set_status)
    : QObject(window), window_(window), pages_(pages),
      actions_(std::move(actions)), set_status_(std::move(set_status)), list_(task_list, scheduler_) {
    scheduler_.SetMessageCallback(
        [this](const std::string& text, TaskSink* log) { ShowTaskMessage(text, log); });
    // The crawl asks afresh for every company, so the options dialog takes effect at once.
    scheduler_.SetCollectDetail([settings = AppInfo->SettingsFile] {
        return ReadSetting(settings, settings::kCollectCompanyDetail);
    });
    // Read when a task starts: its connections are opened then.
    scheduler_.SetConnections([settings = AppInfo->SettingsFile] {
        return ReadSetting(settings, settings::kConnectionsPerTask);
    });
    scheduler_.SetRequestInterval([settings = AppInfo->SettingsFile] {
        return ReadSetting(settings, settings::kRequestInterval);
    });
    // CanStart has refused a malformed list before a task gets here.
    scheduler_.SetProxies([settings = AppInfo->SettingsFile] {
        try {
            return ReadProxySetting(settings);
        } catch (const ProxyError&) {
            return std::vector<Proxy>{};
        }
    });
    // A run that ended, finished or not, changes what the state column shows.
    scheduler_.SetEndObserver([this](const TThreadTask& entry, int code) { TaskEnded(entry, code); });
    // What runs in the window is shown as it goes: it is never told again as news.
    scheduler_.SetRunsShown(true);
    progress_timer_.setInterval(kProgressRefreshMs);
    connect(&progress_timer_, &QTimer::timeout, this, &TaskCommands::RefreshProgress);
    beside_timer_.setInterval(kBesideCheckMs);
    connect(&beside_timer_, &QTimer::timeout, this, &TaskCommands::NoticeWorkBeside);
    beside_timer_.start();
    pages_.SetCloseGuard([this](TTaskTab& tab) { return ClosePageGuard(tab); });
    connect(&pages_, &TaskPages::taskPageChosen, this, &TaskCommands::SelectTaskRow);
    connect(task_list, &QTableWidget::currentCellChanged, this,
            [this](int row, int column) { taskListSGSelectCell(column, row); });
    connect(task_list, &QTableWidget::cellDoubleClicked, this, [this](int, int column) {
        if (column == kChangesColumn)
            doViewChanges();
        else
            doViewData();
    });
}

TaskCommands::~TaskCommands() = default;

void TaskCommands::InitTaskListGrid() { list_.Init(); }
void TaskCommands::FitTaskListColumns() { list_.FitColumns(); }
void TaskCommands::ResizeTaskListGrid() { list_.Resize(); }

void TaskCommands::LoadTasks() {
    cdsTasks_ = MiddleObj->QueryRecords("SELECT * FROM Tasks ORDER BY ID").value_or(DataPacket{});
}

void TaskCommands::ReloadTasksIfChanged() {
    std::optional<DataPacket> now = MiddleObj->QueryRecords("SELECT COUNT(*) AS n, MAX(ID) AS last FROM Tasks");
    if (!now) return;
    long long loaded_last = 0;
    for (size_t r = 0; r < cdsTasks_.rows.size(); ++r) loaded_last = std::max(loaded_last, cdsTasks_.Integer(r, "ID"));
    if (now->Integer(0, "n") != static_cast<long long>(cdsTasks_.rows.size()) || now->Integer(0, "last") != loaded_last) {
        LoadTasks();
        FillTaskListGrid();
        UpdateTaskActions(SelectedNumber());
        UpdateCommandActions();
    }
    TellRunsNotStartedHere();
}

void TaskCommands::TellRunsNotStartedHere() {
    if (std::optional<QString> told = list_.TellUnseenRuns()) set_status_(*told);
}

void TaskCommands::NoticeWorkBeside() {
    const std::string& project = AppInfo->ProjectConnStr;
    if (stamps_.Changed(project)) {
        ReloadTasksIfChanged();
        stamps_.Changed(project);  // what the reading itself touched is no news
    }
    QTableWidget* grid = list_.grid();
    std::vector<std::string> files;
    for (int r = 0; r < grid->rowCount(); ++r) {
        const QString name = widgets::CellText(grid, r, 1);
        if (name.isEmpty() || !IsUsableTaskName(S(name))) continue;
        const int id = widgets::CellText(grid, r, 3).toInt();
        const std::string path = TaskFilePath(name);
        files.push_back(path);
        if (TaskQueued(id) || !stamps_.Changed(path)) continue;
        // Another program wrote the file since: what it holds now beats this session's run.
        if (list_.RunOver(id)) list_.ForgetRun(id);
        RefreshTaskStates(id);
        stamps_.Changed(path);
    }
    stamps_.KeepOnly(files);
}

void TaskCommands::FillTaskListGrid() {
    const int current = list_.grid()->currentRow();
    QSignalBlocker block(list_.grid());
    list_.Fill(cdsTasks_);
    RefreshTaskStates();
    RefreshProgress();
    list_.SetCurrentRow(current);
}

QString TaskCommands::SelectedNumber() const { return list_.SelectedCell(3).trimmed(); }
QString TaskCommands::SelectedName() const { return list_.SelectedCell(1).trimmed(); }
QString TaskCommands::SelectedUrl() const { return list_.SelectedCell(4); }

int TaskCommands::TaskIdOf(const QString& name) const {
    for (size_t r = 0; r < cdsTasks_.rows.size(); ++r)
        if (Q(Trim(cdsTasks_.Text(r, "TaskName"))) == name)
            return static_cast<int>(cdsTasks_.Integer(r, "ID"));
    return -1;
}

// Caption and icon together; unchanged ones are left alone, as this runs on every task
// message.
void ShowCommand(QAction* action, const QString& caption, QStyle::StandardPixmap icon, QWidget* window) {
    if (action->text() == caption) return;
    action->setText(caption);
    action->setIcon(window->style()->standardIcon(icon));
}

// The pause-all button always says what a click does: the command pauses while any
// task runs and resumes only when none runs (a caption set only by the command itself could
// offer to resume while tasks ran, and a click then paused them).
void TaskCommands::ShowPauseCaptions() {
    const bool resume_all = scheduler_.CountTasksInState(tsRunning) == 0 &&
                            scheduler_.CountTasksInState(tsPaused) > 0;
    if (resume_all)
        ShowCommand(actions_.actPauseAll, QStringLiteral("继续所有任务"), QStyle::SP_MediaPlay, window_);
    else
        ShowCommand(actions_.actPauseAll, QStringLiteral("暂停所有任务"), QStyle::SP_MediaPause, window_);
}

void TaskCommands::UpdateTaskActions(const QString& number) {
    for (QAction* a : {actions_.actStart, actions_.actPause, actions_.actPauseAll, actions_.actCancel})
        a->setEnabled(false);
    ShowPauseCaptions();
    if (number.isEmpty() || number == QStringLiteral("-1")) return;
    int id = number.toInt();
    int running = scheduler_.CountTasksInState(tsRunning);
    int paused = scheduler_.CountTasksInState(tsPaused);
    if (running > 0 || paused > 0) {
        actions_.actPauseAll->setEnabled(true);
        actions_.actCancel->setEnabled(true);
    }
    bool selected_paused = scheduler_.TaskInState(tsPaused, id);
    if (scheduler_.TaskInState(tsRunning, id)) {
        actions_.actPause->setEnabled(true);
        ShowCommand(actions_.actPause, QStringLiteral("暂停当前任务"), QStyle::SP_MediaPause, window_);
    } else if (selected_paused) {
        actions_.actPause->setEnabled(true);
        ShowCommand(actions_.actPause, QStringLiteral("继续当前任务"), QStyle::SP_MediaPlay, window_);
    }
    actions_.actStart->setEnabled(!actions_.actPause->isEnabled());
    if (actions_.actRetryFailed) actions_.actRetryFailed->setEnabled(actions_.actStart->isEnabled());
}

void TaskCommands::UpdateCommandActions() {
    bool idle = scheduler_.CountTasksInState(tsRunning) == 0;
    actions_.actAddTask->setEnabled(idle);
    actions_.actDelTask->setEnabled(idle && !SelectedName().isEmpty());
    actions_.actViewData->setEnabled(idle);
    for (QAction* a : actions_.followers) a->setEnabled(idle);
}

void TaskCommands::ShowTaskMessage(const std::string& text, TaskSink* log) {
    if (window_->isVisible()) {
        // The directory page's counter stays while that page is shown.
        if (pages_.pageControl()->isVisible()) ShowRunSummary();
        if (log) log->AppendMessage(text);
    }
    UpdateTaskActions(SelectedNumber());
}

void TaskCommands::ShowRunSummary() {
    pages_.RecordCounterReplaced();
    set_status_(QStringLiteral("共有 %1 个任务正在运行，已完成 %2 个，暂停 %3 个")
                    .arg(scheduler_.CountTasksInState(tsRunning))
                    .arg(scheduler_.CountTasksInState(tsFinished))
                    .arg(scheduler_.CountTasksInState(tsPaused)));
}

void TaskCommands::ShowStatusOfShownPage() {
    if (TaskDataPage* shown = pages_.ShownPage()) {
        pages_.ShowRecordCounter(shown->record().MemberGrid->CurrentGridRow());
    } else if (scheduler_.CountTasksInState(tsWaiting) + scheduler_.CountTasksInState(tsRunning) +
                   scheduler_.CountTasksInState(tsPaused) > 0) {
        ShowRunSummary();
    } else {
        pages_.RecordCounterReplaced();
        set_status_(QString());
    }
}

bool TaskCommands::TaskQueued(int id) const {
    return id >= 0 && (scheduler_.TaskInState(tsWaiting, id) || scheduler_.TaskInState(tsRunning, id) ||
                       scheduler_.TaskInState(tsPaused, id));
}

void TaskCommands::CloseTaskPageOf(const QString& name) {
    const int page = pages_.FindTaskPage(name);
    if (page < 0) return;
    pages_.CloseTaskPage(page);
    pages_.ShowPage(std::min(page, pages_.PageCount() - 1));
    pages_.UpdatePageButtons();
}

void TaskCommands::RefreshTaskStates(int only_task) { list_.RefreshStates(only_task); }

void TaskCommands::RefreshProgress() {
    list_.RefreshProgress();
    pages_.FollowRecordCounter();
    const bool queued = scheduler_.CountTasksInState(tsWaiting) + scheduler_.CountTasksInState(tsRunning) +
                            scheduler_.CountTasksInState(tsPaused) > 0;
    if (!queued) progress_timer_.stop();
}

void TaskCommands::TaskEnded(const TThreadTask& entry, int result_code) {
    const int id = entry.TaskID;
    QString outcome;
    if (list_.HasRun(id)) {
        if (entry.Progress && entry.Progress->total >= 0) {
            try {
                SaveResultTotal(entry.DataFile, entry.Progress->total);
            } catch (const std::exception&) {
                // 总数 then shows in this session only, as it always did.
            }
        }
        stamps_.Changed(entry.DataFile);  // the run's own writes are no news
        if (result_code == 0) {
            list_.RunEnded(id, QStringLiteral("完成"));
            outcome = QStringLiteral("数据抓取完成");
        } else if (result_code == AliSpider::kSiteBlocked) {
            outcome = QString::fromUtf8(kSiteBlockedMessage);
            list_.RunEnded(id, QStringLiteral("已停止"), outcome);
        } else {
            outcome = QStringLiteral("抓取失败");
            list_.RunEnded(id, QStringLiteral("失败"), outcome);
        }
    }
    RefreshProgress();
    RefreshTaskStates(entry.TaskID);
    const bool others = scheduler_.CountTasksInState(tsWaiting) + scheduler_.CountTasksInState(tsRunning) +
                            scheduler_.CountTasksInState(tsPaused) > 0;
    if (!others) emit allTasksEnded(Q(entry.TaskName), outcome);
}

void TaskCommands::MarkQueuedStopped(const QString& reason) {
    list_.LiveRunsEnded(QStringLiteral("已停止"), reason);
}

void TaskCommands::doPauseTask() {
    int id = list_.SelectedCell(3).toInt();
    if (scheduler_.TaskInState(tsRunning, id)) {
        scheduler_.PauseResumeTasks(id, true);
        ShowCommand(actions_.actPause, QStringLiteral("继续当前任务"), QStyle::SP_MediaPlay, window_);
    } else if (scheduler_.TaskInState(tsPaused, id)) {
        scheduler_.PauseResumeTasks(id, false);
        ShowCommand(actions_.actPause, QStringLiteral("暂停当前任务"), QStyle::SP_MediaPause, window_);
    }
    scheduler_.Delay(100);
    UpdateTaskActions(SelectedNumber());
}

void TaskCommands::doPauseAllTask() {
    if (scheduler_.CountTasksInState(tsRunning) > 0) {
        scheduler_.PauseResumeTasks(-1, true);
    } else if (scheduler_.CountTasksInState(tsPaused) > 0) {
        scheduler_.PauseResumeTasks(-1, false);
    }
    scheduler_.Delay(100);
    UpdateTaskActions(SelectedNumber());
}

void TaskCommands::doCancelTask() {
    if (widgets::AskQuestion(QStringLiteral("询问"), QStringLiteral("你确定要中止所有任务吗？")) == widgets::mrOk) {
        int n = scheduler_.StopThreads();
        scheduler_.DiscardEntries();
        MarkQueuedStopped(kStopAllReason);
        RefreshProgress();
        for (int i = 1; i < pages_.PageCount(); ++i) {
            TTaskTab& tab = pages_.PageAt(i)->record();
            ShowTaskMessage(S(tab.PageKey) + "：任务被中止", tab.Sink.get());
        }
        pages_.RecordCounterReplaced();
        set_status_(QStringLiteral("成功停止了 %1 个任务").arg(n));
        RefreshTaskStates();
    }
    UpdateTaskActions(SelectedNumber());
}

void TaskCommands::doDelTask() {
    QString number = SelectedNumber(), name = SelectedName();
    if (int page = pages_.FindTaskPage(name); page >= 0) {
        pages_.ShowPage(page);
        pages_.UpdatePageButtons();
    }
    // Its file would go from under the other program's run.
    if (IsUsableTaskName(S(name)) && IsBeingCollected(TaskFilePath(name))) {
        widgets::ShowWarning(QStringLiteral("任务【%1】正在被另一个程序采集，现在不能删除。").arg(name));
        return;
    }
    QString question = QStringLiteral("你确认删除任务【 ") + name +
                       QStringLiteral(" 】吗？\r\n\r\n（删除任务的同时会把保存的历史数据一起删除。）");
    if (widgets::AskConfirm(question) != widgets::mrYes) return;
    // One question is enough: an open page of the task goes with it, a run still queued
    // (paused or waiting) is stopped first.
    const int id = static_cast<int>(number.toLongLong());
    if (TaskQueued(id)) scheduler_.StopTask(id);
    list_.ForgetRun(id);
    CloseTaskPageOf(name);
    MiddleObj->ExecuteSQL("DELETE FROM Tasks WHERE ID=" + IntToStr(number.toLongLong()));
    std::string path = IsUsableTaskName(S(name)) ? TaskFilePath(name) : std::string();
    LoadTasks();
    FillTaskListGrid();
    UpdateTaskActions(SelectedNumber());
    UpdateCommandActions();
    // A task whose name cannot be a file name never had a file.
    const bool trashed = !path.empty() && TrashOrRemoveDataFile(path);
    widgets::ShowInfo(trashed ? QStringLiteral("任务删除成功，数据文件已移到回收站，需要时可以从回收站还原。")
                              : QStringLiteral("任务删除成功。"));
}

void TaskCommands::doViewData() {
    QString number = SelectedNumber(), name = SelectedName();
    if (number.isEmpty()) return;
    if (int page = pages_.FindTaskPage(name); page >= 0) {
        pages_.ShowPage(page);
        pages_.UpdatePageButtons();
        widgets::ShowError(QStringLiteral("这个任务已经被打开。"));
        return;
    }
    pages_.OpenViewPage(name, TaskFilePath(name));
    list_.Opened(number.toInt(), TaskFilePath(name));
}

void TaskCommands::doViewChanges() {
    const QString number = SelectedNumber(), name = SelectedName();
    if (number.isEmpty() || !IsUsableTaskName(S(name))) return;
    ChangesPage* page = pages_.OpenChangesPage(name, TaskFilePath(name));
    connect(page, &ChangesPage::recordChosen, this, &TaskCommands::ShowRecord);
    list_.Opened(number.toInt(), TaskFilePath(name));
}

void TaskCommands::ShowRecord(const QString& name, qint64 record_id) {
    ShowTaskRecord(*this, pages_, name, record_id);
}

bool TaskCommands::ClosePageGuard(TTaskTab& tab) {
    int id = TaskIdOf(tab.PageKey);
    if (!TaskQueued(id)) return widgets::AskConfirm(QStringLiteral("确认要关闭这个页面吗？")) == widgets::mrYes;
    // Its thread still writes into this page: it is stopped before the page goes.
    if (widgets::AskConfirm(QStringLiteral("这个任务还在采集数据，关闭页面将中止这个任务。确认要关闭这个页面吗？")) !=
        widgets::mrYes)
        return false;
    scheduler_.StopTask(id);
    list_.LiveRunEnded(id, QStringLiteral("已停止"), QStringLiteral("关闭了任务页面"));
    RefreshTaskStates();
    UpdateTaskActions(SelectedNumber());
    return true;
}

void TaskCommands::taskListSGSelectCell(int, int row) {
    if (row < 0) return;
    const QTableWidgetItem* item = list_.grid()->item(row, 1);
    int page = pages_.FindTaskPage(item ? item->text().trimmed() : QString());
    pages_.ShowPage(page >= 0 ? page : 0);
    UpdateTaskActions(SelectedNumber());
    pages_.UpdatePageButtons();
    UpdateCommandActions();
    ShowStatusOfShownPage();
}

void TaskCommands::SelectTaskRow(const QString& name) {
    QTableWidget* grid = list_.grid();
    for (int r = 0; r < grid->rowCount(); ++r) {
        if (widgets::CellText(grid, r, 1) != name) continue;
        if (r == grid->currentRow())
            taskListSGSelectCell(grid->currentColumn(), r);
        else
            grid->setCurrentCell(r, 1);
        return;
    }
}

std::vector<TaskFile> TaskCommands::TaskFiles() const {
    std::vector<TaskFile> tasks;
    for (size_t r = 0; r < cdsTasks_.rows.size(); ++r) {
        std::string name = Trim(cdsTasks_.Text(r, "TaskName"));
        tasks.push_back({name, IsUsableTaskName(name) ? TaskFilePath(Q(name)) : std::string()});
    }
    return tasks;
}

bool TaskCommands::CloseQuery() {
    int n = scheduler_.CountRunningThreads();
    if (n == 0) return true;
    if (widgets::AskQuestion(QStringLiteral("询问"),
                        QStringLiteral("当前还有 %1 个任务在运行，确定要退出？").arg(n)) != widgets::mrOk)
        return false;
    scheduler_.StopThreads();
    return true;
}

void TaskCommands::Shutdown() {
    pages_.CloseAllPages();
    scheduler_.EmptySlots();
    scheduler_.ClearTaskQueue();
}

}  // namespace qv::tasks
