#pragma once
// A DataList query walked row by row (RowCursor) with its columns found once by name, so
// a record's cells are read as stored or as the member grid shows them without a copy
// of the row. For the commands that read every record of many files.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/data_files.h"
#include "core/database.h"
#include "core/member_grid_layout.h"

namespace qv {

class MemberCursor {
public:
    // Prepares `sql` (a SELECT from DataList) on `db`. Raises DatabaseError when the
    // statement fails or reads no ID column.
    MemberCursor(Connection& db, std::string_view sql);

    RowCursor& rows() { return cursor_; }
    bool Next() { return cursor_.Next(); }
    std::int64_t Id() const { return cursor_.Integer(id_); }
    // The stored text of a DataList field (kMemberColumns index); "" when not selected.
    std::string_view Stored(int field) const;
    // A member-grid column (1 to 31) as the grid shows it: deciphered, trimmed; a view
    // into the row or into `scratch`.
    std::string_view Shown(int grid_column, std::string& scratch) const;
    // Every field as the grid shows it, in DataList column order; ContactLink, which the
    // grid does not show, as stored.
    MemberValues ShownRecord() const;

private:
    RowCursor cursor_;
    int id_ = -1;
    std::array<int, kMemberColumnCount> fields_{};  // cursor column of each field, -1 none
};

}  // namespace qv
