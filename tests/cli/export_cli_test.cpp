#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <vector>

#include "cli/commands.h"
#include "core/data_files.h"
#include "tests/export/grid_fixtures.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

struct Result {
    int code;
    std::string out, err;
};

Result RunExport(const std::vector<std::string>& args) {
    std::vector<const char*> argv{"quorvane-cli", "export"};
    for (const auto& a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    int code = cli::Run(static_cast<int>(argv.size()), argv.data(), {out, err});
    return {code, out.str(), err.str()};
}

class ExportCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CreateDatabaseFile(db, false));
        ExecuteOnDatabaseFile(db, kCreateDataListSql);
        MemberValues v{};
        v[mfCompanyName] = "杭州西湖灯具厂";
        v[mfMobile] = "13900001111";
        ExecuteOnDatabaseFile(db, BuildInsertStatement(v));
    }
    test::TempDir dir;
    std::string db = dir.file("灯具.db");
};

TEST_F(ExportCliTest, WritesTheFormatOfTheExtensionInAnyCase) {
    Result r = RunExport({db, dir.file("out.XLS")});
    ASSERT_EQ(r.code, 0) << r.err;
    auto cells = test::ReadBiff(test::ReadFileBytes(dir.file("out.XLS")));
    EXPECT_EQ(cells.order.size(), 2u * 32);
    EXPECT_EQ((cells.text[{1, 1}]), "杭州西湖灯具厂");
    EXPECT_EQ((cells.text[{1, 8}]), "13900001111");

    ASSERT_EQ(RunExport({db, dir.file("out.csv")}).code, 0);
    std::string csv = test::ReadFileBytes(dir.file("out.csv"));
    EXPECT_EQ(csv.rfind("\xEF\xBB\xBF序号,公司名称,", 0), 0u);
    EXPECT_NE(csv.find("\r\n1,杭州西湖灯具厂,"), std::string::npos);

    ASSERT_EQ(RunExport({db, dir.file("out.xlsx")}).code, 0);
    std::string sheet =
        test::ReadZipMember(test::ReadFileBytes(dir.file("out.xlsx")), "xl/worksheets/sheet1.xml");
    EXPECT_NE(sheet.find("<t>杭州西湖灯具厂</t>"), std::string::npos);
}

TEST_F(ExportCliTest, RefusesOtherExtensionsAndReportsFailures) {
    Result usage = RunExport({db, dir.file("out.txt")});
    EXPECT_EQ(usage.code, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.txt")));

    Result missing = RunExport({dir.file("missing.db"), dir.file("out.xls")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.err.rfind("数据导出失败。\n", 0), 0u) << missing.err;
    EXPECT_GT(missing.err.size(), std::string("数据导出失败。\n").size())
        << "a line with the reason";

    Result no_folder = RunExport({db, dir.file("no/such/folder/out.csv")});
    EXPECT_EQ(no_folder.code, 1);
    EXPECT_NE(no_folder.err.find("no/such/folder/out.csv"), std::string::npos) << no_folder.err;
}

}  // namespace
}  // namespace qv
