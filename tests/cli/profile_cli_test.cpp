// The command line in the window's profile: tasks, add-task, crawl of saved tasks, the
// run lock between processes, progress lines, and an installed copy in a home folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "cli/commands.h"
#include "cli/crawl_progress.h"
#include "core/data_files.h"
#include "core/database.h"
#include "core/run_journal.h"
#include "core/run_lock.h"
#include "core/version.h"
#include "tasks/search_url.h"
#include "tests/cli/cli_runner.h"
#include "tests/cli/portable_profile.h"
#include "tests/export/grid_fixtures.h"
#include "tests/support/member_files.h"
#include "tests/support/mini_site.h"
#include "tests/support/project_database.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Rows;

// A portable profile in a temporary folder, as the window would leave it.
class ProfileCliTest : public test::PortableProfileCli {
protected:
    std::vector<nlohmann::json> Tasks() {
        EXPECT_EQ(Cli({"tasks"}), 0) << err;
        std::vector<nlohmann::json> tasks;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);) tasks.push_back(nlohmann::json::parse(line));
        return tasks;
    }
};

TEST_F(ProfileCliTest, AddTaskSavesTheTaskThatTasksThenLists) {
    test::MiniSite site(3);
    ASSERT_EQ(Cli({"add-task", "灯具", site.SearchUrl("a"), "--remark", "所有省份;"}), 0) << err;
    EXPECT_EQ(nlohmann::json::parse(out)["name"], "灯具");
    ASSERT_EQ(Cli({"add-task", "服装", site.SearchUrl("b")}), 0) << err;
    auto tasks = Tasks();
    ASSERT_EQ(tasks.size(), 2u);
    EXPECT_EQ(tasks[0]["name"], "灯具");
    EXPECT_EQ(tasks[0]["url"], site.SearchUrl("a"));
    EXPECT_EQ(tasks[0]["remark"], "所有省份;");
    EXPECT_EQ(tasks[0]["records"], 0);
    EXPECT_EQ(tasks[0]["state"], "");
    EXPECT_TRUE(tasks[0]["last_run_end"].is_null());
    EXPECT_EQ(tasks[0]["data_file"], File("灯具"));
    EXPECT_EQ(tasks[1]["name"], "服装");
    EXPECT_TRUE(fs::is_regular_file(File("服装")));

    // A marketplace search URL gives the row the search's filters and the dialog's remark.
    TAddTaskResult search;
    search.Keyword = "五金";
    search.Province = "广东";
    search.City = "深圳";
    search.BiztypeCode = 1;
    search.BiztypeName = "生产型";
    search.EstablishedYearName = "所有注册年份";
    search.onlyAliMember = true;
    ASSERT_EQ(Cli({"add-task", "五金", BuildSearchUrl(search, "http://127.0.0.1:1")}), 0) << err;
    EXPECT_EQ(nlohmann::json::parse(out)["remark"], "广东;深圳;生产型;所有注册年份;只采集诚信通会员信息;");
    Connection project(profile.ProjectDatabase(), DatabaseKind::Project);
    DataPacket row = project.Query("SELECT * FROM Tasks WHERE TaskName='五金'");
    EXPECT_EQ(row.Text(0, "Province"), "广东");
    EXPECT_EQ(row.Text(0, "City"), "深圳");
    EXPECT_EQ(row.Text(0, "BiztypeName"), "生产型");
    EXPECT_EQ(row.Text(0, "onlyAliMember"), "1");
    EXPECT_EQ(row.Text(0, "onlyOnlineMember"), "0");
}

TEST_F(ProfileCliTest, ABadOrDuplicateNameExitsOneAndKeepsNothing) {
    ASSERT_EQ(Cli({"add-task", "灯具", "http://m.example/s"}), 0);
    for (const std::string name : {"灯具", "a/b", "..", "  "}) {
        EXPECT_EQ(Cli({"add-task", name, "http://m.example/s"}), 1) << name;
        EXPECT_NE(err.find("add-task: "), std::string::npos) << err;
    }
    EXPECT_EQ(Cli({"add-task", "新的", "file:///etc/passwd"}), 1) << "not a web address";
    EXPECT_EQ(Tasks().size(), 1u);
    EXPECT_FALSE(fs::exists(File("新的")));
    EXPECT_EQ(Cli({"add-task", "only-a-name"}), 2) << "usage";
}

TEST_F(ProfileCliTest, CrawlRunsSavedTasksByNameOrAllOfThemIntoTheirFiles) {
    test::MiniSite site(4);
    for (const char* name : {"甲", "乙", "丙"}) ASSERT_EQ(Cli({"add-task", name, site.SearchUrl(name)}), 0);

    ASSERT_EQ(Cli({"crawl", "--task", "乙", "--task", "甲"}), 0) << err;
    EXPECT_NE(out.find("乙\t乙：数据抓取完成"), std::string::npos) << out;
    EXPECT_EQ(Rows(File("甲")), 4);
    EXPECT_EQ(Rows(File("乙")), 4);
    EXPECT_EQ(Rows(File("丙")), 0);
    auto tasks = Tasks();
    EXPECT_EQ(tasks[0]["state"], "完成");
    EXPECT_EQ(tasks[0]["records"], 4);
    EXPECT_TRUE(tasks[0]["last_run_end"].is_string());

    // Every other option applies: only new companies, here none.
    ASSERT_EQ(Cli({"crawl", "--all-tasks", "--new-only", "--interval", "1", "--connections", "2"}), 0) << err;
    EXPECT_EQ(Rows(File("甲")), 4);
    EXPECT_EQ(Rows(File("丙")), 4);

    EXPECT_EQ(Cli({"crawl", "--task", "无此任务"}), 1);
    EXPECT_NE(err.find("无此任务"), std::string::npos);
    EXPECT_EQ(Cli({"crawl", "--task", "甲", "--all-tasks"}), 2);
    EXPECT_EQ(Cli({"crawl", "--task", "甲", "--out", dir.file("x")}), 2);
    EXPECT_EQ(Cli({"crawl"}), 2);
    EXPECT_EQ(Cli({"crawl", "--task", "甲", "--retry-failed", "--resume"}), 2);
}

TEST_F(ProfileCliTest, MergeAndFindTakeEverySavedTaskInTheOrderOfTheTaskList) {
    for (const char* name : {"乙", "甲"}) ASSERT_EQ(Cli({"add-task", name, "http://127.0.0.1:1/s"}), 0) << err;
    fs::remove(File("乙"));
    fs::remove(File("甲"));
    test::MakeDataFile(File("乙"), {test::Member("杭州灯具厂", "m1", {{mfPhone, "0571-1234"}})});
    test::MakeDataFile(File("甲"), {test::Member("杭州灯具厂", "m1"), test::Member("宁波照明", "m2")});

    const std::string merged = dir.file("合并.csv");
    ASSERT_EQ(Cli({"merge", merged, "--all-tasks"}), 0) << err;
    auto rows = test::ReadCsv(test::ReadFileBytes(merged));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1][0], "乙;甲") << "task-list order, not the order of names";

    ASSERT_EQ(Cli({"find", "0571", "--all-tasks"}), 0) << err;
    EXPECT_EQ(nlohmann::json::parse(out)["task"], "乙");

    EXPECT_EQ(Cli({"merge", merged, "--all-tasks", File("甲")}), 2) << "files or the task list";
    EXPECT_EQ(Cli({"find", "杭州"}), 2);
}

TEST_F(ProfileCliTest, RetryFailedCollectsOnlyTheCompaniesThatTheLastRunLost) {
    test::MiniSite site(6);
    ASSERT_EQ(Cli({"add-task", "灯具", site.SearchUrl("q")}), 0);
    ASSERT_EQ(Cli({"crawl", "--task", "灯具", "--retry-failed"}), 0) << "nothing failed: nothing to do";
    EXPECT_NE(out.find("没有因为网页抓取失败而跳过的公司"), std::string::npos) << out;
    {
        // The last run stored two companies and lost the contact pages of two others.
        Connection db(File("灯具"), DatabaseKind::DataFile);
        BeginRun(db, site.SearchUrl("q"), RunMode::Fresh);
        for (int i : {0, 1, 2, 3}) {
            RunStep step;
            if (i < 2) {
                step.row = MemberValues{};
                (*step.row)[mfCompanyName] = "stored" + std::to_string(i);
            } else {
                FailedPage f;
                f.url = site.SearchUrl("q").substr(0, site.SearchUrl("q").find("/search")) + "/contact/" +
                        std::to_string(i);
                f.cause = "HTTP 500";
                f.kind = kFailedContactPage;
                f.company_name = "公司" + std::to_string(i);
                f.member_id = "q" + std::to_string(i);
                f.contact_link = f.url;
                step.failure = f;
            }
            CommitRunStep(db, step);
        }
    }
    const int before = site.contacts();
    ASSERT_EQ(Cli({"crawl", "--task", "灯具", "--retry-failed"}), 0) << err << out;
    EXPECT_EQ(site.contacts() - before, 2) << "only the two lost companies are read";
    EXPECT_EQ(Rows(File("灯具")), 4);
    Connection db(File("灯具"), DatabaseKind::Project);
    EXPECT_TRUE(ReadFailedPages(db).empty());
}

TEST_F(ProfileCliTest, ARunOnAFileThatAnotherProcessCollectsIsRefusedAndWritesNothing) {
    test::MiniSite site(12, 150ms);
    ASSERT_EQ(Cli({"add-task", "灯具", site.SearchUrl("q")}), 0);
    // The first run, in a process of its own: the real tool on the same profile.
    test::WriteFileBytes(dir.file("portable"), "");
    fs::copy_file(QUORVANE_BUILD_DIR "/quorvane-cli", dir.file("quorvane-cli"));
    test::CliProcess first({"crawl", "--task", "灯具", "--quiet"}, dir.file("quorvane-cli"));
    ASSERT_TRUE(first.started());
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!IsBeingCollected(File("灯具")) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(IsBeingCollected(File("灯具")));

    // The second run, from this process: refused at once, whatever its options.
    for (std::vector<std::string> second : {std::vector<std::string>{"crawl", "--task", "灯具"},
                                            std::vector<std::string>{"crawl", "--all-tasks", "--resume"}}) {
        EXPECT_EQ(Cli(second), 1);
        EXPECT_NE(err.find("任务“灯具”没有运行，数据文件 " + File("灯具") + "：另一个程序正在采集这个任务"),
                  std::string::npos) << err;
        EXPECT_EQ(out, "");
    }
    auto tasks = Tasks();
    EXPECT_EQ(tasks[0]["state"], "运行");

    EXPECT_EQ(WEXITSTATUS(first.Wait()), 0);
    EXPECT_EQ(Rows(File("灯具")), 12) << "exactly one run's records";
    EXPECT_EQ(site.contacts(), 12);
    EXPECT_FALSE(IsBeingCollected(File("灯具")));
}

TEST(CrawlProgressLines, ATerminalGetsLiveLinesAndALogALinePerTaskEveryPeriod) {
    using Clock = cli::CrawlProgress::Clock;
    auto progress = std::make_shared<TaskProgress>();
    progress->total = 300;
    const auto t0 = Clock::now();

    std::ostringstream log;
    cli::CrawlProgress periodic(log, cli::CrawlProgress::Mode::Periodic, 30s);
    periodic.Add("灯具", progress, t0);
    progress->stored = 60;
    progress->handled = 60;
    periodic.Tick(t0 + 10s);
    EXPECT_EQ(log.str(), "") << "nothing before the period";
    progress->stored = 120;
    progress->handled = 120;
    periodic.Tick(t0 + 30s);
    EXPECT_EQ(log.str(), "灯具: 120/300 stored, 240 companies/min, 0:00:45 left\n");
    periodic.Tick(t0 + 40s);
    EXPECT_EQ(log.str().size(), std::string("灯具: 120/300 stored, 240 companies/min, 0:00:45 left\n").size());

    std::ostringstream terminal;
    cli::CrawlProgress live(terminal, cli::CrawlProgress::Mode::Live, 30s, 24);
    live.Add("灯具", progress, t0);
    live.Add("服装", std::make_shared<TaskProgress>(), t0);
    live.Tick(t0 + 1s);
    EXPECT_EQ(terminal.str(), "灯具: 120/300 stored\n服装: 0 stored\n") << "cut to the terminal's width";
    live.MakeWay();
    EXPECT_TRUE(terminal.str().ends_with("\x1b[2F\x1b[J")) << "both lines go";
    live.Remove("服装");
    live.Tick(t0 + 2s);
    EXPECT_TRUE(terminal.str().ends_with("\x1b[J灯具: 120/300 stored\n")) << terminal.str();

    std::ostringstream quiet;
    cli::CrawlProgress off(quiet, cli::CrawlProgress::Mode::Off);
    off.Add("灯具", progress, t0);
    off.Tick(t0 + 60s);
    EXPECT_EQ(quiet.str(), "");
}

TEST(CrawlProgressLines, ASilentWaitIsShownAndANameNeverReachesTheTerminalWithControlCharacters) {
    using Clock = cli::CrawlProgress::Clock;
    auto progress = std::make_shared<TaskProgress>();
    progress->waiting_try = 2;
    std::ostringstream terminal;
    cli::CrawlProgress live(terminal, cli::CrawlProgress::Mode::Live, 30s, 200);
    live.Add("灯\x1b[2J具", progress, Clock::now());
    live.Tick(Clock::now());
    EXPECT_EQ(terminal.str(), "灯\uFFFD[2J具: 0 stored, waiting for an answer (try 2 of 6)\n");
    progress->waiting_try = 0;
    live.Tick(Clock::now());
    EXPECT_TRUE(terminal.str().ends_with("具: 0 stored\n")) << terminal.str();
}

TEST(InstalledCli, AnUnpackedCopyKeepsTheUsersFilesInTheHomeFolderAndWritesNothingBesideItself) {
    test::TempDir root;
    const std::string bin = root.file("opt/q/bin"), share = root.file("opt/q/share/quorvane");
    fs::create_directories(bin);
    fs::create_directories(share + "/database");
    fs::create_directories(root.file("home"));
    fs::copy_file(QUORVANE_BUILD_DIR "/quorvane-cli", bin + "/quorvane-cli");
    test::MakeProjectDatabase(share + "/database/DefaultProject.db");
    fs::permissions(root.file("opt"), fs::perms::owner_write, fs::perm_options::remove);
    test::MiniSite site(3);
    const std::vector<std::string> env{"HOME=" + root.file("home"), "XDG_CONFIG_HOME=" + root.file("config"),
                                       "LANG=C.UTF-8"};
    const std::string cli = bin + "/quorvane-cli";
    std::string log;

    ASSERT_EQ(test::RunProgram({cli, "add-task", "灯具", site.SearchUrl("q")}, env, log), 0) << log;
    ASSERT_EQ(test::RunProgram({cli, "crawl", "--task", "灯具"}, env, log), 0) << log;
    ASSERT_EQ(test::RunProgram({cli, "tasks"}, env, log), 0);
    auto task = nlohmann::json::parse(log);
    EXPECT_EQ(task["records"], 3);
    EXPECT_EQ(task["state"], "完成");
    EXPECT_EQ(task["data_file"], root.file("home") + "/.local/share/quorvane/Data/灯具.db");
    EXPECT_EQ(Rows(task["data_file"].get<std::string>()), 3);
    EXPECT_TRUE(fs::is_directory(root.file("config/quorvane"))) << "settings follow XDG_CONFIG_HOME";
    // Names, mobiles and addresses are the user's alone.
    const std::string data = root.file("home") + "/.local/share/quorvane";
    for (const std::string& folder : {data, data + "/Data", data + "/database", root.file("config/quorvane")})
        EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all) << folder;
    for (const std::string& file : {data + "/Data/灯具.db", data + "/database/DefaultProject.db"})
        EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write) << file;
    ASSERT_EQ(test::RunProgram({cli, "--version"}, env, log), 0);
    EXPECT_EQ(log, std::string("quorvane-cli ") + ProgramVersion() + "\n");

    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root.file("opt"))) files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{root.file("opt/q"), bin, bin + "/quorvane-cli", root.file("opt/q/share"),
                                               share, share + "/database", share + "/database/DefaultProject.db"}));
    fs::permissions(root.file("opt"), fs::perms::owner_write, fs::perm_options::add);
}

}  // namespace
}  // namespace qv
