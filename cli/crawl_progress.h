#pragma once
// The crawl's progress on stderr, one line per running task: stored/total, companies a
// minute and the time left. On a terminal the lines are redrawn in place below the task
// messages; elsewhere (a log, a timer's journal) a line per task is written every period.
#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "engine/task_progress.h"

namespace qv::cli {

class CrawlProgress {
public:
    using Clock = ProgressMeter::Clock;
    enum class Mode { Off, Live, Periodic };

    // `columns`: the terminal's width in Live mode; lines are cut to fit it.
    CrawlProgress(std::ostream& err, Mode mode, std::chrono::seconds period = std::chrono::seconds(30),
                  int columns = 80);

    void Add(const std::string& name, std::shared_ptr<TaskProgress> progress, Clock::time_point now);
    // The task's run is over: its line goes.
    void Remove(const std::string& name);
    // Redraws the live lines, or writes the periodic lines when they are due.
    void Tick(Clock::time_point now);
    // Something else is about to be written to the terminal: the live lines make way and
    // come back at the next Tick.
    void MakeWay();

    // One task's line, as both modes write it.
    static std::string Line(const std::string& name, const TaskProgress& progress,
                            const ProgressMeter& meter);

private:
    struct Task {
        std::string name;
        std::shared_ptr<TaskProgress> progress;
        ProgressMeter meter;
    };
    void Sample(Clock::time_point now);

    std::ostream& err_;
    Mode mode_;
    std::chrono::seconds period_;
    int columns_;
    std::vector<Task> tasks_;
    int drawn_ = 0;  // live lines on the screen now
    Clock::time_point next_periodic_{};
};

// The mode for a crawl writing to `err`: Live when it is the process's stderr and that is
// a terminal, Off when quiet, otherwise Periodic. `columns` receives the terminal's width.
CrawlProgress::Mode ProgressModeFor(const std::ostream& err, bool quiet, int& columns);

}  // namespace qv::cli
