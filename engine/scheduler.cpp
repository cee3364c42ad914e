#include "engine/scheduler.h"

#include <chrono>

#include "core/run_journal.h"

namespace qv {

TaskScheduler::TaskScheduler(UiHandover& ui, int limit)
    : ui_(ui), slots_(static_cast<size_t>(limit)), queue_(static_cast<size_t>(limit)) {}

TaskScheduler::~TaskScheduler() {
    StopThreads();
    DiscardEntries();
    // A stopped thread leaves at its next gate or aborted transfer; keep the UI side
    // turning meanwhile so none stays blocked on a hand-over.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!retired_.empty() && std::chrono::steady_clock::now() < deadline) {
        ui_.processEvents();
        ReapRetired();
        if (!retired_.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // Whatever is still alive keeps itself alive and ends on its own.
    retired_.clear();
}

bool TaskScheduler::SlotAlive(int slot) const {
    return slot >= 0 && slot < Limit() && slots_[slot] && slots_[slot]->alive();
}

int TaskScheduler::FindFreeThreadSlot() const {
    for (int i = 0; i < Limit(); ++i)
        if (!SlotAlive(i)) return i;
    return -1;
}

int TaskScheduler::FindFreeQueueIndex() const {
    for (int i = 0; i < Limit(); ++i)
        if (!queue_[i]) return i;
    return -1;
}

int TaskScheduler::CountRunningThreads() const {
    int n = 0;
    for (int i = 0; i < Limit(); ++i) n += SlotAlive(i);
    return n;
}

bool TaskScheduler::EnqueueTask(std::unique_ptr<TThreadTask> entry) {
    for (const auto& e : queue_)
        if (e && e->TaskID == entry->TaskID) return false;
    int index = FindFreeQueueIndex();
    if (index < 0) return false;
    entry->State = tsWaiting;
    queue_[index] = std::move(entry);
    return true;
}

SpiderEnvironment TaskScheduler::Environment() {
    SpiderEnvironment env;
    env.ui = &ui_;
    env.show_message = show_message_;
    env.collect_detail = collect_detail_;
    env.connections = connections_;
    env.request_interval_ms = request_interval_;
    if (proxies_) {
        if (!proxy_pool_) proxy_pool_ = std::make_shared<ProxyPool>();
        proxy_pool_->Set(proxies_());
        env.proxies = proxy_pool_;
    }
    // The report names its thread, so a report that outlived its slot is ignored.
    env.thread_ended = [this](int index, int code, const void* spider) {
        if (index >= 0 && index < Limit() && queue_[index] && SlotAlive(queue_[index]->Slot) &&
            slots_[queue_[index]->Slot].get() == spider)
            TaskThreadEnded(index, code);
    };
    return env;
}

void TaskScheduler::DispatchTasks() {
    ReapRetired();
    for (int i = 0; i < Limit(); ++i) {
        if (!queue_[i]) continue;
        int s = FindFreeThreadSlot();
        if (s < 0) return;
        TThreadTask& entry = *queue_[i];
        if (entry.State != tsWaiting) continue;
        entry.Slot = s;
        if (slots_[s]) Retire(std::move(slots_[s]));
        if (!entry.Progress) entry.Progress = std::make_shared<TaskProgress>();
        RecordRunStart(entry.DataFile);
        slots_[s] = AliSpider::Start(i, entry.Url, entry.Sink, entry.DataFile, Environment(),
                                     entry.Kind, entry.Progress);
        entry.State = tsRunning;
        ShowTaskMessage(entry.TaskName + "：开始抓取数据......", entry.Sink.get());
    }
}

void TaskScheduler::TaskThreadEnded(int index, int result_code) {
    if (index >= 0 && index < Limit() && queue_[index]) {
        TThreadTask& entry = *queue_[index];
        entry.State = tsFinished;
        RecordRunEnd(entry.DataFile, result_code == 0                       ? RunOutcome::Finished
                                     : result_code == AliSpider::kSiteBlocked ? RunOutcome::Stopped
                                                                              : RunOutcome::Failed,
                     runs_shown_);
        // The run is over: the file is free for another run before anyone hears of the end.
        entry.RunLock.Release();
        if (result_code != 0)
            ShowTaskMessage("抓取失败", entry.Sink.get());
        else
            ShowTaskMessage(entry.TaskName + "：数据抓取完成", entry.Sink.get());
        if (end_observer_) end_observer_(entry, result_code);
        if (entry.Slot >= 0 && entry.Slot < Limit() && slots_[entry.Slot])
            Retire(std::move(slots_[entry.Slot]));
        queue_[index].reset();
    }
    DispatchTasks();
}

int TaskScheduler::PauseResumeTasks(int task_id, bool pause) {
    int count = 0;
    auto apply = [&](TThreadTask& entry, AliSpider& spider) {
        if (pause && !spider.gate().held()) {
            spider.gate().Hold();
            entry.State = tsPaused;
            ShowTaskMessage(entry.TaskName + "：任务被暂停", entry.Sink.get());
        } else if (!pause && spider.gate().held()) {
            spider.gate().Release();
            entry.State = tsRunning;
            ShowTaskMessage(entry.TaskName + "：继续暂停的抓取任务......", entry.Sink.get());
        }
    };
    if (task_id != -1) {
        for (auto& e : queue_) {
            if (!e || e->TaskID != task_id || !SlotAlive(e->Slot)) continue;
            apply(*e, *slots_[e->Slot]);
            return 1;
        }
        return 0;
    }
    for (int s = 0; s < Limit(); ++s) {
        if (!SlotAlive(s)) continue;
        ++count;
        for (auto& e : queue_)
            if (e && e->Slot == s && e->State != tsWaiting) {
                apply(*e, *slots_[s]);
                break;
            }
    }
    return count;
}

void TaskScheduler::StopSlot(int slot) {
    slots_[slot]->gate().Stop();
    Retire(std::move(slots_[slot]));
    // Once the gate is stopped nothing more is stored, so the file can say how it ended.
    for (const auto& e : queue_)
        if (e && e->Slot == slot && e->State != tsWaiting)
            RecordRunEnd(e->DataFile, RunOutcome::Stopped, runs_shown_);
}

int TaskScheduler::StopThreads() {
    int count = 0;
    for (int s = 0; s < Limit(); ++s) {
        if (!SlotAlive(s)) continue;
        StopSlot(s);
        ++count;
    }
    return count;
}

bool TaskScheduler::StopTask(int task_id) {
    for (auto& e : queue_) {
        if (!e || e->TaskID != task_id) continue;
        if (SlotAlive(e->Slot)) StopSlot(e->Slot);
        e.reset();
        DispatchTasks();
        return true;
    }
    return false;
}

void TaskScheduler::DiscardEntries() {
    for (auto& e : queue_) e.reset();
}

void TaskScheduler::ClearTaskQueue() {
    for (auto& e : queue_) {
        if (!e) continue;
        ShowTaskMessage(e->TaskName + "：任务被中止", e->Sink.get());
        e.reset();
    }
}

void TaskScheduler::EmptySlots() {
    for (int s = 0; s < Limit(); ++s) {
        if (slots_[s]) StopSlot(s);
    }
}

int TaskScheduler::CountTasksInState(std::uint8_t state) const {
    int n = 0;
    for (const auto& e : queue_) n += e && e->State == state;
    return n;
}

bool TaskScheduler::TaskInState(std::uint8_t state, int task_id) const {
    for (const auto& e : queue_)
        if (e && e->TaskID == task_id && e->State == state) return true;
    return false;
}

void TaskScheduler::Delay(int ms) {
    auto start = std::chrono::steady_clock::now();
    do {
        ui_.processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(ms));
}

const TThreadTask* TaskScheduler::Entry(int index) const {
    return index >= 0 && index < Limit() ? queue_[index].get() : nullptr;
}

void TaskScheduler::ShowTaskMessage(const std::string& text, TaskSink* log) const {
    if (show_message_) show_message_(text, log);
}

void TaskScheduler::Retire(std::shared_ptr<AliSpider> spider) {
    if (spider) retired_.push_back(std::move(spider));
}

void TaskScheduler::ReapRetired() {
    std::erase_if(retired_, [](const std::shared_ptr<AliSpider>& s) {
        if (s->alive()) return false;
        s->Join(true);
        return true;
    });
}

}  // namespace qv
