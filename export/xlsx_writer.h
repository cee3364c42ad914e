#pragma once
// .xlsx through libxlsxwriter: one sheet holding the grid, every cell as text (a value
// that begins with "=" stays text), the header row bold and frozen, the grid's column
// widths and hidden columns. Rows go to disk as they are written, so a large grid needs
// no second copy in memory.
#include <string>
#include <string_view>

#include "export/export_file.h"
#include "export/string_grid.h"

namespace qv::exporting {

// The sheet's size limits and the longest cell text, in characters.
inline constexpr int kXlsxMaxRows = 1048576;
inline constexpr int kXlsxMaxColumns = 16384;
inline constexpr size_t kXlsxMaxCellChars = 32767;

void CheckXlsxLimits(const StringGrid& grid);

// The text as a sheet can hold it: valid UTF-8 (a bad byte becomes U+FFFD), without the
// control characters XML cannot carry, a literal "_xHHHH_" escaped so that readers keep
// it, at most kXlsxMaxCellChars characters.
std::string XlsxCellText(std::string_view utf8);

// Writes the workbook into the file `path` (created by the caller).
void WriteXlsx(const StringGrid& grid, const std::string& path, const ExportProgress& progress);

}  // namespace qv::exporting
