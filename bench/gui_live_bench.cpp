// Live crawls shown in the program's window: several tasks started from the task list
// against the in-process simulator, while a 10 ms timer watches how long the event loop
// goes without running it. Prints rows shown per second and the event-loop stalls.
//
// Usage: QT_QPA_PLATFORM=offscreen build/bench/gui_live_bench [tasks=10] [companies=400]
//        [connections=1]
// The request interval is 0. One task of 5,000 companies over 4 connections
// (`gui_live_bench 1 5000 4`) is the case where a grid grows fastest.
#include <sys/resource.h>
#include <time.h>

#include <QApplication>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "bench/gui_bench_common.h"
#include "core/app_info.h"
#include "core/data_module.h"
#include "core/ini_file.h"
#include "core/text.h"
#include "sim/site_server.h"
#include "widgets/member_grid.h"
#include "tasks/task_commands.h"
#include "tasks/task_pages.h"
#include "ui/application.h"
#include "widgets/dialog_ex.h"
#include "ui/main_window.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTickMs = 10;
constexpr int kStallMs = 100;
constexpr int kTimeLimitS = 300;

double MsBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

long RowsShown(qv::ui::TMainFrm& window) {
    long rows = 0;
    for (int i = 1; i < window.pages().PageCount(); ++i)
        if (qv::tasks::TaskDataPage* page = window.pages().PageAt(i))
            rows += page->record().MemberGrid->memberModel()->RecordCount();
    return rows;
}

}  // namespace

int main(int argc, char** argv) {
    int tasks = argc > 1 ? std::atoi(argv[1]) : 10;
    int companies = argc > 2 ? std::atoi(argv[2]) : 400;
    int connections = argc > 3 ? std::atoi(argv[3]) : 1;

    qv::SiteOptions options;
    options.companies = companies;
    qv::SiteServer server(options);
    qv::bench::ProgramDir dir;
    qv::TSysInitialization::StartUp(dir.str());
    qv::WriteSetting(qv::AppInfo->SettingsFile, qv::settings::kSearchHost, server.BaseUrl());
    qv::WriteSetting(qv::AppInfo->SettingsFile, qv::settings::kRequestInterval, 0);
    qv::WriteSetting(qv::AppInfo->SettingsFile, qv::settings::kConnectionsPerTask, connections);
    for (int i = 1; i <= tasks; ++i) {
        std::string url = server.SearchUrl("关键词" + std::to_string(i));
        // The simulator builds a search's companies on first use; do it before timing.
        server.CompaniesFor("关键词" + std::to_string(i));
        qv::MiddleObj->ExecuteSQL("INSERT INTO Tasks(TaskName,searchURL,Remark) VALUES(" +
                                  qv::QuotedStr("任务" + std::to_string(i)) + "," +
                                  qv::QuotedStr(url) + ",'')");
    }

    int result = 0;
    {
        qv::ui::TApplication app(argc, argv);
        // Nothing may wait for a user: questions are answered yes, every message is printed.
        qv::widgets::SetMessageHandler([](const qv::widgets::ShownMessage& m) {
            std::printf("message: [%s] %s %s\n", m.caption.toUtf8().constData(),
                        m.message.toUtf8().constData(), m.detail.toUtf8().constData());
            if (m.box == qv::widgets::ShownMessage::Box::SystemQuestion) return int(qv::widgets::mrOk);
            return (m.buttons & qv::widgets::mbYes) ? int(qv::widgets::mrYes) : int(qv::widgets::mrOk);
        });
        qv::ui::TMainFrm window;
        window.show();
        QApplication::processEvents();

        auto start = Clock::now();
        int next_row = 0;
        double max_gap = 0, max_gap_at = 0;
        int max_gap_started = 0;
        int stalls = 0;
        auto last_tick = Clock::now();
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(kTickMs);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            auto now = Clock::now();
            double gap = MsBetween(last_tick, now);
            last_tick = now;
            if (gap > max_gap) {
                max_gap = gap;
                max_gap_at = MsBetween(start, now) / 1000.0;
                max_gap_started = next_row;
            }
            if (gap - kTickMs > kStallMs) {
                ++stalls;
                std::printf("  stall of %.0f ms ending %.2f s after the first start (%d started)\n",
                            gap - kTickMs, MsBetween(start, now) / 1000.0, next_row);
            }
        });

        bool started_all = false;
        // Wall time against the GUI thread's own CPU time tells waiting for a core apart
        // from work done.
        double start_total_ms = 0, start_max_ms = 0, start_cpu_ms = 0;
        long start_preempted = 0;
        // One start per event, as a user clicks them: each start's own cost shows as a gap.
        std::function<void()> start_next = [&] {
            if (next_row >= tasks) {
                started_all = true;
                return;
            }
            window.commands().taskList()->setCurrentCell(next_row, 1);
            auto t0 = Clock::now();
            rusage u0{}, u1{};
            getrusage(RUSAGE_THREAD, &u0);
            timespec c0{}, c1{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c0);
            window.commands().doStartTask();
            double ms = MsBetween(t0, Clock::now());
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c1);
            getrusage(RUSAGE_THREAD, &u1);
            start_cpu_ms += (c1.tv_sec - c0.tv_sec) * 1e3 + (c1.tv_nsec - c0.tv_nsec) / 1e6;
            start_preempted += u1.ru_nivcsw - u0.ru_nivcsw;
            start_total_ms += ms;
            start_max_ms = std::max(start_max_ms, ms);
            ++next_row;
            QTimer::singleShot(0, start_next);
        };
        QTimer watcher;
        watcher.setInterval(50);
        Clock::time_point end;
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            bool timed_out = Clock::now() - start > std::chrono::seconds(kTimeLimitS);
            if ((started_all && window.commands().scheduler().CountRunningThreads() == 0) ||
                timed_out) {
                if (timed_out) std::printf("time limit of %d s reached\n", kTimeLimitS);
                end = Clock::now();
                watcher.stop();
                ticker.stop();
                // Rows still queued reach the grids on the next flush tick.
                QTimer::singleShot(200, &app, &QApplication::quit);
            }
        });
        start = last_tick = Clock::now();
        ticker.start();
        watcher.start();
        QTimer::singleShot(0, start_next);
        app.exec();

        double elapsed = MsBetween(start, end) / 1000.0;
        long rows = RowsShown(window);
        long expected = static_cast<long>(tasks) * companies;
        double max_stall = std::max(0.0, max_gap - kTickMs);
        std::printf("tasks:               %d x %d companies, %d connections each\n", tasks, companies,
                    connections);
        std::printf("rows shown:          %ld of %ld\n", rows, expected);
        std::printf("elapsed:             %.2f s\n", elapsed);
        std::printf("rows/s:              %.0f\n", rows / elapsed);
        std::printf("max stall:           %.0f ms (tick gap %.0f ms, ending %.2f s in, %d started)\n",
                    max_stall, max_gap, max_gap_at, max_gap_started);
        int starts = std::max(1, next_row);
        std::printf("start command:       %.0f ms longest, %.0f ms mean wall, %.1f ms mean CPU, "
                    "%ld preemptions\n",
                    start_max_ms, start_total_ms / starts, start_cpu_ms / starts, start_preempted);
        std::printf("stalls > %d ms:      %d\n", kStallMs, stalls);
        std::printf("peak RSS (VmHWM):    %.1f MB\n", qv::bench::PeakRssMiB());
        std::printf("goal no stall > %d ms: %s\n", kStallMs, stalls == 0 ? "met" : "MISSED");
        if (rows != expected) result = 1;
    }
    qv::TSysInitialization::ShutDown();
    return result;
}
