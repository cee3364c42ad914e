// Collection against the simulator as a task runs it: the progress counters, the request
// interval, and the stop on a blocking marketplace with the continue after it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

#include "core/data_files.h"
#include "core/database.h"
#include "engine/crawl.h"
#include "engine/scheduler.h"
#include "engine/task_progress.h"
#include "sim/site_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_http_server.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class Sink : public TaskSink {
public:
    void AppendMessage(const std::string& text) override { messages.push_back(text); }
    void AppendMemberRow(const MemberValues&) override { ++rows; }
    void RepaintMembers() override {}
    std::vector<std::string> messages;
    long rows = 0;
};

class PoliteCrawl : public ::testing::Test {
protected:
    PoliteCrawl() {
        scheduler.SetMessageCallback([](const std::string& text, TaskSink* log) {
            if (log) log->AppendMessage(text);
        });
        scheduler.SetEndObserver([this](const TThreadTask&, int code) { codes.push_back(code); });
    }

    std::string NewFile(const std::string& name) {
        std::string file = TaskDataFilePath(dir.path().string() + "/", name);
        CreateDatabaseFile(file, true);
        ExecuteOnDatabaseFile(file, kCreateDataListSql);
        return file;
    }

    // Runs one task to its end; `watch` is called every few milliseconds meanwhile.
    template <typename Watch>
    int Run(const std::string& url, const std::string& file, RunKind kind,
            std::shared_ptr<TaskProgress> progress, Watch watch) {
        auto e = std::make_unique<TThreadTask>();
        e->TaskID = ++next_id;
        e->TaskName = "任务";
        e->Url = url;
        e->DataFile = file;
        e->Kind = kind;
        e->Progress = std::move(progress);
        e->Sink = sink = std::make_shared<Sink>();
        const size_t ended = codes.size();
        EXPECT_TRUE(scheduler.EnqueueTask(std::move(e)));
        scheduler.DispatchTasks();
        const auto deadline = Clock::now() + 120s;
        while (codes.size() == ended && Clock::now() < deadline) {
            ui.WaitAndProcess(5ms);
            watch();
        }
        return codes.size() > ended ? codes.back() : -1;
    }
    int Run(const std::string& url, const std::string& file, RunKind kind = RunKind::Fresh) {
        return Run(url, file, kind, nullptr, [] {});
    }

    // Every stored column of every row, in file order.
    std::vector<std::vector<std::string>> Records(const std::string& file) {
        Connection db(file, DatabaseKind::DataFile);
        DataPacket p = db.Query("SELECT * FROM DataList ORDER BY ID");
        std::vector<std::vector<std::string>> rows;
        for (size_t r = 0; r < p.rows.size(); ++r) {
            std::vector<std::string> row;
            for (const char* column : {"CompanyName", "memberID", "linkMan", "mobile", "phone",
                                       "address", "ContactLink", "sCmpDetail"})
                row.push_back(p.Text(r, column));
            rows.push_back(std::move(row));
        }
        return rows;
    }

    test::TempDir dir;
    EventQueue ui;
    TaskScheduler scheduler{ui};
    std::shared_ptr<Sink> sink;
    std::vector<int> codes;
    int next_id = 0;
};

bool HasLayouts(const std::vector<SimCompany>& companies) {
    bool lh20 = false, mp_r = false;
    for (const SimCompany& c : companies)
        (c.contact_layout == SimContactLayout::lh20 ? lh20 : mp_r) = true;
    return lh20 && mp_r;
}

TEST_F(PoliteCrawl, ProgressCountsTowardsPageOnesTotalAndTimeLeftRunsOut) {
    SiteOptions options;
    options.companies = 70;
    SiteServer site(options);
    scheduler.SetRequestInterval([] { return 60; });  // spreads the run over a few seconds
    auto progress = std::make_shared<TaskProgress>();
    ProgressMeter meter;
    std::vector<long long> handled;
    std::optional<std::chrono::seconds> first_left;
    bool over_total = false;
    const int code = Run(site.SearchUrl("进度"), NewFile("进度"), RunKind::Fresh, progress, [&] {
        const long long h = progress->handled, total = progress->total;
        handled.push_back(h);
        over_total |= total >= 0 && h > total;
        over_total |= progress->Percent().value_or(0) > 100;
        meter.Sample(Clock::now(), h);
        if (!first_left && h < total) first_left = meter.TimeLeft(total);
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(progress->total, 70);
    EXPECT_EQ(progress->stored, 70);
    EXPECT_EQ(progress->handled, 70);
    EXPECT_EQ(progress->Percent(), 100);
    EXPECT_FALSE(over_total);
    EXPECT_TRUE(std::is_sorted(handled.begin(), handled.end()));
    ASSERT_TRUE(first_left);
    EXPECT_GT(*first_left, 0s);
    meter.Sample(Clock::now(), progress->handled);
    EXPECT_EQ(meter.TimeLeft(progress->total), 0s);
}

TEST_F(PoliteCrawl, ABlockingSiteStopsTheTaskAndAContinueEndsAsACleanCrawlWould) {
    SiteOptions options;
    options.companies = 100;
    options.block_after = 50;  // page one and 49 contact pages answer
    SiteServer site(options);
    const std::string url = site.SearchUrl("拦截");
    const std::string file = NewFile("拦截");
    auto progress = std::make_shared<TaskProgress>();
    EXPECT_EQ(Run(url, file, RunKind::Fresh, progress, [] {}), AliSpider::kSiteBlocked);
    EXPECT_NE(std::find(sink->messages.begin(), sink->messages.end(), kSiteBlockedMessage),
              sink->messages.end());
    for (const std::string& m : sink->messages) EXPECT_EQ(m.find("未抓取到联系方式"), std::string::npos);
    // Nothing from a verification page, and the blocked companies are not skipped ones.
    const size_t stored = Records(file).size();
    EXPECT_GE(stored, 40u);
    EXPECT_LT(stored, 50u);
    EXPECT_EQ(progress->handled, static_cast<long long>(stored));
    EXPECT_GE(site.blocked(), kBlockedCompanies);

    site.SetBlockAfter(-1);
    EXPECT_EQ(Run(url, file, RunKind::Continue), 0);

    SiteOptions clean_options;
    clean_options.companies = 100;
    SiteServer clean(clean_options);
    ASSERT_TRUE(HasLayouts(clean.CompaniesFor("拦截")));
    const std::string clean_file = NewFile("干净");
    EXPECT_EQ(Run(clean.SearchUrl("拦截"), clean_file), 0);  // both layouts, never a block
    auto records = Records(file), expected = Records(clean_file);
    ASSERT_EQ(records.size(), 100u);
    // Links hold each simulator's own address; the rest must agree field by field.
    for (auto* rows : {&records, &expected})
        for (auto& row : *rows)
            for (std::string& v : row)
                for (const std::string& base : {site.BaseUrl(), clean.BaseUrl()})
                    if (v.starts_with(base)) v.erase(0, base.size());
    EXPECT_EQ(records, expected);
}

TEST_F(PoliteCrawl, ABlockAtAResultPageKeepsThatPageForTheContinue) {
    SiteOptions options;
    options.companies = 60;     // two result pages of 40 and 20
    options.block_after = 41;   // page one and its 40 contact pages answer
    SiteServer site(options);
    const std::string url = site.SearchUrl("翻页");
    const std::string file = NewFile("翻页");
    EXPECT_EQ(Run(url, file), AliSpider::kSiteBlocked);
    EXPECT_EQ(sink->messages.size(), 4u);  // start, the list error, the block, "抓取失败"
    EXPECT_EQ(sink->messages[1], "抓取失败，错误严重，不可以继续抓取");
    EXPECT_EQ(sink->messages[2], std::string(kSiteBlockedMessage));
    EXPECT_EQ(Records(file).size(), 40u);
    site.SetBlockAfter(-1);
    EXPECT_EQ(Run(url, file, RunKind::Continue), 0);
    EXPECT_EQ(Records(file).size(), 60u);
}

// A search page that first asks the client to come back later.
class SlowDownSite {
public:
    explicit SlowDownSite(std::string retry_after) : retry_after_(std::move(retry_after)) {
        server_.server().Get("/search", [this](const httplib::Request&, httplib::Response& res) {
            if (++hits_ == 1) {
                res.status = 429;
                res.set_header("Retry-After", retry_after_);
            }
            res.set_content("<html><form id=\"batchForm\"></form></html>", "text/html");
        });
        server_.Start();
    }
    std::string Url() const { return server_.Url("/search"); }
    int hits() const { return hits_; }

private:
    std::string retry_after_;
    std::atomic<int> hits_{0};
    test::TestHttpServer server_;
};

TEST_F(PoliteCrawl, TheTaskSaysHowLongItWaitsAndAStopEndsTheWait) {
    {
        SlowDownSite site("1");
        EXPECT_EQ(Run(site.Url(), NewFile("等待")), 0);
        EXPECT_NE(std::find(sink->messages.begin(), sink->messages.end(),
                            "网站要求放慢采集速度（HTTP 429），等待 1 秒后重试......"),
                  sink->messages.end());
        EXPECT_EQ(site.hits(), 2);
    }
    SlowDownSite site("16");
    SpiderEnvironment env;
    env.ui = &ui;
    auto spider = AliSpider::Start(0, site.Url(), std::make_shared<Sink>(), NewFile("中止"), env);
    while (site.hits() == 0) ui.WaitAndProcess(5ms);
    ui.WaitAndProcess(200ms);
    const auto stopped_at = Clock::now();
    spider->gate().Stop();
    while (spider->alive() && Clock::now() - stopped_at < 20s) ui.WaitAndProcess(2ms);
    // It leaves its 16 s wait at once: 50 ms on a quiet machine, the bound allows a loaded one.
    EXPECT_LT(Clock::now() - stopped_at, 2s);
    EXPECT_FALSE(spider->alive());
    spider->Join(true);
    EXPECT_EQ(site.hits(), 1);
}

}  // namespace
}  // namespace qv
