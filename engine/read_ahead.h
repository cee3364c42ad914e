#pragma once
// Runs jobs on several lanes ahead of a caller that takes their results strictly in
// order, so the caller's path that stores and reports them stays the sequential one.
// A job may append further items while it runs (a result page adds its companies and the
// next result page), so the lanes go on across page breaks. With no lanes, a job runs on
// the caller's thread when its result is taken: the order of work is then the caller's.
#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace qv {

template <class Item, class Result>
class ReadAhead {
public:
    // `job(lane, index, item, again)` runs on lane `lane` (0 .. lanes-1; each lane is one
    // thread, so a lane's resources are never used by two jobs at once; lane 0 without
    // lanes). `again` is set when the caller asked for the item once more.
    using Job = std::function<Result(int lane, std::size_t index, const Item& item, bool again)>;
    // Told to give up the jobs in progress (true) when the caller is done, and that the
    // lanes have ended (false).
    using Abandon = std::function<void(bool)>;

    struct Taken {
        Result result;
        // Points on the stream's one count of events: when the job began and when it
        // ended. A job that began before another ended knows nothing of that one's answer.
        std::uint64_t began = 0, ended = 0;
    };

    // A lane starts an item only while it lies less than `window` items past the one the
    // caller waits for, so the work done ahead (and thrown away when the caller gives up)
    // stays bounded.
    ReadAhead(int lanes, std::size_t window, Job job, Abandon abandon = {})
        : job_(std::move(job)),
          abandon_(std::move(abandon)),
          lanes_(static_cast<std::size_t>(std::max(lanes, 0))),
          window_(std::max<std::size_t>(window, 1)) {
        try {
            for (int lane = 0; lane < lanes; ++lane) threads_.emplace_back([this, lane] { RunLane(lane); });
        } catch (...) {
            Finish();
            throw;
        }
    }
    ~ReadAhead() { Finish(); }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Adds an item at the end; any thread, also a job. An `early` item is started before
    // the items ahead of it once it is among the next as many items as there are lanes:
    // work that others wait on (the next result page) then overlaps the last of the work
    // before it instead of following it alone.
    std::size_t Append(Item item, bool early = false) {
        std::size_t index;
        {
            std::lock_guard lock(mutex_);
            index = slots_.size();
            Slot& slot = slots_.emplace_back();
            slot.item = std::move(item);
            slot.early = early;
        }
        changed_.notify_all();
        return index;
    }

    std::size_t size() const {
        std::lock_guard lock(mutex_);
        return slots_.size();
    }

    // Waits for the result of `index`, raising what its job raised. Items must be taken in
    // increasing order; those passed over are dropped (without lanes, never run).
    Taken Take(std::size_t index) { return Await(index, false); }
    // Runs the job of `index`, taken last, once more, and waits for it.
    Taken Again(std::size_t index) { return Await(index, true); }

    // Lanes start no item at or past `limit` other than the one the caller waits for.
    void SetLimit(std::size_t limit) {
        {
            std::lock_guard lock(mutex_);
            limit_ = limit;
        }
        changed_.notify_all();
    }
    static constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

private:
    struct Slot {
        Item item;
        bool early = false, started = false, running = false, done = false;
        std::optional<Result> result;
        std::exception_ptr error;
        std::uint64_t began = 0, ended = 0;
    };

    Taken Await(std::size_t index, bool again) {
        std::unique_lock lock(mutex_);
        front_ = index;
        if (again) {
            Slot& slot = slots_.at(index);
            slot.done = false;
            slot.result.reset();
            slot.error = nullptr;
            again_.push_back(index);
        }
        changed_.notify_all();
        if (lanes_ == 0) {
            if (!slots_.at(index).done) RunInline(lock, index, again);
        } else {
            changed_.wait(lock, [&] { return slots_.at(index).done; });
        }
        Slot& slot = slots_[index];
        if (slot.error) std::rethrow_exception(slot.error);
        Taken taken{std::move(*slot.result), slot.began, slot.ended};
        slot.result.reset();
        return taken;
    }

    void RunInline(std::unique_lock<std::mutex>& lock, std::size_t index, bool again) {
        if (again) again_.clear();
        Slot& slot = slots_[index];
        const Item item = slot.item;
        slot.began = ++events_;
        lock.unlock();
        Slot done = RunJob(0, index, item, again);
        lock.lock();
        Store(index, std::move(done));
    }

    Slot RunJob(int lane, std::size_t index, const Item& item, bool again) {
        Slot done;
        try {
            done.result.emplace(job_(lane, index, item, again));
        } catch (...) {
            done.error = std::current_exception();
        }
        return done;
    }

    void Store(std::size_t index, Slot done) {
        Slot& slot = slots_[index];
        slot.result = std::move(done.result);
        slot.error = done.error;
        slot.running = false;
        slot.done = true;
        slot.ended = ++events_;
    }

    void Finish() {
        {
            std::lock_guard lock(mutex_);
            if (quit_) return;
            quit_ = true;
        }
        changed_.notify_all();
        if (threads_.empty()) return;
        if (abandon_) abandon_(true);
        for (std::thread& t : threads_) t.join();
        threads_.clear();
        if (abandon_) abandon_(false);
    }

    // The next item this lane may start, if any; called under the lock.
    std::optional<std::pair<std::size_t, bool>> NextWork() {
        if (!again_.empty()) {
            const std::size_t index = again_.front();
            again_.pop_front();
            return std::pair{index, true};
        }
        // Items passed over are dropped; items started early are done with.
        next_ = std::max(next_, front_);
        while (next_ < slots_.size() && slots_[next_].started) ++next_;
        const std::size_t reach = std::min(slots_.size(), next_ + lanes_);
        for (std::size_t k = next_ + 1; k < reach; ++k)
            if (slots_[k].early && !slots_[k].started && Allowed(k)) return std::pair{k, false};
        if (next_ >= slots_.size() || !Allowed(next_)) return std::nullopt;
        return std::pair{next_++, false};
    }

    bool Allowed(std::size_t index) const {
        return index <= front_ || (index < front_ + window_ && index < limit_);
    }

    void RunLane(int lane) {
        std::unique_lock lock(mutex_);
        for (;;) {
            std::optional<std::pair<std::size_t, bool>> work;
            changed_.wait(lock, [&] { return quit_ || (work = NextWork()).has_value(); });
            if (quit_) return;
            const auto [index, again] = *work;
            Slot& slot = slots_[index];
            const Item item = slot.item;
            slot.started = slot.running = true;
            slot.began = ++events_;
            lock.unlock();
            Slot done = RunJob(lane, index, item, again);
            lock.lock();
            Store(index, std::move(done));
            changed_.notify_all();
        }
    }

    Job job_;
    Abandon abandon_;
    const std::size_t lanes_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Slot> slots_;  // a deque: appending keeps the other slots where they are
    std::deque<std::size_t> again_;
    std::size_t window_;
    std::size_t limit_ = kNoLimit;
    std::size_t next_ = 0;   // the next item a lane takes up
    std::size_t front_ = 0;  // the item the caller waits for
    std::uint64_t events_ = 0;
    bool quit_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace qv
