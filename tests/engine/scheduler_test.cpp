#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "core/data_files.h"
#include "core/database.h"
#include "core/gbk.h"
#include "engine/scheduler.h"
#include "tests/support/temp_dir.h"
#include "tests/support/mini_site.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

class RecordingSink : public TaskSink {
public:
    void AppendMessage(const std::string& text) override { messages.push_back(text); }
    void AppendMemberRow(const MemberValues& v) override { rows.push_back(v); }
    void RepaintMembers() override {}
    std::vector<std::string> messages;
    std::vector<MemberValues> rows;
};

class SchedulerTest : public ::testing::Test {
protected:
    SchedulerTest() {
        scheduler.SetMessageCallback([this](const std::string& text, TaskSink* log) {
            all_messages.push_back(text);
            if (log) log->AppendMessage(text);
        });
    }

    std::unique_ptr<TThreadTask> Entry(int id, const std::string& url,
                                       std::shared_ptr<RecordingSink>& sink) {
        auto e = std::make_unique<TThreadTask>();
        e->TaskID = id;
        e->TaskName = "任务" + std::to_string(id);
        e->Url = url;
        e->DataFile = TaskDataFilePath(dir.path().string() + "/", e->TaskName);
        CreateDatabaseFile(e->DataFile, true);
        ExecuteOnDatabaseFile(e->DataFile, kCreateDataListSql);
        sink = std::make_shared<RecordingSink>();
        e->Sink = sink;
        return e;
    }

    // Processes events until `done` holds or five seconds pass.
    template <typename Pred>
    bool RunUntil(Pred done) {
        auto deadline = std::chrono::steady_clock::now() + 5s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            ui.WaitAndProcess(5ms);
        }
        return true;
    }

    long StoredRows(const std::string& file) {
        Connection db(file, DatabaseKind::DataFile);
        return std::stol(db.Query("SELECT COUNT(*) FROM DataList").Text(0, "COUNT(*)"));
    }

    test::TempDir dir;
    EventQueue ui;
    TaskScheduler scheduler{ui};
    std::vector<std::string> all_messages;
};

TEST_F(SchedulerTest, RunsATaskToItsEndAndReportsInOrder) {
    test::MiniSite site(3);
    std::shared_ptr<RecordingSink> sink;
    auto entry = Entry(7, site.SearchUrl("a"), sink);
    std::string file = entry->DataFile;
    ASSERT_TRUE(scheduler.EnqueueTask(std::move(entry)));
    scheduler.DispatchTasks();
    EXPECT_EQ(scheduler.CountTasksInState(tsRunning), 1);
    ASSERT_TRUE(RunUntil([&] { return scheduler.CountTasksInState(tsRunning) == 0; }));
    ASSERT_EQ(sink->messages.size(), 2u);
    EXPECT_EQ(sink->messages.front(), "任务7：开始抓取数据......");
    EXPECT_EQ(sink->messages.back(), "任务7：数据抓取完成");
    ASSERT_EQ(sink->rows.size(), 3u);
    EXPECT_EQ(sink->rows[0][mfCompanyName], "a公司0");
    EXPECT_EQ(sink->rows[2][mfLinkMan], "王2");
    EXPECT_EQ(StoredRows(file), 3);
    EXPECT_EQ(scheduler.FindFreeQueueIndex(), 0);
}

TEST_F(SchedulerTest, FailedCrawlIsLoggedWithoutTheTaskName) {
    std::shared_ptr<RecordingSink> sink;
    // Nothing listens on port 1: every try is refused at once.
    scheduler.EnqueueTask(Entry(1, "http://127.0.0.1:1/search", sink));
    scheduler.DispatchTasks();
    ASSERT_TRUE(RunUntil([&] { return scheduler.CountTasksInState(tsRunning) == 0; }));
    ASSERT_EQ(sink->messages.size(), 3u);
    EXPECT_EQ(sink->messages[1],
              "抓取公司列表网页时产生错误：连接失败，错误严重，不可以继续抓取");
    EXPECT_EQ(sink->messages[2], "抓取失败");
}

TEST_F(SchedulerTest, SameTaskTwiceLeavesOneEntry) {
    std::shared_ptr<RecordingSink> a, b;
    EXPECT_TRUE(scheduler.EnqueueTask(Entry(3, "http://127.0.0.1:1/", a)));
    EXPECT_FALSE(scheduler.EnqueueTask(Entry(3, "http://127.0.0.1:1/", b)));
    EXPECT_EQ(scheduler.CountTasksInState(tsWaiting), 1);
}

TEST_F(SchedulerTest, AtMostTenRunAndTheEleventhWaitsForAFreeSlot) {
    test::MiniSite site(2, 150ms);
    std::vector<std::shared_ptr<RecordingSink>> sinks(11);
    TaskScheduler& s = scheduler;
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(s.EnqueueTask(Entry(i + 1, site.SearchUrl("k"), sinks[i])));
    s.DispatchTasks();
    EXPECT_EQ(s.CountRunningThreads(), 10);
    EXPECT_EQ(s.FindFreeThreadSlot(), -1);
    EXPECT_FALSE(s.EnqueueTask(Entry(11, site.SearchUrl("k"), sinks[10])))
        << "the queue has ten positions";
    ASSERT_TRUE(RunUntil([&] { return s.FindFreeQueueIndex() >= 0; }));
    EXPECT_TRUE(s.EnqueueTask(Entry(11, site.SearchUrl("k"), sinks[10])));
    s.DispatchTasks();
    ASSERT_TRUE(RunUntil([&] { return s.CountRunningThreads() == 0; }));
    for (auto& sink : sinks) EXPECT_EQ(sink->messages.back().find("数据抓取完成") != std::string::npos, true);
}

TEST_F(SchedulerTest, PauseAndResumeOneAndAll) {
    test::MiniSite site(20, 20ms);
    std::shared_ptr<RecordingSink> a, b, c;
    scheduler.EnqueueTask(Entry(1, site.SearchUrl("a"), a));
    scheduler.EnqueueTask(Entry(2, site.SearchUrl("b"), b));
    scheduler.EnqueueTask(Entry(3, site.SearchUrl("c"), c));
    scheduler.DispatchTasks();
    EXPECT_EQ(scheduler.PauseResumeTasks(2, true), 1);
    EXPECT_TRUE(scheduler.TaskInState(tsPaused, 2));
    EXPECT_EQ(b->messages.back(), "任务2：任务被暂停");
    EXPECT_EQ(scheduler.PauseResumeTasks(-1, true), 3) << "all live threads count";
    EXPECT_EQ(scheduler.CountTasksInState(tsPaused), 3);
    EXPECT_EQ(std::count(b->messages.begin(), b->messages.end(), "任务2：任务被暂停"), 1)
        << "an already paused task is left as it is";
    // Held threads make no progress.
    scheduler.Delay(100);
    int before = site.contacts();
    scheduler.Delay(150);
    EXPECT_LE(site.contacts() - before, 3) << "at most the fetches already in flight";
    EXPECT_EQ(scheduler.PauseResumeTasks(-1, false), 3);
    EXPECT_EQ(scheduler.CountTasksInState(tsRunning), 3);
    EXPECT_EQ(b->messages.back(), "任务2：继续暂停的抓取任务......");
    ASSERT_TRUE(RunUntil([&] { return scheduler.CountRunningThreads() == 0; }));
    EXPECT_EQ(a->rows.size(), 20u);
    EXPECT_EQ(b->rows.size(), 20u);
}

TEST_F(SchedulerTest, StopAllLeavesNothingBehindAndNothingArrivesAfterwards) {
    test::MiniSite site(40, 30ms);
    std::vector<std::shared_ptr<RecordingSink>> sinks(3);
    std::vector<std::string> files;
    for (int i = 0; i < 3; ++i) {
        auto e = Entry(i + 1, site.SearchUrl("s"), sinks[i]);
        files.push_back(e->DataFile);
        scheduler.EnqueueTask(std::move(e));
    }
    scheduler.DispatchTasks();
    ASSERT_TRUE(RunUntil([&] { return sinks[0]->rows.size() >= 2; }));
    scheduler.PauseResumeTasks(2, true);
    EXPECT_EQ(scheduler.StopThreads(), 3);
    scheduler.DiscardEntries();
    EXPECT_EQ(scheduler.CountRunningThreads(), 0);
    EXPECT_EQ(scheduler.FindFreeThreadSlot(), 0);
    EXPECT_EQ(scheduler.FindFreeQueueIndex(), 0);
    std::vector<size_t> shown;
    std::vector<long> stored;
    for (int i = 0; i < 3; ++i) {
        shown.push_back(sinks[i]->messages.size() * 1000 + sinks[i]->rows.size());
        stored.push_back(StoredRows(files[i]));
    }
    scheduler.Delay(300);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(sinks[i]->messages.size() * 1000 + sinks[i]->rows.size(), shown[i]);
        EXPECT_EQ(StoredRows(files[i]), stored[i]) << "no row is written after the stop";
        EXPECT_LE(static_cast<long>(sinks[i]->rows.size()), stored[i]);
    }
    // New tasks can start at once.
    std::shared_ptr<RecordingSink> again;
    EXPECT_TRUE(scheduler.EnqueueTask(Entry(1, site.SearchUrl("t"), again)));
    scheduler.DispatchTasks();
    EXPECT_EQ(scheduler.CountRunningThreads(), 1);
}

TEST_F(SchedulerTest, StoppingOneTaskFreesItsPlaceForTheNextAndLeavesTheOthers) {
    test::MiniSite site(20, 30ms);
    std::vector<std::shared_ptr<RecordingSink>> sinks(2);
    TaskScheduler small(ui, 1);
    small.SetMessageCallback([](const std::string& text, TaskSink* log) {
        if (log) log->AppendMessage(text);
    });
    auto first = Entry(1, site.SearchUrl("a"), sinks[0]);
    std::string file = first->DataFile;
    small.EnqueueTask(std::move(first));
    small.DispatchTasks();
    ASSERT_TRUE(RunUntil([&] { return !sinks[0]->rows.empty(); }));
    EXPECT_FALSE(small.StopTask(9));
    ASSERT_TRUE(small.StopTask(1));
    long stored = StoredRows(file);
    size_t shown = sinks[0]->rows.size() + sinks[0]->messages.size();
    EXPECT_EQ(small.FindFreeQueueIndex(), 0);
    ASSERT_TRUE(small.EnqueueTask(Entry(2, site.SearchUrl("b"), sinks[1])));
    small.DispatchTasks();
    EXPECT_TRUE(small.TaskInState(tsRunning, 2)) << "the freed slot is used at once";
    ASSERT_TRUE(RunUntil([&] { return small.CountRunningThreads() == 0; }));
    EXPECT_EQ(sinks[1]->rows.size(), 20u);
    EXPECT_EQ(sinks[0]->rows.size() + sinks[0]->messages.size(), shown);
    EXPECT_EQ(StoredRows(file), stored);
}

TEST_F(SchedulerTest, ClearTaskQueueReportsEveryEntryAsStopped) {
    std::shared_ptr<RecordingSink> a, b;
    scheduler.EnqueueTask(Entry(1, "http://127.0.0.1:1/", a));
    scheduler.EnqueueTask(Entry(2, "http://127.0.0.1:1/", b));
    scheduler.EmptySlots();
    scheduler.ClearTaskQueue();
    EXPECT_EQ(a->messages.back(), "任务1：任务被中止");
    EXPECT_EQ(b->messages.back(), "任务2：任务被中止");
    EXPECT_EQ(scheduler.CountTasksInState(tsWaiting), 0);
}

TEST_F(SchedulerTest, DelayWaitsAtLeastItsTimeAndKeepsProcessing) {
    bool ran = false;
    ui.post([&] { ran = true; });
    auto start = std::chrono::steady_clock::now();
    scheduler.Delay(100);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
    EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace qv
