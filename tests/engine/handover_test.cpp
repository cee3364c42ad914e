#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/crawl.h"
#include "engine/spider_thread.h"
#include "engine/ui_handover.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

TEST(EventQueue, RunsPostsInOrderOnTheOwnerThread) {
    EventQueue ui;
    std::vector<int> seen;
    auto owner = std::this_thread::get_id();
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) ui.post([&, i] {
            EXPECT_EQ(std::this_thread::get_id(), owner);
            seen.push_back(i);
        });
    });
    worker.join();
    ui.processEvents();
    ASSERT_EQ(seen.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[i], i);
}

TEST(EventQueue, PostAndWaitReturnsOnlyAfterTheCallRan) {
    EventQueue ui;
    std::atomic<bool> ran{false}, returned{false};
    std::thread worker([&] {
        ui.postAndWait([&] { ran = true; });
        EXPECT_TRUE(ran);
        returned = true;
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(returned);
    while (!returned) ui.WaitAndProcess(10ms);
    worker.join();
}

TEST(EventQueue, CloseReleasesAWaiterWhoseCallNeverRuns) {
    EventQueue ui;
    std::atomic<bool> ran{false};
    std::thread worker([&] { ui.postAndWait([&] { ran = true; }); });
    std::this_thread::sleep_for(20ms);
    ui.Close();
    worker.join();
    EXPECT_FALSE(ran);
    ui.post([&] { ran = true; });
    ui.processEvents();
    EXPECT_FALSE(ran);
}

TEST(SpiderGate, HeldThreadWaitsUntilReleased) {
    SpiderGate gate;
    gate.Hold();
    std::atomic<bool> passed{false};
    std::thread t([&] {
        gate.Pass();
        passed = true;
    });
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(passed);
    gate.Release();
    t.join();
    EXPECT_TRUE(passed);
}

TEST(SpiderGate, StopWakesAHeldThreadAndRefusesEveryLaterStore) {
    SpiderGate gate;
    gate.Hold();
    std::atomic<bool> stopped_out{false};
    std::thread t([&] {
        try {
            gate.Pass();
        } catch (const CrawlStopped&) {
            stopped_out = true;
        }
    });
    std::this_thread::sleep_for(10ms);
    gate.Stop();
    t.join();
    EXPECT_TRUE(stopped_out);
    bool stored = false;
    EXPECT_THROW(gate.Store([&] { stored = true; }), CrawlStopped);
    EXPECT_FALSE(stored);
    EXPECT_TRUE(*gate.stop_flag());
}

TEST(SpiderGate, StopWaitsForAStoreInProgress) {
    SpiderGate gate;
    std::atomic<bool> in_store{false}, store_done{false};
    std::thread t([&] {
        gate.Store([&] {
            in_store = true;
            std::this_thread::sleep_for(50ms);
            store_done = true;
        });
    });
    while (!in_store) std::this_thread::yield();
    gate.Stop();
    EXPECT_TRUE(store_done);
    t.join();
}

}  // namespace
}  // namespace qv
