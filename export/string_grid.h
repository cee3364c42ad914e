#pragma once
// What the spreadsheet writers read: a grid of text cells, row 0 the header row. The
// member grid's model and a data file read on its own both offer it, so the window and
// the command-line tool write the same files.
#include <string_view>

namespace qv::exporting {

class StringGrid {
public:
    virtual ~StringGrid() = default;
    virtual int RowCount() const = 0;
    virtual int ColumnCount() const = 0;
    // The cell's text in UTF-8; valid until the next call on this grid.
    virtual std::string_view CellText(int row, int column) const = 0;
    // Width in pixels as the grid shows it; 0 for a hidden column.
    virtual int ColumnWidth(int column) const { return 64; }
};

}  // namespace qv::exporting
