// Connections per task: ten crawls (detail on) against the simulator in its own process,
// answering after a delay as a remote marketplace does, with 1, 2, 4 and 8 connections per
// task; beside each, the bound for that many connections: 10 x N plain libcurl workers
// fetching the same pages (N per task, sharing the task's list of pages).
//
// Usage: build/bench/connections_bench [delay_ms=50] [companies=200] [tasks=10] [N...]
#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/site_process.h"
#include "core/data_files.h"
#include "engine/scheduler.h"
#include "sim/site_data.h"
#include "tasks/search_url.h"

namespace {

using Clock = std::chrono::steady_clock;

class CountingSink : public qv::TaskSink {
public:
    void AppendMessage(const std::string&) override {}
    void AppendMemberRow(const qv::MemberValues&) override { ++rows; }
    void RepaintMembers() override {}
    long rows = 0;
};

std::string Keyword(int i) { return "连接" + std::to_string(i); }

std::string SearchUrl(const std::string& base, const std::string& keyword) {
    qv::TAddTaskResult r;
    r.Keyword = keyword;
    return qv::BuildSearchUrl(r, base);
}

double RunCrawl(const std::string& base, int tasks, int connections, const std::string& dir,
                long& stored) {
    qv::EventQueue ui;
    qv::TaskScheduler scheduler(ui);
    // Fresh files each run: a data file's side files must not outlive it.
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    scheduler.SetCollectDetail([] { return true; });
    scheduler.SetConnections([connections] { return connections; });
    std::vector<std::shared_ptr<CountingSink>> sinks;
    int ended = 0;
    scheduler.SetEndObserver([&](const qv::TThreadTask&, int) { ++ended; });
    for (int i = 0; i < tasks; ++i) {
        auto e = std::make_unique<qv::TThreadTask>();
        e->TaskID = i + 1;
        e->TaskName = "t" + std::to_string(i);
        e->Url = SearchUrl(base, Keyword(i));
        e->DataFile = dir + "/" + e->TaskName + ".db";
        qv::CreateDatabaseFile(e->DataFile, true);
        qv::ExecuteOnDatabaseFile(e->DataFile, qv::kCreateDataListSql);
        sinks.push_back(std::make_shared<CountingSink>());
        e->Sink = sinks.back();
        scheduler.EnqueueTask(std::move(e));
    }
    const auto start = Clock::now();
    scheduler.DispatchTasks();
    while (ended < tasks) ui.WaitAndProcess(std::chrono::milliseconds(20));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    stored = 0;
    for (auto& s : sinks) stored += s->rows;
    return seconds;
}

size_t Discard(char*, size_t size, size_t n, void*) { return size * n; }

// The pages one task reads: its result pages, then each company's contact and profile.
std::vector<std::string> PagesOf(qv::SiteData& data, const std::string& base, const std::string& keyword) {
    const auto& companies = data.CompaniesFor(keyword);
    std::vector<std::string> urls{SearchUrl(base, keyword)};
    for (size_t page = 2; (page - 1) * 40 < companies.size(); ++page)
        urls.push_back(SearchUrl(base, keyword) + "&beginPage=" + std::to_string(page));
    for (const auto& c : companies) {
        urls.push_back(base + c.contact_path);
        urls.push_back(base + c.profile_path);
    }
    return urls;
}

// N workers per task, each with its own kept-alive connection, take the task's pages in turn.
double RunBound(qv::SiteData& data, const std::string& base, int tasks, int connections, long& pages) {
    std::vector<std::vector<std::string>> work;
    for (int i = 0; i < tasks; ++i) work.push_back(PagesOf(data, base, Keyword(i)));
    std::vector<std::atomic<size_t>> next(static_cast<size_t>(tasks));
    std::atomic<long> fetched{0};
    std::vector<std::thread> workers;
    const auto start = Clock::now();
    for (int t = 0; t < tasks; ++t)
        for (int w = 0; w < connections; ++w)
            workers.emplace_back([&, t] {
                CURL* curl = curl_easy_init();
                curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Discard);
                curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
                const auto& urls = work[static_cast<size_t>(t)];
                for (size_t i; (i = next[static_cast<size_t>(t)]++) < urls.size();) {
                    curl_easy_setopt(curl, CURLOPT_URL, urls[i].c_str());
                    if (curl_easy_perform(curl) == CURLE_OK) ++fetched;
                }
                curl_easy_cleanup(curl);
            });
    for (auto& w : workers) w.join();
    pages = fetched;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int Run(int argc, char** argv) {
    const int delay_ms = argc > 1 ? std::atoi(argv[1]) : 50;
    const int companies = argc > 2 ? std::atoi(argv[2]) : 200;
    const int tasks = argc > 3 ? std::atoi(argv[3]) : 10;
    std::vector<int> counts;
    for (int i = 4; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {1, 2, 4, 8};
    curl_global_init(CURL_GLOBAL_DEFAULT);
    // Every connection of the largest run holds a simulator thread, and a few spare.
    int most = 1;
    for (int n : counts) most = std::max(most, n);
    qv::bench::SiteProcess site(delay_ms, companies, tasks * most + 16);
    qv::SiteData data(1, companies, site.base_url());
    const auto dir = std::filesystem::temp_directory_path() / "quorvane-connections-bench";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);

    std::printf("%d tasks x %d companies, detail on, %d ms per request, simulator in its own process\n",
                tasks, companies, delay_ms);
    std::printf("%3s %12s %12s %8s %10s\n", "N", "crawl c/s", "bound c/s", "of bound", "vs N=1");
    const long expected = static_cast<long>(tasks) * companies;
    double first_rate = 0;
    bool all_stored = true;
    for (int n : counts) {
        long stored = 0, pages = 0;
        const double crawl_s = RunCrawl(site.base_url(), tasks, n, dir.string(), stored);
        const double bound_s = RunBound(data, site.base_url(), tasks, n, pages);
        const double crawl_rate = stored / crawl_s, bound_rate = expected / bound_s;
        if (first_rate == 0) first_rate = crawl_rate;
        std::printf("%3d %12.1f %12.1f %7.0f%% %9.2fx   (crawl %.1f s, %ld stored; bound %.1f s, %ld pages)\n",
                    n, crawl_rate, bound_rate, 100 * crawl_rate / bound_rate, crawl_rate / first_rate,
                    crawl_s, stored, bound_s, pages);
        std::fflush(stdout);
        all_stored = all_stored && stored == expected;
    }
    std::filesystem::remove_all(dir);
    return all_stored ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    // Unwinding stops the simulator's process.
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "connections_bench: %s\n", e.what());
        return 2;
    }
}
