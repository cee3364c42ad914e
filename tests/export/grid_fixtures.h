#pragma once
// Small grids and readers for the export tests. The readers are written from the file
// formats, not from the writers, so a writer cannot agree with itself by mistake.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "export/string_grid.h"

namespace qv::test {

class VectorGrid : public exporting::StringGrid {
public:
    explicit VectorGrid(std::vector<std::vector<std::string>> rows, std::vector<int> widths = {})
        : rows_(std::move(rows)), widths_(std::move(widths)) {}
    // rows × columns of empty cells.
    VectorGrid(int rows, int columns)
        : rows_(static_cast<size_t>(rows), std::vector<std::string>(static_cast<size_t>(columns))) {
    }

    int RowCount() const override { return static_cast<int>(rows_.size()); }
    int ColumnCount() const override {
        return rows_.empty() ? 0 : static_cast<int>(rows_[0].size());
    }
    std::string_view CellText(int row, int column) const override { return rows_[row][column]; }
    int ColumnWidth(int column) const override {
        return static_cast<size_t>(column) < widths_.size() ? widths_[column] : 64;
    }

private:
    std::vector<std::vector<std::string>> rows_;
    std::vector<int> widths_;
};

// A bare BIFF stream read record by record: every LABEL's text (converted from GBK) by
// (row, column), in file order. Fails the test on anything but BOF, LABELs, EOF.
struct BiffCells {
    std::vector<std::pair<int, int>> order;  // (row, column) as written
    std::map<std::pair<int, int>, std::string> text;
};
BiffCells ReadBiff(const std::string& bytes);

// The named member of a zip archive, inflated; empty when absent.
std::string ReadZipMember(const std::string& archive, const std::string& name);

// The rows of a CSV file (RFC 4180 quoting, CRLF between rows), without its byte-order mark.
std::vector<std::vector<std::string>> ReadCsv(const std::string& bytes);

// GBK bytes to UTF-8, through iconv directly.
std::string GbkBytesToUtf8(const std::string& gbk);

}  // namespace qv::test
