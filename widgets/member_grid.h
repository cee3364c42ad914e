#pragma once
// The member grid: 32 columns of one member record per row, for task pages and category
// pages alike. A category file can hold 100,000 records and more, so rows are kept as
// plain UTF-8 text in one buffer each and turned into QStrings only when drawn.
#include <QAbstractTableModel>
#include <QTableView>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/data_files.h"
#include "core/member_file_rows.h"
#include "core/member_grid_layout.h"
#include "widgets/member_grid_order.h"

namespace qv {
class Connection;
}

namespace qv::widgets {

class ChangeMarks;

// The column table and the shown-cell rules are shared with the export.
using qv::CellShowing;
using qv::kMemberGridColumns;
using qv::kSelectAllMembers;
using qv::MemberGridColumn;
using qv::MemberGridLayout;
using qv::ShownCellText;

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

    // Records shown; the grid still draws one empty row when there are none. While a
    // data file is being walked, the records found so far.
    int RecordCount() const {
        return file_ ? file_->Count() : static_cast<int>(rows_.size());
    }
    // The grid's row count as a string grid counts it: header + rows, at least 2.
    int GridRowCount() const { return RecordCount() + 1 + (RecordCount() == 0 ? 1 : 0); }
    // Text of a cell; record from 0, column 0 is the record number.
    QString Cell(int record, int column) const;
    // The UTF-8 text of a cell of columns 1 to 31, without a copy; record from 0.
    std::string_view CellView(int record, int column) const;
    void SetCell(int record, int column, std::string_view text);

    void Reserve(size_t records) { rows_.reserve(records); }
    // Appends at once (loading a file).
    void AppendRow(const RowCells& cells);
    void FinishLoading();
    // A live crawl: rows gather and reach the view in one insert per tick.
    void QueueMember(const MemberValues& values);
    void FlushQueued();
    int QueuedCount() const { return static_cast<int>(queued_.size()); }
    // While held, live rows wait in the queue (an export is reading the grid); releasing
    // shows them at once.
    void HoldRows(bool hold);

    // Replaces the rows with the records `statement` reads from `db`, shown as the columns
    // say. A failing statement raises and leaves the rows as they were.
    void LoadDataList(Connection& db, std::string_view statement = kSelectAllMembers,
                      CellShowing showing = CellShowing::Trimmed);
    // Shows the records `statement` ("SELECT * FROM DataList[ WHERE ...] ORDER BY ID")
    // reads from the data file at `path` without reading them all: the first ones at once,
    // the rest as they come into view, while a walk of the file counts them. A failing
    // statement raises and leaves the rows as they were.
    void OpenDataFile(const std::string& path, std::string_view statement = kSelectAllMembers,
                      CellShowing showing = CellShowing::Trimmed);
    // Waits until every record of an opened data file is counted (export, search).
    void EnsureAllRecords();
    bool AllRecordsKnown() const { return !file_ || file_->Loaded(); }
    // The first record from `from` on whose cell of `column` (1 to 31) contains `needle`
    // (UTF-8, case-sensitive), or -1.
    int FindRecord(int column, std::string_view needle, int from);
    // A cell for a walk over many records: for a data file, from the text kept of the
    // searched columns instead of reading the row.
    std::string_view SearchCell(int record, int column);
    // Visits every record in order with the shown text of `columns` (1 to 31), reading a
    // data file's columns in one walk; every record is counted first. A failing read of
    // the file raises.
    void ForEachRecord(const std::vector<int>& columns, const MemberFileRows::RecordVisit& visit);
    // Marks what the file's last run added and changed (fonts and backgrounds); none: null.
    void SetChangeMarks(std::shared_ptr<const ChangeMarks> marks) { marks_ = std::move(marks); }

private:
    // One buffer per row with the end of each cell, as the file-backed rows keep them.
    using Row = MemberRowText;
    static Row MakeRow(const RowCells& cells) { return MemberRowText::Of(cells); }
    void InsertRows(std::vector<Row>&& rows);
    // Tells the view about records the file walk has found since the last call.
    void AbsorbFileRecords();

    std::vector<Row> rows_;
    std::vector<Row> queued_;
    int loaded_from_ = -1;  // first row appended since the last FinishLoading
    bool held_ = false;
    QTimer flush_timer_;
    std::unique_ptr<MemberFileRows> file_;  // a data file read on demand; else rows_
    QTimer file_timer_;
    std::shared_ptr<const ChangeMarks> marks_;
};

// The view: cell selection, column widths and headings, columns 29 to 31 hidden. It shows
// the model's records through MemberGridOrder: a click on a heading sorts by the column
// (again: the other way), and the filter row narrows the rows. Rows here are rows as
// shown; RecordAt and RowOf translate to the model's records.
class MemberGridView : public QTableView {
    Q_OBJECT
public:
    explicit MemberGridView(QWidget* parent = nullptr);
    MemberGridModel* memberModel() const { return model_; }
    MemberGridOrder* order() const { return order_; }
    // The current row as shown, as the string grid numbers it (1 = first row).
    int CurrentGridRow() const;
    // The record (from 0) of the current row; -1 for none.
    int CurrentRecord() const;
    // The record of a shown row (from 0), -1 for none; the shown row of a record, -1 when
    // the filter hides it.
    int RecordAt(int row) const { return order_->RecordAt(row); }
    int RowOf(int record) const { return order_->RowOf(record); }
    // The records (from 0) that the selection covers, in the order shown; the current
    // record when nothing is selected. The empty row of a page without records is none.
    std::vector<int> SelectedRecords() const;
    // Makes `record` current in `column` and scrolls to it; a filter that hides it is
    // cleared first.
    void ShowRecordAt(int record, int column, QAbstractItemView::ScrollHint hint = EnsureVisible);
    // The first shown row from `from` on whose cell of `column` holds `needle`, or -1.
    int FindShownRow(int column, std::string_view needle, int from);
    // Sorts as a click on the heading of `column` does; false when the user cancelled
    // the wait for the file's records.
    bool SortByColumn(int column, Qt::SortOrder order);
    // Narrows the rows; the current record stays current when it is still shown. False
    // when the user cancelled the wait for the file or the read of its columns.
    bool ApplyFilter(const RecordFilter& filter);
    // Widens the shown columns whose heading or shown cells are wider than the column;
    // never narrows one. Runs once by itself when the first records arrive.
    void FitColumnsToContents();

signals:
    void cellSelected(int column, int grid_row);
    // The rows shown changed: another filter, or a sort.
    void shownRowsChanged();

private:
    void HeadingClicked(int column);
    // Runs `change` of the shown rows under a wait cursor; when it raises, the grid says its
    // rows are in no sorted order and the failure goes on.
    void ChangeShownRows(const std::function<void()>& change);
    // The columns a first text filter needs, read under a progress box that can cancel.
    bool ReadForFilter(const RecordFilter& filter);

    MemberGridModel* model_;
    MemberGridOrder* order_;
    bool fitted_to_records_ = false;
};

void InitMemberGrid(MemberGridView* grid);

// Before a command that needs every record: while the grid's file is still being walked,
// a progress box that can cancel; false when the user cancelled.
bool WaitForAllRecords(MemberGridModel& model, QWidget* parent);

// The record counter of the status bar at shown row `row` (1 = first): the records, not
// the grid's rows, and under a filter how many of them are shown.
QString RecordCounterText(const MemberGridView& grid, int row);

}  // namespace qv::widgets
