#pragma once
// .xlsx through libxlsxwriter: one sheet holding the grid, every cell as text (a value
// that begins with "=" stays text) but the whole numbers of the columns 序号 and 诚信通指数,
// the header row bold and frozen, the grid's column
// widths and hidden columns. Rows go to disk as they are written, so a large grid needs
// no second copy in memory.
#include <cstdint>
#include <string>
#include <string_view>

#include "export/export_file.h"
#include "export/string_grid.h"

namespace qv::exporting {

// The sheet's size limits and the longest cell text, in characters.
inline constexpr int kXlsxMaxRows = 1048576;
inline constexpr int kXlsxMaxColumns = 16384;
inline constexpr size_t kXlsxMaxCellChars = 32767;
// Longer digit strings lose digits as a sheet's numbers.
inline constexpr size_t kXlsxMaxNumberDigits = 15;

class TempOutput;

void CheckXlsxLimits(const StringGrid& grid);

// The text as a sheet can hold it: valid UTF-8 (a bad byte becomes U+FFFD), without the
// control characters XML cannot carry, a literal "_xHHHH_" escaped so that readers keep
// it, at most kXlsxMaxCellChars characters (`cut`, when given, says whether it was cut).
std::string XlsxCellText(std::string_view utf8, bool* cut = nullptr);

// True for a whole number that a sheet holds exactly and shows as written ("120", not
// "0120" or a 19-digit account).
bool IsSheetNumber(std::string_view text);

// Writes the workbook into `out` (its stream closed). Returns the number of cells cut at
// kXlsxMaxCellChars.
std::int64_t WriteXlsx(const StringGrid& grid, TempOutput& out, const ExportProgress& progress);

}  // namespace qv::exporting
