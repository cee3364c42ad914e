#pragma once
// The pace of one task's requests: a least interval between the starts of two requests,
// and the waits a server asks for when it answers 429 or 503. Every fetch of a task goes
// through its one pacer, so the rules hold for the task as a whole, whatever number of
// connections it uses. A wait ends early when the task is stopped and does not end while
// the task is held.
#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>

namespace qv {

using PaceClock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;

// A server may ask for at most this long; a longer Retry-After is cut to it.
inline constexpr std::chrono::seconds kMaxServerWait{120};

// Whether an answer's status asks the client to slow down (429 Too Many Requests,
// 503 Service Unavailable).
bool AsksToSlowDown(long status);

// The wait before the next try after the `nth` (from 1) slow-down answer of one fetch:
// the Retry-After value, seconds or an HTTP date (against `now`), at most 120 s; without
// a usable value 1, 2, 4, 8, 16 s.
Millis SlowDownWait(const std::string& retry_after, int nth, std::time_t now);

class RequestPacer {
public:
    // Told of every wait a server asked for: the status that asked and how long.
    using WaitNotice = std::function<void(long status, Millis wait)>;

    explicit RequestPacer(Millis interval = Millis{0});
    RequestPacer(const RequestPacer&) = delete;
    RequestPacer& operator=(const RequestPacer&) = delete;

    void SetInterval(Millis interval);
    // The flag must outlive the pacer (or be reset to nullptr).
    void SetStopFlag(const std::atomic<bool>* stop);
    // While it answers true, no wait ends.
    void SetHoldCheck(std::function<bool()> held);
    void SetWaitNotice(WaitNotice notice);

    // Waits for this task's turn to start a request: the interval after the turns handed
    // out before, and any wait a server asked for, also one asked for while waiting.
    // False when the task was stopped, or `cancel` set, meanwhile (the request must then
    // not be made). The turns are handed out in order, so connections waiting at once
    // keep their distance from each other.
    bool AwaitTurn(const std::atomic<bool>* cancel = nullptr);

    // The moment a request is about to go out on its connection, which may come later
    // than its turn (a new connection's set-up, a thread woken late). Measured from the
    // last request that went out, the interval and a server's wait hold exactly:
    // Go claims the moment; Later means the wait left is too long to keep an open
    // connection idle (or the task is held): send nothing and take a new turn.
    enum class Send { Go, Later, Stopped };
    Send ClaimSend(const std::atomic<bool>* cancel = nullptr);

    // A server answered `status`: no request of this task starts before `wait` passed.
    void SlowDown(long status, Millis wait);

private:
    bool WaitUntil(PaceClock::time_point at, const std::atomic<bool>* cancel) const;
    bool Stopped(const std::atomic<bool>* cancel) const {
        return (stop_ && stop_->load()) || (cancel && cancel->load());
    }
    bool Held() const { return held_ && held_(); }

    mutable std::mutex mutex_;
    Millis interval_;
    PaceClock::time_point last_turn_{};  // the last turn handed out
    PaceClock::time_point last_sent_{};  // when the last request went out
    PaceClock::time_point not_before_{};
    bool turned_ = false, sent_ = false;
    const std::atomic<bool>* stop_ = nullptr;
    std::function<bool()> held_;
    WaitNotice notice_;
};

}  // namespace qv
