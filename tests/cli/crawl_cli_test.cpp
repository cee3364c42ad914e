#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "cli/commands.h"
#include "core/database.h"
#include "core/field_cipher.h"
#include "sim/site_server.h"
#include "tests/support/mini_site.h"
#include "tests/cli/cli_runner.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

using test::RunCli;
using test::Rows;

TEST(CrawlCommand, RunsEveryTaskAndPrintsItsMessagesByName) {
    test::MiniSite site(5);
    test::TempDir dir;
    std::string out, err;
    int code = RunCli({"crawl", "--out", dir.path().string(), "甲=" + site.SearchUrl("a"),
                       "乙=" + site.SearchUrl("b")},
                      out, err);
    EXPECT_EQ(code, 0) << err;
    EXPECT_NE(out.find("甲\t甲：开始抓取数据......\n"), std::string::npos);
    EXPECT_NE(out.find("乙\t乙：数据抓取完成\n"), std::string::npos);
    EXPECT_EQ(Rows(dir.file("甲.db")), 5);
    EXPECT_EQ(Rows(dir.file("乙.db")), 5);

    // A second run empties the files first instead of adding to them.
    EXPECT_EQ(RunCli({"crawl", "--out", dir.path().string(), "甲=" + site.SearchUrl("a")}, out,
                     err),
              0);
    EXPECT_EQ(Rows(dir.file("甲.db")), 5);
}

TEST(CrawlCommand, MoreThanTenTasksWaitForTheirTurn) {
    test::MiniSite site(2);
    test::TempDir dir;
    std::vector<std::string> args{"crawl", "--out", dir.path().string()};
    for (int i = 0; i < 12; ++i) args.push_back("t" + std::to_string(i) + "=" + site.SearchUrl("x"));
    std::string out, err;
    EXPECT_EQ(RunCli(args, out, err), 0) << err;
    for (int i = 0; i < 12; ++i) EXPECT_EQ(Rows(dir.file("t" + std::to_string(i) + ".db")), 2);
}

TEST(CrawlCommand, AFailedTaskMakesTheExitCodeOne) {
    test::TempDir dir;
    std::string out, err;
    EXPECT_EQ(RunCli({"crawl", "--out", dir.path().string(), "x=http://127.0.0.1:1/"}, out, err), 1);
    EXPECT_NE(out.find("x\t抓取失败\n"), std::string::npos);
}

TEST(CrawlCommand, UsageErrorsExitTwoAndCreateNothing) {
    test::TempDir dir;
    std::string out, err;
    EXPECT_EQ(RunCli({"crawl", "--out", dir.path().string(), "no-equals-sign"}, out, err), 2);
    EXPECT_EQ(RunCli({"crawl", "--out", dir.path().string(), "../up=http://127.0.0.1:1/"}, out, err), 2);
    EXPECT_EQ(RunCli({"crawl", "--out", dir.path().string(), "a=http://x/", "a=http://y/"}, out, err), 2);
    EXPECT_EQ(RunCli({"crawl", "a=http://x/"}, out, err), 2);
    // A line break in a name would make the NAME<TAB>message lines ambiguous.
    EXPECT_EQ(RunCli({"crawl", "--out", dir.path().string(), "a\nb=http://x/"}, out, err), 2);
    EXPECT_EQ(RunCli({"crawl", "--out", dir.path().string(), "a\tb=http://x/"}, out, err), 2);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(CrawlCommand, TasksAfterTwoDashesAreTasksEvenWhenTheyLookLikeOptions) {
    test::MiniSite site(1);
    test::TempDir dir;
    std::string out, err;
    EXPECT_EQ(RunCli({"crawl", "--out", dir.path().string(), "--", "-x=" + site.SearchUrl("a")}, out, err),
              0)
        << err;
    EXPECT_EQ(Rows(dir.file("-x.db")), 1);
    EXPECT_EQ(RunCli({"crawl", "--help"}, out, err), 0);
    EXPECT_NE(out.find("put -- before the tasks"), std::string::npos) << out;
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

// Through 20% failed answers and 5% dropped connections, every company is stored once,
// with exactly the values its pages carry.
TEST(CrawlCommand, FaultyMarketplaceStillGivesEveryCompanyExactlyOnce) {
    SiteOptions options;
    options.companies = 90;
    options.fail_rate = 0.2;
    options.reset_rate = 0.05;
    SiteServer site(options);
    test::TempDir dir;
    std::vector<std::string> keywords{"灯具", "阀门", "纸箱"};
    std::vector<std::string> args{"crawl", "--detail", "--out", dir.path().string()};
    for (auto& k : keywords) args.push_back(k + "=" + site.SearchUrl(k));
    std::string out, err;
    ASSERT_EQ(RunCli(args, out, err), 0) << out << err;
    EXPECT_GT(site.failures(), 0);
    for (auto& k : keywords) {
        Connection db(dir.file(k + ".db"), DatabaseKind::DataFile);
        DataPacket rows = db.Query("SELECT * FROM DataList ORDER BY ID");
        const auto& expected = site.CompaniesFor(k);
        ASSERT_EQ(rows.rows.size(), expected.size()) << k;
        for (size_t r = 0; r < expected.size(); ++r)
            for (int c = 0; c < kMemberColumnCount; ++c) {
                std::string stored = rows.Text(r, kMemberColumns[c].name);
                if (kMemberColumns[c].enciphered) stored = DecipherTextHex(stored, FieldCipherKey);
                EXPECT_EQ(stored, expected[r].values[c]) << k << " row " << r << " "
                                                         << kMemberColumns[c].name;
            }
    }
}

}  // namespace
}  // namespace qv

#include "tests/support/data_file_dump.h"

namespace qv {
namespace {

// Each task's lines in the order printed (tasks run side by side, so only their own order counts).
std::map<std::string, std::vector<std::string>> LinesByTask(const std::string& out) {
    std::map<std::string, std::vector<std::string>> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines[line.substr(0, line.find('\t'))].push_back(line);
    return lines;
}

TEST(CrawlCommand, FourConnectionsPrintAndStoreWhatOneDoes) {
    SiteOptions options;
    options.companies = 100;
    options.fail_rate = 0.2;
    options.reset_rate = 0.05;
    SiteServer site(options);
    // Four connections go first: the simulator's faults hit only a URL's first tries.
    for (bool detail : {true, false}) {
        test::TempDir one, four;
        std::string out1, out4, err;
        std::vector<std::string> args{"crawl", "--connections", "4", "--out", four.path().string(),
                                      "甲=" + site.SearchUrl(detail ? "灯具" : "纸箱"),
                                      "乙=" + site.SearchUrl(detail ? "阀门" : "轴承")};
        if (detail) args.push_back("--detail");
        const long failures_before = site.failures();
        ASSERT_EQ(RunCli(args, out4, err), 0) << err;
        EXPECT_GT(site.failures(), failures_before);
        args[2] = "1";
        args[4] = one.path().string();
        ASSERT_EQ(RunCli(args, out1, err), 0) << err;
        EXPECT_EQ(LinesByTask(out1), LinesByTask(out4)) << detail;
        for (const char* name : {"甲.db", "乙.db"})
            EXPECT_EQ(test::DumpDataFile(one.file(name)), test::DumpDataFile(four.file(name)))
                << detail << " " << name;
    }
}

TEST(CrawlCommand, ConnectionsOutsideOneToEightAreRefused) {
    test::TempDir dir;
    std::string out, err;
    for (const char* n : {"0", "9", "x"})
        EXPECT_EQ(RunCli({"crawl", "--connections", n, "--out", dir.path().string(), "a=http://x/"},
                         out, err),
                  2)
            << n;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace qv
