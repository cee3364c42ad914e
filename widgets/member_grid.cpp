#include "widgets/member_grid.h"

#include "widgets/change_marks.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QProgressDialog>

#include <algorithm>
#include <chrono>
#include <memory>
#include <set>
#include <thread>

#include "core/database.h"
#include "widgets/dialog_ex.h"
#include "widgets/grid_copy.h"
#include "widgets/grids.h"
#include "widgets/guarded.h"

namespace qv::widgets {

namespace {

// A box for a long read of the file, with 取消, shown only after half a second.
std::unique_ptr<QProgressDialog> ReadProgressBox(const QString& text, const char* name, QWidget* parent) {
    auto progress = std::make_unique<QProgressDialog>(text, QStringLiteral("取消"), 0, 0, parent);
    progress->setObjectName(QString::fromLatin1(name));
    progress->setWindowTitle(ApplicationTitle());
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(500);
    return progress;
}

// Rows gathered from live crawls reach the view at most this often.
constexpr int kFlushIntervalMs = 40;
// How often the count of a data file being walked is brought to the view.
constexpr int kFileWalkIntervalMs = 100;

}  // namespace

MemberGridModel::MemberGridModel(QObject* parent) : QAbstractTableModel(parent) {
    flush_timer_.setSingleShot(true);
    flush_timer_.setInterval(kFlushIntervalMs);
    connect(&flush_timer_, &QTimer::timeout, this, &MemberGridModel::FlushQueued);
    file_timer_.setInterval(kFileWalkIntervalMs);
    connect(&file_timer_, &QTimer::timeout, this, &MemberGridModel::AbsorbFileRecords);
}

int MemberGridModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return std::max(1, RecordCount());
}

int MemberGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kMemberGridColumns;
}

QVariant MemberGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= RecordCount()) return {};
    if (marks_ && (role == Qt::FontRole || role == Qt::BackgroundRole))
        return marks_->Data(CellView(index.row(), 2), CellView(index.row(), 1), index.column(), role);
    if (role != Qt::DisplayRole) return {};
    return Cell(index.row(), index.column());
}

QVariant MemberGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= kMemberGridColumns)
        return {};
    return QString::fromUtf8(MemberGridLayout()[static_cast<size_t>(section)].heading);
}

std::string_view MemberGridModel::CellView(int record, int column) const {
    if (file_) return file_->Row(record).Cell(column);
    return rows_[static_cast<size_t>(record)].Cell(column);
}

QString MemberGridModel::Cell(int record, int column) const {
    if (record < 0 || record >= RecordCount() || column < 0 || column >= kMemberGridColumns)
        return {};
    if (column == 0) return QString::number(record + 1);
    std::string_view cell = CellView(record, column);
    return QString::fromUtf8(cell.data(), static_cast<qsizetype>(cell.size()));
}

void MemberGridModel::SetCell(int record, int column, std::string_view text) {
    if (record < 0 || record >= RecordCount() || column < 1 || column >= kMemberGridColumns) return;
    if (file_) {
        MemberRowText row = file_->Row(record);
        RowCells cells;
        for (int c = 1; c < kMemberGridColumns; ++c)
            cells[static_cast<size_t>(c - 1)] = c == column ? text : row.Cell(c);
        file_->Replace(record, MemberRowText::Of(cells));
        emit dataChanged(index(record, column), index(record, column));
        return;
    }
    RowCells cells;
    std::array<std::string, kMemberGridColumns - 1> copies;
    for (int c = 1; c < kMemberGridColumns; ++c) copies[c - 1] = std::string(CellView(record, c));
    copies[static_cast<size_t>(column - 1)] = std::string(text);
    for (size_t i = 0; i < cells.size(); ++i) cells[i] = copies[i];
    rows_[static_cast<size_t>(record)] = MakeRow(cells);
    emit dataChanged(index(record, column), index(record, column));
}

void MemberGridModel::AppendRow(const RowCells& cells) {
    if (loaded_from_ < 0) loaded_from_ = RecordCount();
    rows_.push_back(MakeRow(cells));
}

void MemberGridModel::FinishLoading() {
    if (loaded_from_ < 0) return;
    // Rows were appended without telling the view; a reset is the cheapest way to
    // show a whole file at once.
    beginResetModel();
    endResetModel();
    loaded_from_ = -1;
}

void MemberGridModel::QueueMember(const MemberValues& values) {
    RowCells cells;
    for (int c = 1; c < kMemberGridColumns; ++c) {
        int field = MemberGridLayout()[static_cast<size_t>(c)].field;
        cells[static_cast<size_t>(c - 1)] = values[static_cast<size_t>(field)];
    }
    queued_.push_back(MakeRow(cells));
    if (!flush_timer_.isActive()) flush_timer_.start();
}

void MemberGridModel::FlushQueued() {
    flush_timer_.stop();
    if (held_ || queued_.empty()) return;
    InsertRows(std::exchange(queued_, {}));
}

void MemberGridModel::HoldRows(bool hold) {
    held_ = hold;
    if (!held_) FlushQueued();
}

void MemberGridModel::InsertRows(std::vector<Row>&& rows) {
    int first = RecordCount();
    int count = static_cast<int>(rows.size());
    // The empty row of a new grid becomes the first record.
    if (first == 0) {
        rows_.push_back(std::move(rows.front()));
        emit dataChanged(index(0, 0), index(0, kMemberGridColumns - 1));
        if (count == 1) return;
        beginInsertRows({}, 1, count - 1);
        std::move(rows.begin() + 1, rows.end(), std::back_inserter(rows_));
        endInsertRows();
        return;
    }
    beginInsertRows({}, first, first + count - 1);
    std::move(rows.begin(), rows.end(), std::back_inserter(rows_));
    endInsertRows();
}

void MemberGridModel::LoadDataList(Connection& db, std::string_view statement,
                                   CellShowing showing) {
    std::vector<Row> rows;
    ForEachShownMember(
        db, [&](const ShownMemberRow& shown) { rows.push_back(MakeRow(shown)); }, statement,
        showing);
    // The rows change only once the whole result has been read.
    beginResetModel();
    file_timer_.stop();
    file_.reset();
    rows_ = std::move(rows);
    queued_.clear();
    loaded_from_ = -1;
    endResetModel();
}

void MemberGridModel::OpenDataFile(const std::string& path, std::string_view statement,
                                   CellShowing showing) {
    auto file = std::make_unique<MemberFileRows>(path, statement, showing);
    beginResetModel();
    file_timer_.stop();
    file_ = std::move(file);
    rows_.clear();
    rows_.shrink_to_fit();
    queued_.clear();
    loaded_from_ = -1;
    endResetModel();
    if (!file_->Loaded()) file_timer_.start();
}

void MemberGridModel::AbsorbFileRecords() {
    if (!file_) return;
    if (file_->Loaded()) {
        file_timer_.stop();
        return;
    }
    int before = RecordCount();
    int after = file_->Stage();
    if (after > before && before > 0) {
        beginInsertRows({}, before, after - 1);
        file_->Commit();
        endInsertRows();
    } else if (after != before) {
        // The file lost records since the page opened, or the first ones arrive: drawn anew.
        beginResetModel();
        file_->Commit();
        endResetModel();
    } else {
        file_->Commit();
    }
    if (file_->Loaded()) file_timer_.stop();
}

void MemberGridModel::EnsureAllRecords() {
    if (!file_ || file_->Loaded()) return;
    file_->JoinLoader();
    AbsorbFileRecords();
}

int MemberGridModel::FindRecord(int column, std::string_view needle, int from) {
    if (column < 1 || column >= kMemberGridColumns) return -1;
    if (file_) {
        EnsureAllRecords();
        return file_->Find(column, needle, from);
    }
    for (int r = std::max(0, from); r < RecordCount(); ++r)
        if (CellView(r, column).find(needle) != std::string_view::npos) return r;
    return -1;
}

std::string_view MemberGridModel::SearchCell(int record, int column) {
    if (record < 0 || record >= RecordCount() || column < 1 || column >= kMemberGridColumns) return {};
    return file_ ? file_->SearchCell(record, column) : CellView(record, column);
}

void MemberGridModel::ForEachRecord(const std::vector<int>& columns,
                                    const MemberFileRows::RecordVisit& visit) {
    if (file_) {
        EnsureAllRecords();
        file_->ForEachRecord(columns, visit);
        return;
    }
    std::vector<std::string_view> cells(columns.size());
    for (int r = 0; r < RecordCount(); ++r) {
        for (size_t i = 0; i < columns.size(); ++i) cells[i] = CellView(r, columns[i]);
        visit(r, cells);
    }
}

MemberGridView::MemberGridView(QWidget* parent)
    : QTableView(parent), model_(new MemberGridModel(this)), order_(new MemberGridOrder(model_, this)) {
    setModel(order_);
    // Sorted by hand on a click, not by the view: sorting waits for a file's records.
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setSortIndicatorShown(true);
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &MemberGridView::HeadingClicked);
    // A click on a heading sorts, as in a spreadsheet; it no longer selects the column.
    disconnect(horizontalHeader(), SIGNAL(sectionPressed(int)), this, SLOT(selectColumn(int)));
    disconnect(horizontalHeader(), SIGNAL(sectionEntered(int)), this, SLOT(_q_selectColumn(int)));
    // Once the first records are in (a file opened, the first live rows), the columns fit
    // what they show; the cells are measured after the view has laid them out.
    auto fit_once = [this] {
        if (fitted_to_records_ || model_->RecordCount() == 0) return;
        fitted_to_records_ = true;
        QTimer::singleShot(0, this, &MemberGridView::FitColumnsToContents);
    };
    connect(model_, &QAbstractItemModel::rowsInserted, this, fit_once);
    connect(model_, &QAbstractItemModel::modelReset, this, fit_once);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) emit cellSelected(current.column(), current.row() + 1);
            });
}

void MemberGridView::FitColumnsToContents() {
    // A long text (an introduction, an address) keeps its own width and is read in the
    // panes or by widening the column.
    constexpr int kMostFitted = 300;
    // The first screen of records is measured, never a whole file.
    constexpr int kMeasuredRecords = 40;
    constexpr int kCellPadding = 12;
    const auto& layout = MemberGridLayout();
    const QFontMetrics metrics(font());
    const int records = std::min(model_->RecordCount(), kMeasuredRecords);
    for (int c = 0; c < kMemberGridColumns; ++c) {
        if (isColumnHidden(c)) continue;
        int cells = 0;
        for (int r = 0; r < records; ++r)
            cells = std::max(cells, metrics.horizontalAdvance(model_->Cell(r, c)) + kCellPadding);
        const int wanted = std::max({layout[static_cast<size_t>(c)].width,
                                     horizontalHeader()->sectionSizeHint(c), std::min(cells, kMostFitted)});
        if (wanted > columnWidth(c)) setColumnWidth(c, wanted);
    }
}

int MemberGridView::CurrentGridRow() const {
    QModelIndex current = currentIndex();
    return current.isValid() ? current.row() + 1 : 1;
}

int MemberGridView::CurrentRecord() const { return order_->RecordAt(CurrentGridRow() - 1); }

std::vector<int> MemberGridView::SelectedRecords() const {
    std::set<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedIndexes()) rows.insert(index.row());
    if (rows.empty()) rows.insert(CurrentGridRow() - 1);
    std::vector<int> records;
    for (int row : rows)
        if (int record = order_->RecordAt(row); record >= 0) records.push_back(record);
    return records;
}

void MemberGridView::ShowRecordAt(int record, int column, QAbstractItemView::ScrollHint hint) {
    if (record < 0 || record >= model_->RecordCount()) return;
    if (order_->RowOf(record) < 0) {
        RecordFilter none;
        ApplyFilter(none);
    }
    const QModelIndex at = order_->index(order_->RowOf(record), column);
    setCurrentIndex(at);
    scrollTo(at, hint);
}

int MemberGridView::FindShownRow(int column, std::string_view needle, int from) {
    if (!order_->Active()) return model_->FindRecord(column, needle, from);
    // Rows as shown: a sorted page is searched from top to bottom as the user sees it.
    const int shown = order_->ShownCount();
    for (int row = std::max(0, from); row < shown; ++row)
        if (model_->SearchCell(order_->RecordAt(row), column).find(needle) != std::string_view::npos) return row;
    return -1;
}

void MemberGridView::HeadingClicked(int column) {
    // The first click sorts up, another on the same heading the other way.
    const Qt::SortOrder order = order_->SortColumn() == column && order_->SortOrder() == Qt::AscendingOrder
                                    ? Qt::DescendingOrder
                                    : Qt::AscendingOrder;
    Guarded([&] { SortByColumn(column, order); });
}

void MemberGridView::ChangeShownRows(const std::function<void()>& change) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        change();
    } catch (...) {
        QGuiApplication::restoreOverrideCursor();
        horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
        emit shownRowsChanged();
        throw;
    }
    QGuiApplication::restoreOverrideCursor();
}

bool MemberGridView::SortByColumn(int column, Qt::SortOrder order) {
    if (!WaitForAllRecords(*model_, this)) {
        horizontalHeader()->setSortIndicator(order_->SortColumn(), order_->SortOrder());
        return false;
    }
    ChangeShownRows([&] { order_->sort(column, order); });
    horizontalHeader()->setSortIndicator(column, order);
    if (currentIndex().isValid()) scrollTo(currentIndex());
    emit shownRowsChanged();
    return true;
}

bool MemberGridView::ReadForFilter(const RecordFilter& filter) {
    const auto progress = ReadProgressBox(QStringLiteral("正在读取要筛选的各列……"), "FilterReadProgress", this);
    return order_->PrepareFilter(filter, [&](int done, int total) {
        progress->setMaximum(total);
        progress->setValue(done);  // a window-modal dialog runs the events here
        return !progress->wasCanceled();
    });
}

bool MemberGridView::ApplyFilter(const RecordFilter& filter) {
    if (filter == order_->Filter()) return true;
    if (!filter.Empty() && !WaitForAllRecords(*model_, this)) return false;
    if (!ReadForFilter(filter)) return false;
    const int record = CurrentRecord();
    const int column = currentIndex().isValid() ? currentIndex().column() : 1;
    ChangeShownRows([&] { order_->SetFilter(filter); });
    const int row = order_->RowOf(record);
    const QModelIndex at = order_->index(row < 0 ? 0 : row, column);
    setCurrentIndex(at);
    scrollTo(at);
    emit shownRowsChanged();
    return true;
}

void InitMemberGrid(MemberGridView* grid) {
    ApplyGridLook(grid);
    EnableGridCopy(grid);
    grid->verticalHeader()->hide();
    grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    // Cells, not whole rows, as a string grid selects; several rows at once for the
    // commands that work on every selected record.
    grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const auto& layout = MemberGridLayout();
    for (int c = 0; c < kMemberGridColumns; ++c) {
        if (layout[c].width == 0)
            grid->setColumnHidden(c, true);
        else
            grid->setColumnWidth(c, layout[c].width);
    }
    grid->FitColumnsToContents();
}

QString RecordCounterText(const MemberGridView& grid, int row) {
    const int records = grid.memberModel()->RecordCount();
    if (!grid.order()->Filtered())
        return QStringLiteral("合计：%1 条，当前第 %2 条").arg(records).arg(row);
    return QStringLiteral("显示 %1 条，共 %2 条，当前第 %3 条").arg(grid.order()->ShownCount()).arg(records).arg(row);
}

bool WaitForAllRecords(MemberGridModel& model, QWidget* parent) {
    if (model.AllRecordsKnown()) return true;
    const auto progress = ReadProgressBox(QStringLiteral("正在读取数据文件……"), "RecordWalkProgress", parent);
    progress->setValue(0);
    // The model's own timer takes over the walked records while events run.
    while (!model.AllRecordsKnown()) {
        if (progress->wasCanceled()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace qv::widgets
