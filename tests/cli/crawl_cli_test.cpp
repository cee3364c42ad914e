#include <gtest/gtest.h>

#include <sstream>

#include "cli/commands.h"
#include "core/database.h"
#include "tests/support/mini_site.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

int RunCli(std::vector<std::string> args, std::string& out, std::string& err) {
    std::vector<const char*> argv{"quorvane-cli"};
    for (auto& a : args) argv.push_back(a.c_str());
    std::ostringstream o, e;
    int code = cli::Run(static_cast<int>(argv.size()), argv.data(), {o, e});
    out = o.str();
    err = e.str();
    return code;
}

long Rows(const std::string& file) {
    Connection db(file, DatabaseKind::DataFile);
    return std::stol(db.Query("SELECT COUNT(*) FROM DataList").Text(0, "COUNT(*)"));
}

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
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace qv
