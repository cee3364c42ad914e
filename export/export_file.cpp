#include "export/export_file.h"

#include <filesystem>

#include "core/text.h"
#include "export/csv_writer.h"
#include "export/lead_fields.h"
#include "export/temp_output.h"
#include "export/vcard_writer.h"
#include "export/xls_writer.h"
#include "export/xlsx_writer.h"

namespace qv::exporting {
namespace {

constexpr ExportFormat kFormats[] = {ExportFormat::Xls, ExportFormat::Xlsx, ExportFormat::Csv,
                                     ExportFormat::Vcf};

ExportSummary WriteFile(const StringGrid& grid, const std::string& path, ExportFormat format,
                        const ExportOptions& options, const ExportProgress& progress) {
    // Limits first, so a grid that does not fit creates no file at all.
    if (format == ExportFormat::Xls) CheckXlsLimits(grid);
    if (format == ExportFormat::Xlsx) CheckXlsxLimits(grid);
    TempOutput out(path);
    ExportSummary summary;
    switch (format) {
        case ExportFormat::Xls:
            summary.cut_cells = WriteXls(grid, out, progress);
            break;
        case ExportFormat::Csv:
            WriteCsv(grid, out, progress);
            break;
        case ExportFormat::Xlsx:
            out.CloseStream();
            summary.cut_cells = WriteXlsx(grid, out, progress);
            break;
        case ExportFormat::Vcf:
            WriteVcards(grid, out, options, progress);
            break;
    }
    out.Commit();
    return summary;
}

}  // namespace

std::optional<ExportFormat> ExportFormatOf(std::string_view path) {
    const std::string ext = std::filesystem::path(path).extension().string();
    for (ExportFormat format : kFormats)
        if (ext.size() > 1 && EqualsIgnoringCase(ext.substr(1), FileExtensionOf(format))) return format;
    return std::nullopt;
}

std::string_view FileExtensionOf(ExportFormat format) {
    switch (format) {
        case ExportFormat::Xls:
            return "xls";
        case ExportFormat::Xlsx:
            return "xlsx";
        case ExportFormat::Csv:
            return "csv";
        case ExportFormat::Vcf:
            return "vcf";
    }
    return {};
}

std::optional<CrmPreset> CrmPresetOf(std::string_view name) {
    if (EqualsIgnoringCase(name, "hubspot")) return CrmPreset::HubSpot;
    if (EqualsIgnoringCase(name, "salesforce")) return CrmPreset::Salesforce;
    if (EqualsIgnoringCase(name, "zoho")) return CrmPreset::Zoho;
    return std::nullopt;
}

std::string CutCellsText(const ExportSummary& summary, ExportFormat format) {
    if (summary.cut_cells == 0) return {};
    const std::string limit = format == ExportFormat::Xls ? "（" + std::to_string(kXlsMaxCellBytes) + " 字节）"
                                                          : "（" + std::to_string(kXlsxMaxCellChars) + " 个字符）";
    return "有 " + std::to_string(summary.cut_cells) + " 个单元格超出 ." + std::string(FileExtensionOf(format)) +
           " 文件单元格的长度上限" + limit + "，已截断。";
}

ExportSummary ExportGrid(const StringGrid& grid, const std::string& path, ExportFormat format,
                         const ExportOptions& options, const ExportProgress& progress) {
    if (options.crm) {
        if (format != ExportFormat::Csv && format != ExportFormat::Xlsx)
            throw ExportError("CRM 导入文件只能写成 .csv 或 .xlsx 文件。");
        return WriteFile(CrmGrid(grid, *options.crm, options), path, format, options, progress);
    }
    if (options.phone_columns && format != ExportFormat::Vcf)
        return WriteFile(PhoneColumnsGrid(grid), path, format, options, progress);
    return WriteFile(grid, path, format, options, progress);
}

ExportSummary ExportGrid(const StringGrid& grid, const std::string& path, ExportFormat format,
                         const ExportProgress& progress) {
    return ExportGrid(grid, path, format, ExportOptions{}, progress);
}

}  // namespace qv::exporting
