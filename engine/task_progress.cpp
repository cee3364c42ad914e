#include "engine/task_progress.h"

#include <algorithm>
#include <cmath>

namespace qv {
namespace {

// A speed over a shorter span swings too much to be worth showing.
constexpr std::chrono::seconds kLeastSpan{3};

}  // namespace

std::optional<int> TaskProgress::Percent() const {
    const long long t = total.load();
    if (t <= 0) return std::nullopt;
    const long long h = std::clamp(handled.load(), 0LL, t);
    return static_cast<int>(h * 100 / t);
}

void ProgressMeter::Sample(Clock::time_point now, long long handled) {
    points_.push_back({now, handled});
    // Keep one point at or beyond the window's start, so the span covers a full minute.
    while (points_.size() > 2 && now - points_[1].at >= kWindow) points_.pop_front();
}

std::optional<double> ProgressMeter::PerMinute() const {
    if (points_.size() < 2) return std::nullopt;
    const Point& first = points_.front();
    const Point& last = points_.back();
    const auto span = std::chrono::duration<double>(last.at - first.at);
    if (span < kLeastSpan) return std::nullopt;
    return static_cast<double>(std::max(0LL, last.handled - first.handled)) * 60.0 / span.count();
}

std::optional<std::chrono::seconds> ProgressMeter::TimeLeft(long long total) const {
    if (total <= 0 || points_.empty()) return std::nullopt;
    const long long left = total - points_.back().handled;
    if (left <= 0) return std::chrono::seconds{0};
    const std::optional<double> speed = PerMinute();
    if (!speed || *speed <= 0) return std::nullopt;
    return std::chrono::seconds(static_cast<long long>(std::ceil(left * 60.0 / *speed)));
}

}  // namespace qv
