#pragma once
// The task scheduler: ten thread slots, a queue of ten entries, dispatch, end reports,
// pause/resume and stop. Everything here is touched on the UI thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/run_lock.h"
#include "engine/proxy.h"
#include "engine/spider_thread.h"
#include "engine/ui_handover.h"

namespace qv {

inline constexpr int TaskLimit = 10;

enum TaskState : std::uint8_t {
    tsCreated = 0,
    tsWaiting = 1,
    tsRunning = 2,
    tsPaused = 3,
    tsFinished = 7,
};

// The scheduler's entry for one started task.
struct TThreadTask {
    std::int32_t Slot = -1;
    std::int32_t TaskID = 0;
    std::string TaskName;
    std::string Url;
    std::uint8_t State = tsCreated;
    std::shared_ptr<TaskSink> Sink;  // the task page's grids
    std::string DataFile;            // the thread opens its own connection to it
    RunKind Kind = RunKind::Fresh;
    // The run's counters, read by the window; made at dispatch when not given.
    std::shared_ptr<TaskProgress> Progress;
    // The data file's run lock, taken by the host before it prepared the file; held for as
    // long as the entry exists, and the entry goes only after its thread was stopped (and
    // so writes nothing more) or has ended.
    DataFileRunLock RunLock;
};

class TaskScheduler {
public:
    using MessageCallback = std::function<void(const std::string& text, TaskSink* log)>;
    // Told after an entry's end message, before the entry is discarded.
    using EndObserver = std::function<void(const TThreadTask& entry, int result_code)>;

    TaskScheduler(UiHandover& ui, int limit = TaskLimit);
    // Stops what still runs and waits (processing events) for the threads to leave.
    ~TaskScheduler();
    TaskScheduler(const TaskScheduler&) = delete;
    TaskScheduler& operator=(const TaskScheduler&) = delete;

    void SetMessageCallback(MessageCallback cb) { show_message_ = std::move(cb); }
    void SetEndObserver(EndObserver cb) { end_observer_ = std::move(cb); }
    void SetCollectDetail(std::function<bool()> fn) { collect_detail_ = std::move(fn); }
    void SetConnections(std::function<int()> fn) { connections_ = std::move(fn); }
    void SetRequestInterval(std::function<int()> fn) { request_interval_ = std::move(fn); }
    // The proxies, read when a task starts; tasks take them in turn.
    void SetProxies(std::function<std::vector<Proxy>()> fn) { proxies_ = std::move(fn); }
    // The window shows its runs as they go: their run rows are marked seen when they end.
    void SetRunsShown(bool shown) { runs_shown_ = shown; }

    int Limit() const { return static_cast<int>(slots_.size()); }
    int FindFreeThreadSlot() const;
    int FindFreeQueueIndex() const;
    int CountRunningThreads() const;
    // False when an entry of the same task is queued, or when every position is taken.
    bool EnqueueTask(std::unique_ptr<TThreadTask> entry);
    void DispatchTasks();
    void TaskThreadEnded(int index, int result_code);
    int PauseResumeTasks(int task_id, bool pause);
    int StopThreads();
    // Stops one task's thread (if alive) and discards its entry without a message, then
    // dispatches what waits; false when the task has no entry.
    bool StopTask(int task_id);
    // Discards every entry without a message (after StopThreads).
    void DiscardEntries();
    // Discards every entry with "：任务被中止"; used at shutdown.
    void ClearTaskQueue();
    // Empties every slot, stopping what is still alive; used at shutdown.
    void EmptySlots();
    int CountTasksInState(std::uint8_t state) const;
    bool TaskInState(std::uint8_t state, int task_id) const;
    // Processes UI events until `ms` milliseconds have passed, at least once.
    void Delay(int ms);

    const TThreadTask* Entry(int index) const;

private:
    bool SlotAlive(int slot) const;
    void ShowTaskMessage(const std::string& text, TaskSink* log) const;
    // Stops the thread in `slot` and records in its entry's file that the run was stopped.
    void StopSlot(int slot);
    void Retire(std::shared_ptr<AliSpider> spider);
    void ReapRetired();
    SpiderEnvironment Environment();

    UiHandover& ui_;
    std::vector<std::shared_ptr<AliSpider>> slots_;
    std::vector<std::unique_ptr<TThreadTask>> queue_;
    // Threads that left their slot and are not joined yet.
    std::vector<std::shared_ptr<AliSpider>> retired_;
    MessageCallback show_message_;
    EndObserver end_observer_;
    std::function<bool()> collect_detail_;
    std::function<int()> connections_;
    std::function<int()> request_interval_;
    std::function<std::vector<Proxy>()> proxies_;
    // Shared with the threads, which may outlive their slot.
    std::shared_ptr<ProxyPool> proxy_pool_;
    bool runs_shown_ = false;
};

}  // namespace qv
