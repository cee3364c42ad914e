#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/fetcher.h"
#include "engine/request_pacer.h"
#include "sim/site_server.h"
#include "tests/support/test_http_server.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::TestHttpServer;

// A server that logs when each request arrived and answers from a script: one answer
// per request, the last one repeated.
struct Answer {
    int status = 200;
    std::string retry_after;  // sent when not empty
};

class ScriptedServer {
public:
    explicit ScriptedServer(std::vector<Answer> script) : script_(std::move(script)) {
        server_.server().Get("/p", [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard lock(mutex_);
            starts_.push_back(Clock::now());
            const Answer& a = script_[std::min(starts_.size(), script_.size()) - 1];
            res.status = a.status;
            if (!a.retry_after.empty()) res.set_header("Retry-After", a.retry_after);
            res.set_content("<html>page</html>", "text/html");
        });
        server_.Start();
    }
    std::string Url() const { return server_.Url("/p"); }
    std::vector<Clock::duration> Gaps() const {
        std::lock_guard lock(mutex_);
        std::vector<Clock::duration> gaps;
        for (size_t i = 1; i < starts_.size(); ++i) gaps.push_back(starts_[i] - starts_[i - 1]);
        return gaps;
    }

private:
    std::vector<Answer> script_;
    mutable std::mutex mutex_;
    std::vector<Clock::time_point> starts_;
    TestHttpServer server_;  // stops first, while what its handler uses still exists
};

// How much later one request may reach the in-test server than the next one does.
constexpr auto kArrivalJitter = 30ms;

TEST(SlowDownWait, RetryAfterSecondsOrDateCappedElseDoublingBackoff) {
    const std::time_t now = 1'700'000'000;
    EXPECT_EQ(SlowDownWait("1", 1, now), 1000ms);
    EXPECT_EQ(SlowDownWait(" 30 ", 4, now), 30s);
    EXPECT_EQ(SlowDownWait("0", 1, now), 0ms);
    EXPECT_EQ(SlowDownWait("600", 1, now), 120s);
    EXPECT_EQ(SlowDownWait("99999999999999999999", 1, now), 120s);
    EXPECT_EQ(SlowDownWait(HttpDate(now + 7), 1, now), 7s);
    EXPECT_EQ(SlowDownWait(HttpDate(now + 3600), 1, now), 120s);
    EXPECT_EQ(SlowDownWait(HttpDate(now - 60), 1, now), 0ms);  // already past
    std::vector<Millis> backoff;
    for (int nth = 1; nth <= 6; ++nth) backoff.push_back(SlowDownWait("", nth, now));
    EXPECT_EQ(backoff, (std::vector<Millis>{1s, 2s, 4s, 8s, 16s, 16s}));
    EXPECT_EQ(SlowDownWait("soon", 2, now), 2s);
    EXPECT_EQ(SlowDownWait("-5", 1, now), 1s);
}

TEST(RequestPacing, ConsecutiveRequestStartsKeepTheInterval) {
    ScriptedServer site({{200, ""}});
    RequestPacer pacer(150ms);
    HttpClient client;
    client.SetPacer(&pacer);
    for (int i = 0; i < 5; ++i) ASSERT_EQ(FetchPage(site.Url(), client).error, "");
    // The server sees arrivals, not starts: a request that took longer on its way makes the
    // next gap look shorter by that much, so allow a little for the way, never a whole interval.
    const auto gaps = site.Gaps();
    ASSERT_EQ(gaps.size(), 4u);
    Clock::duration sum{};
    for (auto gap : gaps) {
        EXPECT_GE(gap, 150ms - kArrivalJitter);
        sum += gap;
    }
    EXPECT_GE(sum, 4 * 150ms - kArrivalJitter);
}

TEST(RequestPacing, IntervalHoldsAcrossClientsOfOneTask) {
    ScriptedServer site({{200, ""}});
    RequestPacer pacer(100ms);
    std::vector<std::thread> connections;
    for (int c = 0; c < 3; ++c) {
        connections.emplace_back([&] {
            HttpClient client;
            client.SetPacer(&pacer);
            for (int i = 0; i < 3; ++i) FetchPage(site.Url(), client);
        });
    }
    for (auto& t : connections) t.join();
    const auto gaps = site.Gaps();
    ASSERT_EQ(gaps.size(), 8u);
    // Arrival order may differ slightly from start order; the starts still spread out.
    Clock::duration sum{};
    for (auto gap : gaps) sum += gap;
    EXPECT_GE(sum, 700ms);
}

TEST(RequestPacing, SlowDownAnswersMakeTheNextTryWait) {
    {
        ScriptedServer site({{429, "1"}, {200, ""}});
        RequestPacer pacer;
        std::vector<std::pair<long, Millis>> notices;
        pacer.SetWaitNotice([&](long status, Millis wait) { notices.emplace_back(status, wait); });
        HttpClient client;
        client.SetPacer(&pacer);
        EXPECT_EQ(FetchPage(site.Url(), client).error, "");
        ASSERT_EQ(site.Gaps().size(), 1u);
        EXPECT_GE(site.Gaps()[0], 1000ms);
        EXPECT_LT(site.Gaps()[0], 10s);
        EXPECT_EQ(notices, (std::vector<std::pair<long, Millis>>{{429, 1000ms}}));
    }
    {
        // An HTTP date holds whole seconds: two seconds on gives at least one.
        ScriptedServer site({{429, HttpDate(std::time(nullptr) + 2)}, {200, ""}});
        RequestPacer pacer;
        HttpClient client;
        client.SetPacer(&pacer);
        EXPECT_EQ(FetchPage(site.Url(), client).error, "");
        ASSERT_EQ(site.Gaps().size(), 1u);
        EXPECT_GE(site.Gaps()[0], 1000ms);
        EXPECT_LT(site.Gaps()[0], 10s);
    }
    {
        // 503 without the header: 1 s, then 2 s; a 500 between is tried again at once.
        ScriptedServer site({{503, ""}, {503, ""}, {500, ""}, {200, ""}});
        RequestPacer pacer;
        HttpClient client;
        client.SetPacer(&pacer);
        EXPECT_EQ(FetchPage(site.Url(), client).error, "");
        const auto gaps = site.Gaps();
        ASSERT_EQ(gaps.size(), 3u);
        EXPECT_GE(gaps[0], 1000ms);
        EXPECT_GE(gaps[1], 2000ms);
        EXPECT_LT(gaps[2], 1000ms);
    }
}

TEST(RequestPacing, AStopEndsALongWaitAtOnce) {
    ScriptedServer site({{503, "16"}});
    std::atomic<bool> stop{false};
    RequestPacer pacer;
    pacer.SetStopFlag(&stop);
    HttpClient client;
    client.SetStopFlag(&stop);
    client.SetPacer(&pacer);
    Clock::time_point stopped_at;
    std::thread stopper([&] {
        std::this_thread::sleep_for(300ms);
        stopped_at = Clock::now();
        stop = true;
    });
    FetchResult r = FetchPage(site.Url(), client);
    const auto ended_at = Clock::now();
    stopper.join();
    EXPECT_EQ(r.error, "连接失败");
    EXPECT_EQ(site.Gaps().size(), 0u);  // no second request
    // 50 ms on a quiet machine; the bound leaves room for a loaded one.
    EXPECT_LT(ended_at - stopped_at, 1000ms);
    RecordProperty("stop_to_end_ms",
                   static_cast<int>(std::chrono::duration_cast<Millis>(ended_at - stopped_at).count()));
}

// The moment a request goes out can come after its turn (a new connection's set-up, a
// thread woken late); the next request keeps the interval from that moment.
TEST(RequestPacing, TheIntervalCountsFromWhenTheLastRequestWentOut) {
    RequestPacer pacer(100ms);
    Clock::time_point late_claim_began, next_sent;
    std::thread slow([&] {
        ASSERT_TRUE(pacer.AwaitTurn());
        std::this_thread::sleep_for(60ms);  // connecting
        late_claim_began = Clock::now();
        EXPECT_EQ(pacer.ClaimSend(), RequestPacer::Send::Go);
    });
    std::this_thread::sleep_for(10ms);
    std::thread next([&] {
        ASSERT_TRUE(pacer.AwaitTurn());
        EXPECT_EQ(pacer.ClaimSend(), RequestPacer::Send::Go);
        next_sent = Clock::now();
    });
    slow.join();
    next.join();
    EXPECT_GE(next_sent - late_claim_began, 100ms);
}

// A wait the server asks for holds every connection of the task, also those already
// waiting for a turn handed out before; a request about to go out steps back for it.
TEST(RequestPacing, ASlowDownHoldsTurnsHandedOutBeforeIt) {
    RequestPacer pacer(100ms);
    ASSERT_TRUE(pacer.AwaitTurn());
    const auto asked = Clock::now();
    Clock::time_point passed;
    std::thread waiting([&] {
        ASSERT_TRUE(pacer.AwaitTurn());  // its turn: 100 ms on
        passed = Clock::now();
    });
    std::this_thread::sleep_for(20ms);
    pacer.SlowDown(429, 2000ms);
    EXPECT_EQ(pacer.ClaimSend(), RequestPacer::Send::Later) << "too long to wait on an open connection";
    waiting.join();
    EXPECT_GE(passed - asked, 2000ms);
    EXPECT_EQ(pacer.ClaimSend(), RequestPacer::Send::Go);
}

TEST(RequestPacing, AHeldTaskDoesNotLeaveItsWait) {
    std::atomic<bool> held{true};
    RequestPacer pacer;
    pacer.SetHoldCheck([&] { return held.load(); });
    std::atomic<bool> passed{false};
    std::thread waiter([&] {
        pacer.AwaitTurn();
        passed = true;
    });
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(passed);
    held = false;
    waiter.join();
    EXPECT_TRUE(passed);
}

}  // namespace
}  // namespace qv
