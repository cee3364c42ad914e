// Opening a large task data file in the program's window: the time from the view-data
// command to a painted page, and the memory the page takes.
//
// Usage: QT_QPA_PLATFORM=offscreen build/bench/gui_view_bench [records=100000] [export]
// With "export", the shown grid is then written to .xlsx and .csv through the adapter the
// export command uses, with the time and the memory beyond the grid of each.
#include <QApplication>
#include <QTableWidget>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/bench_records.h"
#include "bench/gui_bench_common.h"
#include "core/app_info.h"
#include "core/data_files.h"
#include "core/data_module.h"
#include "core/database.h"
#include "widgets/export_command.h"
#include "widgets/member_grid.h"
#include "tasks/task_commands.h"
#include "tasks/task_pages.h"
#include "ui/application.h"
#include "ui/main_window.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    int records = argc > 1 ? std::atoi(argv[1]) : 100000;
    qv::bench::ProgramDir dir;
    qv::TSysInitialization::StartUp(dir.str());
    qv::MiddleObj->ExecuteSQL(
        "INSERT INTO Tasks(TaskName,searchURL,Remark) VALUES('大表','http://127.0.0.1:1/x','')");
    std::string path = qv::TaskDataFilePath(qv::AppInfo->DataDir, "大表");
    auto fill_start = Clock::now();
    qv::bench::FillDataFile(path, records);
    std::printf("filled %d records in %.0f ms (%.1f MB file)\n", records, MsSince(fill_start),
                static_cast<double>(std::filesystem::file_size(path)) / (1024.0 * 1024.0));

    int result = 0;
    {
        qv::ui::TApplication app(argc, argv);
        qv::ui::TMainFrm window;
        window.show();
        QApplication::processEvents();
        QTableWidget* tasks = window.commands().taskList();
        if (tasks->currentRow() != 0) tasks->setCurrentCell(0, 1);
        QApplication::processEvents();
        double rss_before = qv::bench::RssMiB();

        auto start = Clock::now();
        window.commands().doViewData();
        double command_ms = MsSince(start);
        while (!window.pages().ShownPage()) QApplication::processEvents();
        window.repaint();
        QApplication::processEvents();
        double shown_ms = MsSince(start);

        qv::tasks::TaskDataPage* page = window.pages().ShownPage();
        // The page shows its first records at once and counts the rest while it is shown;
        // the count is checked once the walk is done.
        if (page) page->record().MemberGrid->memberModel()->EnsureAllRecords();
        int shown = page ? page->record().MemberGrid->memberModel()->RecordCount() : -1;
        double peak = qv::bench::PeakRssMiB();
        std::printf("records:             %d (shown %d)\n", records, shown);
        std::printf("time to shown page:  %.0f ms (command %.0f ms, events and paint %.0f ms)\n",
                    shown_ms, command_ms, shown_ms - command_ms);
        std::printf("RSS before:          %.1f MB\n", rss_before);
        std::printf("peak RSS (VmHWM):    %.1f MB\n", peak);
        std::printf("RSS after:           %.1f MB\n", qv::bench::RssMiB());
        std::printf("goal < 1500 ms, < 400 MB: %s\n",
                    shown_ms < 1500 && peak < 400 ? "met" : "MISSED");
        if (shown != records) result = 1;
        if (argc > 2 && std::string(argv[2]) == "export" && page) {
            qv::widgets::MemberGridSource source(*page->record().MemberGrid);
            for (const char* ext : {"xlsx", "csv"}) {
                std::ofstream("/proc/self/clear_refs") << "5";  // VmHWM from here
                double rss = qv::bench::RssMiB();
                auto export_start = Clock::now();
                std::string out = qv::AppInfo->DataDir + "out." + ext;
                qv::exporting::ExportGrid(source, out, *qv::exporting::ExportFormatOf(out));
                std::printf("export %-4s         %.0f ms, peak beyond the grid %.1f MB\n", ext,
                            MsSince(export_start), qv::bench::PeakRssMiB() - rss);
            }
        }
    }
    qv::TSysInitialization::ShutDown();
    return result;
}
