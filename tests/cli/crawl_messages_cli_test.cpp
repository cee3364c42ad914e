// What the crawl and the commands beside it say: the window's options for saved tasks,
// causes in words with the file named, failures that go once read, damaged values,
// names with control characters.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/data_files.h"
#include "core/database.h"
#include "core/ini_file.h"
#include "core/run_journal.h"
#include "engine/fetcher.h"
#include "tests/cli/cli_runner.h"
#include "tests/cli/portable_profile.h"
#include "tests/support/member_files.h"
#include "tests/support/mini_site.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unprivileged.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Rows;

using CrawlMessagesCli = test::PortableProfileCli;

TEST_F(CrawlMessagesCli, SavedTasksRunWithTheWindowsOptionsUnlessTheCommandSaysOtherwise) {
    test::MiniSite site(3);
    ASSERT_EQ(Cli({"add-task", "灯具", site.SearchUrl("a")}), 0);
    WriteSetting(profile.settings_file, settings::kRequestInterval, 200);
    WriteSetting(profile.settings_file, settings::kCollectCompanyDetail, true);

    ASSERT_EQ(Cli({"crawl", "--task", "灯具", "--quiet"}), 0) << err;
    EXPECT_GT(site.profiles(), 0) << "the options collect the profile pages";
    const auto requests = site.ContactRequests();
    ASSERT_EQ(requests.size(), 3u);
    for (size_t i = 1; i < requests.size(); ++i)
        EXPECT_GE(requests[i].arrived - requests[i - 1].arrived, 150ms) << "the options' interval";

    const int profiles = site.profiles();
    ASSERT_EQ(Cli({"crawl", "--task", "灯具", "--quiet", "--no-detail", "--interval", "0"}), 0) << err;
    EXPECT_EQ(site.profiles(), profiles) << "--no-detail wins over the options";
    EXPECT_EQ(Rows(File("灯具")), 3);

    // NAME=URL tasks keep the command's defaults.
    ASSERT_EQ(Cli({"crawl", "--quiet", "--out", dir.file("out"), "别的=" + site.SearchUrl("b")}), 0) << err;
    EXPECT_EQ(site.profiles(), profiles);

    ASSERT_EQ(Cli({"crawl", "--help"}), 0);
    for (const char* said : {"RequestInterval", "CollectCompanyDetail", "ConnectionsPerTask", "--no-detail"})
        EXPECT_NE(out.find(said), std::string::npos) << said;
    EXPECT_EQ(Cli({"crawl", "--task", "灯具", "--detail", "--no-detail"}), 2) << "one or the other";
}

TEST_F(CrawlMessagesCli, AFileTheRunMayNotWriteIsNamedWithTheCauseInWords) {
    test::MiniSite site(2);
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    const std::string out_dir = dir.file("out");
    fs::create_directory(out_dir);
    test::MakeDataFile(out_dir + "/甲.db", {});
    ::chmod((out_dir + "/甲.db").c_str(), 0644);
    QV_RUN_UNPRIVILEGED(said, [&] {
        std::string o, e;
        const int code = test::RunCli({"crawl", "--quiet", "--out", out_dir, "甲=" + site.SearchUrl("q")}, o, e);
        return std::to_string(code) + "\n" + o;
    });
    EXPECT_EQ(said.rfind("1\n", 0), 0u) << said;
    EXPECT_NE(said.find("甲\t任务运行时产生错误：数据文件 " + out_dir + "/甲.db 出错：没有写入权限（attempt to write a readonly database）"),
              std::string::npos) << said;
}

TEST_F(CrawlMessagesCli, AFailedResultPageThatAContinueReadsLeavesTheFailures) {
    test::MiniSite site(3, 0ms, {.failed_searches = kFetchTries});
    const std::string out_dir = dir.file("out");
    const std::string task = "甲=" + site.SearchUrl("q");
    EXPECT_EQ(Cli({"crawl", "--quiet", "--out", out_dir, task}), 1);
    ASSERT_EQ(Cli({"failures", out_dir + "/甲.db"}), 0) << err;
    EXPECT_EQ(out, site.SearchUrl("q") + "\tHTTP 500\n");

    ASSERT_EQ(Cli({"crawl", "--quiet", "--resume", "--out", out_dir, task}), 0) << err << out;
    EXPECT_EQ(Rows(out_dir + "/甲.db"), 3);
    ASSERT_EQ(Cli({"failures", out_dir + "/甲.db"}), 0) << err;
    EXPECT_EQ(out, "") << "the page was read";
}

TEST_F(CrawlMessagesCli, AFailureRowWithADamagedValueIsListedAndTheDamageNamed) {
    const std::string file = dir.file("t.db");
    test::MakeDataFile(file, {});
    {
        Connection db(file, DatabaseKind::DataFile);
        BeginRun(db, "http://m/search", RunMode::Fresh);
        RunStep failed;
        failed.failure = FailedPage{};
        failed.failure->url = "http://m/c1";
        failed.failure->cause = "timeout";
        failed.failure->kind = kFailedContactPage;
        failed.failure->company_name = "甲公司";
        CommitRunStep(db, failed);
        db.Execute("UPDATE FailedPages SET CompanyName='zz'");
    }
    EXPECT_EQ(Cli({"failures", file}), 0);
    EXPECT_EQ(out, "http://m/c1\ttimeout\n");
    EXPECT_EQ(err, "failures: " + file + "：失败记录 1 的 CompanyName 已损坏，无法解密，其余内容照常列出\n");
}

TEST_F(CrawlMessagesCli, NamesWithControlCharactersAreRefusedOrNeverPrintedRaw) {
    for (const std::string name : {"灯\x1b[31m具", "灯具\x7f", "\xff\xfe", "灯具\u3000"}) {
        EXPECT_EQ(Cli({"add-task", name, "http://m.example/s"}), 1) << name;
        EXPECT_NE(err.find("add-task: 任务名称"), std::string::npos) << err;
    }
    test::MiniSite site(1);
    ASSERT_EQ(Cli({"crawl", "--quiet", "--out", dir.file("out"), "灯\x1b[31m具=" + site.SearchUrl("q")}), 0) << err;
    EXPECT_EQ(out.find('\x1b'), std::string::npos) << out;
    EXPECT_NE(out.find("灯\uFFFD[31m具\t"), std::string::npos) << out;
}

}  // namespace
}  // namespace qv
