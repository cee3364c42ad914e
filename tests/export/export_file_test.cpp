#include "export/export_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "core/data_files.h"
#include "core/field_cipher.h"
#include "export/file_error.h"
#include "export/member_file_grid.h"
#include "tests/export/grid_fixtures.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temp_dir.h"

namespace qv::test {
namespace {

using exporting::ExportFormat;
using exporting::ExportGrid;

size_t FilesIn(const std::filesystem::path& dir) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

TEST(ExportFile, PicksTheFormatByExtensionInAnyCase) {
    EXPECT_EQ(exporting::ExportFormatOf("a/b.xls"), ExportFormat::Xls);
    EXPECT_EQ(exporting::ExportFormatOf("B.XLSX"), ExportFormat::Xlsx);
    EXPECT_EQ(exporting::ExportFormatOf("数据.Csv"), ExportFormat::Csv);
    EXPECT_EQ(exporting::ExportFormatOf("名片.VCF"), ExportFormat::Vcf);
    EXPECT_EQ(exporting::ExportFormatOf("x.txt"), std::nullopt);
    EXPECT_EQ(exporting::ExportFormatOf("xls"), std::nullopt);
    EXPECT_EQ(exporting::ExportFormatOf("dir.xls/file"), std::nullopt);
}

// Every way an export can end early leaves the old file as it was and nothing beside it.
TEST(ExportFile, AFailedOrCancelledExportKeepsTheOldFileAndLeavesNoPartialFile) {
    TempDir dir;
    const std::string target = dir.file("客户.xls");
    WriteFileBytes(target, "old contents");
    // Distinct texts, so that even the compressed .xlsx passes the file size limit below.
    std::vector<std::vector<std::string>> rows(3000, std::vector<std::string>(32));
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < 32; ++c)
            rows[r][c] = "文三路" + std::to_string(r * 7919 + c * 104729);
    VectorGrid big(rows);

    for (auto format : {ExportFormat::Xls, ExportFormat::Xlsx, ExportFormat::Csv}) {
        int calls = 0;
        EXPECT_THROW(ExportGrid(big, target, format,
                                [&](std::int64_t, std::int64_t) { return ++calls < 2; }),
                     exporting::ExportCancelled);
        EXPECT_EQ(ReadFileBytes(target), "old contents");
        EXPECT_EQ(FilesIn(dir.path()), 1u);
    }
    // An .xlsx cancelled while its archive is packed, the second half of its work.
    EXPECT_THROW(ExportGrid(big, target, ExportFormat::Xlsx,
                            [](std::int64_t done, std::int64_t total) { return done <= total / 2; }),
                 exporting::ExportCancelled);
    EXPECT_EQ(ReadFileBytes(target), "old contents");
    EXPECT_EQ(FilesIn(dir.path()), 1u);

    {
        FileSizeLimit full_disk(64 * 1024);
        for (auto format : {ExportFormat::Xls, ExportFormat::Xlsx, ExportFormat::Csv})
            EXPECT_THROW(ExportGrid(big, target, format), exporting::ExportError)
                << static_cast<int>(format);
    }
    EXPECT_EQ(ReadFileBytes(target), "old contents");
    EXPECT_EQ(FilesIn(dir.path()), 1u);

    // A folder of the target's name cannot be replaced.
    std::filesystem::create_directory(dir.file("out.csv"));
    EXPECT_THROW(ExportGrid(big, dir.file("out.csv"), ExportFormat::Csv), exporting::ExportError);
    EXPECT_EQ(FilesIn(dir.path()), 2u);
}

// Runs `write` with stderr taken into a file; returns what was printed on it.
template <typename Write>
std::string Stderr(Write write) {
    std::fflush(stderr);
    FILE* capture = std::tmpfile();
    const int saved = ::dup(2);
    ::dup2(::fileno(capture), 2);
    write();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    std::rewind(capture);
    std::string text;
    for (int c; (c = std::fgetc(capture)) != EOF;) text.push_back(static_cast<char>(c));
    std::fclose(capture);
    return text;
}

TEST(ExportFile, AFailedWriteNamesTheFileAndSaysWhyInWords) {
    TempDir dir;
    std::vector<std::vector<std::string>> rows(3000, std::vector<std::string>(32));
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < 32; ++c) rows[r][c] = "文三路" + std::to_string(r * 7919 + c * 104729);
    VectorGrid big(rows);
    const std::string target = dir.file("客户.out");
    for (auto format : {ExportFormat::Xls, ExportFormat::Xlsx, ExportFormat::Csv}) {
        std::string message;
        const std::string printed = Stderr([&] {
            FileSizeLimit full_disk(64 * 1024);
            try {
                ExportGrid(big, target, format);
            } catch (const exporting::ExportError& e) {
                message = e.what();
            }
        });
        EXPECT_NE(message.find(target), std::string::npos) << message;
        EXPECT_NE(message.find("文件过大"), std::string::npos) << message;
        EXPECT_NE(message.find("File too large"), std::string::npos) << "the system's text: " << message;
        EXPECT_EQ(printed, "") << "no library prints on its own";
    }
    EXPECT_NE(exporting::WriteFailureText("/a/b.csv", ENOSPC).find("磁盘已满"), std::string::npos);
    EXPECT_NE(exporting::WriteFailureText("/a/b.csv", EACCES).find("没有写入权限"), std::string::npos);

    std::string message;
    try {
        ExportGrid(big, dir.file("no/such/folder/a.csv"), ExportFormat::Csv);
    } catch (const exporting::ExportError& e) {
        message = e.what();
    }
    EXPECT_NE(message.find("no/such/folder/a.csv"), std::string::npos) << message;
    EXPECT_NE(message.find("文件夹不存在"), std::string::npos) << message;
}

TEST(ExportFile, RemovesTemporariesLeftBehindAndNoOneElses) {
    TempDir dir;
    // Left by an export that was killed, and by one still running (it holds its lock).
    WriteFileBytes(dir.file(".客户.csv.042917.tmp"), "partial");
    WriteFileBytes(dir.file(".old.xlsx.7.tmp"), "partial");
    WriteFileBytes(dir.file(".running.csv.123456.tmp"), "partial");
    const int running = ::open(dir.file(".running.csv.123456.tmp").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(running, LOCK_EX), 0);
    // Not ours.
    WriteFileBytes(dir.file(".notes.tmp"), "mine");
    WriteFileBytes(dir.file("report.123456.tmp"), "mine");

    ExportGrid(VectorGrid({{"a"}}), dir.file("客户.csv"), ExportFormat::Csv);
    EXPECT_FALSE(std::filesystem::exists(dir.file(".客户.csv.042917.tmp")));
    EXPECT_FALSE(std::filesystem::exists(dir.file(".old.xlsx.7.tmp")));
    EXPECT_TRUE(std::filesystem::exists(dir.file(".running.csv.123456.tmp")));
    EXPECT_TRUE(std::filesystem::exists(dir.file(".notes.tmp")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("report.123456.tmp")));
    EXPECT_EQ(FilesIn(dir.path()), 4u);
    ::close(running);
}

TEST(ExportFile, CountsTheCellsCutAtTheFormatsLimit) {
    TempDir dir;
    std::string long_text;
    for (int i = 0; i < 40000; ++i) long_text += "灯";
    VectorGrid grid({{"公司名称", "公司介绍"}, {long_text, "短"}, {"甲", long_text}, {"乙", "丙"}});
    auto xlsx = ExportGrid(grid, dir.file("a.xlsx"), ExportFormat::Xlsx);
    EXPECT_EQ(xlsx.cut_cells, 2);
    EXPECT_EQ(exporting::CutCellsText(xlsx, ExportFormat::Xlsx),
              "有 2 个单元格超出 .xlsx 文件单元格的长度上限（32767 个字符），已截断。");
    // 40,000 characters are 80,000 GBK bytes, beyond the 65,527 of a BIFF cell.
    auto xls = ExportGrid(grid, dir.file("a.xls"), ExportFormat::Xls);
    EXPECT_EQ(xls.cut_cells, 2);
    EXPECT_NE(exporting::CutCellsText(xls, ExportFormat::Xls).find("65527 字节"), std::string::npos);
    auto csv = ExportGrid(grid, dir.file("a.csv"), ExportFormat::Csv);
    EXPECT_EQ(csv.cut_cells, 0);
    EXPECT_EQ(exporting::CutCellsText(csv, ExportFormat::Csv), "");
}

class MemberFileGridTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CreateDatabaseFile(path, false));
        ExecuteOnDatabaseFile(path, kCreateDataListSql);
    }
    TempDir dir;
    std::string path = dir.file("灯具.db");
};

TEST_F(MemberFileGridTest, AnEmptyFileGivesTheHeaderRowAndOneEmptyRow) {
    exporting::MemberFileGrid grid(path);
    ASSERT_EQ(grid.RowCount(), 2);
    ASSERT_EQ(grid.ColumnCount(), 32);
    EXPECT_EQ(grid.CellText(0, 0), "序号");
    EXPECT_EQ(grid.CellText(0, 31), "公司介绍");
    for (int c = 0; c < 32; ++c) EXPECT_EQ(grid.CellText(1, c), "") << c;
    EXPECT_EQ(grid.ColumnWidth(1), 200);
    EXPECT_EQ(grid.ColumnWidth(30), 0);
    EXPECT_THROW(exporting::MemberFileGrid(dir.file("missing.db")), std::exception);
}

TEST_F(MemberFileGridTest, ARealDataFileReadsBackFromTheXlsCellForCell) {
    MemberValues first{};
    first[mfCompanyName] = "深圳市光明灯具有限公司";
    first[mfLinkMan] = "王小明";
    first[mfAddress] = "  深圳市宝安区  ";
    first[mfSendMsgLink] = " http://msg/1 ";
    first[mfCompanyContext] = "第一行\r\n第二行";
    first[mfBankAccount] = "6222 0000 1111";
    MemberValues second{};
    second[mfCompanyName] = "Acme, \"Pumps\"";
    second[mfPhone] = "0571-88886666";
    ExecuteOnDatabaseFile(path, BuildInsertStatement(first));
    ExecuteOnDatabaseFile(path, BuildInsertStatement(second));

    exporting::MemberFileGrid grid(path);
    ASSERT_EQ(grid.RowCount(), 3);
    ExportGrid(grid, dir.file("out.xls"), ExportFormat::Xls);
    BiffCells cells = ReadBiff(ReadFileBytes(dir.file("out.xls")));
    ASSERT_EQ(cells.order.size(), 3u * 32);
    for (size_t i = 0; i < cells.order.size(); ++i) {
        EXPECT_EQ(cells.order[i],
                  (std::pair<int, int>(static_cast<int>(i % 3), static_cast<int>(i / 3))));
    }
    auto cell = [&](int r, int c) { return cells.text[{r, c}]; };
    EXPECT_EQ(cell(0, 1), "公司名称");
    EXPECT_EQ(cell(0, 29), "发送留言链接");
    EXPECT_EQ(cell(1, 0), "1");
    EXPECT_EQ(cell(2, 0), "2");
    EXPECT_EQ(cell(1, 1), "深圳市光明灯具有限公司") << "deciphered";
    EXPECT_EQ(cell(1, 5), "王小明");
    EXPECT_EQ(cell(1, 11), "深圳市宝安区") << "trimmed";
    EXPECT_EQ(cell(1, 28), "6222 0000 1111");
    EXPECT_EQ(cell(1, 29), " http://msg/1 ") << "hidden links as stored";
    EXPECT_EQ(cell(1, 31), "第一行\r\n第二行");
    EXPECT_EQ(cell(2, 1), "Acme, \"Pumps\"");
    EXPECT_EQ(cell(2, 9), "0571-88886666");
    EXPECT_EQ(cell(2, 2), "");
}

}  // namespace
}  // namespace qv::test
