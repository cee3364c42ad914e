#pragma once
// The member grid: 32 columns of one member record per row, for task pages and category
// pages alike. A category file can hold 100,000 records and more, so rows are kept as
// plain UTF-8 text in one buffer each and turned into QStrings only when drawn.
#include <QAbstractTableModel>
#include <QTableView>
#include <QTimer>

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/data_files.h"

namespace qv {
class Connection;
}

namespace qv::widgets {

inline constexpr int kMemberGridColumns = 32;

struct MemberGridColumn {
    const char* heading;
    int width;  // 0 = hidden
    int field;  // index into kMemberColumns, -1 for column 0 (the record number)
};
const std::array<MemberGridColumn, kMemberGridColumns>& MemberGridLayout();

// How a stored cell is shown: deciphered, trimmed or as stored. A cell that cannot be
// deciphered shows the stored text, so one damaged value never keeps a page shut.
std::string ShownCellText(int grid_column, std::string_view stored);

class MemberGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Cells of columns 1 to 31, in grid order.
    using RowCells = std::array<std::string_view, kMemberGridColumns - 1>;

    explicit MemberGridModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Records shown; the grid still draws one empty row when there are none.
    int RecordCount() const { return static_cast<int>(rows_.size()); }
    // The grid's row count as a string grid counts it: header + rows, at least 2.
    int GridRowCount() const { return RecordCount() + 1 + (rows_.empty() ? 1 : 0); }
    // Text of a cell; record from 0, column 0 is the record number.
    QString Cell(int record, int column) const;
    void SetCell(int record, int column, std::string_view text);

    void Reserve(size_t records) { rows_.reserve(records); }
    // Appends at once (loading a file).
    void AppendRow(const RowCells& cells);
    void FinishLoading();
    // A live crawl: rows gather and reach the view in one insert per tick.
    void QueueMember(const MemberValues& values);
    void FlushQueued();
    int QueuedCount() const { return static_cast<int>(queued_.size()); }

    // Reads every DataList record of `db` in ID order, shown as the columns say.
    void LoadDataList(Connection& db);

private:
    struct Row {
        std::string text;
        std::array<std::uint32_t, kMemberGridColumns - 1> end{};
    };
    static Row MakeRow(const RowCells& cells);
    std::string_view CellView(int record, int column) const;
    void InsertRows(std::vector<Row>&& rows);

    std::vector<Row> rows_;
    std::vector<Row> queued_;
    int loaded_from_ = -1;  // first row appended since the last FinishLoading
    QTimer flush_timer_;
};

// The view: cell selection, column widths and headings, columns 29 to 31 hidden.
class MemberGridView : public QTableView {
    Q_OBJECT
public:
    explicit MemberGridView(QWidget* parent = nullptr);
    MemberGridModel* memberModel() const { return model_; }
    // The current record row as the string grid numbers it (1 = first record).
    int CurrentGridRow() const;

signals:
    void cellSelected(int column, int grid_row);

private:
    MemberGridModel* model_;
};

void InitMemberGrid(MemberGridView* grid);

}  // namespace qv::widgets
