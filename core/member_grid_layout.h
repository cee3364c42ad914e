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

// How the cells that are not enciphered are shown: task pages trim them, category pages
// show them as the file holds them.
enum class CellShowing { Trimmed, AsStored };

// How a stored cell is shown: deciphered, trimmed or as stored. A cell that cannot be
// deciphered shows the stored text, so one damaged value never keeps a page shut.
std::string ShownCellText(int grid_column, std::string_view stored,
                          CellShowing showing = CellShowing::Trimmed);
// The same as a view into `stored`, or into `scratch` when it had to be deciphered, so
// that loading a file copies each cell only once.
std::string_view ShownCellView(int grid_column, std::string_view stored, CellShowing showing,
                               std::string& scratch);

inline constexpr std::string_view kSelectAllMembers = "SELECT * FROM DataList ORDER BY ID";

// Columns 1 to 31 of one record as shown, in grid order; valid during the visit only.
using ShownMemberRow = std::array<std::string_view, kMemberGridColumns - 1>;

// Visits every record that `statement` reads from `db`, shown as the columns say.
void ForEachShownMember(Connection& db, const std::function<void(const ShownMemberRow&)>& visit,
                        std::string_view statement = kSelectAllMembers,
                        CellShowing showing = CellShowing::Trimmed);

}  // namespace qv
