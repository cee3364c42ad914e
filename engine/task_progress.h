#pragma once
// How far a task's run has come, as counters the collection thread bumps and the window
// reads a few times a second (no message per company), and the speed and time left that
// the window works out from them.
#include <atomic>
#include <chrono>
#include <deque>
#include <optional>

namespace qv {

struct TaskProgress {
    // The result count the first result page read states; -1 until one was read. The
    // marketplace's count is an estimate: the figures below may pass it.
    std::atomic<long long> total{-1};
    std::atomic<long long> stored{0};   // records in the file from this search
    std::atomic<long long> handled{0};  // companies stored or skipped (passed over too)
    // The try, from 1, of a request that waits silently for its answer; 0 when none does.
    std::atomic<int> waiting_try{0};

    // Whole percent of handled over total, never above 100; nullopt without a total.
    std::optional<int> Percent() const;
};

// Companies a minute over the last minute, and the time left at that speed, from
// samples of the handled counter taken as the window refreshes.
class ProgressMeter {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kWindow{60};

    void Sample(Clock::time_point now, long long handled);
    // nullopt until the samples span a few seconds.
    std::optional<double> PerMinute() const;
    // nullopt without a speed or a total; zero once the total is reached.
    std::optional<std::chrono::seconds> TimeLeft(long long total) const;

private:
    struct Point {
        Clock::time_point at;
        long long handled;
    };
    std::deque<Point> points_;
};

}  // namespace qv
