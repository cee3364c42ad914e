#include "engine/ui_handover.h"

namespace qv {

void EventQueue::post(std::function<void()> fn) {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    events_.push_back({std::move(fn), nullptr});
    posted_.notify_all();
}

void EventQueue::postAndWait(std::function<void()> fn) {
    std::unique_lock lock(mutex_);
    if (closed_) return;
    bool done = false;
    events_.push_back({std::move(fn), &done});
    posted_.notify_all();
    ran_.wait(lock, [&] { return done || closed_; });
}

void EventQueue::processEvents() {
    std::unique_lock lock(mutex_);
    RunPending(lock);
}

int EventQueue::WaitAndProcess(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    posted_.wait_for(lock, timeout, [&] { return !events_.empty() || closed_; });
    return RunPending(lock);
}

void EventQueue::Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    for (auto& e : events_)
        if (e.done) *e.done = true;
    events_.clear();
    ran_.notify_all();
    posted_.notify_all();
}

void EventQueue::Finish(Event& e) {
    // After Close the waiter has already gone and its flag with it.
    if (e.done && !closed_) {
        *e.done = true;
        ran_.notify_all();
    }
}

int EventQueue::RunPending(std::unique_lock<std::mutex>& lock) {
    int n = 0;
    // Only what was pending on entry runs, so a handler that posts cannot starve us.
    size_t pending = events_.size();
    while (pending-- > 0 && !events_.empty() && !closed_) {
        Event e = std::move(events_.front());
        events_.pop_front();
        lock.unlock();
        try {
            e.fn();
        } catch (...) {
            lock.lock();
            Finish(e);
            throw;
        }
        lock.lock();
        Finish(e);
        ++n;
    }
    return n;
}

}  // namespace qv
