#pragma once
// The member grid's columns as every member grid and every export shows them: heading,
// width, the DataList column behind each, and how a stored value is shown. One table for
// the window's grids and the command-line export alike.
#include <array>
#include <functional>
#include <string>
#include <string_view>

namespace qv {

class Connection;

inline constexpr int kMemberGridColumns = 32;

struct MemberGridColumn {
    const char* heading;
    int width;  // pixels; 0 = hidden
    int field;  // index into kMemberColumns, -1 for column 0 (the record number)
};
const std::array<MemberGridColumn, kMemberGridColumns>& MemberGridLayout();

// How a stored cell is shown: deciphered, trimmed or as stored. A cell that cannot be
// deciphered shows the stored text, so one damaged value never keeps a page shut.
std::string ShownCellText(int grid_column, std::string_view stored);

// Columns 1 to 31 of one record as shown, in grid order.
using ShownMemberRow = std::array<std::string, kMemberGridColumns - 1>;

// Visits every DataList record of `db` in ID order, shown as the columns say. The row
// is reused between visits.
void ForEachShownMember(Connection& db, const std::function<void(const ShownMemberRow&)>& visit);

}  // namespace qv
