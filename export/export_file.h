#pragma once
// Writing a string grid to a spreadsheet file: the format follows the file's extension,
// and the file appears only when it is complete.
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "export/string_grid.h"

namespace qv::exporting {

enum class ExportFormat { Xls, Xlsx, Csv };

// The format of ".xls", ".xlsx" or ".csv" (any case); none for another extension.
std::optional<ExportFormat> ExportFormatOf(std::string_view path);

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

// Writes the whole grid to `path`. The file is written under a temporary name in the
// same folder and renamed over `path` only when complete, so a failed or cancelled
// export leaves an existing file as it was and no partial file behind.
void ExportGrid(const StringGrid& grid, const std::string& path, ExportFormat format,
                const ExportProgress& progress = {});

}  // namespace qv::exporting
