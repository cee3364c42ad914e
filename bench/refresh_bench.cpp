// A refresh against a full crawl: ten tasks (detail on) are crawled at week 0, then the
// simulator serves week 1 at the same address and each round times a full crawl of week 1
// into new files and a refresh of copies of the week-0 files. A refresh reads the same pages
// as a full crawl, so it should take as long; what it adds is matching, comparing and the
// change log.
//
// Usage: build/bench/refresh_bench [delay_ms=50] [companies=200] [tasks=10] [connections=1] [rounds=2]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/site_process.h"
#include "core/change_log.h"
#include "core/data_files.h"
#include "core/database.h"
#include "engine/scheduler.h"
#include "tasks/search_url.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class QuietSink : public qv::TaskSink {
public:
    void AppendMessage(const std::string&) override {}
    void AppendMemberRow(const qv::MemberValues&) override {}
    void RepaintMembers() override {}
};

std::string SearchUrl(const std::string& base, int task) {
    qv::TAddTaskResult r;
    r.Keyword = "更新" + std::to_string(task);
    return qv::BuildSearchUrl(r, base);
}

std::string FileOf(const fs::path& dir, int task) { return (dir / ("t" + std::to_string(task) + ".db")).string(); }

// Runs the tasks over the files in `dir` (made empty when missing) and returns the seconds.
double Run(const std::string& base, int tasks, int connections, const fs::path& dir, qv::RunKind kind) {
    qv::EventQueue ui;
    qv::TaskScheduler scheduler(ui);
    scheduler.SetCollectDetail([] { return true; });
    scheduler.SetConnections([connections] { return connections; });
    int ended = 0, failed = 0;
    scheduler.SetEndObserver([&](const qv::TThreadTask&, int code) {
        ++ended;
        failed += code != 0;
    });
    fs::create_directories(dir);
    for (int i = 0; i < tasks; ++i) {
        auto e = std::make_unique<qv::TThreadTask>();
        e->TaskID = i + 1;
        e->TaskName = "t" + std::to_string(i);
        e->Url = SearchUrl(base, i);
        e->DataFile = FileOf(dir, i);
        if (!fs::exists(e->DataFile)) {
            qv::CreateDatabaseFile(e->DataFile, true);
            qv::ExecuteOnDatabaseFile(e->DataFile, qv::kCreateDataListSql);
        }
        e->Kind = kind;
        e->Sink = std::make_shared<QuietSink>();
        scheduler.EnqueueTask(std::move(e));
    }
    const auto start = Clock::now();
    scheduler.DispatchTasks();
    while (ended < tasks) ui.WaitAndProcess(std::chrono::milliseconds(20));
    if (failed > 0) throw std::runtime_error(std::to_string(failed) + " task(s) failed");
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Counts {
    long long records = 0, added = 0, changed = 0, gone = 0;
};

Counts CountsOf(const fs::path& dir, int tasks) {
    Counts c;
    for (int i = 0; i < tasks; ++i) {
        qv::Connection db(FileOf(dir, i), qv::DatabaseKind::ReadOnly);
        c.records += db.Query("SELECT COUNT(*) AS n FROM DataList").Integer(0, "n");
        if (auto run = qv::LastRun(db)) {
            c.added += run->added;
            c.changed += run->changed;
            c.gone += run->gone;
        }
    }
    return c;
}

int Main(int argc, char** argv) {
    const int delay_ms = argc > 1 ? std::atoi(argv[1]) : 50;
    const int companies = argc > 2 ? std::atoi(argv[2]) : 200;
    const int tasks = argc > 3 ? std::atoi(argv[3]) : 10;
    const int connections = argc > 4 ? std::atoi(argv[4]) : 1;
    const int rounds = argc > 5 ? std::atoi(argv[5]) : 2;
    const int threads = tasks * connections + 16;
    const fs::path root = fs::temp_directory_path() / "quorvane-refresh-bench";
    fs::remove_all(root);

    std::string port;
    {
        // The week-0 files, collected without a delay: they are not what is measured.
        qv::bench::SiteProcess week0(0, companies, threads);
        port = week0.port();
        Run(week0.base_url(), tasks, 8, root / "week0", qv::RunKind::Fresh);
    }
    qv::bench::SiteProcess week1(delay_ms, companies, threads, {"--week", "1", "--port", port});
    std::printf("%d tasks x %d companies, detail on, %d ms per request, %d connection(s) per task, week 1\n", tasks,
                companies, delay_ms, connections);
    std::printf("%5s %10s %10s %8s\n", "round", "full s", "refresh s", "ratio");
    std::vector<double> ratios;
    Counts full, refreshed;
    for (int round = 1; round <= rounds; ++round) {
        fs::remove_all(root / "full");
        fs::remove_all(root / "refresh");
        fs::copy(root / "week0", root / "refresh");
        const double full_s = Run(week1.base_url(), tasks, connections, root / "full", qv::RunKind::Fresh);
        const double refresh_s = Run(week1.base_url(), tasks, connections, root / "refresh", qv::RunKind::Refresh);
        ratios.push_back(refresh_s / full_s);
        std::printf("%5d %10.2f %10.2f %7.3f\n", round, full_s, refresh_s, refresh_s / full_s);
        std::fflush(stdout);
        full = CountsOf(root / "full", tasks);
        refreshed = CountsOf(root / "refresh", tasks);
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("full crawl: %lld records; refresh: %lld records, added %lld, changed %lld, gone %lld\n",
                full.records, refreshed.records, refreshed.added, refreshed.changed, refreshed.gone);
    std::printf("median refresh / full: %.3f\n", ratios[ratios.size() / 2]);
    fs::remove_all(root);
    // The refresh keeps the gone companies: the week-1 records and those.
    return refreshed.records == full.records + refreshed.gone ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Main(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "refresh_bench: %s\n", e.what());
        return 2;
    }
}
