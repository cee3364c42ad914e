#include "export/csv_writer.h"

#include <gtest/gtest.h>

#include "export/export_file.h"
#include "tests/export/grid_fixtures.h"
#include "tests/support/temp_dir.h"

namespace qv::test {
namespace {

TEST(CsvWriter, QuotesCommasQuotesAndLineBreaksAndEndsRowsWithCrLf) {
    TempDir dir;
    VectorGrid grid({{"序号", "公司名称", "地址"},
                     {"1", "Acme, Inc.", "say \"hi\""},
                     {"2", "两行\r\n文字", "only\nLF"},
                     {"3", "", "=1+1"}});
    exporting::ExportGrid(grid, dir.file("out.csv"), exporting::ExportFormat::Csv);
    EXPECT_EQ(ReadFileBytes(dir.file("out.csv")),
              "\xEF\xBB\xBF"
              "序号,公司名称,地址\r\n"
              "1,\"Acme, Inc.\",\"say \"\"hi\"\"\"\r\n"
              "2,\"两行\r\n文字\",\"only\nLF\"\r\n"
              "3,,=1+1\r\n");
}

TEST(CsvWriter, LeavesPlainFieldsAsTheyAre) {
    std::string line;
    exporting::AppendCsvField(line, " spaces stay ");
    exporting::AppendCsvField(line, "'quote'");
    EXPECT_EQ(line, " spaces stay 'quote'");
    line.clear();
    exporting::AppendCsvField(line, "\"");
    EXPECT_EQ(line, "\"\"\"\"");
}

}  // namespace
}  // namespace qv::test
