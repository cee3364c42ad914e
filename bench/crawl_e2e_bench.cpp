// End to end on loopback: ten collection tasks with the detail option on against the
// simulator, beside the raw fetch bound of the same pages fetched by ten plain libcurl
// workers. Prints companies per second for both, their ratio, and the memory of the run.
//
// Usage: build/bench/crawl_e2e_bench [tasks=10] [companies=600]
#include <curl/curl.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/data_files.h"
#include "engine/scheduler.h"
#include "sim/site_server.h"

namespace {

using Clock = std::chrono::steady_clock;

class CountingSink : public qv::TaskSink {
public:
    void AppendMessage(const std::string&) override {}
    void AppendMemberRow(const qv::MemberValues&) override { ++rows; }
    void RepaintMembers() override {}
    long rows = 0;
};

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages_total = 0, pages_resident = 0;
    statm >> pages_total >> pages_resident;
    return pages_resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::string Keyword(int i) { return "基准" + std::to_string(i); }

double RunCrawl(qv::SiteServer& site, int tasks, const std::string& dir, long& stored) {
    qv::EventQueue ui;
    qv::TaskScheduler scheduler(ui);
    scheduler.SetCollectDetail([] { return true; });
    std::vector<std::shared_ptr<CountingSink>> sinks;
    int ended = 0;
    scheduler.SetEndObserver([&](const qv::TThreadTask&, int) { ++ended; });
    for (int i = 0; i < tasks; ++i) {
        auto e = std::make_unique<qv::TThreadTask>();
        e->TaskID = i + 1;
        e->TaskName = "t" + std::to_string(i);
        e->Url = site.SearchUrl(Keyword(i));
        e->DataFile = dir + "/" + e->TaskName + ".db";
        qv::CreateDatabaseFile(e->DataFile, true);
        qv::ExecuteOnDatabaseFile(e->DataFile, qv::kCreateDataListSql);
        sinks.push_back(std::make_shared<CountingSink>());
        e->Sink = sinks.back();
        scheduler.EnqueueTask(std::move(e));
    }
    auto start = Clock::now();
    scheduler.DispatchTasks();
    auto next_sample = start;
    while (ended < tasks) {
        ui.WaitAndProcess(std::chrono::milliseconds(20));
        if (Clock::now() >= next_sample) {
            long rows = 0;
            for (auto& s : sinks) rows += s->rows;
            std::printf("  %6.1fs  rows %6ld  rss %6ld KiB\n",
                        std::chrono::duration<double>(Clock::now() - start).count(), rows,
                        ResidentKiB());
            next_sample += std::chrono::seconds(2);
        }
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    stored = 0;
    for (auto& s : sinks) stored += s->rows;
    return seconds;
}

size_t Discard(char*, size_t size, size_t n, void*) { return size * n; }

// The pages one task reads: its result pages, then each company's contact and profile.
std::vector<std::string> PagesOf(qv::SiteServer& site, const std::string& keyword) {
    const auto& companies = site.CompaniesFor(keyword);
    std::vector<std::string> urls{site.SearchUrl(keyword)};
    for (size_t page = 2; (page - 1) * 40 < companies.size(); ++page)
        urls.push_back(site.SearchUrl(keyword) + "&beginPage=" + std::to_string(page));
    for (const auto& c : companies) {
        urls.push_back(site.BaseUrl() + c.contact_path);
        urls.push_back(site.BaseUrl() + c.profile_path);
    }
    return urls;
}

double RunRawBound(qv::SiteServer& site, int tasks, long& pages) {
    std::vector<std::vector<std::string>> work;
    for (int i = 0; i < tasks; ++i) work.push_back(PagesOf(site, Keyword(i)));
    std::vector<std::thread> workers;
    std::atomic<long> fetched{0};
    auto start = Clock::now();
    for (auto& urls : work)
        workers.emplace_back([&urls, &fetched] {
            CURL* curl = curl_easy_init();
            curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Discard);
            curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
            for (const auto& url : urls) {
                curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
                if (curl_easy_perform(curl) == CURLE_OK) ++fetched;
            }
            curl_easy_cleanup(curl);
        });
    for (auto& w : workers) w.join();
    pages = fetched;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    int tasks = argc > 1 ? std::atoi(argv[1]) : 10;
    int companies = argc > 2 ? std::atoi(argv[2]) : 600;
    curl_global_init(CURL_GLOBAL_DEFAULT);
    qv::SiteOptions options;
    options.companies = companies;
    qv::SiteServer site(options);
    auto dir = std::filesystem::temp_directory_path() / "quorvane-e2e-bench";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);

    // A first pass makes the simulator build its data and pages, so neither measured
    // run pays for that.
    long raw_pages = 0;
    RunRawBound(site, tasks, raw_pages);
    std::printf("crawl: %d tasks x %d companies, detail on\n", tasks, companies);
    long stored = 0;
    double crawl_s = RunCrawl(site, tasks, dir.string(), stored);
    double raw_s = RunRawBound(site, tasks, raw_pages);
    long expected = static_cast<long>(tasks) * companies;
    double crawl_rate = stored / crawl_s;
    double raw_rate = expected / raw_s;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("crawl:     %ld companies stored in %.2f s = %.0f companies/s\n", stored, crawl_s,
                crawl_rate);
    std::printf("raw bound: %ld pages fetched in %.2f s = %.0f companies/s\n", raw_pages, raw_s,
                raw_rate);
    std::printf("crawl reaches %.0f%% of the raw bound; peak RSS %ld KiB\n",
                100.0 * crawl_rate / raw_rate, usage.ru_maxrss);
    std::filesystem::remove_all(dir);
    return stored == expected ? 0 : 1;
}
