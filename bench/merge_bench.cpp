// The merge of many tasks and the search across them on a user's worth of data: 100 task
// files of 10,000 records each, a third of the records companies that another task also
// holds (with some fields missing, so the fullest one must be chosen). Times the merge to
// .csv and .xlsx with its peak memory, and searches that find nothing in 电话 (three
// enciphered columns) and 公司名称; each run several times, the median printed.
//
// Usage: build/bench/merge_bench [runs=3] [tasks=100] [records=10000] [steps=csv,xlsx,find]
// The files are made once under /tmp/quorvane-merge-bench-T-R/ (about 20 MB a thousand
// records) and reused; remove the folder to make them again.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_records.h"
#include "bench/gui_bench_common.h"
#include "core/database.h"
#include "core/find_in_tasks.h"
#include "export/merge.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Resets VmHWM to the current RSS, so the next peak is this step's own.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

double LoadAverage() {
    double load = 0;
    std::ifstream("/proc/loadavg") >> load;
    return load;
}

// The company of number k, the same wherever it appears; one appearance leaves out up to
// three of its details, as a search page sometimes does.
qv::MemberValues Appearance(int company, qv::bench::Lcg& variation) {
    qv::bench::Lcg rng(static_cast<uint64_t>(company) * 2654435761u + 17);
    qv::MemberValues v = qv::bench::MakeRecord(rng, company);
    const int omitted[] = {qv::mfFax, qv::mfPhone, qv::mfCompanyContext, qv::mfAddress,
                           qv::mfBrand, qv::mfDuty};
    for (int i = variation.Below(4); i > 0; --i) v[static_cast<size_t>(omitted[variation.Below(6)])].clear();
    return v;
}

// Task t holds its own companies and, for every two of them, one of another task's.
std::vector<qv::TaskFile> MakeTasks(int tasks, int records) {
    const fs::path folder = "/tmp/quorvane-merge-bench-" + std::to_string(tasks) + "-" + std::to_string(records);
    std::vector<qv::TaskFile> files;
    for (int t = 0; t < tasks; ++t) {
        char name[32];
        std::snprintf(name, sizeof name, "任务%03d", t);
        files.push_back({name, (folder / (std::string(name) + ".db")).string()});
    }
    if (fs::exists(folder / ".complete")) return files;
    fs::remove_all(folder);
    fs::create_directories(folder);
    const int own = records - records / 3;
    auto start = Clock::now();
    for (int t = 0; t < tasks; ++t) {
        qv::bench::Lcg pick(static_cast<uint64_t>(t) + 1000);
        std::vector<int> companies;
        for (int i = 0; i < own; ++i) companies.push_back(t * own + i);
        while (static_cast<int>(companies.size()) < records) {
            int other = pick.Below(tasks - 1);
            if (other >= t) ++other;
            companies.push_back(other * own + pick.Below(own));
        }
        for (size_t i = companies.size() - 1; i > 0; --i)
            std::swap(companies[i], companies[static_cast<size_t>(pick.Below(static_cast<int>(i) + 1))]);
        qv::CreateDatabaseFile(files[static_cast<size_t>(t)].path, true);
        qv::ExecuteOnDatabaseFile(files[static_cast<size_t>(t)].path, qv::kCreateDataListSql);
        qv::Connection db(files[static_cast<size_t>(t)].path, qv::DatabaseKind::DataFile);
        db.Execute("BEGIN");
        for (int company : companies) db.Execute(qv::BuildInsertStatement(Appearance(company, pick)));
        db.Execute("COMMIT");
        if (t % 10 == 9) std::printf("made %d of %d task files (%.0f s)\n", t + 1, tasks, MsSince(start) / 1000);
        std::fflush(stdout);
    }
    std::ofstream(folder / ".complete") << "made\n";
    return files;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// CPU time of the process (all its threads), in ms: on a shared machine it moves less
// with the other work than the wall time does.
double CpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Runs `step` `runs` times; prints each wall and CPU time and their medians.
double Measure(const std::string& what, int runs, const std::function<void()>& step) {
    std::vector<double> times, cpu;
    for (int r = 0; r < runs; ++r) {
        auto start = Clock::now();
        double cpu_start = CpuMs();
        step();
        times.push_back(MsSince(start));
        cpu.push_back(CpuMs() - cpu_start);
        std::printf("  %-34s run %d: %8.0f ms wall, %8.0f ms CPU, load average %.1f\n", what.c_str(), r + 1,
                    times.back(), cpu.back(), LoadAverage());
        std::fflush(stdout);
    }
    double median = Median(times);
    std::printf("%-36s median %8.0f ms wall, %8.0f ms CPU\n", what.c_str(), median, Median(cpu));
    return median;
}

}  // namespace

int main(int argc, char** argv) {
    qv::PrepareSqliteForThisProcess();  // as the programs do
    const int runs = argc > 1 ? std::atoi(argv[1]) : 3;
    const int tasks = argc > 2 ? std::atoi(argv[2]) : 100;
    const int records = argc > 3 ? std::atoi(argv[3]) : 10000;
    const std::string steps = argc > 4 ? argv[4] : "csv,xlsx,find";
    const std::vector<qv::TaskFile> files = MakeTasks(tasks, records);
    std::printf("%d task files of %d records, load average %.1f\n", tasks, records, LoadAverage());

    // Read every file once, so each step finds them in the page cache alike.
    qv::FindInTasks(files, {"读入缓存", {0}}, {});
    const std::string out_dir = fs::temp_directory_path() / "quorvane-merge-bench-out";
    fs::create_directories(out_dir);

    for (const char* format : {"csv", "xlsx"}) {
        if (steps.find(format) == std::string::npos) continue;
        const std::string out = out_dir + "/merged." + format;
        qv::exporting::MergeSummary summary;
        double peak = 0;
        Measure(std::string("merge to .") + format, runs, [&] {
            ResetPeak();
            summary = qv::exporting::MergeTasks(files, out, *qv::exporting::ExportFormatOf(out), {});
            peak = std::max(peak, qv::bench::PeakRssMiB());
        });
        std::printf("  %s; peak memory %.0f MB; file %.0f MB\n", qv::exporting::MergeSummaryText(summary).c_str(),
                    peak, static_cast<double>(fs::file_size(out)) / (1024.0 * 1024.0));
        fs::remove(out);
    }
    if (steps.find("find") != std::string::npos) {
        for (const auto& [field, text] : {std::pair{"电话", "9876543210"}, std::pair{"公司名称", "没有这家公司"}}) {
            qv::FindQuery query{text, {*qv::FindFieldIndex(field)}};
            long hits = 0;
            qv::FindReport report;
            report.hit = [&](size_t, qv::FindHit&&) { ++hits; };
            Measure(std::string("find without a hit in ") + field, runs,
                    [&] { qv::FindInTasks(files, query, report); });
            if (hits != 0) std::printf("  unexpected: %ld hits\n", hits);
        }
    }
    fs::remove_all(out_dir);
    return 0;
}
