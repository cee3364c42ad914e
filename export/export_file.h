#pragma once
// Writing a string grid to a spreadsheet file or to contact cards: the format follows the
// file's extension, and the file appears only when it is complete.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "export/string_grid.h"

namespace qv::exporting {

enum class ExportFormat { Xls, Xlsx, Csv, Vcf };

// The format of ".xls", ".xlsx", ".csv" or ".vcf" (any case); none for another extension.
std::optional<ExportFormat> ExportFormatOf(std::string_view path);
// "xls", "xlsx", "csv", "vcf".
std::string_view FileExtensionOf(ExportFormat format);

// The lead management programs whose import files the export writes.
enum class CrmPreset { HubSpot, Salesforce, Zoho };
// "hubspot", "salesforce", "zoho" in any case; none for another name.
std::optional<CrmPreset> CrmPresetOf(std::string_view name);

class LocationNames;

// What is written beside, or instead of, the member grid's columns.
struct ExportOptions {
    // Three more columns: 手机（国际格式）, 电话（国际格式）, 传真（国际格式）.
    bool phone_columns = false;
    // The CRM's own columns instead of the grid's (.csv and .xlsx only).
    std::optional<CrmPreset> crm;
    // The task the records came from (the contact cards' category, the CRM's lead source),
    // where the grid has no 来源任务 column that names it for each record.
    std::string task_name;
    // Provinces and cities, to read them from the addresses; none leaves them out.
    std::shared_ptr<const LocationNames> locations;
};

// How an export went.
struct ExportSummary {
    // Cells longer than the format holds, cut at its limit.
    std::int64_t cut_cells = 0;
};

// "有 N 个单元格超出 .xlsx 格式的长度上限，已截断。"; empty when none was cut.
std::string CutCellsText(const ExportSummary& summary, ExportFormat format);

// Cells written so far and in all; returning false stops the export.
using ExportProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

// An export that did not complete; what() is the reason, for the user.
class ExportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// The progress callback asked to stop.
class ExportCancelled : public ExportError {
public:
    ExportCancelled() : ExportError("导出已取消。") {}
};

// Writes the whole grid to `path`. The file is written beside `path` and put in its place
// only when complete, so a failed, cancelled or killed export leaves an existing file as
// it was and no partial file behind. A grid with the member grid's headings (and maybe
// 来源任务 first) may go out with `options`; an unknown combination raises ExportError.
ExportSummary ExportGrid(const StringGrid& grid, const std::string& path, ExportFormat format,
                         const ExportOptions& options, const ExportProgress& progress = {});
ExportSummary ExportGrid(const StringGrid& grid, const std::string& path, ExportFormat format,
                         const ExportProgress& progress = {});

}  // namespace qv::exporting
