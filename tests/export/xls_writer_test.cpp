#include "export/xls_writer.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "export/export_file.h"
#include "tests/export/grid_fixtures.h"
#include "tests/support/temp_dir.h"

namespace qv::test {
namespace {

using exporting::ExportFormat;
using exporting::ExportGrid;
using exporting::SaveGridAsXls;

std::string Label(int row, int column, const std::string& gbk) {
    std::string r = {'\x04',
                     '\x02',
                     static_cast<char>(8 + gbk.size()),
                     '\0',
                     static_cast<char>(row),
                     '\0',
                     static_cast<char>(column),
                     '\0',
                     '\0',
                     '\0',
                     static_cast<char>(gbk.size()),
                     '\0'};
    return r + gbk;
}

const std::string kBof("\x09\x08\x08\x00\x00\x00\x10\x00\x00\x00\x00\x00", 12);
const std::string kEof("\x0A\x00\x00\x00", 4);

TEST(XlsWriter, WritesTheExactBytesOfSmallGrids) {
    TempDir dir;
    // 2 rows × 3 columns, all empty: BOF, six cells column by column, EOF.
    ASSERT_TRUE(SaveGridAsXls(VectorGrid(2, 3), dir.file("empty.xls")));
    std::string expected = kBof;
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 2; ++r) expected += Label(r, c, "");
    expected += kEof;
    EXPECT_EQ(expected.size(), 88u);
    EXPECT_EQ(ReadFileBytes(dir.file("empty.xls")), expected);

    VectorGrid abc({{"", "", ""}, {"", "", "abc"}});
    ASSERT_TRUE(SaveGridAsXls(abc, dir.file("abc.xls")));
    std::string bytes = ReadFileBytes(dir.file("abc.xls"));
    EXPECT_NE(bytes.find(std::string("\x04\x02\x0B\x00\x01\x00\x02\x00\x00\x00\x03\x00"
                                     "abc",
                                     15)),
              std::string::npos);
    EXPECT_EQ(bytes.size(), 16u + 12u * 6 + 3);

    // Two Chinese characters are four GBK bytes.
    ASSERT_TRUE(SaveGridAsXls(VectorGrid({{"灯具"}}), dir.file("cn.xls")));
    EXPECT_EQ(ReadFileBytes(dir.file("cn.xls")), kBof + Label(0, 0, "\xB5\xC6\xBE\xDF") + kEof);
}

TEST(XlsWriter, ReplacesAnExistingFileEntirelyKeepingItsPermissions) {
    TempDir dir;
    WriteFileBytes(dir.file("out.xls"), std::string(10000, 'x'));
    std::filesystem::permissions(dir.file("out.xls"), std::filesystem::perms::owner_read |
                                                          std::filesystem::perms::owner_write);
    ASSERT_TRUE(SaveGridAsXls(VectorGrid(1, 1), dir.file("out.xls")));
    EXPECT_EQ(ReadFileBytes(dir.file("out.xls")), kBof + Label(0, 0, "") + kEof);
    EXPECT_EQ(std::filesystem::status(dir.file("out.xls")).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST(XlsWriter, GridsBeyondTheFormatFailWithAReasonAndWriteNothing) {
    TempDir dir;
    // 65,536 rows (header + 65,535 records) still fit; one more does not.
    ASSERT_TRUE(SaveGridAsXls(VectorGrid(65536, 1), dir.file("fits.xls")));
    auto cells = ReadBiff(ReadFileBytes(dir.file("fits.xls")));
    ASSERT_EQ(cells.order.size(), 65536u);
    EXPECT_EQ(cells.order.back(), (std::pair<int, int>{65535, 0}));

    WriteFileBytes(dir.file("old.xls"), "keep");
    try {
        ExportGrid(VectorGrid(65537, 1), dir.file("old.xls"), ExportFormat::Xls);
        FAIL() << "a grid of 65,537 rows was written";
    } catch (const exporting::ExportError& e) {
        EXPECT_NE(std::string(e.what()).find(".xlsx"), std::string::npos) << e.what();
    }
    EXPECT_THROW(ExportGrid(VectorGrid(1, 65537), dir.file("wide.xls"), ExportFormat::Xls),
                 exporting::ExportError);
    EXPECT_EQ(ReadFileBytes(dir.file("old.xls")), "keep");
    EXPECT_FALSE(std::filesystem::exists(dir.file("wide.xls")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2)
        << "only fits.xls and old.xls";
}

TEST(XlsWriter, CutsAnOverlongCellAtACharacterBoundary) {
    // 65,527 is odd: the cut falls inside a two-byte character and must step back.
    std::string text;
    for (int i = 0; i < 40000; ++i) text += "灯";
    std::string gbk = exporting::XlsCellBytes(text);
    EXPECT_EQ(gbk.size(), 65526u) << "2·32763 bytes";
    EXPECT_NO_THROW(GbkBytesToUtf8(gbk));
    EXPECT_EQ(exporting::XlsCellBytes(std::string(70000, 'x')).size(), 65527u);

    TempDir dir;
    ASSERT_TRUE(SaveGridAsXls(VectorGrid({{text, "next"}}), dir.file("long.xls")));
    auto cells = ReadBiff(ReadFileBytes(dir.file("long.xls")));
    EXPECT_EQ((cells.text[{0, 0}]), text.substr(0, 3 * 32763));
    EXPECT_EQ((cells.text[{0, 1}]), "next");
}

TEST(XlsWriter, ReportsFailureForAFolderThatDoesNotExist) {
    TempDir dir;
    EXPECT_FALSE(SaveGridAsXls(VectorGrid(1, 1), dir.file("missing/out.xls")));
}

}  // namespace
}  // namespace qv::test
