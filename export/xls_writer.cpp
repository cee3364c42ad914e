#include "export/xls_writer.h"

#include <array>
#include <cstdint>

#include "core/gbk.h"
#include "export/temp_output.h"

namespace qv::exporting {
namespace {

constexpr std::array<unsigned char, 12> kBof{0x09, 0x08, 0x08, 0x00, 0x00, 0x00,
                                             0x10, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr std::array<unsigned char, 4> kEof{0x0A, 0x00, 0x00, 0x00};
// Progress is reported after this many cells.
constexpr std::int64_t kProgressStep = 8192;

void PutU16(unsigned char* at, size_t value) {
    at[0] = static_cast<unsigned char>(value & 0xFF);
    at[1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

}  // namespace

void CheckXlsLimits(const StringGrid& grid) {
    if (grid.RowCount() > kXlsMaxRows)
        throw ExportError(
            "表格有 " + std::to_string(grid.RowCount()) +
            " 行（含标题行），超出 .xls 文件最多 65536 行的限制；请导出为 .xlsx 文件。");
    if (grid.ColumnCount() > kXlsMaxColumns)
        throw ExportError("表格有 " + std::to_string(grid.ColumnCount()) +
                          " 列，超出 .xls 文件最多 65536 列的限制；请导出为 .xlsx 文件。");
}

std::string XlsCellBytes(std::string_view utf8, bool* cut) {
    std::string gbk = Utf8ToGbk(utf8);
    if (cut) *cut = gbk.size() > kXlsMaxCellBytes;
    if (gbk.size() <= kXlsMaxCellBytes) return gbk;
    // A GBK lead byte (0x81 and up) starts a two-byte character.
    size_t end = 0;
    while (end < gbk.size()) {
        size_t step = static_cast<unsigned char>(gbk[end]) >= 0x81 ? 2 : 1;
        if (end + step > kXlsMaxCellBytes) break;
        end += step;
    }
    gbk.resize(end);
    return gbk;
}

void WriteXlsLabel(TempOutput& file, int column, int row, std::string_view gbk) {
    std::array<unsigned char, 12> header{};
    PutU16(&header[0], 0x0204);
    PutU16(&header[2], 8 + gbk.size());
    PutU16(&header[4], static_cast<size_t>(row));
    PutU16(&header[6], static_cast<size_t>(column));
    PutU16(&header[8], 0);
    PutU16(&header[10], gbk.size());
    file.Write(header.data(), header.size());
    file.Write(gbk);
}

std::int64_t WriteXls(const StringGrid& grid, TempOutput& file, const ExportProgress& progress) {
    const int rows = grid.RowCount();
    const int columns = grid.ColumnCount();
    const std::int64_t total = std::int64_t{rows} * columns;
    std::int64_t done = 0;
    std::int64_t cut_cells = 0;
    file.Write(kBof.data(), kBof.size());
    for (int c = 0; c < columns; ++c) {
        for (int r = 0; r < rows; ++r) {
            bool cut = false;
            WriteXlsLabel(file, c, r, XlsCellBytes(grid.CellText(r, c), &cut));
            cut_cells += cut ? 1 : 0;
            if (++done % kProgressStep == 0 && progress && !progress(done, total))
                throw ExportCancelled();
        }
    }
    file.Write(kEof.data(), kEof.size());
    if (progress) progress(total, total);
    return cut_cells;
}

bool SaveGridAsXls(const StringGrid& grid, const std::string& path) {
    try {
        ExportGrid(grid, path, ExportFormat::Xls);
        return true;
    } catch (const ExportError&) {
        return false;
    }
}

}  // namespace qv::exporting
