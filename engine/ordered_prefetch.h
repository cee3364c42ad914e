#pragma once
// Runs one job per item on several lanes at once and hands the results back strictly in
// item order, so the caller's path that stores and reports them stays the sequential one.
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace qv {

template <class Result>
class OrderedPrefetch {
public:
    // `job(lane, item)` runs on lane `lane` (0 .. lanes-1; each lane is one thread, so a
    // lane's resources are never used by two jobs at once). A lane starts an item only
    // while it lies less than `window` items past the one the caller waits for, so the
    // work done ahead (and thrown away when the caller gives up) stays bounded.
    using Job = std::function<Result(int lane, std::size_t item)>;

    OrderedPrefetch(int lanes, std::size_t items, std::size_t window, Job job)
        : job_(std::move(job)), slots_(items), window_(window < 1 ? 1 : window) {
        try {
            for (int lane = 0; lane < lanes; ++lane)
                threads_.emplace_back([this, lane] { RunLane(lane); });
        } catch (...) {
            Finish();
            throw;
        }
    }

    // Lanes start nothing more; a job in progress runs to its end first.
    ~OrderedPrefetch() { Finish(); }
    OrderedPrefetch(const OrderedPrefetch&) = delete;
    OrderedPrefetch& operator=(const OrderedPrefetch&) = delete;

    // Waits for the result of `item`, raising what its job raised. Items must be asked for
    // in increasing order; those passed over are dropped.
    Result Take(std::size_t item) {
        std::unique_lock lock(mutex_);
        front_ = item;
        changed_.notify_all();
        changed_.wait(lock, [&] { return slots_[item].done; });
        Slot& slot = slots_[item];
        if (slot.error) std::rethrow_exception(slot.error);
        Result result = std::move(*slot.result);
        slot.result.reset();
        return result;
    }

private:
    struct Slot {
        bool done = false;
        std::optional<Result> result;
        std::exception_ptr error;
    };

    void Finish() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        changed_.notify_all();
        for (std::thread& t : threads_) t.join();
        threads_.clear();
    }

    void RunLane(int lane) {
        for (;;) {
            std::size_t item = 0;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] {
                    return quit_ || next_ >= slots_.size() || next_ < front_ + window_;
                });
                if (quit_ || next_ >= slots_.size()) return;
                item = next_++;
            }
            Slot done;
            try {
                done.result.emplace(job_(lane, item));
            } catch (...) {
                done.error = std::current_exception();
            }
            done.done = true;
            {
                std::lock_guard lock(mutex_);
                slots_[item] = std::move(done);
            }
            changed_.notify_all();
        }
    }

    Job job_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Slot> slots_;
    std::size_t window_;
    std::size_t next_ = 0;   // the next item a lane takes up
    std::size_t front_ = 0;  // the item the caller waits for
    bool quit_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace qv
