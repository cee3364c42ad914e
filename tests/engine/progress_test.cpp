#include <gtest/gtest.h>

#include "engine/task_progress.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using Clock = ProgressMeter::Clock;

TEST(TaskProgress, PercentNeedsATotalAndNeverPassesAHundred) {
    TaskProgress p;
    EXPECT_FALSE(p.Percent());
    p.handled = 5;
    p.total = 0;  // "no results" is no total to measure against
    EXPECT_FALSE(p.Percent());
    p.total = 40;
    EXPECT_EQ(p.Percent(), 12);
    p.handled = 45;  // the marketplace's count was an estimate
    EXPECT_EQ(p.Percent(), 100);
}

TEST(ProgressMeter, SpeedOverTheLastMinuteAndTimeLeftFallingToZero) {
    ProgressMeter meter;
    const Clock::time_point t0{};
    meter.Sample(t0, 0);
    meter.Sample(t0 + 2s, 4);
    EXPECT_FALSE(meter.PerMinute());  // too short a span to tell
    EXPECT_FALSE(meter.TimeLeft(100));
    std::vector<long long> left;
    for (int s = 3; s <= 50; ++s) {
        meter.Sample(t0 + std::chrono::seconds(s), 2 * s);  // two a second
        left.push_back(meter.TimeLeft(100)->count());
    }
    EXPECT_DOUBLE_EQ(*meter.PerMinute(), 120.0);
    EXPECT_EQ(left.front(), 47);
    EXPECT_EQ(left.back(), 0);
    EXPECT_TRUE(std::is_sorted(left.rbegin(), left.rend()));

    // Only the last minute counts: a slower pace shows within it.
    ProgressMeter slowing;
    for (int s = 0; s <= 60; ++s) slowing.Sample(t0 + std::chrono::seconds(s), 10 * s);
    for (int s = 61; s <= 180; ++s) slowing.Sample(t0 + std::chrono::seconds(s), 600 + (s - 60));
    EXPECT_NEAR(*slowing.PerMinute(), 60.0, 1.0);
    EXPECT_FALSE(slowing.TimeLeft(-1));
}

}  // namespace
}  // namespace qv
