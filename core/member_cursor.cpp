#include "core/member_cursor.h"

#include "core/text.h"

namespace qv {

MemberCursor::MemberCursor(Connection& db, std::string_view sql) : cursor_(db, sql) {
    fields_.fill(-1);
    for (int c = 0; c < cursor_.ColumnCount(); ++c) {
        std::string_view name = cursor_.ColumnName(c);
        if (EqualsIgnoringCase(name, "ID")) id_ = c;
        for (size_t f = 0; f < kMemberColumns.size(); ++f)
            if (EqualsIgnoringCase(name, kMemberColumns[f].name)) fields_[f] = c;
    }
    if (id_ < 0) throw DatabaseError("the query reads no ID column: " + std::string(sql));
}

std::string_view MemberCursor::Stored(int field) const {
    int column = fields_[static_cast<size_t>(field)];
    return column < 0 ? std::string_view() : cursor_.Text(column);
}

std::string_view MemberCursor::Shown(int grid_column, std::string& scratch) const {
    int field = MemberGridLayout()[static_cast<size_t>(grid_column)].field;
    return ShownCellView(grid_column, Stored(field), CellShowing::Trimmed, scratch);
}

MemberValues MemberCursor::ShownRecord() const {
    MemberValues values;
    for (size_t f = 0; f < kMemberColumns.size(); ++f) {
        int grid_column = kMemberColumns[f].grid_column;
        std::string_view stored = Stored(static_cast<int>(f));
        values[f] = grid_column > 0 ? ShownCellText(grid_column, stored) : std::string(stored);
    }
    return values;
}

}  // namespace qv
