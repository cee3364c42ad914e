#include "engine/request_pacer.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <thread>

namespace qv {
namespace {

// How often a wait looks at the stop flag: a stop ends a wait well within 50 ms.
constexpr Millis kStopPoll{10};
constexpr int kBackoffSteps = 5;  // 1, 2, 4, 8, 16 s
// The longest a request waits on its open connection for its moment to go out; a longer
// wait is taken before connecting, where an idle connection cannot time out.
constexpr auto kLongestIdleSend = std::chrono::milliseconds(1500);

std::string Trimmed(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

// Seconds the Retry-After value asks for; negative when it holds neither form.
long long RetryAfterSeconds(const std::string& value, std::time_t now) {
    const std::string v = Trimmed(value);
    if (v.empty()) return -1;
    if (std::all_of(v.begin(), v.end(), [](unsigned char c) { return std::isdigit(c); })) {
        // More digits than any wait we keep: cut before converting.
        return v.size() > 6 ? kMaxServerWait.count() : std::stoll(v);
    }
    const std::time_t at = curl_getdate(v.c_str(), nullptr);
    if (at == -1) return -1;
    return std::max<long long>(0, static_cast<long long>(at - now));
}

}  // namespace

bool AsksToSlowDown(long status) { return status == 429 || status == 503; }

Millis SlowDownWait(const std::string& retry_after, int nth, std::time_t now) {
    const long long seconds = RetryAfterSeconds(retry_after, now);
    if (seconds >= 0)
        return std::chrono::duration_cast<Millis>(
            std::min(std::chrono::seconds(seconds), kMaxServerWait));
    const int step = std::clamp(nth, 1, kBackoffSteps) - 1;
    return std::chrono::seconds(1LL << step);
}

RequestPacer::RequestPacer(Millis interval) : interval_(interval) {}

void RequestPacer::SetInterval(Millis interval) {
    std::lock_guard lock(mutex_);
    interval_ = std::max(Millis{0}, interval);
}

void RequestPacer::SetStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }
void RequestPacer::SetHoldCheck(std::function<bool()> held) { held_ = std::move(held); }
void RequestPacer::SetWaitNotice(WaitNotice notice) { notice_ = std::move(notice); }

bool RequestPacer::WaitUntil(PaceClock::time_point at, const std::atomic<bool>* cancel) const {
    for (;;) {
        if (Stopped(cancel)) return false;
        PaceClock::time_point due;
        {
            // A server's wait asked for meanwhile, on any connection, holds this one too.
            std::lock_guard lock(mutex_);
            due = std::max(at, not_before_);
        }
        const auto now = PaceClock::now();
        const bool held = Held();
        if (now >= due && !held) return true;
        const auto left = held ? kStopPoll : std::chrono::duration_cast<Millis>(due - now) + Millis{1};
        std::this_thread::sleep_for(std::min(left, kStopPoll));
    }
}

bool RequestPacer::AwaitTurn(const std::atomic<bool>* cancel) {
    PaceClock::time_point turn;
    {
        std::lock_guard lock(mutex_);
        turn = std::max(PaceClock::now(), not_before_);
        if (turned_) turn = std::max(turn, last_turn_ + interval_);
        if (sent_) turn = std::max(turn, last_sent_ + interval_);
        last_turn_ = turn;
        turned_ = true;
    }
    return WaitUntil(turn, cancel);
}

RequestPacer::Send RequestPacer::ClaimSend(const std::atomic<bool>* cancel) {
    for (;;) {
        if (Stopped(cancel)) return Send::Stopped;
        if (Held()) return Send::Later;
        PaceClock::duration left;
        {
            std::lock_guard lock(mutex_);
            const auto now = PaceClock::now();
            auto due = not_before_;
            if (sent_) due = std::max(due, last_sent_ + interval_);
            if (now >= due) {
                last_sent_ = now;
                sent_ = true;
                return Send::Go;
            }
            left = due - now;
        }
        if (left > kLongestIdleSend) return Send::Later;
        std::this_thread::sleep_for(std::min(std::chrono::duration_cast<Millis>(left) + Millis{1}, kStopPoll));
    }
}

void RequestPacer::SlowDown(long status, Millis wait) {
    {
        std::lock_guard lock(mutex_);
        not_before_ = std::max(not_before_, PaceClock::now() + wait);
    }
    if (notice_) notice_(status, wait);
}

}  // namespace qv
