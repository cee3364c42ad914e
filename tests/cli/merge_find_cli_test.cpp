#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "core/run_lock.h"
#include "tests/cli/cli_runner.h"
#include "tests/export/grid_fixtures.h"
#include "tests/support/member_files.h"
#include "tests/support/temp_dir.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

struct Result {
    int code;
    std::string out, err;
};

Result Cli(std::vector<std::string> args) {
    Result r;
    r.code = RunCli(std::move(args), r.out, r.err);
    return r;
}

class MergeFindCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        MakeDataFile(lamps, {Member("杭州西湖灯具厂", "m1", {{mfMobile, "13900001111"}}),
                             Member("宁波照明", "m2")});
        MakeDataFile(decor, {Member("杭州西湖灯具厂", "m1", {{mfMobile, "13900001111"}, {mfLinkMan, "王一"}}),
                             Member("宁波照明", "m9")});
    }
    TempDir dir;
    std::string lamps = dir.file("灯具.db");
    std::string decor = dir.file("灯饰.db");
};

TEST_F(MergeFindCliTest, MergeNamesTasksByFileAndTakesTheRuleAndFormatAsGiven) {
    Result r = Cli({"merge", dir.file("合并.csv"), lamps, decor});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "共 3 条记录，来自 2 个任务，合并了 1 条重复记录。\n");
    auto rows = ReadCsv(ReadFileBytes(dir.file("合并.csv")));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1][0], "灯具;灯饰") << "each file is the task of its name without .db";
    EXPECT_EQ(rows[1][6], "王一");
    EXPECT_EQ(rows[3][0], "灯饰");

    r = Cli({"merge", "--dedup", "name", dir.file("按名称.XLSX"), decor, lamps});
    ASSERT_EQ(r.code, 0) << r.err;
    std::string sheet = ReadZipMember(ReadFileBytes(dir.file("按名称.XLSX")), "xl/worksheets/sheet1.xml");
    EXPECT_NE(sheet.find("<t>灯饰;灯具</t>"), std::string::npos) << "in the order given";

    r = Cli({"merge", "--dedup", "none", dir.file("全部.xls"), lamps, decor});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadBiff(ReadFileBytes(dir.file("全部.xls"))).order.size(), 5u * 33);
}

TEST_F(MergeFindCliTest, MergeFailsWithTheBadFileAndWritesNothingUnlessToldToSkipIt) {
    const std::string out = dir.file("合并.csv");
    EXPECT_EQ(Cli({"merge", "--dedup", "phone", out, lamps}).code, 2);
    EXPECT_EQ(Cli({"merge", dir.file("合并.txt"), lamps}).code, 2);
    EXPECT_EQ(Cli({"merge", out}).code, 2) << "no file";

    DataFileRunLock run = DataFileRunLock::TryAcquire(decor);
    Result r = Cli({"merge", out, lamps, decor});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("任务“灯饰”"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(decor), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out));

    r = Cli({"merge", "--skip-bad", out, lamps, decor, dir.file("没有.db")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("已跳过任务“灯饰”"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("已跳过任务“没有”"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "共 2 条记录，来自 1 个任务，合并了 0 条重复记录。\n");
}

TEST_F(MergeFindCliTest, FindPrintsEachHitAsJsonWithItsTaskAndTakesTheWindowsFieldNames) {
    Result r = Cli({"find", "13900001111", lamps, decor});
    ASSERT_EQ(r.code, 0) << r.err;
    std::istringstream lines(r.out);
    std::vector<nlohmann::json> hits;
    for (std::string line; std::getline(lines, line);) hits.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0]["task"], "灯具");
    EXPECT_EQ(hits[0]["ID"], 1);
    EXPECT_EQ(hits[0]["Mobile"], "13900001111") << "deciphered";
    EXPECT_EQ(hits[0]["CompanyName"], "杭州西湖灯具厂");
    EXPECT_EQ(hits[1]["task"], "灯饰");
    EXPECT_EQ(hits[1]["LinkMan"], "王一");
    EXPECT_EQ(hits[1].size(), 34u) << "task, ID and the 32 columns";

    EXPECT_EQ(Cli({"find", "杭州", "--field", "联系人", lamps}).out, "");
    r = Cli({"find", "王", "--field", "联系人", "--field", "公司名称", lamps, decor});
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);

    r = Cli({"find", "王", "--field", "传真", lamps});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("电话"), std::string::npos) << "names the fields: " << r.err;
    EXPECT_EQ(Cli({"find", "  ", lamps}).code, 2);

    WriteFileBytes(dir.file("坏.db"), "not a database");
    r = Cli({"find", "宁波", dir.file("坏.db"), decor});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("坏.db"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("\"task\":\"灯饰\""), std::string::npos) << "the other files are searched";
}

}  // namespace
}  // namespace qv::test
