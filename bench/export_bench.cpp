// Exporting 100,000 records to each spreadsheet format (.xls: the 65,535 it holds) and to
// contact cards: the time and the memory each writer takes beyond the grid it reads. The
// cards, which read every phone number with libphonenumber, take at most 1.5 times as long
// as the .csv of the same grid.
//
// Usage: build/bench/export_bench [records=100000] [formats=xls,xlsx,csv,vcf]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/gui_bench_common.h"
#include "bench/bench_records.h"
#include "export/export_file.h"
#include "export/location_names.h"
#include "export/member_file_grid.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The first rows of a grid: .xls holds at most 65,536 rows, header included.
class FirstRows : public qv::exporting::StringGrid {
public:
    FirstRows(const qv::exporting::StringGrid& grid, int rows) : grid_(grid), rows_(rows) {}
    int RowCount() const override { return std::min(rows_, grid_.RowCount()); }
    int ColumnCount() const override { return grid_.ColumnCount(); }
    std::string_view CellText(int row, int column) const override {
        return grid_.CellText(row, column);
    }
    int ColumnWidth(int column) const override { return grid_.ColumnWidth(column); }

private:
    const qv::exporting::StringGrid& grid_;
    int rows_;
};

// Resets VmHWM to the current RSS, so the next peak is this step's own.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

}  // namespace

int main(int argc, char** argv) {
    const int records = argc > 1 ? std::atoi(argv[1]) : 100000;
    const std::string wanted = argc > 2 ? argv[2] : "xls,xlsx,csv,vcf";
    qv::bench::ProgramDir dir;
    const std::string db = dir.str() + "Data/大表.db";
    auto start = Clock::now();
    qv::bench::FillDataFile(db, records);
    std::printf("filled %d records in %.0f ms (%.1f MB file)\n", records, MsSince(start),
                static_cast<double>(std::filesystem::file_size(db)) / (1024.0 * 1024.0));

    double before_load = qv::bench::RssMiB();
    start = Clock::now();
    qv::exporting::MemberFileGrid grid(db);
    std::printf("grid read in %.0f ms: %d rows, %.1f MB\n", MsSince(start), grid.RowCount(),
                qv::bench::RssMiB() - before_load);

    bool met = true;
    // The cards read province and city from the address, as the program's export does.
    qv::exporting::ExportOptions cards;
    cards.task_name = "大表";
    cards.locations = qv::exporting::LocationNames::FromFirstOf({dir.str() + "database/DefaultProject.db"});
    const struct {
        const char* name;
        qv::exporting::ExportFormat format;
    } formats[] = {{"xls", qv::exporting::ExportFormat::Xls},
                   {"xlsx", qv::exporting::ExportFormat::Xlsx},
                   {"csv", qv::exporting::ExportFormat::Csv},
                   {"vcf", qv::exporting::ExportFormat::Vcf}};
    double csv_ms = 0, vcf_ms = 0, csv_cpu = 0, vcf_cpu = 0;
    for (const auto& f : formats) {
        if (("," + wanted + ",").find("," + std::string(f.name) + ",") == std::string::npos)
            continue;
        const std::string out = dir.str() + "Data/out." + f.name;
        ResetPeak();
        double rss = qv::bench::RssMiB();
        const std::clock_t cpu_start = std::clock();
        start = Clock::now();
        try {
            if (f.format == qv::exporting::ExportFormat::Xls)
                qv::exporting::ExportGrid(FirstRows(grid, 65536), out, f.format);
            else
                qv::exporting::ExportGrid(grid, out, f.format, cards);
        } catch (const std::exception& e) {
            std::printf("%-5s failed: %s\n", f.name, e.what());
            met = false;
            continue;
        }
        double ms = MsSince(start);
        // The processor time too: on a machine shared with others the clock time says
        // more about them than about the writer.
        const double cpu_ms = 1000.0 * static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
        double beyond = qv::bench::PeakRssMiB() - rss;
        if (f.format == qv::exporting::ExportFormat::Xls && grid.RowCount() > 65536)
            std::printf("(xls: the first 65,535 records, all the format holds)\n");
        std::printf("%-5s %6.0f ms (processor %6.0f ms)  peak beyond the grid %6.1f MB  file %6.1f MB\n",
                    f.name, ms, cpu_ms, beyond,
                    static_cast<double>(std::filesystem::file_size(out)) / (1024.0 * 1024.0));
        met = met && ms < 3000 && beyond < 200;
        if (f.format == qv::exporting::ExportFormat::Csv) csv_ms = ms, csv_cpu = cpu_ms;
        if (f.format == qv::exporting::ExportFormat::Vcf) vcf_ms = ms, vcf_cpu = cpu_ms;
    }
    std::printf("goal < 3000 ms and < 200 MB each: %s\n", met ? "met" : "MISSED");
    if (csv_ms > 0 && vcf_ms > 0) {
        const bool close = vcf_ms <= 1.5 * csv_ms;
        std::printf("vcf / csv: %.2f, processor time %.2f (goal <= 1.5): %s\n", vcf_ms / csv_ms,
                    csv_cpu > 0 ? vcf_cpu / csv_cpu : 0.0, close ? "met" : "MISSED");
        met = met && close;
    }
    return met ? 0 : 1;
}
