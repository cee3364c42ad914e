#include "export/xlsx_writer.h"

#include <gtest/gtest.h>

#include "export/export_file.h"
#include "tests/export/grid_fixtures.h"
#include "tests/support/temp_dir.h"

namespace qv::test {
namespace {

using exporting::ExportFormat;
using exporting::ExportGrid;

// The cells of sheet1.xml as (reference, type, style, text).
struct SheetCell {
    std::string ref, type, style, text;
};
std::string Attribute(const std::string& tag, const std::string& name) {
    size_t at = tag.find(" " + name + "=\"");
    if (at == std::string::npos) return {};
    at += name.size() + 3;
    return tag.substr(at, tag.find('"', at) - at);
}

std::vector<SheetCell> Cells(const std::string& xml) {
    std::vector<SheetCell> cells;
    for (size_t at = xml.find("<c "); at != std::string::npos; at = xml.find("<c ", at + 1)) {
        std::string tag = xml.substr(at, xml.find('>', at) - at);
        size_t text = xml.find('>', xml.find("<t", at)) + 1;
        cells.push_back({Attribute(tag, "r"), Attribute(tag, "t"), Attribute(tag, "s"),
                         xml.substr(text, xml.find("</t>", text) - text)});
    }
    return cells;
}

TEST(XlsxWriter, WritesEveryCellAsTextWithABoldFrozenHeaderAndTheGridsColumns) {
    TempDir dir;
    VectorGrid grid(
        {{"编号", "公司名称", "链接"}, {"1", "=1+1", "http://a/?x=1&y=<2>"}, {"2", "+86 571", ""}},
        {40, 200, 0});
    ExportGrid(grid, dir.file("out.xlsx"), ExportFormat::Xlsx);
    std::string zip = ReadFileBytes(dir.file("out.xlsx"));
    std::string sheet = ReadZipMember(zip, "xl/worksheets/sheet1.xml");
    ASSERT_FALSE(sheet.empty());
    EXPECT_EQ(sheet.find("<f>"), std::string::npos) << "no formula";

    auto cells = Cells(sheet);
    ASSERT_EQ(cells.size(), 8u) << sheet;  // the empty cell is left out
    EXPECT_EQ(cells[0].ref, "A1");
    EXPECT_EQ(cells[0].text, "编号");
    EXPECT_EQ(cells[4].text, "=1+1");
    EXPECT_EQ(cells[5].text, "http://a/?x=1&amp;y=&lt;2&gt;");
    EXPECT_EQ(cells[6].ref, "A3");
    EXPECT_EQ(cells[7].text, "+86 571");
    for (const auto& c : cells) {
        EXPECT_EQ(c.type, "inlineStr") << c.ref;
        EXPECT_EQ(c.style.empty(), c.ref.back() != '1')
            << c.ref << ": only the header row is styled";
    }
    std::string styles = ReadZipMember(zip, "xl/styles.xml");
    EXPECT_NE(styles.find("<b/>"), std::string::npos) << "a bold font for the header";

    EXPECT_NE(
        sheet.find(R"(<pane ySplit="1" topLeftCell="A2" activePane="bottomLeft" state="frozen"/>)"),
        std::string::npos);
    EXPECT_NE(sheet.find(R"(<col min="3" max="3" width="0" hidden="1" customWidth="1"/>)"),
              std::string::npos)
        << sheet.substr(0, 800);
    EXPECT_NE(sheet.find(R"(<col min="2" max="2" width="28.5703125" customWidth="1"/>)"),
              std::string::npos);
}

TEST(XlsxWriter, WritesTheRecordNumberAndTrustPassIndexAsNumbersAndDigitStringsAsText) {
    TempDir dir;
    VectorGrid grid({{"序号", "诚信通指数", "银行帐号", "邮编"},
                     {"1", "120", "6222000011112222333", "310012"},
                     {"2", "", "0123", "0571"},
                     {"3", "0120", "12", "1"},
                     {"4", "1234567890123456", "x", "y"}});
    ExportGrid(grid, dir.file("n.xlsx"), ExportFormat::Xlsx);
    const std::string sheet = ReadZipMember(ReadFileBytes(dir.file("n.xlsx")), "xl/worksheets/sheet1.xml");
    EXPECT_NE(sheet.find(R"(<c r="A2"><v>1</v></c>)"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find(R"(<c r="B2"><v>120</v></c>)"), std::string::npos);
    EXPECT_NE(sheet.find(R"(<c r="A5"><v>4</v></c>)"), std::string::npos);
    for (std::string text : {"6222000011112222333", "310012", "0123", "0571", "12", "1", "0120", "1234567890123456"})
        EXPECT_NE(sheet.find("<t>" + text + "</t>"), std::string::npos) << text << " stays text";
    EXPECT_EQ(sheet.find(R"(<c r="B3")"), std::string::npos) << "an empty index is no cell";
    EXPECT_TRUE(exporting::IsSheetNumber("999999999999999"));
    EXPECT_FALSE(exporting::IsSheetNumber("1e5"));
    EXPECT_FALSE(exporting::IsSheetNumber("-1"));
}

TEST(XlsxWriter, WritesAGridOfEmptyCells) {
    TempDir dir;
    ExportGrid(VectorGrid(2, 3), dir.file("empty.xlsx"), ExportFormat::Xlsx);
    std::string sheet =
        ReadZipMember(ReadFileBytes(dir.file("empty.xlsx")), "xl/worksheets/sheet1.xml");
    EXPECT_NE(sheet.find(R"(<c r="C1" s="1"/>)"), std::string::npos) << sheet;
}

TEST(XlsxWriter, ALastRowOfSeveralLongCellsPassesTheReadBack) {
    // The finished file is read back to its last row; that row alone is larger than any
    // one piece the read-back inflates at a time.
    TempDir dir;
    VectorGrid grid(
        {std::vector<std::string>(20, "h"), std::vector<std::string>(20, std::string(32767, 'x'))});
    ExportGrid(grid, dir.file("wide.xlsx"), ExportFormat::Xlsx);
    auto cells =
        Cells(ReadZipMember(ReadFileBytes(dir.file("wide.xlsx")), "xl/worksheets/sheet1.xml"));
    ASSERT_EQ(cells.size(), 40u);
    EXPECT_EQ(cells[39].text.size(), 32767u);
}

TEST(XlsxWriter, KeepsOnlyTextASheetCanHold) {
    EXPECT_EQ(exporting::XlsxCellText("a\x01"
                                      "b\tc"),
              "ab\tc");
    EXPECT_EQ(exporting::XlsxCellText("x\xC3y"), "x\xEF\xBF\xBDy") << "a broken sequence";
    EXPECT_EQ(exporting::XlsxCellText("杭州"), "杭州");
    EXPECT_EQ(exporting::XlsxCellText("a_x000D_b_x00_"), "a_x005F_x000D_b_x00_")
        << "readers would take _x000D_ for a carriage return";
    std::string longest;
    for (int i = 0; i < 40000; ++i) longest += "灯";
    std::string cut = exporting::XlsxCellText(longest);
    EXPECT_EQ(cut.size(), 3u * 32767);

    TempDir dir;
    ExportGrid(VectorGrid({{longest, "a\x02z", "_x0041_"}}), dir.file("long.xlsx"),
               ExportFormat::Xlsx);
    auto cells =
        Cells(ReadZipMember(ReadFileBytes(dir.file("long.xlsx")), "xl/worksheets/sheet1.xml"));
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_EQ(cells[0].text, cut);
    EXPECT_EQ(cells[1].text, "az");
    EXPECT_EQ(cells[2].text, "_x005F_x0041_");
}

}  // namespace
}  // namespace qv::test
