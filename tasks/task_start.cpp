// Starting a run of a task: the checks every start makes, the question how the run uses a
// file that holds records, the data file and its run lock, and the hand-over to the
// scheduler; and the retry of the companies whose pages failed.
#include <QString>
#include <QStringList>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/app_info.h"
#include "core/data_files.h"
#include "core/database.h"
#include "core/run_journal.h"
#include "core/run_lock.h"
#include "core/saved_tasks.h"
#include "engine/crawl.h"
#include "tasks/proxy_setting.h"
#include "tasks/task_commands.h"
#include "tasks/task_pages.h"
#include "widgets/dialog_ex.h"
#include "widgets/grids.h"

namespace qv::tasks {
namespace {

std::string S(const QString& s) { return s.toStdString(); }

const QString kRefillConfirm =
    QStringLiteral("这个任务已经被采集过，如果需要重新采集，将会将原有的数据删除。确认吗？");
const QString kContinueChoice = QStringLiteral("继续上次的抓取");
const QString kNewOnlyChoice = QStringLiteral("只采集新公司");
const QString kRestartChoice = QStringLiteral("重新开始");
const QString kRefreshChoice = QStringLiteral("更新已有公司");
const QString kCancelChoice = QStringLiteral("取消");

const QString kFileError = QStringLiteral(
    "生成任务文件时产生错误。\r\n\r\n请确保软件运行目录下面的data目录下面的任务名称不重复。");

// The data file's path; "" after an error when the name cannot be a file name (a task
// stored before names were checked when they are entered).
std::string UsableTaskFilePath(const QString& name) {
    if (IsUsableTaskName(S(name))) return TaskFilePath(name);
    widgets::ShowError(QStringLiteral("任务名称“%1”不能用作文件名，这个任务无法采集，请删除后重建。").arg(name));
    return {};
}

}  // namespace

bool TaskCommands::CreateTaskDataFile(const QString& name) {
    std::string path = UsableTaskFilePath(name);
    if (path.empty()) return false;
    if (!CreateDatabaseFile(path, true)) {
        widgets::ShowError(kFileError);
        return false;
    }
    ExecuteOnDatabaseFile(path, kCreateDataListSql);
    return true;
}

std::optional<RunKind> TaskCommands::PrepareDataFile(const QString& name) {
    std::string path = UsableTaskFilePath(name);
    if (path.empty()) return std::nullopt;
    if (!std::filesystem::exists(path)) {
        if (!CreateTaskDataFile(name)) return std::nullopt;
        return RunKind::Fresh;
    }
    // Only read until the user chose: a cancelled start leaves the file as it was.
    SavedRun saved;
    {
        Connection db(path, DatabaseKind::ReadOnly);
        saved = ReadSavedRun(db);
    }
    if (saved.rows <= 0) return RunKind::Fresh;
    QStringList choices;
    QString question;
    if (saved.Unfinished()) {
        choices << kContinueChoice;
        question = QStringLiteral("这个任务上次的抓取没有完成，已经保存了 %1 条记录。请选择：").arg(saved.rows);
    } else {
        question = QStringLiteral("这个任务已经被采集过，已经保存了 %1 条记录。请选择：").arg(saved.rows);
    }
    choices << kNewOnlyChoice << kRestartChoice << kRefreshChoice << kCancelChoice;
    const QString chosen = choices[widgets::AskChoice(question, choices)];
    if (chosen == kContinueChoice) return RunKind::Continue;
    if (chosen == kNewOnlyChoice) return RunKind::NewOnly;
    if (chosen == kRefreshChoice) return RunKind::Refresh;
    if (chosen != kRestartChoice || widgets::AskConfirm(kRefillConfirm) != widgets::mrYes)
        return std::nullopt;
    ExecuteOnDatabaseFile(path, "DELETE FROM DataList");
    return RunKind::Fresh;
}

bool TaskCommands::CanStart(const QString& name, const QString& url) {
    if (url.isEmpty()) {
        widgets::ShowWarning(QStringLiteral("没有要获取页面的网址。此任务不正确，建议删除后重建。"));
        return false;
    }
    // A page that only shows the task's records gives way to the run (StartRun); the page
    // of a run still queued does not.
    if (int page = pages_.FindTaskPage(name); page >= 0 && TaskQueued(TaskIdOf(name))) {
        pages_.ShowPage(page);
        pages_.UpdatePageButtons();
        widgets::ShowWarning(QStringLiteral("这个任务正在采集数据，不能再次开始。"));
        return false;
    }
    try {
        ReadProxySetting(AppInfo->SettingsFile);
    } catch (const ProxyError& e) {
        // Going out directly instead of through the proxies the user set is not an option.
        widgets::ShowWarning(ProxyFaultMessage(e.line(), e.fault()) + QStringLiteral("，请在“选项”中改正。"));
        return false;
    }
    // Paused and waiting tasks hold queue places too; with none free the start is refused
    // here, before the data file is touched, rather than after its page has opened.
    if (scheduler_.CountTasksInState(tsRunning) >= scheduler_.Limit() ||
        scheduler_.FindFreeQueueIndex() < 0) {
        widgets::ShowWarning(QStringLiteral("程序限制了同时运行的任务数不能超过：%1 个。").arg(scheduler_.Limit()));
        return false;
    }
    return true;
}

std::optional<DataFileRunLock> TaskCommands::TakeRunLock(const QString& name) {
    std::string path = UsableTaskFilePath(name);
    if (path.empty()) return std::nullopt;
    if (!std::filesystem::exists(path) && !CreateTaskDataFile(name)) return std::nullopt;
    DataFileRunLock lock = DataFileRunLock::TryAcquire(path);
    if (!lock) {
        widgets::ShowWarning(QStringLiteral("任务【%1】正在被另一个程序采集，请等它结束后再开始。").arg(name));
        return std::nullopt;
    }
    return lock;
}

void TaskCommands::StartRun(const QString& number, const QString& name, const QString& url,
                            RunKind kind, DataFileRunLock lock) {
    // The task's page of an earlier run or of viewing goes; the run opens its own.
    CloseTaskPageOf(name);
    TTaskTab& tab = pages_.OpenRunPage(name, TaskFilePath(name), kind != RunKind::Fresh);
    auto entry = std::make_unique<TThreadTask>();
    entry->TaskID = number.toInt();
    entry->Progress = std::make_shared<TaskProgress>();
    // A retry adds to what the file holds and leaves its run as it was.
    const bool retry = kind == RunKind::RetryFailed;
    if (retry) entry->Progress->stored = SummarizeDataFile(TaskFilePath(name)).records;
    list_.RunStarted(entry->TaskID, entry->Progress, retry);
    progress_timer_.start();
    entry->TaskName = S(name);
    entry->Url = S(url);
    entry->Sink = tab.Sink;
    entry->DataFile = TaskFilePath(name);
    entry->Kind = kind;
    entry->RunLock = std::move(lock);
    if (scheduler_.EnqueueTask(std::move(entry))) scheduler_.DispatchTasks();
    widgets::ResizeLogGrid(tab.LogGrid);
    RefreshTaskStates(number.toInt());
    UpdateTaskActions(SelectedNumber());
    pages_.UpdatePageButtons();
}

void TaskCommands::doStartTask() {
    QString number = SelectedNumber(), name = SelectedName(), url = SelectedUrl();
    if (!CanStart(name, url)) return;
    // Held from before the file is prepared (a fresh run empties it) to the run's end.
    std::optional<DataFileRunLock> lock = TakeRunLock(name);
    if (!lock) return;
    std::optional<RunKind> kind = PrepareDataFile(name);
    if (!kind) return;
    StartRun(number, name, url, *kind, std::move(*lock));
}

void TaskCommands::doRetryFailed() {
    QString number = SelectedNumber(), name = SelectedName(), url = SelectedUrl();
    if (number.isEmpty() || !CanStart(name, url)) return;
    std::string path = UsableTaskFilePath(name);
    if (path.empty()) return;
    std::vector<FailedPage> failures;
    if (std::filesystem::exists(path)) {
        Connection db(path, DatabaseKind::ReadOnly);
        failures = ReadFailedPages(db);
    }
    std::erase_if(failures, [](const FailedPage& f) {
        return f.kind == kFailedResultPage || f.contact_link.empty();
    });
    if (failures.empty()) {
        widgets::ShowInfo(QStringLiteral("这个任务没有因为网页抓取失败而跳过的公司。"));
        return;
    }
    std::optional<DataFileRunLock> lock = TakeRunLock(name);
    if (!lock) return;
    StartRun(number, name, url, RunKind::RetryFailed, std::move(*lock));
}

}  // namespace qv::tasks
