#pragma once
// A data file's member grid as a viewing page shows it, without a window: the header row,
// one row per record in ID order (or one empty row when there is none), the record number
// in column 0, the eight enciphered columns deciphered.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/member_grid_layout.h"
#include "export/string_grid.h"

namespace qv::exporting {

class MemberFileGrid : public StringGrid {
public:
    // Reads every record of the data file; raises DatabaseError when it is not one.
    explicit MemberFileGrid(const std::string& data_file);

    int RecordCount() const { return static_cast<int>(rows_.size()); }
    int RowCount() const override { return RecordCount() + 1 + (rows_.empty() ? 1 : 0); }
    int ColumnCount() const override { return kMemberGridColumns; }
    std::string_view CellText(int row, int column) const override;
    int ColumnWidth(int column) const override;

private:
    // Columns 1 to 31 of one record in one buffer, with the end of each cell.
    struct Row {
        std::string text;
        std::array<std::uint32_t, kMemberGridColumns - 1> end{};
    };
    std::vector<Row> rows_;
    mutable std::string number_;
};

}  // namespace qv::exporting
