#include "export/export_file.h"

#include <filesystem>

#include "core/text.h"
#include "export/csv_writer.h"
#include "export/temp_output.h"
#include "export/xls_writer.h"
#include "export/xlsx_writer.h"

namespace qv::exporting {

std::optional<ExportFormat> ExportFormatOf(std::string_view path) {
    std::string ext = std::filesystem::path(path).extension().string();
    if (EqualsIgnoringCase(ext, ".xls")) return ExportFormat::Xls;
    if (EqualsIgnoringCase(ext, ".xlsx")) return ExportFormat::Xlsx;
    if (EqualsIgnoringCase(ext, ".csv")) return ExportFormat::Csv;
    return std::nullopt;
}

void ExportGrid(const StringGrid& grid, const std::string& path, ExportFormat format,
                const ExportProgress& progress) {
    // Limits first, so a grid that does not fit creates no file at all.
    if (format == ExportFormat::Xls) CheckXlsLimits(grid);
    if (format == ExportFormat::Xlsx) CheckXlsxLimits(grid);
    TempOutput out(path);
    switch (format) {
        case ExportFormat::Xls:
            WriteXls(grid, out, progress);
            break;
        case ExportFormat::Csv:
            WriteCsv(grid, out, progress);
            break;
        case ExportFormat::Xlsx:
            out.CloseStream();
            WriteXlsx(grid, out.path(), progress);
            break;
    }
    out.Commit();
}

}  // namespace qv::exporting
