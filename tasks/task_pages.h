#pragma once
// The task data pages of the lower page control: viewing pages that show a task's data
// file, and run pages whose grids a collection thread fills while it works.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTableWidget>
#include <QWidget>

#include <functional>
#include <memory>

#include "engine/spider_thread.h"
#include "tasks/data_grid_menu.h"
#include "widgets/member_grid.h"

class QAction;
class QSplitter;
class QTabWidget;

namespace qv {
class Connection;
}

namespace qv::tasks {

class ChangesPage;

// What a run page offers its task's collection thread. Everything arrives on the GUI
// thread; once the page is closed the calls find no grids and do nothing.
class RunPageSink : public TaskSink {
public:
    RunPageSink(widgets::MemberGridView* members, QTableWidget* log);
    void AppendMessage(const std::string& text) override;
    void AppendMemberRow(const MemberValues& values) override;
    void RepaintMembers() override;
    // The cause in the last message line (after its 连接失败) and as its tooltip.
    void ShowMessageCause(const std::string& cause, const std::string& proxy) override;
    QTableWidget* logGrid() const { return log_; }

private:
    QPointer<widgets::MemberGridView> members_;
    QPointer<QTableWidget> log_;
};

// The page record of a task data page. The page owns it with everything it names.
struct TTaskTab {
    QString PageKey;
    QWidget* Page = nullptr;
    widgets::MemberGridView* MemberGrid = nullptr;
    QTableWidget* LogGrid = nullptr;   // run pages only
    QSplitter* Splitter = nullptr;     // run pages only
    // The page's own connection to the data file; a viewing page reads through it once,
    // a run page keeps it for the detail download while its thread writes through its own.
    std::unique_ptr<Connection> DbConnection;
    std::shared_ptr<RunPageSink> Sink;  // run pages only
};

class TaskDataPage : public QWidget {
    Q_OBJECT
public:
    explicit TaskDataPage(QWidget* parent = nullptr);
    ~TaskDataPage() override;
    TTaskTab& record() { return record_; }

private:
    TTaskTab record_;
};

struct PageButtons {
    QAction* actPrev = nullptr;
    QAction* actNext = nullptr;
    QAction* actCloseTabsheet = nullptr;
};

class TaskPages : public QObject {
    Q_OBJECT
public:
    // `bottom` holds the start page at index 0.
    TaskPages(QTabWidget* bottom, PageButtons buttons, std::function<void(const QString&)> set_status);

    QTabWidget* pageControl() const { return bottom_; }
    // DataGridPM, the pop-up menu every member grid of these pages carries.
    DataGridMenu& gridMenu() const { return *grid_menu_; }
    // Index of the open page whose record carries `name` exactly, or -1.
    int FindTaskPage(const QString& name) const;
    TaskDataPage* PageAt(int index) const;
    TaskDataPage* ShownPage() const;
    int PageCount() const;
    void ShowPage(int index);

    // Opens a run page for `name` with its own connection to `data_file`: empty, or with
    // the records stored so far when the run adds to them.
    TTaskTab& OpenRunPage(const QString& name, const std::string& data_file,
                          bool show_stored = false);
    // Opens a viewing page that shows every record of `data_file`. Database errors are
    // raised before any page is added.
    TTaskTab& OpenViewPage(const QString& name, const std::string& data_file);
    // Opens (or shows again) the 变化 page of task `name`; database errors are raised
    // before any page is added.
    ChangesPage* OpenChangesPage(const QString& name, const std::string& data_file);
    void CloseTaskPage(int index);
    // Closes every task data page, from the last down.
    void CloseAllPages();

    // Asked before a page is closed; false keeps it. Set by the task commands, which know
    // whether the page's task still runs.
    void SetCloseGuard(std::function<bool(TTaskTab&)> guard) { close_guard_ = std::move(guard); }

    void doCloseTabsheet();
    void doPrev();
    void doNext();
    void UpdatePageButtons();
    void ShowRecordCounter(int row);
    // The counter of the shown page at its current row; empty on the start page.
    void ShowShownCounter();
    // While the record counter is what the status panel shows, keeps it up with the rows
    // that arrive on the shown page.
    void FollowRecordCounter();
    // Another text took the status panel.
    void RecordCounterReplaced() { counter_records_ = -1; }
    void ResizeShownLogGrid();

signals:
    // The user picked a task data page by its tab.
    void taskPageChosen(const QString& name);

private:
    void BottomPagePGChange();
    TaskDataPage* AddPage(const QString& name);

    QTabWidget* bottom_;
    DataGridMenu* grid_menu_;
    PageButtons buttons_;
    std::function<void(const QString&)> set_status_;
    std::function<bool(TTaskTab&)> close_guard_;
    bool changing_page_ = false;
    int counter_records_ = -1;  // the records the shown counter states, -1 when not shown
    int counter_shown_ = -1;    // and the rows it says are shown
};

}  // namespace qv::tasks
