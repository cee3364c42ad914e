#pragma once
// One task run through the scheduler, as the window and the command line run it, with
// what its page was shown recorded in order.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "core/data_files.h"
#include "engine/proxy.h"
#include "engine/scheduler.h"

namespace qv::test {

class RecordingSink : public TaskSink {
public:
    void AppendMessage(const std::string& text) override { log.push_back("message " + text); }
    void ShowMessageCause(const std::string& cause, const std::string& proxy) override {
        log.push_back("cause " + cause + (proxy.empty() ? "" : " via " + proxy));
    }
    void AppendMemberRow(const MemberValues& v) override {
        log.push_back("row " + v[mfMemberID]);
        ++rows;
    }
    void RepaintMembers() override { log.push_back("repaint"); }
    std::vector<std::string> log;
    size_t rows = 0;
};

struct CrawlSettings {
    int connections = 1;
    bool detail = false;
    int interval_ms = 0;
    RunKind kind = RunKind::Fresh;
    std::vector<std::string> proxies;  // URLs tasks take in turn
};

struct ScheduledRun {
    std::vector<std::string> log;  // messages, causes, rows and repaints as shown
    int result_code = -1;
    bool Says(const std::string& message) const {
        for (const std::string& line : log)
            if (line == "message " + message) return true;
        return false;
    }
};

// A data file with its empty DataList, as adding a task makes one.
inline std::string NewDataFile(const std::string& dir, const std::string& name) {
    std::string path = TaskDataFilePath(dir + "/", name);
    CreateDatabaseFile(path, true);
    ExecuteOnDatabaseFile(path, kCreateDataListSql);
    return path;
}

inline ScheduledRun RunTask(const std::string& url, const std::string& file, const CrawlSettings& settings) {
    using namespace std::chrono_literals;
    EventQueue ui;
    TaskScheduler scheduler(ui);
    scheduler.SetMessageCallback([](const std::string& text, TaskSink* log) {
        if (log) log->AppendMessage(text);
    });
    scheduler.SetCollectDetail([detail = settings.detail] { return detail; });
    scheduler.SetConnections([n = settings.connections] { return n; });
    scheduler.SetRequestInterval([ms = settings.interval_ms] { return ms; });
    if (!settings.proxies.empty()) {
        std::vector<Proxy> proxies;
        for (const std::string& url : settings.proxies) proxies.push_back(ParseProxy(url));
        scheduler.SetProxies([proxies] { return proxies; });
    }
    ScheduledRun run;
    scheduler.SetEndObserver([&run](const TThreadTask&, int code) { run.result_code = code; });
    auto sink = std::make_shared<RecordingSink>();
    auto entry = std::make_unique<TThreadTask>();
    entry->TaskID = 1;
    entry->TaskName = "任务";
    entry->Url = url;
    entry->DataFile = file;
    entry->Kind = settings.kind;
    entry->Sink = sink;
    scheduler.EnqueueTask(std::move(entry));
    scheduler.DispatchTasks();
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    while (scheduler.CountRunningThreads() > 0 && std::chrono::steady_clock::now() < deadline)
        ui.WaitAndProcess(5ms);
    run.log = sink->log;
    return run;
}

}  // namespace qv::test
