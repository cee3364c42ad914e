#include "tasks/task_commands.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QTimeZone>
#include <QHeaderView>
#include <QPainter>
#include <QProgressDialog>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
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
#include "engine/markup.h"
#include "tasks/add_task_dialog.h"
#include "tasks/proxy_setting.h"
#include "tasks/command_client.h"
#include "widgets/grids.h"
#include "widgets/member_grid.h"
#include "tasks/search_host.h"
#include "tasks/task_pages.h"
#include "tasks/task_property_dialog.h"
#include "widgets/dialog_ex.h"
#include "widgets/fetch_causes.h"

namespace qv::tasks {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

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
    // What the task searches for, shown beside its name (see InitTaskListGrid).
    kKeywordColumn,
    kTaskListColumns
};
constexpr int kFigureWidths[] = {50, 56, 56, 96, 78, 64, 120};
// The name and keyword columns fit their texts within these bounds.
constexpr int kFittedMinWidth = 60;
constexpr int kFittedMaxWidth = 240;
// Counters are read this often; the collection threads never wait for it.
constexpr int kProgressRefreshMs = 300;

// Draws a progress bar in a cell whose Qt::UserRole holds a percentage.
class ProgressBarDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        const QVariant value = index.data(Qt::UserRole);
        if (!value.isValid()) return;
        QStyleOptionProgressBar bar;
        bar.rect = option.rect.adjusted(2, 2, -2, -2);
        bar.minimum = 0;
        bar.maximum = 100;
        bar.progress = value.toInt();
        bar.text = QStringLiteral("%1%").arg(bar.progress);
        bar.textVisible = true;
        bar.textAlignment = Qt::AlignCenter;
        bar.state = option.state | QStyle::State_Horizontal;
        bar.palette = option.palette;
        const QWidget* view = option.widget;
        (view ? view->style() : QApplication::style())->drawControl(QStyle::CE_ProgressBar, &bar, painter, view);
    }
};

QString Duration(std::chrono::seconds left) {
    const long long s = left.count();
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

const QString kStopAllReason = QStringLiteral("所有任务被中止");

const QString kRefillConfirm =
    QStringLiteral("这个任务已经被采集过，如果需要重新采集，将会将原有的数据删除。确认吗？");
const QString kContinueChoice = QStringLiteral("继续上次的抓取");
const QString kNewOnlyChoice = QStringLiteral("只采集新公司");
const QString kRestartChoice = QStringLiteral("重新开始");
const QString kCancelChoice = QStringLiteral("取消");

const QString kCollectedElsewhere = QStringLiteral("另一个程序正在采集这个任务");

// A file's UTC time ("YYYY-MM-DD HH:MM:SS") in the user's local time.
QString LocalTime(const std::string& utc) {
    QDateTime at = QDateTime::fromString(QString::fromStdString(utc), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!at.isValid()) return {};
    at.setTimeZone(QTimeZone::utc());
    return at.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

const QString kFileError = QStringLiteral(
    "生成任务文件时产生错误。\r\n\r\n请确保软件运行目录下面的data目录下面的任务名称不重复。");

// The first result page is read off the GUI thread so the window keeps painting while a
// slow marketplace answers; a progress box lets the user give up on one that hangs.
// nullopt when the user cancelled.
std::optional<FetchResult> FetchFirstPage(QWidget* owner, const std::string& url) {
    std::atomic<bool> stop{false};
    auto pending = std::async(std::launch::async, [url, &stop] {
        CommandClient client(&stop);
        return FetchPage(url, client.client());
    });
    QProgressDialog progress(QStringLiteral("正在读取满足条件的搜索结果……"), QStringLiteral("取消"), 0, 0, owner);
    progress.setWindowTitle(widgets::ApplicationTitle());
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    // Shown only when the answer is slow, so a quick fetch does not flash a box.
    auto shown_after = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    while (pending.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
        if (!progress.isVisible() && !stop && std::chrono::steady_clock::now() > shown_after)
            progress.show();
        QApplication::processEvents();
        if (progress.wasCanceled()) stop = true;
    }
    FetchResult page = pending.get();
    if (stop) return std::nullopt;
    return page;
}

std::string InsertTaskStatementFor(const QString& name, const QString& remark,
                                   const TAddTaskResult& r, const std::string& url) {
    return InsertTaskStatement(TaskRow{S(name), r.Province, r.City, r.BiztypeName, r.EstablishedYearName,
                                       r.CategoryLargeName, r.onlyAliMember, r.onlyOnlineMember, url,
                                       S(remark)});
}

void RemoveDataFile(const std::string& path) {
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::filesystem::remove(path + suffix, ec);
        if (ec) throw std::runtime_error("无法删除任务文件 " + path + "：" + ec.message());
    }
}

}  // namespace

std::string TaskFilePath(const QString& name) { return TaskDataFilePath(AppInfo->DataDir, S(name)); }

TaskCommands::TaskCommands(QWidget* window, QTableWidget* task_list, TaskPages& pages,
                           TaskActions actions, std::function<void(const QString&)> set_status)
    : QObject(window), window_(window), taskListSG_(task_list), pages_(pages),
      actions_(std::move(actions)), set_status_(std::move(set_status)) {
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
    progress_timer_.setInterval(kProgressRefreshMs);
    connect(&progress_timer_, &QTimer::timeout, this, &TaskCommands::RefreshProgress);
    pages_.SetCloseGuard([this](TTaskTab& tab) { return ClosePageGuard(tab); });
    connect(&pages_, &TaskPages::taskPageChosen, this, &TaskCommands::SelectTaskRow);
    connect(taskListSG_, &QTableWidget::currentCellChanged, this,
            [this](int row, int column) { taskListSGSelectCell(column, row); });
    connect(taskListSG_, &QTableWidget::cellDoubleClicked, this, [this] { doViewData(); });
}

TaskCommands::~TaskCommands() = default;

void TaskCommands::InitTaskListGrid() {
    QTableWidget* grid = taskListSG_;
    widgets::ApplyGridLook(grid);
    grid->setColumnCount(kTaskListColumns);
    grid->setHorizontalHeaderLabels({QStringLiteral("序号"), QStringLiteral("任务名称"),
                                     QStringLiteral("备注"), QStringLiteral("任务编号"),
                                     QStringLiteral("搜索URL"), QStringLiteral("状态"),
                                     QStringLiteral("已采集"), QStringLiteral("总数"),
                                     QStringLiteral("进度"), QStringLiteral("速度"),
                                     QStringLiteral("剩余时间"), QStringLiteral("上次采集"),
                                     QStringLiteral("关键词")});
    // Remarks of tasks made alike read alike; the keyword tells them apart, so it stands
    // beside the name.
    grid->horizontalHeader()->moveSection(kKeywordColumn, 2);
    grid->setItemDelegateForColumn(kProgressColumn, new ProgressBarDelegate(grid));
    grid->verticalHeader()->hide();
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setToolTip(QStringLiteral("双击打开已经采集过的任务"));
    grid->setColumnWidth(0, 40);
    grid->setColumnWidth(1, 200);
    grid->setColumnWidth(kKeywordColumn, 100);
    grid->setColumnHidden(3, true);
    grid->setColumnHidden(4, true);
    for (int c = kStateColumn; c <= kLastRunColumn; ++c)
        grid->setColumnWidth(c, std::max(kFigureWidths[c - kStateColumn],
                                         grid->horizontalHeader()->sectionSizeHint(c)));
    grid->setRowCount(1);
    ResizeTaskListGrid();
}

void TaskCommands::FitTaskListColumns() {
    for (int c : {1, static_cast<int>(kKeywordColumn)}) {
        taskListSG_->resizeColumnToContents(c);
        taskListSG_->setColumnWidth(c, std::clamp(taskListSG_->columnWidth(c), kFittedMinWidth, kFittedMaxWidth));
    }
    ResizeTaskListGrid();
}

void TaskCommands::ResizeTaskListGrid() {
    // The remark takes what the other shown columns leave.
    int others = 0;
    for (int c = 0; c < kTaskListColumns; ++c)
        if (c != 2 && !taskListSG_->isColumnHidden(c)) others += taskListSG_->columnWidth(c);
    taskListSG_->setColumnWidth(2, std::max(60, taskListSG_->viewport()->width() - others));
}

void TaskCommands::LoadTasks() {
    cdsTasks_ = MiddleObj->QueryRecords("SELECT * FROM Tasks ORDER BY ID").value_or(DataPacket{});
}

void TaskCommands::ReloadTasksIfChanged() {
    std::optional<DataPacket> now = MiddleObj->QueryRecords("SELECT COUNT(*) AS n, MAX(ID) AS last FROM Tasks");
    if (!now) return;
    long long loaded_last = 0;
    for (size_t r = 0; r < cdsTasks_.rows.size(); ++r) loaded_last = std::max(loaded_last, cdsTasks_.Integer(r, "ID"));
    if (now->Integer(0, "n") == static_cast<long long>(cdsTasks_.rows.size()) && now->Integer(0, "last") == loaded_last)
        return;
    LoadTasks();
    FillTaskListGrid();
    UpdateTaskActions(SelectedNumber());
    UpdateCommandActions();
}

void TaskCommands::FillTaskListGrid() {
    int current = taskListSG_->currentRow();
    QSignalBlocker block(taskListSG_);
    taskListSG_->clearContents();
    int n = static_cast<int>(cdsTasks_.rows.size());
    taskListSG_->setRowCount(std::max(1, n));
    for (int r = 0; r < n; ++r) {
        size_t row = static_cast<size_t>(r);
        widgets::SetCellText(taskListSG_, r, 0, QString::number(r + 1));
        widgets::SetCellText(taskListSG_, r, 1, Q(Trim(cdsTasks_.Text(row, "TaskName"))));
        widgets::SetCellText(taskListSG_, r, 2, Q(Trim(cdsTasks_.Text(row, "Remark"))));
        widgets::SetCellText(taskListSG_, r, 3, Q(cdsTasks_.Text(row, "ID")));
        widgets::SetCellText(taskListSG_, r, 4, Q(cdsTasks_.Text(row, "searchURL")));
        widgets::SetCellText(taskListSG_, r, kKeywordColumn, Q(SearchSubjectOf(cdsTasks_.Text(row, "searchURL"))));
    }
    FitTaskListColumns();
    RefreshTaskStates();
    RefreshProgress();
    // The grid always has a current row, as a string grid does.
    current = std::clamp(current, 0, taskListSG_->rowCount() - 1);
    taskListSG_->setCurrentCell(current, 1);
}

int TaskCommands::SelectedRow() const { return std::max(0, taskListSG_->currentRow()); }

QString TaskCommands::SelectedCell(int column) const {
    const QTableWidgetItem* item = taskListSG_->item(SelectedRow(), column);
    return item ? item->text() : QString();
}

QString TaskCommands::SelectedNumber() const { return SelectedCell(3).trimmed(); }
QString TaskCommands::SelectedName() const { return SelectedCell(1).trimmed(); }
QString TaskCommands::SelectedUrl() const { return SelectedCell(4); }

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
    set_status_(QStringLiteral("共有 %1 个任务正在运行,已完成 %2 个，暂停 %3 个")
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

namespace {

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

void TaskCommands::doAddTask() {
    TAddTaskResult search;
    // After a failed count fetch the dialog comes back with what was entered.
    for (bool again = false;; again = true) {
        if (ShowAddTaskDialog(window_, search, again) != widgets::mrOk) break;
        std::string url = BuildSearchUrl(search, SearchHost(AppInfo->SettingsFile));
        std::optional<FetchResult> fetched = FetchFirstPage(window_, url);
        if (!fetched) break;
        const FetchResult& page = *fetched;
        if (!Trim(page.error).empty()) {
            QString why = Q(page.error);
            if (!page.cause.empty()) why += QStringLiteral("：") + widgets::ShownCause(page.cause);
            widgets::ShowErrorDetail(
                QStringLiteral("抓取满足条件的任务数据时产生错误，错误信息如下：\r\n") + why,
                widgets::FailedFetchDetail(Q(url), page.cause));
            continue;
        }
        QString count = QString::fromStdU16String(Trim(ResultCountText(DecodeAndNormalize(page.body))));
        QString name, remark;
        if (ShowTaskPropertyDialog(window_, count, search, name, remark) == widgets::mrOk) {
            MiddleObj->ExecuteSQL(InsertTaskStatementFor(name, remark, search, url));
            LoadTasks();
            FillTaskListGrid();
            SelectTaskRow(name);
            if (!CreateTaskDataFile(name)) return;
        }
        break;
    }
    UpdateTaskActions(SelectedNumber());
    UpdateCommandActions();
}

std::optional<RunKind> TaskCommands::PrepareDataFile(const QString& name) {
    std::string path = UsableTaskFilePath(name);
    if (path.empty()) return std::nullopt;
    if (!std::filesystem::exists(path)) {
        if (!CreateTaskDataFile(name)) return std::nullopt;
        return RunKind::Fresh;
    }
    Connection db(path, DatabaseKind::DataFile);
    SavedRun saved = ReadSavedRun(db);
    if (saved.rows <= 0) return RunKind::Fresh;
    QStringList choices;
    QString question;
    if (saved.Unfinished()) {
        choices << kContinueChoice;
        question = QStringLiteral("这个任务上次的抓取没有完成，已经保存了 %1 条记录。请选择：").arg(saved.rows);
    } else {
        question = QStringLiteral("这个任务已经被采集过，已经保存了 %1 条记录。请选择：").arg(saved.rows);
    }
    choices << kNewOnlyChoice << kRestartChoice << kCancelChoice;
    const QString chosen = choices[widgets::AskChoice(question, choices)];
    if (chosen == kContinueChoice) return RunKind::Continue;
    if (chosen == kNewOnlyChoice) return RunKind::NewOnly;
    if (chosen != kRestartChoice || widgets::AskConfirm(kRefillConfirm) != widgets::mrYes)
        return std::nullopt;
    db.Execute("DELETE FROM DataList");
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

void TaskCommands::StartRun(const QString& number, const QString& name, const QString& url,
                            RunKind kind, DataFileRunLock lock) {
    // The task's page of an earlier run or of viewing goes; the run opens its own.
    CloseTaskPageOf(name);
    TTaskTab& tab = pages_.OpenRunPage(name, TaskFilePath(name), kind != RunKind::Fresh);
    auto entry = std::make_unique<TThreadTask>();
    entry->TaskID = number.toInt();
    entry->Progress = std::make_shared<TaskProgress>();
    figures_[entry->TaskID] = RunFigures{entry->Progress, {}, {}, {}, false};
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
        Connection db(path, DatabaseKind::DataFile);
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

void TaskCommands::RefreshTaskStates(int only_task) {
    QSignalBlocker block(taskListSG_);
    for (int r = 0; r < taskListSG_->rowCount(); ++r) {
        const QString name = widgets::CellText(taskListSG_, r, 1);
        if (name.isEmpty()) continue;
        const int id = widgets::CellText(taskListSG_, r, 3).toInt();
        if (only_task >= 0 && id != only_task) continue;
        QString state, reason;
        auto ran = figures_.find(id);
        if (scheduler_.TaskInState(tsWaiting, id))
            state = QStringLiteral("等待");
        else if (scheduler_.TaskInState(tsRunning, id))
            state = QStringLiteral("运行");
        else if (scheduler_.TaskInState(tsPaused, id))
            state = QStringLiteral("暂停");
        else if (ran != figures_.end() && !ran->second.ended.isEmpty())
            state = ran->second.ended, reason = ran->second.reason;
        const bool queued = state == QStringLiteral("等待") || state == QStringLiteral("运行") ||
                            state == QStringLiteral("暂停");
        if (!queued && IsUsableTaskName(S(name))) {
            // What the file holds: after a restart the list shows how each task's last run
            // ended, its records and when, as the session that ran it did.
            const DataFileSummary file = SummarizeDataFile(TaskFilePath(name));
            if (file.collecting) {
                state = QStringLiteral("运行");
                reason = kCollectedElsewhere;
            } else if (state.isEmpty()) {
                state = Q(file.state);
            }
            if (file.collecting || ran == figures_.end())
                widgets::SetCellText(taskListSG_, r, kStoredColumn,
                                     file.exists ? QString::number(file.records) : QString());
            widgets::SetCellText(taskListSG_, r, kLastRunColumn, LocalTime(file.last_run_end));
        }
        widgets::SetCellText(taskListSG_, r, kStateColumn, state);
        if (QTableWidgetItem* item = taskListSG_->item(r, kStateColumn)) item->setToolTip(reason);
    }
}

void TaskCommands::RefreshProgress() {
    QSignalBlocker block(taskListSG_);
    const auto now = ProgressMeter::Clock::now();
    for (int r = 0; r < taskListSG_->rowCount(); ++r) {
        auto ran = figures_.find(widgets::CellText(taskListSG_, r, 3).toInt());
        if (widgets::CellText(taskListSG_, r, 1).isEmpty() || ran == figures_.end()) continue;
        RunFigures& f = ran->second;
        const bool live = f.ended.isEmpty();
        const long long total = f.progress->total, handled = f.progress->handled;
        const int id = ran->first;
        const bool paused = live && scheduler_.TaskInState(tsPaused, id);
        if (live) {
            // A pause is no slow-down: the speed after it is measured afresh.
            if (paused)
                f.paused = true;
            else if (std::exchange(f.paused, false))
                f.meter = ProgressMeter{};
            if (!paused) f.meter.Sample(now, handled);
            const QString state = scheduler_.TaskInState(tsWaiting, id) ? QStringLiteral("等待")
                                  : paused                               ? QStringLiteral("暂停")
                                                                         : QStringLiteral("运行");
            widgets::SetCellText(taskListSG_, r, kStateColumn, state);
        }
        widgets::SetCellText(taskListSG_, r, kStoredColumn, QString::number(f.progress->stored.load()));
        widgets::SetCellText(taskListSG_, r, kTotalColumn, total >= 0 ? QString::number(total) : QString());
        widgets::SetCellText(taskListSG_, r, kProgressColumn, QString());
        const std::optional<int> percent = f.progress->Percent();
        taskListSG_->item(r, kProgressColumn)->setData(Qt::UserRole, percent ? QVariant(*percent) : QVariant());
        const std::optional<double> speed = live && !paused ? f.meter.PerMinute() : std::nullopt;
        widgets::SetCellText(taskListSG_, r, kSpeedColumn,
                             speed ? QStringLiteral("%1 家/分").arg(std::lround(*speed)) : QString());
        const auto left = live && !paused ? f.meter.TimeLeft(total) : std::nullopt;
        widgets::SetCellText(taskListSG_, r, kLeftColumn,
                             paused ? QStringLiteral("已暂停") : left ? Duration(*left) : QString());
    }
    pages_.FollowRecordCounter();
    const bool queued = scheduler_.CountTasksInState(tsWaiting) + scheduler_.CountTasksInState(tsRunning) +
                            scheduler_.CountTasksInState(tsPaused) > 0;
    if (!queued) progress_timer_.stop();
}

void TaskCommands::TaskEnded(const TThreadTask& entry, int result_code) {
    auto ran = figures_.find(entry.TaskID);
    QString outcome;
    if (ran != figures_.end()) {
        RunFigures& f = ran->second;
        if (result_code == 0) {
            f.ended = QStringLiteral("完成");
            outcome = QStringLiteral("数据抓取完成");
        } else if (result_code == AliSpider::kSiteBlocked) {
            f.ended = QStringLiteral("已停止");
            f.reason = outcome = QString::fromUtf8(kSiteBlockedMessage);
        } else {
            f.ended = QStringLiteral("失败");
            f.reason = outcome = QStringLiteral("抓取失败");
        }
    }
    RefreshProgress();
    RefreshTaskStates(entry.TaskID);
    const bool others = scheduler_.CountTasksInState(tsWaiting) + scheduler_.CountTasksInState(tsRunning) +
                            scheduler_.CountTasksInState(tsPaused) > 0;
    if (!others) emit allTasksEnded(Q(entry.TaskName), outcome);
}

void TaskCommands::MarkQueuedStopped(const QString& reason) {
    for (auto& [id, f] : figures_) {
        if (!f.ended.isEmpty()) continue;
        f.ended = QStringLiteral("已停止");
        f.reason = reason;
    }
}

void TaskCommands::doPauseTask() {
    int id = SelectedCell(3).toInt();
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
    figures_.erase(id);
    CloseTaskPageOf(name);
    MiddleObj->ExecuteSQL("DELETE FROM Tasks WHERE ID=" + IntToStr(number.toLongLong()));
    std::string path = IsUsableTaskName(S(name)) ? TaskFilePath(name) : std::string();
    LoadTasks();
    FillTaskListGrid();
    UpdateTaskActions(SelectedNumber());
    UpdateCommandActions();
    // A task whose name cannot be a file name never had a file.
    if (!path.empty()) RemoveDataFile(path);
    widgets::ShowInfo(QStringLiteral("任务删除成功。"));
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
}

bool TaskCommands::ClosePageGuard(TTaskTab& tab) {
    int id = TaskIdOf(tab.PageKey);
    if (!TaskQueued(id)) return widgets::AskConfirm(QStringLiteral("确认要关闭这个页面吗？")) == widgets::mrYes;
    // Its thread still writes into this page: it is stopped before the page goes.
    if (widgets::AskConfirm(QStringLiteral("这个任务还在采集数据，关闭页面将中止这个任务。确认要关闭这个页面吗？")) !=
        widgets::mrYes)
        return false;
    scheduler_.StopTask(id);
    if (auto ran = figures_.find(id); ran != figures_.end() && ran->second.ended.isEmpty()) {
        ran->second.ended = QStringLiteral("已停止");
        ran->second.reason = QStringLiteral("关闭了任务页面");
    }
    RefreshTaskStates();
    UpdateTaskActions(SelectedNumber());
    return true;
}

void TaskCommands::taskListSGSelectCell(int, int row) {
    if (row < 0) return;
    const QTableWidgetItem* item = taskListSG_->item(row, 1);
    int page = pages_.FindTaskPage(item ? item->text().trimmed() : QString());
    pages_.ShowPage(page >= 0 ? page : 0);
    UpdateTaskActions(SelectedNumber());
    pages_.UpdatePageButtons();
    UpdateCommandActions();
    ShowStatusOfShownPage();
}

void TaskCommands::SelectTaskRow(const QString& name) {
    for (int r = 0; r < taskListSG_->rowCount(); ++r) {
        if (widgets::CellText(taskListSG_, r, 1) != name) continue;
        if (r == taskListSG_->currentRow())
            taskListSGSelectCell(taskListSG_->currentColumn(), r);
        else
            taskListSG_->setCurrentCell(r, 1);
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
