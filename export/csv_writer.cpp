#include "export/csv_writer.h"

#include <cstdint>

#include "export/temp_output.h"

namespace qv::exporting {

namespace {

// One look per byte: a merged file runs to a gigabyte of text.
bool NeedsQuotes(std::string_view text) {
    for (char c : text)
        if (c == ',' || c == '"' || c == '\r' || c == '\n') return true;
    return false;
}

// A cell a spreadsheet would take for a formula: "=", "+", "-" or "@" first, or a tab or
// CR, which some readers drop before looking at what follows. Numbers and phone numbers ("+8613955875697",
// "-12", "(0571) 8888-8888") are left alone, as a spreadsheet reads them as values.
bool CouldRunAsFormula(std::string_view text) {
    if (text.empty()) return false;
    const char first = text.front();
    if (first != '=' && first != '+' && first != '-' && first != '@' && first != '\t' &&
        first != '\r')
        return false;
    bool digit = false;
    for (char c : text) {
        if (c >= '0' && c <= '9')
            digit = true;
        else if (c != ' ' && c != '+' && c != '-' && c != '(' && c != ')')
            return true;
    }
    return !digit;
}

}  // namespace

void AppendCsvField(std::string& line, std::string_view text) {
    const bool guard = CouldRunAsFormula(text);
    if (!NeedsQuotes(text)) {
        if (guard) line.push_back('\'');
        line.append(text);
        return;
    }
    line.push_back('"');
    if (guard) line.push_back('\'');
    for (char c : text) {
        if (c == '"') line.push_back('"');
        line.push_back(c);
    }
    line.push_back('"');
}

void WriteCsv(const StringGrid& grid, TempOutput& file, const ExportProgress& progress) {
    const int rows = grid.RowCount();
    const int columns = grid.ColumnCount();
    const std::int64_t total = std::int64_t{rows} * columns;
    file.Write("\xEF\xBB\xBF");
    std::string line;
    for (int r = 0; r < rows; ++r) {
        line.clear();
        for (int c = 0; c < columns; ++c) {
            if (c > 0) line.push_back(',');
            AppendCsvField(line, grid.CellText(r, c));
        }
        line.append("\r\n");
        file.Write(line);
        if (r % 256 == 255 && progress && !progress(std::int64_t{r + 1} * columns, total))
            throw ExportCancelled();
    }
    if (progress) progress(total, total);
}

}  // namespace qv::exporting
