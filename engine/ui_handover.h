#pragma once
// The hand-over from collection threads to the UI thread. The program implements it
// with queued Qt calls; the command-line tool and the tests use EventQueue.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace qv {

class UiHandover {
public:
    virtual ~UiHandover() = default;
    // Runs fn on the UI thread later, in the order posted.
    virtual void post(std::function<void()> fn) = 0;
    // Runs fn on the UI thread and returns once it has run (or was dropped at shutdown).
    virtual void postAndWait(std::function<void()> fn) = 0;
    // Runs what is pending on the UI thread; called from the UI thread only.
    virtual void processEvents() = 0;
};

// A plain event queue whose owner thread is the "UI thread".
class EventQueue : public UiHandover {
public:
    void post(std::function<void()> fn) override;
    void postAndWait(std::function<void()> fn) override;
    void processEvents() override;

    // Waits up to `timeout` for at least one event, then runs all that are pending.
    // Returns the number run.
    int WaitAndProcess(std::chrono::milliseconds timeout);
    // From now on nothing posted runs, and every waiter is released; used at shutdown
    // so no thread stays blocked on a report that will never be processed.
    void Close();

private:
    struct Event {
        std::function<void()> fn;
        bool* done = nullptr;  // set under the mutex when a waited-for event has run
    };
    int RunPending(std::unique_lock<std::mutex>& lock);
    void Finish(Event& e);

    std::mutex mutex_;
    std::condition_variable posted_;
    std::condition_variable ran_;
    std::deque<Event> events_;
    bool closed_ = false;
};

}  // namespace qv
