#include "export/member_file_grid.h"

#include "core/database.h"

namespace qv::exporting {

MemberFileGrid::MemberFileGrid(const std::string& data_file) {
    // Opened as the project kind: reading leaves the file's journal mode as it was.
    Connection db(data_file, DatabaseKind::Project);
    ForEachShownMember(db, [this](const ShownMemberRow& shown) {
        Row row;
        size_t total = 0;
        for (const auto& cell : shown) total += cell.size();
        row.text.reserve(total);
        for (size_t i = 0; i < shown.size(); ++i) {
            row.text.append(shown[i]);
            row.end[i] = static_cast<std::uint32_t>(row.text.size());
        }
        rows_.push_back(std::move(row));
    });
}

std::string_view MemberFileGrid::CellText(int row, int column) const {
    if (column < 0 || column >= kMemberGridColumns) return {};
    if (row == 0) return MemberGridLayout()[static_cast<size_t>(column)].heading;
    if (row < 1 || row > RecordCount()) return {};
    if (column == 0) return number_ = std::to_string(row);
    const Row& r = rows_[static_cast<size_t>(row - 1)];
    size_t i = static_cast<size_t>(column - 1);
    size_t begin = i == 0 ? 0 : r.end[i - 1];
    return std::string_view(r.text).substr(begin, r.end[i] - begin);
}

int MemberFileGrid::ColumnWidth(int column) const {
    if (column < 0 || column >= kMemberGridColumns) return 0;
    return MemberGridLayout()[static_cast<size_t>(column)].width;
}

}  // namespace qv::exporting
