// A refresh in the window: the start question's 更新已有公司, the task list's 上次变化, the
// status bar after runs the window did not start, the 变化 page it opens, and the marks on
// the task's records.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTabWidget>
#include <QTableWidget>

#include "core/change_log.h"
#include "core/database.h"
#include "core/run_journal.h"
#include "tasks/changes_page.h"
#include "tasks/task_commands.h"
#include "tasks/task_list_view.h"
#include "tasks/task_pages.h"
#include "tests/ui/gui_fixture.h"
#include "ui/main_window.h"
#include "widgets/grids.h"
#include "widgets/member_grid.h"

namespace qv::test {
namespace {

class RefreshWindowTest : public MainWindowFixture {
protected:
    RefreshWindowTest() : MainWindowFixture(SiteWith(40, 0)) {}

    void CrawlThenRefresh() {
        AddTaskRow("灯具", site.SearchUrl("灯具"));
        SelectTask("灯具");
        Trigger("actStart");
        ASSERT_TRUE(RunUntil([&] { return TaskEnded("灯具"); }));
        window->pages().CloseTaskPage(window->pages().FindTaskPage(QStringLiteral("灯具")));
        site.SetWeek(1);
        messages.answers = {2};  // 只采集新公司, 重新开始, 更新已有公司, 取消
        SelectTask("灯具");
        Trigger("actStart");
        ASSERT_EQ(messages.shown.back().choices.at(2), QStringLiteral("更新已有公司"));
        ASSERT_TRUE(RunUntil([&] { return TaskEnded("灯具"); }));
        window->pages().CloseTaskPage(window->pages().FindTaskPage(QStringLiteral("灯具")));
    }

    RunRecord Last() {
        Connection db(DataFile("灯具"), DatabaseKind::ReadOnly);
        return *LastRun(db);
    }
    QTableWidgetItem* ChangesCell() {
        return window->commands().taskList()->item(TaskListRow("灯具"), tasks::kChangesColumn);
    }
    tasks::ChangesPage* ShownChangesPage() {
        return qobject_cast<tasks::ChangesPage*>(window->pages().pageControl()->currentWidget());
    }
};

TEST_F(RefreshWindowTest, ARefreshFromTheStartQuestionShowsItsCountsInTheTaskList) {
    CrawlThenRefresh();
    const RunRecord run = Last();
    EXPECT_EQ(run.kind, kRunRefresh);
    EXPECT_GT(run.changed + run.added + run.gone, 0);
    ASSERT_NE(ChangesCell(), nullptr);
    EXPECT_EQ(ChangesCell()->text(), QString::fromStdString(RunCountsText(run)));
    EXPECT_EQ(window->commands().taskList()->horizontalHeaderItem(tasks::kChangesColumn)->text(),
              QStringLiteral("上次变化"));
    // The window ran it: nothing to tell on coming back.
    window->commands().ReloadTasksIfChanged();
    EXPECT_FALSE(StatusText().startsWith(QStringLiteral("定时更新")));
    EXPECT_FALSE(ChangesCell()->font().bold());

    // A double-click on 上次变化 opens the 变化 page of the last run.
    emit window->commands().taskList()->cellDoubleClicked(TaskListRow("灯具"), tasks::kChangesColumn);
    tasks::ChangesPage* page = ShownChangesPage();
    ASSERT_NE(page, nullptr);
    {
        Connection db(DataFile("灯具"), DatabaseKind::ReadOnly);
        EXPECT_EQ(page->grid()->rowCount(), static_cast<int>(ReadChanges(db, run.id).size()));
    }
    // A double-click on a change opens the records with that one selected, marked.
    int changed_row = -1;
    for (int r = 0; r < page->grid()->rowCount(); ++r)
        if (page->grid()->item(r, 2)->text() == QStringLiteral("变更")) changed_row = r;
    ASSERT_GE(changed_row, 0);
    const QString company = page->grid()->item(changed_row, 1)->text();
    emit page->grid()->cellDoubleClicked(changed_row, 1);
    const int view = window->pages().FindTaskPage(QStringLiteral("灯具"));
    ASSERT_GE(view, 1);
    tasks::TTaskTab& tab = window->pages().PageAt(view)->record();
    const QModelIndex current = tab.MemberGrid->currentIndex();
    EXPECT_EQ(tab.MemberGrid->memberModel()->Cell(current.row(), 1), company);
    EXPECT_TRUE(tab.Page->findChild<QLabel*>(QStringLiteral("changeLegend")) != nullptr);
}

TEST_F(RefreshWindowTest, RunsTheWindowDidNotStartAreToldOnceAndBoldUntilOpened) {
    CrawlThenRefresh();
    // A refresh made by the timer: the same file, a run of its own that the window never saw.
    site.SetWeek(2);
    {
        Connection db(DataFile("灯具"), DatabaseKind::DataFile);
        BeginRun(db, site.SearchUrl("灯具"), RunMode::Refresh);
        RunStep step;
        step.row = site.CompaniesFor("灯具").back().ValuesWithoutDetail();
        step.row->at(mfCompanyName) += "新";
        step.row->at(mfMemberID) += "x";
        CommitRunStep(db, step);
    }
    RecordRunEnd(DataFile("灯具"), RunOutcome::Finished);
    window->commands().ReloadTasksIfChanged();
    EXPECT_EQ(StatusText(), QStringLiteral("定时更新：1 个任务，新增 1，变更 0，消失 0"));
    EXPECT_TRUE(ChangesCell()->font().bold());
    EXPECT_EQ(ChangesCell()->text(), QStringLiteral("新增 1 · 变更 0 · 消失 0"));

    // Told once; bold until the task's changes are opened.
    window->SetStatusText(QString());
    window->commands().ReloadTasksIfChanged();
    EXPECT_TRUE(StatusText().isEmpty());
    EXPECT_TRUE(ChangesCell()->font().bold());
    SelectTask("灯具");
    Trigger("actViewChanges");
    ASSERT_NE(ShownChangesPage(), nullptr);
    EXPECT_EQ(ShownChangesPage()->grid()->rowCount(), 1);
    EXPECT_FALSE(ChangesCell()->font().bold());
    Connection db(DataFile("灯具"), DatabaseKind::ReadOnly);
    EXPECT_TRUE(UnseenRuns(db).empty());
}

}  // namespace
}  // namespace qv::test
