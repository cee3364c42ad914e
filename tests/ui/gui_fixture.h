#pragma once
// What the GUI tests share: a throw-away program directory, a recorder in place of the
// message dialogs, the marketplace simulator, and helpers that drive modal dialogs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/data_files.h"
#include "sim/site_server.h"
#include "tests/support/temp_dir.h"
#include "widgets/dialog_ex.h"

namespace qv::ui {
class TMainFrm;
}

// Failure messages show texts, not UTF-16 units.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace qv::test {

// Records every message the program shows and answers in its place: from `answers`
// first, otherwise with the default button (OK, Yes for a question, the first choice).
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    std::vector<widgets::ShownMessage> shown;
    std::deque<int> answers;
    // Texts of everything shown, in order.
    std::vector<std::string> Texts() const;
    std::string Last() const;
    void Clear() { shown.clear(); }

private:
    widgets::MessageHandler previous_;
};

// Processes events until `done` holds; false after `timeout`.
bool RunUntil(const std::function<bool()>& done,
              std::chrono::milliseconds timeout = std::chrono::seconds(20));
void ProcessFor(std::chrono::milliseconds time);

// Runs `act` on the first modal dialog of type D that appears within ten seconds.
// Each poll hands a copy of itself to the next timer, so nothing outlives the last poll.
template <typename D>
void WhenShown(std::function<void(D*)> act) {
    struct Poll {
        std::function<void(D*)> act;
        std::chrono::steady_clock::time_point deadline;
        void operator()() const {
            if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) {
                act(d);
                return;
            }
            if (std::chrono::steady_clock::now() < deadline) QTimer::singleShot(5, *this);
        }
    };
    QTimer::singleShot(0, Poll{std::move(act), std::chrono::steady_clock::now() + std::chrono::seconds(10)});
}

// A new data file at `path` with `records` companies in one transaction; `fill` gives
// company i (from 1) its values.
void WriteDataFile(const std::string& path, int records,
                   const std::function<void(int, MemberValues&)>& fill);

// A program directory with the project database and an empty Data/, started up.
class ProgramFixture : public ::testing::Test {
protected:
    ProgramFixture();
    ~ProgramFixture() override;
    std::string DataFile(const std::string& task_name) const;
    // Inserts a task row directly and returns its ID.
    int InsertTask(const std::string& name, const std::string& url, const std::string& remark = "");

    TempDir dir;
    MessageRecorder messages;
};

// The real main window, shown, with a simulator as the marketplace.
class MainWindowFixture : public ProgramFixture {
protected:
    explicit MainWindowFixture(SiteOptions site_options = DefaultSite());
    ~MainWindowFixture() override;
    static SiteOptions DefaultSite();
    // A marketplace of `companies` per search that waits `delay_ms` before every answer.
    static SiteOptions SiteWith(int companies, int delay_ms);

    // Adds a task through both dialogs: keyword, then the proposed name unless `name`.
    void AddTaskThroughDialogs(const std::string& keyword, const std::string& name = "");
    // Makes the task list row of `name` current.
    void SelectTask(const std::string& name);
    // A task row and its empty data file, then the list read again as the window does.
    void AddTaskRow(const std::string& name, const std::string& url);
    void ReloadTaskList();
    // The task list's row of `name` (-1 when none) and its cell in `column`.
    int TaskListRow(const std::string& name) const;
    QString TaskListCell(const std::string& name, int column) const;
    void Trigger(const char* action);
    QString Caption(const char* action) const;
    bool Enabled(const char* action) const;
    QString StatusText() const;
    // Messages in the message grid of the run page of `name`.
    std::vector<std::string> PageMessages(const std::string& name) const;
    int PageRecords(const std::string& name) const;
    bool TaskEnded(const std::string& name) const;

    SiteServer site;
    std::unique_ptr<ui::TMainFrm> window;
};

}  // namespace qv::test
