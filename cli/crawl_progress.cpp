#include "cli/crawl_progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "core/text.h"
#include "engine/fetcher.h"

namespace qv::cli {
namespace {

std::string HoursMinutesSeconds(std::chrono::seconds left) {
    const long long s = left.count();
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

// Cuts UTF-8 text to `columns` terminal cells, counting a character outside ASCII as two
// (the Chinese a task name holds is wide); never inside a character.
std::string FitColumns(const std::string& text, int columns) {
    int used = 0;
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        const int width = lead < 0x80 ? 1 : 2;
        if (used + width > columns) break;
        used += width;
        i += length;
    }
    return text.substr(0, std::min(i, text.size()));
}

}  // namespace

CrawlProgress::CrawlProgress(std::ostream& err, Mode mode, std::chrono::seconds period, int columns)
    : err_(err), mode_(mode), period_(period), columns_(std::max(columns, 20)) {}

void CrawlProgress::Add(const std::string& name, std::shared_ptr<TaskProgress> progress,
                        Clock::time_point now) {
    if (mode_ == Mode::Off) return;
    if (tasks_.empty()) next_periodic_ = now + period_;
    tasks_.push_back(Task{name, std::move(progress), {}});
    tasks_.back().meter.Sample(now, tasks_.back().progress->handled);
}

void CrawlProgress::Remove(const std::string& name) {
    std::erase_if(tasks_, [&](const Task& t) { return t.name == name; });
}

std::string CrawlProgress::Line(const std::string& name, const TaskProgress& progress,
                                const ProgressMeter& meter) {
    const long long total = progress.total;
    std::string line = PrintableText(name) + ": " + std::to_string(progress.stored.load());
    if (total >= 0) line += "/" + std::to_string(total);
    line += " stored";
    if (auto speed = meter.PerMinute()) line += ", " + std::to_string(std::lround(*speed)) + " companies/min";
    if (auto left = meter.TimeLeft(total)) line += ", " + HoursMinutesSeconds(*left) + " left";
    if (const int waiting = progress.waiting_try; waiting > 0)
        line += ", waiting for an answer (try " + std::to_string(waiting) + " of " + std::to_string(kFetchTries) + ")";
    return line;
}

void CrawlProgress::Sample(Clock::time_point now) {
    for (Task& t : tasks_) t.meter.Sample(now, t.progress->handled);
}

void CrawlProgress::MakeWay() {
    if (mode_ != Mode::Live || drawn_ == 0) return;
    // To the start of the first drawn line, then clear to the end of the screen.
    err_ << "\x1b[" << drawn_ << "F\x1b[J" << std::flush;
    drawn_ = 0;
}

void CrawlProgress::Tick(Clock::time_point now) {
    if (mode_ == Mode::Off) return;
    Sample(now);
    if (mode_ == Mode::Live) {
        MakeWay();
        for (const Task& t : tasks_)
            err_ << FitColumns(Line(t.name, *t.progress, t.meter), columns_ - 1) << '\n';
        drawn_ = static_cast<int>(tasks_.size());
        err_ << std::flush;
        return;
    }
    if (tasks_.empty() || now < next_periodic_) return;
    for (const Task& t : tasks_) err_ << Line(t.name, *t.progress, t.meter) << '\n';
    err_ << std::flush;
    next_periodic_ = now + period_;
}

CrawlProgress::Mode ProgressModeFor(const std::ostream& err, bool quiet, int& columns) {
    columns = 80;
    if (quiet) return CrawlProgress::Mode::Off;
    if (&err != &std::cerr || !::isatty(STDERR_FILENO)) return CrawlProgress::Mode::Periodic;
    struct winsize size {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) columns = size.ws_col;
    return CrawlProgress::Mode::Live;
}

}  // namespace qv::cli
