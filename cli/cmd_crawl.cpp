#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <stdexcept>

#include "cli/commands.h"
#include "cli/crawl_progress.h"
#include "core/data_files.h"
#include "core/database.h"
#include "core/file_fault.h"
#include "core/ini_file.h"
#include "core/run_journal.h"
#include "core/run_lock.h"
#include "core/saved_tasks.h"
#include "core/text.h"
#include "engine/crawl.h"
#include "engine/proxy.h"
#include "engine/scheduler.h"

namespace qv::cli {
namespace {

std::atomic<bool> interrupted{false};
extern "C" void OnInterrupt(int) { interrupted = true; }

// Prints every task message as NAME<TAB>MESSAGE; rows are only counted. Live progress
// lines make way first, so a message never lands inside them.
class PrintingSink : public TaskSink {
public:
    PrintingSink(std::string name, std::ostream& out, CrawlProgress& progress)
        : name_(std::move(name)), out_(out), progress_(progress) {}
    void AppendMessage(const std::string& text) override {
        progress_.MakeWay();
        out_ << PrintableText(name_) << '\t' << PrintableText(text) << '\n' << std::flush;
    }
    void AppendMemberRow(const MemberValues&) override { ++rows_; }
    void RepaintMembers() override {}
    long rows() const { return rows_; }

private:
    std::string name_;
    std::ostream& out_;
    CrawlProgress& progress_;
    long rows_ = 0;
};

struct CrawlTask {
    std::string name;
    std::string url;
    std::string file;  // its data file
};

// Parses NAME=URL; the name must be usable as a file name in the output folder, and may
// not break the NAME<TAB>MESSAGE lines the command prints.
CrawlTask ParsePair(const std::string& pair, const std::string& out_dir) {
    auto eq = pair.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == pair.size())
        throw CLI::ValidationError("task", "expected NAME=URL, got: " + pair);
    CrawlTask t{pair.substr(0, eq), pair.substr(eq + 1), {}};
    if (!IsUsableTaskName(t.name) || t.name.find_first_of("\t\r\n") != std::string::npos)
        throw CLI::ValidationError("task", "not a usable task name: " + t.name);
    t.file = TaskDataFilePath(out_dir + "/", t.name);
    return t;
}

// The --out folder, made when it is missing; raises with the reason in words.
void MakeOutputFolder(const std::string& dir) {
    std::error_code ec;
    const auto status = std::filesystem::status(dir, ec);
    if (std::filesystem::exists(status) && !std::filesystem::is_directory(status))
        throw std::runtime_error("crawl: --out " + dir + " 不是文件夹（那里是一个文件），无法在其中保存数据文件");
    std::filesystem::create_directories(dir, ec);
    if (ec) throw std::runtime_error("crawl: 无法建立 --out 文件夹 " + dir + "：" + FileFaultText(ec.value()));
}

// Why a task was left out of the run, naming it and its file.
std::string LeftOutText(const CrawlTask& t, const std::string& reason) {
    return "任务“" + t.name + "”没有运行，数据文件 " + t.file + "：" + reason;
}

// Makes the task's data file with an empty DataList when it is missing.
void EnsureDataFile(const std::string& path) {
    if (std::filesystem::exists(path)) return;
    if (!CreateDatabaseFile(path, false)) throw DatabaseError("cannot create data file " + path);
    ExecuteOnDatabaseFile(path, kCreateDataListSql);
}

enum class StartMode { Fresh, Resume, NewOnly, RetryFailed, Refresh };

struct CrawlRun {
    std::vector<CrawlTask> tasks;
    bool detail = false;
    int connections = 1;  // per task, for the pages of its companies
    int interval_ms = 0;  // least time between the starts of two requests of one task
    StartMode mode = StartMode::Fresh;
    bool quiet = false;
    std::vector<Proxy> proxies;  // taken in turn by the tasks; none: requests go out directly
};

// The proxies of --proxy (each one entry) and --proxy-file (one a line, # comments). The
// reasons name the entry or the line, never what it holds: it may hold a password.
// [Options] Proxies of the profile's config.ini, which the window's options dialog sets;
// none when there is no profile to read.
std::vector<Proxy> ProfileProxies(Context& ctx) {
    std::string settings;
    try {
        settings = ctx.LocatedProfile().settings_file;
    } catch (const ProfileError&) {
        return {};
    }
    const std::string value = ReadSetting(settings, settings::kProxies);
    try {
        return ParseProxyList(ProxySettingLines(value));
    } catch (const ProxyError& e) {
        throw CLI::ValidationError("crawl", settings + ": [Options] Proxies, proxy " + std::to_string(e.line()) +
                                                ": " + std::string(ProxyFaultText(e.fault())));
    }
}

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

// Decides how the task's run uses its file; called with the file's run lock held, since
// a fresh run empties the file. The file is only read until that emptying: a run that is
// refused or has nothing to do leaves it byte for byte as it was.
TaskPlan PlanTask(const std::string& path, const std::string& name, StartMode mode) {
    SavedRun saved;
    std::vector<FailedPage> failures;
    {
        Connection db(path, DatabaseKind::ReadOnly);
        saved = ReadSavedRun(db);
        if (mode == StartMode::RetryFailed) failures = ReadFailedPages(db);
    }
    if (mode == StartMode::RetryFailed) {
        std::erase_if(failures, [](const FailedPage& f) {
            return f.kind == kFailedResultPage || f.contact_link.empty();
        });
        if (failures.empty())
            return {TaskPlan::Done, RunKind::RetryFailed, name + "：这个任务没有因为网页抓取失败而跳过的公司"};
        return {TaskPlan::Run, RunKind::RetryFailed, {}};
    }
    if (mode == StartMode::NewOnly) return {TaskPlan::Run, RunKind::NewOnly, {}};
    if (mode == StartMode::Refresh) return {TaskPlan::Run, RunKind::Refresh, {}};
    if (mode == StartMode::Fresh || saved.rows == 0) {
        if (saved.rows > 0) ExecuteOnDatabaseFile(path, "DELETE FROM DataList");
        return {TaskPlan::Run, RunKind::Fresh, {}};
    }
    if (!saved.position)
        return {TaskPlan::Refused, RunKind::Continue,
                name + "：这个任务没有可以继续的抓取，数据文件没有改变"};
    if (saved.position->finished)
        return {TaskPlan::Done, RunKind::Continue, name + "：上次的抓取已经完成，没有要继续的内容"};
    return {TaskPlan::Run, RunKind::Continue, {}};
}

int RunCrawl(const CrawlRun& run, Streams& streams) {
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
    int columns = 80;
    CrawlProgress progress(streams.err, ProgressModeFor(streams.err, run.quiet, columns),
                           std::chrono::seconds(30), columns);
    int succeeded = 0, ended = 0;
    scheduler.SetEndObserver([&](const TThreadTask& entry, int code) {
        ++ended;
        succeeded += code == 0;
        progress.Remove(entry.TaskName);
    });

    std::deque<std::unique_ptr<TThreadTask>> waiting;
    int settled = 0;  // tasks with nothing to run: finished before, or refused
    std::vector<std::string> left_out;  // tasks that could not run at all
    for (size_t i = 0; i < run.tasks.size(); ++i) {
        const CrawlTask& t = run.tasks[i];
        auto sink = std::make_shared<PrintingSink>(t.name, streams.out, progress);
        // One task that cannot run is named and left out; the others run all the same.
        auto leave_out = [&](const std::string& reason) {
            streams.err << "crawl: " << PrintableText(LeftOutText(t, reason)) << '\n';
            left_out.push_back(t.name);
            ++settled;
        };
        TaskPlan plan;
        DataFileRunLock lock;
        try {
            EnsureDataFile(t.file);
            if (std::string fault = DataFileFault(t.file); !fault.empty()) {
                leave_out(fault);
                continue;
            }
            lock = DataFileRunLock::TryAcquire(t.file);
            if (!lock) {
                leave_out("另一个程序正在采集这个任务");
                continue;
            }
            plan = PlanTask(t.file, t.name, run.mode);
        } catch (const DatabaseError& e) {
            const std::string words = DatabaseFaultWords(e);
            leave_out(words.empty() ? e.what() : words + "（" + e.what() + "）");
            continue;
        } catch (const std::exception& e) {
            leave_out(e.what());
            continue;
        }
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
        entry->DataFile = t.file;
        entry->Kind = plan.kind;
        entry->Sink = std::move(sink);
        entry->Progress = std::make_shared<TaskProgress>();
        entry->RunLock = std::move(lock);
        waiting.push_back(std::move(entry));
    }

    interrupted = false;
    auto old_handler = std::signal(SIGINT, OnInterrupt);
    const int to_run = static_cast<int>(waiting.size());
    const int total = to_run + settled;
    auto next_tick = CrawlProgress::Clock::now();
    while (ended < to_run && !interrupted) {
        // The queue holds ten; the rest wait here until a position frees.
        while (!waiting.empty() && scheduler.FindFreeQueueIndex() >= 0) {
            progress.Add(waiting.front()->TaskName, waiting.front()->Progress, CrawlProgress::Clock::now());
            scheduler.EnqueueTask(std::move(waiting.front()));
            waiting.pop_front();
            scheduler.DispatchTasks();
        }
        ui.WaitAndProcess(std::chrono::milliseconds(50));
        if (const auto now = CrawlProgress::Clock::now(); now >= next_tick) {
            progress.Tick(now);
            next_tick = now + std::chrono::milliseconds(500);
        }
    }
    progress.MakeWay();
    if (interrupted) {
        int n = scheduler.StopThreads();
        scheduler.DiscardEntries();
        streams.err << "interrupted: " << n << " task(s) stopped\n";
    }
    std::signal(SIGINT, old_handler);
    if (!left_out.empty()) {
        std::string names;
        for (const std::string& name : left_out) names += (names.empty() ? "" : "、") + name;
        streams.err << "crawl: " << left_out.size() << " 个任务没有运行：" << PrintableText(names) << '\n';
    }
    return !interrupted && succeeded == total ? 0 : 1;
}

// The saved tasks to run, in the order asked for (the task list's order for all of them).
std::vector<CrawlTask> SavedTasks(const Profile& profile, const std::vector<std::string>& names,
                                  bool all) {
    std::vector<SavedTask> saved = ListSavedTasks(profile);
    std::vector<CrawlTask> chosen;
    auto add = [&](const SavedTask& t) {
        if (t.data_file.empty()) throw std::runtime_error("crawl: task " + t.name + " cannot name a data file");
        if (t.url.empty()) throw std::runtime_error("crawl: task " + t.name + " has no search URL");
        chosen.push_back(CrawlTask{t.name, t.url, t.data_file});
    };
    if (all) {
        for (const SavedTask& t : saved) add(t);
        return chosen;
    }
    for (const std::string& name : names) {
        auto it = std::find_if(saved.begin(), saved.end(), [&](const SavedTask& t) { return t.name == name; });
        if (it == saved.end()) throw std::runtime_error("crawl: no saved task is named " + name);
        add(*it);
    }
    return chosen;
}

}  // namespace

void AddCrawlCommand(CLI::App& app, Context& ctx) {
    struct Args {
        CrawlRun run;
        std::string out_dir;
        std::vector<std::string> pairs, task_names;
        bool all_tasks = false;
        std::vector<std::string> proxy_urls;
        std::string proxy_file;
        std::optional<bool> detail;  // --detail or --no-detail
    };
    auto args = std::make_shared<Args>();
    CrawlRun& run = args->run;
    auto* cmd = app.add_subcommand(
        "crawl", "Run collection tasks, at most ten at once: saved tasks of the task list, or NAME=URL pairs");
    cmd->footer(
        "Saved tasks (--task, --all-tasks) run with the options of the window's 选项 ([Options] of the\n"
        "profile's config.ini): RequestInterval, CollectCompanyDetail, ConnectionsPerTask and Proxies.\n"
        "--interval, --detail/--no-detail, --connections and --proxy/--proxy-file override them for\n"
        "this run. NAME=URL tasks take only the proxies from there; the rest defaults to no interval,\n"
        "no profile pages and one connection.\n"
        "Exit code 0 when every task ended well, 1 when one did not (a task that could not run is\n"
        "named with its file and the reason, and the last line names every such task), 2 for a\n"
        "usage error.");
    auto* detail = cmd->add_flag_function(
        "--detail", [args](std::int64_t) { args->detail = true; }, "Also collect each company's profile page");
    cmd->add_flag_function(
           "--no-detail", [args](std::int64_t) { args->detail = false; },
           "Do not collect the profile pages, whatever the options say")
        ->excludes(detail);
    auto* connections = cmd->add_option("--connections", run.connections,
                                        "Connections per task for the pages of a result page's companies")
                            ->check(CLI::Range(1, kMaxConnectionsPerTask));
    auto* interval = cmd->add_option("--interval", run.interval_ms,
                                     "Least milliseconds between the starts of two requests of one task")
                         ->check(CLI::Range(0, 3'600'000));
    auto* resume = cmd->add_flag_function(
        "--resume", [args](std::int64_t) { args->run.mode = StartMode::Resume; },
        "Continue each task's unfinished run where it stopped, keeping its records");
    auto* new_only = cmd->add_flag_function(
        "--new-only", [args](std::int64_t) { args->run.mode = StartMode::NewOnly; },
        "Keep the stored records and collect only companies not stored yet");
    new_only->excludes(resume);
    auto* retry = cmd->add_flag_function(
                          "--retry-failed", [args](std::int64_t) { args->run.mode = StartMode::RetryFailed; },
                          "Collect again only the companies that the last run skipped because a page failed")
                      ->excludes(resume)
                      ->excludes(new_only);
    cmd->add_flag_function(
           "--refresh", [args](std::int64_t) { args->run.mode = StartMode::Refresh; },
           "Read the whole search again: add new companies, update the stored ones in place and log "
           "what changed and which are gone (see the changes command)")
        ->excludes(resume)
        ->excludes(new_only)
        ->excludes(retry);
    cmd->add_flag("--quiet", run.quiet, "Show no progress lines on stderr");
    cmd->add_option("--proxy", args->proxy_urls,
                    "Send requests through this proxy (http, https, socks5 or socks5h URL with its port, "
                    "user:password@ allowed); repeat it for more, which tasks take in turn")
        ->allow_extra_args(false);
    cmd->add_option("--proxy-file", args->proxy_file, "Read proxies from this file, one a line, # comments");
    auto* task = cmd->add_option("--task", args->task_names,
                                 "Run the saved task NAME of the task list (repeatable)");
    cmd->add_flag("--all-tasks", args->all_tasks, "Run every saved task of the task list")->excludes(task);
    cmd->add_option("--out", args->out_dir, "Folder of the data files (NAME.db) of NAME=URL tasks");
    cmd->add_option("tasks", args->pairs,
                    "NAME=URL of each task; put -- before the tasks when a name starts with -");
    cmd->callback([args, &ctx, connections, interval] {
        CrawlRun& run = args->run;
        // --proxy and --proxy-file stand in for the options' proxies for this run.
        run.proxies = args->proxy_urls.empty() && args->proxy_file.empty()
                          ? ProfileProxies(ctx)
                          : ReadProxies(args->proxy_urls, args->proxy_file);
        if (args->pairs.empty() && args->task_names.empty() && !args->all_tasks)
            throw CLI::ValidationError("crawl", "give --task NAME, --all-tasks or NAME=URL tasks");
        if (!args->pairs.empty() && args->out_dir.empty())
            throw CLI::ValidationError("crawl", "NAME=URL tasks need --out DIR");
        if (args->pairs.empty() && !args->out_dir.empty())
            throw CLI::ValidationError("crawl", "--out is for NAME=URL tasks; saved tasks use their own files");
        run.tasks.clear();
        for (const auto& p : args->pairs) run.tasks.push_back(ParsePair(p, args->out_dir));
        run.detail = args->detail.value_or(false);
        if (!args->task_names.empty() || args->all_tasks) {
            // Saved tasks run as the window would run them, unless told otherwise.
            const std::string settings = ctx.LocatedProfile().settings_file;
            if (!args->detail) run.detail = ReadSetting(settings, settings::kCollectCompanyDetail);
            if (!interval->count()) run.interval_ms = ReadSetting(settings, settings::kRequestInterval);
            if (!connections->count()) run.connections = ReadSetting(settings, settings::kConnectionsPerTask);
            try {
                for (CrawlTask& t : SavedTasks(ctx.PreparedProfile(), args->task_names, args->all_tasks))
                    run.tasks.push_back(std::move(t));
            } catch (const std::exception& e) {
                ctx.streams.err << e.what() << '\n';
                ctx.exit_code = 1;
                return;
            }
        }
        for (size_t i = 0; i < run.tasks.size(); ++i)
            for (size_t j = 0; j < i; ++j)
                if (run.tasks[j].name == run.tasks[i].name)
                    throw CLI::ValidationError("task", "two tasks named " + run.tasks[i].name);
        if (!args->pairs.empty()) MakeOutputFolder(args->out_dir);
        ctx.exit_code = RunCrawl(run, ctx.streams);
    });
}

}  // namespace qv::cli
