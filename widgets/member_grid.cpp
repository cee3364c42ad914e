#include "widgets/member_grid.h"

#include <QHeaderView>

#include <algorithm>
#include <set>

#include "core/database.h"
#include "widgets/grids.h"

namespace qv::widgets {
namespace {

// Rows gathered from live crawls reach the view at most this often.
constexpr int kFlushIntervalMs = 40;

}  // namespace

MemberGridModel::MemberGridModel(QObject* parent) : QAbstractTableModel(parent) {
    flush_timer_.setSingleShot(true);
    flush_timer_.setInterval(kFlushIntervalMs);
    connect(&flush_timer_, &QTimer::timeout, this, &MemberGridModel::FlushQueued);
}

int MemberGridModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return std::max(1, RecordCount());
}

int MemberGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kMemberGridColumns;
}

QVariant MemberGridModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= RecordCount()) return {};
    return Cell(index.row(), index.column());
}

QVariant MemberGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= kMemberGridColumns)
        return {};
    return QString::fromUtf8(MemberGridLayout()[static_cast<size_t>(section)].heading);
}

std::string_view MemberGridModel::CellView(int record, int column) const {
    const Row& row = rows_[static_cast<size_t>(record)];
    size_t i = static_cast<size_t>(column - 1);
    size_t begin = i == 0 ? 0 : row.end[i - 1];
    return std::string_view(row.text).substr(begin, row.end[i] - begin);
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
    RowCells cells;
    std::array<std::string, kMemberGridColumns - 1> copies;
    for (int c = 1; c < kMemberGridColumns; ++c) copies[c - 1] = std::string(CellView(record, c));
    copies[static_cast<size_t>(column - 1)] = std::string(text);
    for (size_t i = 0; i < cells.size(); ++i) cells[i] = copies[i];
    rows_[static_cast<size_t>(record)] = MakeRow(cells);
    emit dataChanged(index(record, column), index(record, column));
}

MemberGridModel::Row MemberGridModel::MakeRow(const RowCells& cells) {
    Row row;
    size_t total = 0;
    for (auto c : cells) total += c.size();
    row.text.reserve(total);
    for (size_t i = 0; i < cells.size(); ++i) {
        row.text.append(cells[i]);
        row.end[i] = static_cast<std::uint32_t>(row.text.size());
    }
    return row;
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
    rows_ = std::move(rows);
    queued_.clear();
    loaded_from_ = -1;
    endResetModel();
}

MemberGridView::MemberGridView(QWidget* parent)
    : QTableView(parent), model_(new MemberGridModel(this)) {
    setModel(model_);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) emit cellSelected(current.column(), current.row() + 1);
            });
}

int MemberGridView::CurrentGridRow() const {
    QModelIndex current = currentIndex();
    return current.isValid() ? current.row() + 1 : 1;
}

std::vector<int> MemberGridView::SelectedRecords() const {
    std::set<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedIndexes()) rows.insert(index.row());
    if (rows.empty()) rows.insert(CurrentGridRow() - 1);
    std::vector<int> records;
    for (int row : rows)
        if (row < model_->RecordCount()) records.push_back(row);
    return records;
}

void InitMemberGrid(MemberGridView* grid) {
    ApplyGridLook(grid);
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
}

}  // namespace qv::widgets
