#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "core/data_files.h"
#include "core/database.h"
#include "engine/crawl.h"
#include "engine/read_ahead.h"
#include "engine/scheduler.h"
#include "sim/site_server.h"
#include "tests/support/data_file_dump.h"
#include "tests/support/mini_site.h"
#include "tests/support/scheduled_crawl.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

TEST(ReadAhead, HandsResultsBackInOrderWithinItsWindow) {
    std::atomic<int> most_ahead{0};
    std::atomic<size_t> front{0};
    ReadAhead<int, int> ahead(4, 3, [&](int lane, size_t index, const int& item, bool again) {
        EXPECT_GE(lane, 0);
        EXPECT_LT(lane, 4);
        const int gap = static_cast<int>(index) - static_cast<int>(front.load());
        most_ahead = std::max(most_ahead.load(), gap);
        // Later items finish first, so order comes from the window, not from timing.
        std::this_thread::sleep_for(std::chrono::milliseconds(20 - item % 4 * 5));
        if (item == 13) throw std::runtime_error("item 13");
        return item * 10;
    });
    for (int i = 0; i < 20; ++i) ahead.Append(i);
    for (size_t i = 0; i < 20; ++i) {
        if (i == 7) continue;  // passed over: dropped
        front = i;
        if (i == 13) {
            EXPECT_THROW(ahead.Take(i), std::runtime_error);
            continue;
        }
        EXPECT_EQ(ahead.Take(i).result, static_cast<int>(i) * 10);
    }
    EXPECT_LT(most_ahead.load(), 3 + 1) << "no lane starts an item beyond the window";
}

// Jobs may add work; a limit keeps lanes from starting anything past it but the item
// waited for; taking an item again runs its job once more, after the first run ended.
TEST(ReadAhead, GrowsFromItsJobsRespectsItsLimitAndRunsAnItemAgain) {
    std::mutex mutex;
    std::vector<std::pair<int, bool>> runs;
    ReadAhead<int, int>* self = nullptr;
    ReadAhead<int, int> ahead(3, 8, [&](int, size_t index, const int& item, bool again) {
        {
            std::lock_guard lock(mutex);
            runs.emplace_back(item, again);
        }
        if (item < 4 && !again) self->Append(item + 1);
        return item;
    });
    self = &ahead;
    ahead.SetLimit(2);
    ahead.Append(0);
    EXPECT_EQ(ahead.Take(0).result, 0);
    EXPECT_EQ(ahead.Take(1).result, 1);
    std::this_thread::sleep_for(50ms);
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(runs.size(), 2u) << "item 2 lies at the limit and nobody waits for it";
    }
    const auto first = ahead.Take(2);
    const auto again = ahead.Again(2);
    EXPECT_EQ(again.result, 2);
    EXPECT_GT(again.began, first.ended);
    ahead.SetLimit(ahead.kNoLimit);
    EXPECT_EQ(ahead.Take(3).result, 3);  // its job adds item 4
    EXPECT_EQ(ahead.Take(4).result, 4);
    std::lock_guard lock(mutex);
    EXPECT_EQ(std::count(runs.begin(), runs.end(), std::pair{2, true}), 1);
    EXPECT_EQ(ahead.size(), 5u);
}

TEST(ReadAhead, WithoutLanesAJobRunsWhenTakenAndPassedOverItemsNever) {
    std::vector<int> runs;
    ReadAhead<int, int> inline_run(0, 4, [&](int lane, size_t, const int& item, bool) {
        EXPECT_EQ(lane, 0);
        runs.push_back(item);
        return item;
    });
    for (int i = 0; i < 5; ++i) inline_run.Append(i);
    EXPECT_TRUE(runs.empty());
    inline_run.Take(1);
    inline_run.Take(3);
    EXPECT_EQ(runs, (std::vector<int>{1, 3}));
}

TEST(ReadAhead, GivingUpEndsTheLanesAfterTheirCurrentJob) {
    std::atomic<int> started{0};
    std::vector<bool> abandoned;
    {
        ReadAhead<int, int> ahead(
            2, 4,
            [&](int, size_t, const int& item, bool) {
                ++started;
                std::this_thread::sleep_for(5ms);
                return item;
            },
            [&](bool on) { abandoned.push_back(on); });
        for (int i = 0; i < 100; ++i) ahead.Append(i);
        EXPECT_EQ(ahead.Take(0).result, 0);
    }
    EXPECT_LE(started.load(), 6);
    EXPECT_EQ(abandoned, (std::vector<bool>{true, false}));
}

using test::RecordingSink;

// One task run through the scheduler, as the window and the command line run it.
class ConnectionsTest : public ::testing::Test {
protected:
    struct Run {
        std::vector<std::string> log;  // messages, causes, rows and repaints as shown
        std::string file;
    };

    std::string NewDataFile(const std::string& name) { return test::NewDataFile(dir.path().string(), name); }

    Run Crawl(const std::string& url, int connections, bool detail, const std::string& file,
              RunKind kind = RunKind::Fresh) {
        test::CrawlSettings settings;
        settings.connections = connections;
        settings.detail = detail;
        settings.kind = kind;
        return {test::RunTask(url, file, settings).log, file};
    }

    // The same crawl over one and over four connections, each into its own file.
    void ExpectSameAsOneConnection(const std::string& url, bool detail, RunKind kind = RunKind::Fresh,
                                   const std::string& start_file = {}) {
        const std::string one = NewDataFile("一" + std::to_string(++runs));
        const std::string four = NewDataFile("四" + std::to_string(runs));
        if (!start_file.empty()) {
            std::filesystem::copy_file(start_file, one, std::filesystem::copy_options::overwrite_existing);
            std::filesystem::copy_file(start_file, four, std::filesystem::copy_options::overwrite_existing);
        }
        // Four connections go first: the simulator's faults hit only a URL's first tries.
        Run b = Crawl(url, 4, detail, four, kind);
        Run a = Crawl(url, 1, detail, one, kind);
        ASSERT_GT(a.log.size(), 3u) << ::testing::PrintToString(a.log);
        EXPECT_EQ(a.log, b.log);
        EXPECT_EQ(test::DumpDataFile(a.file), test::DumpDataFile(b.file));
    }

    test::TempDir dir;
    int runs = 0;
};

// Both contact layouts, both profile layouts, several result pages, and 20% failed and
// 5% dropped answers that the tries get past.
TEST_F(ConnectionsTest, FourConnectionsStoreAndShowWhatOneDoesThroughFaults) {
    SiteOptions options;
    options.companies = 130;
    options.fail_rate = 0.2;
    options.reset_rate = 0.05;
    SiteServer site(options);
    ExpectSameAsOneConnection(site.SearchUrl("阀门"), true);
    const long failures = site.failures();
    EXPECT_GT(failures, 0);
    ExpectSameAsOneConnection(site.SearchUrl("灯具"), false);
    EXPECT_GT(site.failures(), failures);
}

// Every profile page is missing: each company ends as a failed-page row with its
// message and cause, and another try at them fails the same way.
TEST_F(ConnectionsTest, FailedPagesAndTheirRetryMatchOneConnection) {
    test::MiniSite site(12);
    ExpectSameAsOneConnection(site.SearchUrl("k"), true);
    const std::string failed = NewDataFile("failed");
    Crawl(site.SearchUrl("k"), 1, true, failed);
    ExpectSameAsOneConnection(site.SearchUrl("k"), true, RunKind::RetryFailed, failed);
}

// Continuing a run passes over the entries done; collecting only new companies passes
// over the stored ones.
TEST_F(ConnectionsTest, ContinuedAndNewOnlyRunsMatchOneConnection) {
    SiteOptions options;
    options.companies = 90;
    SiteServer site(options);
    const std::string url = site.SearchUrl("纸箱");
    const std::string part = NewDataFile("part");
    Crawl(url, 1, false, part);
    {
        Connection db(part, DatabaseKind::DataFile);
        db.Execute("DELETE FROM DataList WHERE ID % 3 = 0");
        db.Execute("UPDATE RunPosition SET PageUrl = SearchUrl, PageNumber = 1, EntriesDone = 7,"
                   " Finished = 0, StoredRows = (SELECT COUNT(*) FROM DataList)");
    }
    ExpectSameAsOneConnection(url, false, RunKind::Continue, part);
    ExpectSameAsOneConnection(url, false, RunKind::NewOnly, part);
}

TEST_F(ConnectionsTest, TheConnectionsShareTheTasksSession) {
    SiteServer site(SiteOptions{});
    Crawl(site.SearchUrl("灯具"), 4, true, NewDataFile("session"));
    // Only the first request, which began the session, came without its cookie.
    EXPECT_GT(site.requests(), 200);
    EXPECT_EQ(site.requests_with_session(), site.requests() - 1);
}

// The task's one pacer spaces the starts of all its requests, whichever connection
// makes them: the run cannot be shorter than the intervals between them.
TEST_F(ConnectionsTest, TheRequestIntervalHoldsAcrossTheConnections) {
    test::MiniSite site(12);
    EventQueue ui;
    TaskScheduler scheduler(ui);
    scheduler.SetConnections([] { return 4; });
    scheduler.SetRequestInterval([] { return 40; });
    auto entry = std::make_unique<TThreadTask>();
    entry->TaskID = 1;
    entry->TaskName = "任务";
    entry->Url = site.SearchUrl("s");
    entry->DataFile = NewDataFile("paced");
    auto sink = std::make_shared<RecordingSink>();
    entry->Sink = sink;
    const auto started = std::chrono::steady_clock::now();
    scheduler.EnqueueTask(std::move(entry));
    scheduler.DispatchTasks();
    while (scheduler.CountRunningThreads() > 0) ui.WaitAndProcess(5ms);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(sink->rows, 12u);
    EXPECT_EQ(site.contacts(), 12);
    EXPECT_GE(took, 12 * 40ms) << "13 request starts, each at least 40 ms after the one before";
}

// The block-page rule judges the companies in list order: the task stops with its saved
// position before the first blocked company, and a continue ends as a clean crawl would.
TEST_F(ConnectionsTest, ABlockingSiteStopsFourConnectionsAndTheContinueCompletesTheRun) {
    SiteOptions options;
    options.companies = 100;
    options.block_after = 50;
    SiteServer site(options);
    const std::string url = site.SearchUrl("拦截");
    const std::string file = NewDataFile("blocked");
    Run blocked = Crawl(url, 4, false, file);
    EXPECT_NE(std::find(blocked.log.begin(), blocked.log.end(),
                        std::string("message ") + kSiteBlockedMessage),
              blocked.log.end());
    site.SetBlockAfter(-1);
    Crawl(url, 4, false, file, RunKind::Continue);

    SiteOptions clean_options;
    clean_options.companies = 100;
    SiteServer clean(clean_options);
    const std::string clean_file = NewDataFile("clean");
    Crawl(clean.SearchUrl("拦截"), 1, false, clean_file);
    Connection a(file, DatabaseKind::DataFile), b(clean_file, DatabaseKind::DataFile);
    const char* sql = "SELECT CompanyName, memberID, linkMan, phone, address FROM DataList ORDER BY ID";
    DataPacket got = a.Query(sql), expected = b.Query(sql);
    ASSERT_EQ(got.rows.size(), 100u);
    EXPECT_EQ(got.rows, expected.rows);
}

TEST_F(ConnectionsTest, AStopWithFourConnectionsLeavesNoRowAfterIt) {
    test::MiniSite site(40, 30ms);
    EventQueue ui;
    TaskScheduler scheduler(ui);
    scheduler.SetMessageCallback([](const std::string& text, TaskSink* log) {
        if (log) log->AppendMessage(text);
    });
    scheduler.SetConnections([] { return 4; });
    auto sink = std::make_shared<RecordingSink>();
    auto entry = std::make_unique<TThreadTask>();
    entry->TaskID = 1;
    entry->TaskName = "任务";
    entry->Url = site.SearchUrl("s");
    entry->DataFile = NewDataFile("stop");
    entry->Sink = sink;
    const std::string file = entry->DataFile;
    scheduler.EnqueueTask(std::move(entry));
    scheduler.DispatchTasks();
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (sink->rows < 6 && std::chrono::steady_clock::now() < deadline) ui.WaitAndProcess(5ms);
    ASSERT_GE(sink->rows, 6u);
    EXPECT_EQ(scheduler.StopThreads(), 1);
    const size_t shown = sink->log.size();
    const std::string stored = test::DumpDataFile(file);
    scheduler.Delay(300);
    EXPECT_EQ(sink->log.size(), shown) << "nothing shows after the stop";
    EXPECT_EQ(test::DumpDataFile(file), stored) << "no row is written after the stop";
    Connection db(file, DatabaseKind::DataFile);
    const long rows = std::stol(db.Query("SELECT COUNT(*) FROM DataList").Text(0, "COUNT(*)"));
    EXPECT_GE(rows, static_cast<long>(sink->rows));
    EXPECT_LT(rows, 40);
}

}  // namespace
}  // namespace qv
