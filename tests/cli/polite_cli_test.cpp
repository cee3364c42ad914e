#include <gtest/gtest.h>

#include <chrono>
#include <sstream>

#include "cli/commands.h"
#include "core/database.h"
#include "sim/site_server.h"
#include "tests/cli/cli_runner.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

using test::RunCli;
using test::Rows;

TEST(CrawlPacing, IntervalSpreadsTheRequestsOfATask) {
    SiteOptions options;
    options.companies = 8;
    SiteServer site(options);
    test::TempDir dir;
    std::string out, err;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunCli({"crawl", "--interval", "150", "--out", dir.path().string(),
                      "甲=" + site.SearchUrl("间隔")},
                     out, err),
              0)
        << err;
    // Nine requests: eight gaps of at least 150 ms.
    EXPECT_GE(std::chrono::steady_clock::now() - start, 8 * 150ms);
    EXPECT_EQ(site.requests(), 9);
    EXPECT_EQ(Rows(dir.file("甲.db")), 8);
    EXPECT_EQ(RunCli({"crawl", "--interval", "-1", "--out", dir.path().string(), "甲=http://x/"}, out,
                     err),
              2);
}

TEST(CrawlPacing, ABlockedRunExitsOneAndResumesWhereItStopped) {
    SiteOptions options;
    options.companies = 30;
    options.block_after = 12;
    SiteServer site(options);
    test::TempDir dir;
    const std::string task = "甲=" + site.SearchUrl("拦截");
    std::string out, err;
    EXPECT_EQ(RunCli({"crawl", "--out", dir.path().string(), task}, out, err), 1);
    EXPECT_NE(out.find("甲\t网站可能拦截了采集，任务已停止，请稍后继续抓取\n"), std::string::npos) << out;
    EXPECT_EQ(Rows(dir.file("甲.db")), 11);
    site.SetBlockAfter(-1);
    EXPECT_EQ(RunCli({"crawl", "--resume", "--out", dir.path().string(), task}, out, err), 0) << out;
    EXPECT_NE(out.find("从第 1 页的第 12 个公司开始"), std::string::npos) << out;
    EXPECT_EQ(Rows(dir.file("甲.db")), 30);
}

}  // namespace
}  // namespace qv
