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
              "3,,'=1+1\r\n");
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

TEST(CsvWriter, WritesFormulaLikeCellsAsTextAndNumbersAsTheyAre) {
    auto field = [](std::string_view text) {
        std::string line;
        exporting::AppendCsvField(line, text);
        return line;
    };
    EXPECT_EQ(field("=HYPERLINK(\"http://x\",\"点我\")"), "\"'=HYPERLINK(\"\"http://x\"\",\"\"点我\"\")\"");
    EXPECT_EQ(field("=cmd|' /C calc'!A0"), "'=cmd|' /C calc'!A0");
    EXPECT_EQ(field("+1+cmd"), "'+1+cmd");
    EXPECT_EQ(field("-2+3*A1"), "'-2+3*A1");
    EXPECT_EQ(field("@SUM(A1:A2)"), "'@SUM(A1:A2)");
    EXPECT_EQ(field("\t=1+1"), "'\t=1+1");
    EXPECT_EQ(field("\r=1+1"), "\"'\r=1+1\"");
    EXPECT_EQ(field("-"), "'-");
    EXPECT_EQ(field("=1,2"), "\"'=1,2\"");
    // Values a spreadsheet reads as numbers, and text that starts otherwise.
    EXPECT_EQ(field("+8613955875697"), "+8613955875697");
    EXPECT_EQ(field("-12"), "-12");
    EXPECT_EQ(field("+86 (0571) 8888-8888"), "+86 (0571) 8888-8888");
    EXPECT_EQ(field("0755-83456789"), "0755-83456789");
    EXPECT_EQ(field("a=b"), "a=b");
    EXPECT_EQ(field(" =1"), " =1");
}

}  // namespace
}  // namespace qv::test
