#pragma once
// CSV for any spreadsheet program: UTF-8 with a byte-order mark (so it is taken as UTF-8),
// commas, RFC 4180 quoting, CRLF after every row.
#include <string>
#include <string_view>

#include "export/export_file.h"
#include "export/string_grid.h"

namespace qv::exporting {

class TempOutput;

// Appends one field: quoted, with inner quotes doubled, when it holds a comma, a double
// quote, CR or LF; as it is otherwise. A field that a spreadsheet would run as a formula
// (it begins with "=", "+", "-", "@", a tab or CR and is no plain number or phone number)
// gets a leading apostrophe, so that it is shown as text: data files hold what any web
// page wrote.
void AppendCsvField(std::string& line, std::string_view text);

void WriteCsv(const StringGrid& grid, TempOutput& file, const ExportProgress& progress);

}  // namespace qv::exporting
