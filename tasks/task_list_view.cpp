#include "tasks/task_list_view.h"

#include <QApplication>
#include <QDateTime>
#include <QFont>
#include <QHeaderView>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimeZone>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <string>
#include <utility>

#include "core/app_info.h"
#include "core/change_log.h"
#include "core/data_files.h"
#include "core/run_journal.h"
#include "core/saved_tasks.h"
#include "core/task_file.h"
#include "core/text.h"
#include "tasks/result_total.h"
#include "tasks/search_url.h"
#include "tasks/task_commands.h"
#include "widgets/grids.h"

namespace qv::tasks {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

constexpr int kFigureWidths[] = {50, 56, 56, 96, 78, 64, 120};
// The name and keyword columns fit their texts within these bounds.
constexpr int kFittedMinWidth = 60;
constexpr int kFittedMaxWidth = 240;
constexpr int kChangesWidth = 170;

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

const QString kCollectedElsewhere = QStringLiteral("另一个程序正在采集这个任务");

// A file's UTC time ("YYYY-MM-DD HH:MM:SS") in the user's local time.
QString LocalTime(const std::string& utc) {
    QDateTime at = QDateTime::fromString(QString::fromStdString(utc), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!at.isValid()) return {};
    at.setTimeZone(QTimeZone::utc());
    return at.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

}  // namespace

void TaskListView::Init() {
    QTableWidget* grid = grid_;
    widgets::ApplyGridLook(grid);
    grid->setColumnCount(kTaskListColumns);
    grid->setHorizontalHeaderLabels({QStringLiteral("序号"), QStringLiteral("任务名称"),
                                     QStringLiteral("备注"), QStringLiteral("任务编号"),
                                     QStringLiteral("搜索URL"), QStringLiteral("状态"),
                                     QStringLiteral("已采集"), QStringLiteral("总数"),
                                     QStringLiteral("进度"), QStringLiteral("速度"),
                                     QStringLiteral("剩余时间"), QStringLiteral("上次采集"),
                                     QStringLiteral("关键词"), QStringLiteral("上次变化")});
    // Remarks of tasks made alike read alike; the keyword tells them apart, so it stands
    // beside the name.
    grid->horizontalHeader()->moveSection(kKeywordColumn, 2);
    QHeaderView* header = grid->horizontalHeader();
    header->moveSection(header->visualIndex(kChangesColumn), header->visualIndex(kLastRunColumn) + 1);
    grid->setColumnWidth(kChangesColumn, kChangesWidth);
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
    Resize();
}

void TaskListView::FitColumns() {
    for (int c : {1, static_cast<int>(kKeywordColumn)}) {
        grid_->resizeColumnToContents(c);
        grid_->setColumnWidth(c, std::clamp(grid_->columnWidth(c), kFittedMinWidth, kFittedMaxWidth));
    }
    Resize();
}

void TaskListView::Resize() {
    // The remark takes what the other shown columns leave.
    int others = 0;
    for (int c = 0; c < kTaskListColumns; ++c)
        if (c != 2 && !grid_->isColumnHidden(c)) others += grid_->columnWidth(c);
    grid_->setColumnWidth(2, std::max(60, grid_->viewport()->width() - others));
}

void TaskListView::Fill(const DataPacket& tasks) {
    grid_->clearContents();
    int n = static_cast<int>(tasks.rows.size());
    grid_->setRowCount(std::max(1, n));
    for (int r = 0; r < n; ++r) {
        size_t row = static_cast<size_t>(r);
        widgets::SetCellText(grid_, r, 0, QString::number(r + 1));
        widgets::SetCellText(grid_, r, 1, Q(Trim(tasks.Text(row, "TaskName"))));
        widgets::SetCellText(grid_, r, 2, Q(Trim(tasks.Text(row, "Remark"))));
        widgets::SetCellText(grid_, r, 3, Q(tasks.Text(row, "ID")));
        widgets::SetCellText(grid_, r, 4, Q(tasks.Text(row, "searchURL")));
        widgets::SetCellText(grid_, r, kKeywordColumn, Q(SearchSubjectOf(tasks.Text(row, "searchURL"))));
    }
    FitColumns();
}

void TaskListView::SetCurrentRow(int row) {
    if (widgets::CellText(grid_, 0, 1).isEmpty() && grid_->rowCount() == 1) {
        // The blank row of an empty list stands for no task: nothing in it is selected.
        for (int c = 0; c < kTaskListColumns; ++c) {
            auto* blank = new QTableWidgetItem;
            blank->setFlags(Qt::ItemIsEnabled);
            grid_->setItem(0, c, blank);
        }
        grid_->setCurrentCell(-1, -1);
        return;
    }
    // The grid always has a current row, as a string grid does.
    row = std::clamp(row, 0, grid_->rowCount() - 1);
    grid_->setCurrentCell(row, 1);
}

int TaskListView::SelectedRow() const { return std::max(0, grid_->currentRow()); }

QString TaskListView::SelectedCell(int column) const {
    const QTableWidgetItem* item = grid_->item(SelectedRow(), column);
    return item ? item->text() : QString();
}

void TaskListView::RunStarted(int id, std::shared_ptr<TaskProgress> progress, bool shows_file) {
    figures_[id] = RunFigures{std::move(progress), {}, {}, {}, false, shows_file};
}

void TaskListView::RunEnded(int id, const QString& ended, std::optional<QString> reason) {
    auto ran = figures_.find(id);
    if (ran == figures_.end()) return;
    ran->second.ended = ended;
    if (reason) ran->second.reason = std::move(*reason);
}

void TaskListView::LiveRunsEnded(const QString& ended, const QString& reason) {
    for (auto& [id, f] : figures_) {
        if (!f.ended.isEmpty()) continue;
        f.ended = ended;
        f.reason = reason;
    }
}

void TaskListView::LiveRunEnded(int id, const QString& ended, const QString& reason) {
    if (auto ran = figures_.find(id); ran != figures_.end() && ran->second.ended.isEmpty()) {
        ran->second.ended = ended;
        ran->second.reason = reason;
    }
}

void TaskListView::RefreshStates(int only_task) {
    QSignalBlocker block(grid_);
    for (int r = 0; r < grid_->rowCount(); ++r) {
        const QString name = widgets::CellText(grid_, r, 1);
        if (name.isEmpty()) continue;
        const int id = widgets::CellText(grid_, r, 3).toInt();
        if (only_task >= 0 && id != only_task) continue;
        QString state, reason;
        auto ran = figures_.find(id);
        if (scheduler_.TaskInState(tsWaiting, id))
            state = QStringLiteral("等待");
        else if (scheduler_.TaskInState(tsRunning, id))
            state = QStringLiteral("运行");
        else if (scheduler_.TaskInState(tsPaused, id))
            state = QStringLiteral("暂停");
        else if (ran != figures_.end() && !ran->second.ended.isEmpty() && !ran->second.shows_file)
            state = ran->second.ended, reason = ran->second.reason;
        else if (ran != figures_.end())
            reason = ran->second.reason;
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
            if (file.collecting || ran == figures_.end() || ran->second.shows_file)
                widgets::SetCellText(grid_, r, kStoredColumn,
                                     file.exists ? QString::number(file.records) : QString());
            if (ran == figures_.end()) ShowSavedFigures(r, TaskFilePath(name));
            widgets::SetCellText(grid_, r, kLastRunColumn, LocalTime(file.last_run_end));
            widgets::SetCellText(grid_, r, kChangesColumn, Q(file.last_changes));
            if (QTableWidgetItem* item = grid_->item(r, kChangesColumn)) {
                QFont font = item->font();
                font.setBold(unseen_.contains(id));
                item->setFont(font);
                item->setToolTip(QStringLiteral("双击查看变化"));
            }
        }
        widgets::SetCellText(grid_, r, kStateColumn, state);
        if (QTableWidgetItem* item = grid_->item(r, kStateColumn)) item->setToolTip(reason);
    }
}

void TaskListView::ShowSavedFigures(int row, const std::string& path) {
    const SavedFigures saved = ReadSavedFigures(path);
    TaskProgress figures;
    figures.total = saved.total.value_or(-1);
    figures.handled = saved.handled.value_or(0);
    const std::optional<int> percent = saved.handled ? figures.Percent() : std::nullopt;
    widgets::SetCellText(grid_, row, kTotalColumn, saved.total ? QString::number(*saved.total) : QString());
    widgets::SetCellText(grid_, row, kProgressColumn, QString());
    grid_->item(row, kProgressColumn)->setData(Qt::UserRole, percent ? QVariant(*percent) : QVariant());
}

std::optional<QString> TaskListView::TellUnseenRuns() {
    int tasks = 0;
    long long added = 0, changed = 0, gone = 0;
    for (int r = 0; r < grid_->rowCount(); ++r) {
        const QString name = widgets::CellText(grid_, r, 1);
        const int id = widgets::CellText(grid_, r, 3).toInt();
        if (name.isEmpty() || !IsUsableTaskName(S(name))) continue;
        const DataFileSummary file = SummarizeDataFile(TaskFilePath(name));
        if (file.unseen.runs == 0 || file.collecting || told_[id] >= file.unseen.last_run) continue;
        told_[id] = file.unseen.last_run;
        unseen_.insert(id);
        ++tasks;
        added += file.unseen.added;
        changed += file.unseen.changed;
        gone += file.unseen.gone;
    }
    if (tasks == 0) return std::nullopt;
    RefreshStates();
    return Q(UnseenRunsText(tasks, added, changed, gone));
}

void TaskListView::Opened(int id, const std::string& data_file) {
    try {
        MarkRunsSeen(data_file);
    } catch (const std::exception&) {
        // A file that cannot say so is told of again next time.
    }
    if (unseen_.erase(id) > 0) RefreshStates(id);
}

void TaskListView::RefreshProgress() {
    QSignalBlocker block(grid_);
    const auto now = ProgressMeter::Clock::now();
    for (int r = 0; r < grid_->rowCount(); ++r) {
        auto ran = figures_.find(widgets::CellText(grid_, r, 3).toInt());
        if (widgets::CellText(grid_, r, 1).isEmpty() || ran == figures_.end()) continue;
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
            widgets::SetCellText(grid_, r, kStateColumn, state);
        }
        if (live || !f.shows_file)
            widgets::SetCellText(grid_, r, kStoredColumn, QString::number(f.progress->stored.load()));
        widgets::SetCellText(grid_, r, kTotalColumn, total >= 0 ? QString::number(total) : QString());
        widgets::SetCellText(grid_, r, kProgressColumn, QString());
        const std::optional<int> percent = f.progress->Percent();
        grid_->item(r, kProgressColumn)->setData(Qt::UserRole, percent ? QVariant(*percent) : QVariant());
        const std::optional<double> speed = live && !paused ? f.meter.PerMinute() : std::nullopt;
        widgets::SetCellText(grid_, r, kSpeedColumn,
                             speed ? QStringLiteral("%1 家/分").arg(std::lround(*speed)) : QString());
        const auto left = live && !paused ? f.meter.TimeLeft(total) : std::nullopt;
        widgets::SetCellText(grid_, r, kLeftColumn,
                             paused ? QStringLiteral("已暂停") : left ? Duration(*left) : QString());
    }
}

}  // namespace qv::tasks
