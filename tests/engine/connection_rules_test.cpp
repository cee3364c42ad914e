// The rules of a crawl hold whatever the number of connections: checked at 1, 4 and 8
// against the simulator's own log of the requests it received.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/data_files.h"
#include "core/database.h"
#include "core/run_journal.h"
#include "engine/crawl.h"
#include "engine/request_pacer.h"
#include "sim/site_server.h"
#include "tests/support/data_file_rows.h"
#include "tests/support/mini_site.h"
#include "tests/support/scheduled_crawl.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using test::CrawlSettings;
using test::RunTask;

using test::ExpectedRecords;
using test::FileRecords;

// The company of the list a request was for, or -1 for a result page.
int CompanyOf(const std::vector<SimCompany>& companies, const std::string& target) {
    for (const SimCompany& c : companies)
        if (target == c.contact_path || target == c.profile_path) return c.index;
    return -1;
}

class ConnectionRules : public ::testing::TestWithParam<int> {
protected:
    CrawlSettings Settings(bool detail, int interval_ms = 0) const {
        CrawlSettings s;
        s.connections = GetParam();
        s.detail = detail;
        s.interval_ms = interval_ms;
        return s;
    }
    std::string NewFile(const std::string& name) { return test::NewDataFile(dir.path().string(), name); }

    test::TempDir dir;
};

// When the server asked to wait, the page asked again comes after the wait, and no
// connection of the task sends anything in the meantime but what was already on its way.
TEST_P(ConnectionRules, SlowDownWaitsHoldForThePageAndForEveryConnection) {
    // How long after a slow-down answer left a request already on its way may arrive.
    constexpr auto kOnItsWay = 150ms;
    for (SlowDownAnswer answer :
         {SlowDownAnswer::RetryAfterSeconds, SlowDownAnswer::RetryAfterDate, SlowDownAnswer::Unavailable}) {
        SCOPED_TRACE(static_cast<int>(answer));
        SiteOptions options;
        options.companies = 12;
        options.slow_down_rate = 0.12;
        options.slow_down = answer;
        options.log_requests = true;
        SiteServer site(options);
        const std::string file = NewFile("slow" + std::to_string(static_cast<int>(answer)));
        RunTask(site.SearchUrl("阀门"), file, Settings(true));
        EXPECT_EQ(FileRecords(file), ExpectedRecords(site.CompaniesFor("阀门"), 12, true));

        const std::vector<SiteRequest> log = site.RequestLog();
        int slow_downs = 0;
        for (size_t k = 0; k < log.size(); ++k) {
            const SiteRequest& asked = log[k];
            if (asked.status != 429 && asked.status != 503) continue;
            ++slow_downs;
            // Until when the server asked the client to wait, on the steady clock.
            auto until = asked.arrived + 1s;
            if (answer == SlowDownAnswer::RetryAfterDate) {
                const auto date = std::chrono::system_clock::from_time_t(curl_getdate(asked.retry_after.c_str(), nullptr));
                until = asked.arrived + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                            date - asked.arrived_wall);
            }
            auto again = std::find_if(log.begin() + static_cast<long>(k) + 1, log.end(),
                                      [&](const SiteRequest& r) { return r.target == asked.target; });
            ASSERT_NE(again, log.end()) << asked.target << " was never asked again";
            EXPECT_GE(again->arrived, until) << asked.target << " was asked again before the wait ended";
            for (const SiteRequest& r : log)
                if (r.arrived > asked.arrived + kOnItsWay && r.arrived < until)
                    ADD_FAILURE() << r.target << " arrived "
                                  << std::chrono::duration_cast<Millis>(r.arrived - asked.arrived).count()
                                  << " ms into the wait asked by the answer to " << asked.target;
        }
        EXPECT_GE(slow_downs, 2) << "too few slow-down answers to tell anything";
    }
}

// A page that stands twice in the list is asked for once at a time: the second listing's
// request waits until the first has waited out the server's slow-down, as with one connection.
TEST_P(ConnectionRules, APageListedTwiceIsNotAskedForDuringItsWait) {
    test::MiniSite site(3, 0ms, {.list_twice = true, .slow_down_first = true});
    const std::string file = NewFile("twice");
    RunTask(site.SearchUrl("d"), file, Settings(false));
    EXPECT_EQ(FileRecords(file).size(), 6u);
    std::map<std::string, std::vector<std::chrono::steady_clock::time_point>> asked;
    for (const auto& r : site.ContactRequests()) asked[r.path].push_back(r.arrived);
    ASSERT_EQ(asked.size(), 3u);
    for (const auto& [path, times] : asked) {
        ASSERT_EQ(times.size(), 3u) << path << ": the slowed-down request, its retry, the second listing";
        EXPECT_GE(times[1] - times[0], 1s) << path;
        EXPECT_GE(times[2] - times[0], 1s) << path;
    }
}

// The interval is kept between the moments requests go out, whichever connection sends
// them. The server logs when it has read a request, which lags behind its arrival by a
// varying few milliseconds (more for a connection's first request, and more again in the
// sanitizer builds); the moments themselves are checked exactly in the pacer's own tests.
TEST_P(ConnectionRules, TheIntervalHoldsBetweenTheStartsOfEveryRequest) {
    constexpr auto kInterval = 120ms;
    constexpr auto kArrivalJitter = 30ms;
    SiteOptions options;
    options.companies = 7;
    options.log_requests = true;
    SiteServer site(options);
    const std::string file = NewFile("interval");
    RunTask(site.SearchUrl("纸箱"), file, Settings(true, static_cast<int>(kInterval.count())));
    EXPECT_EQ(FileRecords(file), ExpectedRecords(site.CompaniesFor("纸箱"), 7, true));
    const std::vector<SiteRequest> log = site.RequestLog();
    ASSERT_EQ(log.size(), 15u);
    for (size_t k = 1; k < log.size(); ++k)
        EXPECT_GE(log[k].arrived - log[k - 1].arrived, kInterval - kArrivalJitter)
            << log[k].target << " after " << log[k - 1].target;
    EXPECT_GE(log.back().arrived - log.front().arrived, 14 * kInterval - kArrivalJitter);
}

struct BlockCase {
    const char* name;
    bool detail;
    int company;   // whose page the block begins with
    bool profile;  // its profile page rather than its contact page
    int pages_read_at_one;  // verification pages one connection reads before it stops
};

// From one page on the site answers everything with a verification page. The task stops
// after five companies in a row that show it, stores nothing built from it, keeps its place
// at the first company (in list order) that got one, and a continue on the unblocked site
// ends with exactly the records of a clean crawl.
TEST_P(ConnectionRules, TheBlockStopsTheTaskWithNothingStoredFromItsPages) {
    constexpr int kCompanies = 50;  // two result pages
    for (BlockCase c : {BlockCase{"detail, profile first", true, 12, true, 5},
                        BlockCase{"detail, contact first", true, 12, false, 5},
                        // Three companies, then the next result page shows no list.
                        BlockCase{"detail, across the page break", true, 37, true, 4},
                        BlockCase{"no detail, contact first", false, 20, false, 5}}) {
        SCOPED_TRACE(c.name);
        SiteOptions options;
        options.companies = kCompanies;
        options.log_requests = true;
        SiteData data(options.seed, kCompanies, "");
        const SimCompany& first = data.CompaniesFor("拦截")[static_cast<size_t>(c.company)];
        options.block_from = c.profile ? first.profile_path : first.contact_path;
        SiteServer site(options);
        const std::vector<SimCompany>& companies = site.CompaniesFor("拦截");
        const std::string file = NewFile(std::string("blocked ") + c.name);

        const test::ScheduledRun blocked = RunTask(site.SearchUrl("拦截"), file, Settings(c.detail));
        EXPECT_TRUE(blocked.Says(kSiteBlockedMessage));
        EXPECT_EQ(blocked.result_code, AliSpider::kSiteBlocked);

        int first_blocked = kCompanies, verification_pages = 0;
        for (const SiteRequest& r : site.RequestLog()) {
            if (!r.verification) continue;
            ++verification_pages;
            const int company = CompanyOf(companies, r.target);
            if (company >= 0) first_blocked = std::min(first_blocked, company);
        }
        ASSERT_LT(first_blocked, kCompanies);
        RecordProperty(std::string("verification pages, ") + c.name, verification_pages);
        if (GetParam() == 1) {
            EXPECT_EQ(first_blocked, c.company);
            EXPECT_EQ(verification_pages, c.pages_read_at_one);
        } else {
            // Pages already on their way when the block began get one too, at most one a
            // connection; beyond them, only the pages that judge the block are asked for.
            EXPECT_LE(verification_pages, GetParam() + kBlockedCompanies) << "read too far into the block";
        }
        const auto stored = FileRecords(file);
        EXPECT_EQ(stored, ExpectedRecords(companies, static_cast<size_t>(first_blocked), c.detail))
            << "every record before the first blocked company, and none after";
        {
            Connection db(file, DatabaseKind::DataFile);
            const SavedRun saved = ReadSavedRun(db);
            ASSERT_TRUE(saved.position);
            EXPECT_EQ((saved.position->page_number - 1) * kEntriesPerPage + saved.position->entries_done,
                      first_blocked)
                << "the place is kept at the first blocked company";
            EXPECT_TRUE(ReadFailedPages(db).empty());
        }

        site.SetBlockAfter(-1);
        CrawlSettings again = Settings(c.detail);
        again.kind = RunKind::Continue;
        RunTask(site.SearchUrl("拦截"), file, again);
        EXPECT_EQ(FileRecords(file), ExpectedRecords(companies, kCompanies, c.detail));
    }
}

INSTANTIATE_TEST_SUITE_P(Connections, ConnectionRules, ::testing::Values(1, 4, 8),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "N" + std::to_string(info.param);
                         });

}  // namespace
}  // namespace qv
