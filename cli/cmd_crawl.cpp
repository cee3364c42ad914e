#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "cli/commands.h"
#include "core/data_files.h"
#include "core/database.h"
#include "core/run_journal.h"
#include "engine/crawl.h"
#include "engine/proxy.h"
#include "engine/scheduler.h"

namespace qv::cli {
namespace {

std::atomic<bool> interrupted{false};
extern "C" void OnInterrupt(int) { interrupted = true; }

// Prints every task message as NAME<TAB>MESSAGE; rows are only counted.
class PrintingSink : public TaskSink {
public:
    PrintingSink(std::string name, std::ostream& out) : name_(std::move(name)), out_(out) {}
    void AppendMessage(const std::string& text) override {
        out_ << name_ << '\t' << text << '\n' << std::flush;
    }
    void AppendMemberRow(const MemberValues&) override { ++rows_; }
    void RepaintMembers() override {}
    long rows() const { return rows_; }

private:
    std::string name_;
    std::ostream& out_;
    long rows_ = 0;
};

struct CrawlTask {
    std::string name;
    std::string url;
};

// Parses NAME=URL; the name must be usable as a file name in the output folder, and may
// not break the NAME<TAB>MESSAGE lines the command prints.
CrawlTask ParsePair(const std::string& pair) {
    auto eq = pair.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == pair.size())
        throw CLI::ValidationError("task", "expected NAME=URL, got: " + pair);
    CrawlTask t{pair.substr(0, eq), pair.substr(eq + 1)};
    if (!IsUsableTaskName(t.name) || t.name.find_first_of("\t\r\n") != std::string::npos)
        throw CLI::ValidationError("task", "not a usable task name: " + t.name);
    return t;
}

// Makes sure the task's data file exists with a DataList table; true when it holds rows.
bool EnsureDataFile(const std::string& path) {
    if (!std::filesystem::exists(path)) {
        if (!CreateDatabaseFile(path, false))
            throw DatabaseError("cannot create data file " + path);
        ExecuteOnDatabaseFile(path, kCreateDataListSql);
        return false;
    }
    Connection db(path, DatabaseKind::DataFile);
    return ReadSavedRun(db).rows > 0;
}

void EmptyDataFile(const std::string& path) {
    Connection db(path, DatabaseKind::DataFile);
    db.Execute("DELETE FROM DataList");
}

enum class StartMode { Fresh, Resume, NewOnly };

struct CrawlRun {
    std::vector<CrawlTask> tasks;
    std::string out_dir;
    bool detail = false;
    int connections = 1;  // per task, for the pages of its companies
    int interval_ms = 0;  // least time between the starts of two requests of one task
    StartMode mode = StartMode::Fresh;
    std::vector<Proxy> proxies;  // taken in turn by the tasks; none: requests go out directly
};

// The proxies of --proxy (each one entry) and --proxy-file (one a line, # comments). The
// reasons name the entry or the line, never what it holds: it may hold a password.
std::vector<Proxy> ReadProxies(const std::vector<std::string>& urls, const std::string& file) {
    std::vector<Proxy> proxies;
    for (size_t i = 0; i < urls.size(); ++i) {
        try {
            proxies.push_back(ParseProxy(urls[i]));
        } catch (const ProxyError& e) {
            throw CLI::ValidationError("--proxy", "proxy " + std::to_string(i + 1) + ": " + e.what());
        }
    }
    if (file.empty()) return proxies;
    std::ifstream in(file, std::ios::binary);
    if (!in) throw CLI::ValidationError("--proxy-file", "cannot read " + file);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    try {
        for (Proxy& p : ParseProxyList(text)) proxies.push_back(std::move(p));
    } catch (const ProxyError& e) {
        throw CLI::ValidationError("--proxy-file", file + ", " + e.what());
    }
    return proxies;
}

// What becomes of one task before any thread runs.
struct TaskPlan {
    enum { Run, Done, Refused } what = Run;
    RunKind kind = RunKind::Fresh;
    std::string message;  // for Done and Refused
};

TaskPlan PlanTask(const std::string& path, const std::string& name, StartMode mode) {
    const bool has_rows = EnsureDataFile(path);
    if (mode == StartMode::NewOnly) return {TaskPlan::Run, RunKind::NewOnly, {}};
    if (mode == StartMode::Fresh || !has_rows) {
        if (has_rows) EmptyDataFile(path);
        return {TaskPlan::Run, RunKind::Fresh, {}};
    }
    Connection db(path, DatabaseKind::DataFile);
    SavedRun saved = ReadSavedRun(db);
    if (!saved.position)
        return {TaskPlan::Refused, RunKind::Continue,
                name + "：这个任务没有可以继续的抓取，数据文件没有改变"};
    if (saved.position->finished)
        return {TaskPlan::Done, RunKind::Continue, name + "：上次的抓取已经完成，没有要继续的内容"};
    return {TaskPlan::Run, RunKind::Continue, {}};
}

int RunCrawl(const CrawlRun& run, Streams& streams) {
    std::filesystem::create_directories(run.out_dir);
    EventQueue ui;
    TaskScheduler scheduler(ui);
    scheduler.SetMessageCallback([](const std::string& text, TaskSink* log) {
        if (log) log->AppendMessage(text);
    });
    bool detail = run.detail;
    scheduler.SetCollectDetail([detail] { return detail; });
    const int connections = run.connections;
    scheduler.SetConnections([connections] { return connections; });
    const int interval = run.interval_ms;
    scheduler.SetRequestInterval([interval] { return interval; });
    if (!run.proxies.empty()) scheduler.SetProxies([proxies = run.proxies] { return proxies; });
    int succeeded = 0, ended = 0;
    scheduler.SetEndObserver([&](const TThreadTask&, int code) {
        ++ended;
        succeeded += code == 0;
    });

    std::deque<std::unique_ptr<TThreadTask>> waiting;
    int settled = 0;  // tasks with nothing to run: finished before, or refused
    for (size_t i = 0; i < run.tasks.size(); ++i) {
        const CrawlTask& t = run.tasks[i];
        auto sink = std::make_shared<PrintingSink>(t.name, streams.out);
        const std::string path = TaskDataFilePath(run.out_dir + "/", t.name);
        TaskPlan plan = PlanTask(path, t.name, run.mode);
        if (plan.what != TaskPlan::Run) {
            sink->AppendMessage(plan.message);
            ++settled;
            succeeded += plan.what == TaskPlan::Done;
            continue;
        }
        auto entry = std::make_unique<TThreadTask>();
        entry->TaskID = static_cast<int>(i + 1);
        entry->TaskName = t.name;
        entry->Url = t.url;
        entry->DataFile = path;
        entry->Kind = plan.kind;
        entry->Sink = std::move(sink);
        waiting.push_back(std::move(entry));
    }

    interrupted = false;
    auto old_handler = std::signal(SIGINT, OnInterrupt);
    const int to_run = static_cast<int>(waiting.size());
    const int total = to_run + settled;
    while (ended < to_run && !interrupted) {
        // The queue holds ten; the rest wait here until a position frees.
        while (!waiting.empty() && scheduler.FindFreeQueueIndex() >= 0) {
            scheduler.EnqueueTask(std::move(waiting.front()));
            waiting.pop_front();
            scheduler.DispatchTasks();
        }
        ui.WaitAndProcess(std::chrono::milliseconds(50));
    }
    if (interrupted) {
        int n = scheduler.StopThreads();
        scheduler.DiscardEntries();
        streams.err << "interrupted: " << n << " task(s) stopped\n";
    }
    std::signal(SIGINT, old_handler);
    return !interrupted && succeeded == total ? 0 : 1;
}

}  // namespace

void AddCrawlCommand(CLI::App& app, Context& ctx) {
    auto run = std::make_shared<CrawlRun>();
    auto pairs = std::make_shared<std::vector<std::string>>();
    auto* cmd = app.add_subcommand("crawl", "run collection tasks, at most ten at once");
    cmd->add_flag("--detail", run->detail, "also collect each company's profile page");
    cmd->add_option("--connections", run->connections,
                    "connections per task for the pages of a result page's companies")
        ->check(CLI::Range(1, kMaxConnectionsPerTask));
    cmd->add_option("--interval", run->interval_ms,
                    "least milliseconds between the starts of two requests of one task")
        ->check(CLI::Range(0, 3'600'000));
    auto* resume = cmd->add_flag_function(
        "--resume", [run](std::int64_t) { run->mode = StartMode::Resume; },
        "continue each task's unfinished run where it stopped, keeping its records");
    cmd->add_flag_function(
           "--new-only", [run](std::int64_t) { run->mode = StartMode::NewOnly; },
           "keep the stored records and collect only companies not stored yet")
        ->excludes(resume);
    auto proxy_urls = std::make_shared<std::vector<std::string>>();
    auto proxy_file = std::make_shared<std::string>();
    cmd->add_option("--proxy", *proxy_urls,
                    "send requests through this proxy (http, https, socks5 or socks5h URL with its port, "
                    "user:password@ allowed); repeat it for more, which tasks take in turn")
        ->allow_extra_args(false);
    cmd->add_option("--proxy-file", *proxy_file, "read proxies from this file, one a line, # comments");
    cmd->add_option("--out", run->out_dir, "folder of the data files (NAME.db)")->required();
    cmd->add_option("tasks", *pairs,
                    "NAME=URL of each task; put -- before the tasks when a name starts with -")
        ->required();
    cmd->callback([run, pairs, proxy_urls, proxy_file, &ctx] {
        run->proxies = ReadProxies(*proxy_urls, *proxy_file);
        run->tasks.clear();
        for (const auto& p : *pairs) {
            CrawlTask t = ParsePair(p);
            for (const auto& other : run->tasks)
                if (other.name == t.name)
                    throw CLI::ValidationError("task", "two tasks named " + t.name);
            run->tasks.push_back(std::move(t));
        }
        ctx.exit_code = RunCrawl(*run, ctx.streams);
    });
}

}  // namespace qv::cli
