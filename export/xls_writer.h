#pragma once
// The bare BIFF stream that spreadsheet programs open as an .xls file: a begin-of-file
// record, one text cell (LABEL) per grid cell column by column, an end-of-file record.
// Cell texts are GBK bytes and nothing else is written, as files read by other programs
// expect; the file is 16 + 12·R·C + T bytes.
#include <cstdint>
#include <string>
#include <string_view>

#include "export/export_file.h"
#include "export/string_grid.h"

namespace qv::exporting {

class TempOutput;

// The 16-bit fields of the format: rows and columns are numbered 0 to 65535, and a
// record holds at most 65535 bytes of data, 8 of them the cell's header.
inline constexpr int kXlsMaxRows = 65536;
inline constexpr int kXlsMaxColumns = 65536;
inline constexpr size_t kXlsMaxCellBytes = 65527;

// Raises ExportError, with a reason that points to .xlsx, when the grid does not fit.
void CheckXlsLimits(const StringGrid& grid);

// GBK text cut to at most kXlsMaxCellBytes at a character boundary (`cut`, when given,
// says whether it was cut).
std::string XlsCellBytes(std::string_view utf8, bool* cut = nullptr);

// Appends one LABEL record holding `gbk` (at most kXlsMaxCellBytes bytes).
void WriteXlsLabel(TempOutput& file, int column, int row, std::string_view gbk);

// The whole stream; the grid must fit (CheckXlsLimits). Returns the number of cells cut.
std::int64_t WriteXls(const StringGrid& grid, TempOutput& file, const ExportProgress& progress);

// Writes `grid` to `path` as .xls, replacing an existing file; false when it cannot.
bool SaveGridAsXls(const StringGrid& grid, const std::string& path);

}  // namespace qv::exporting
