// The task list's state and progress columns, the pause buttons' captions, the record
// counter of a run page, the request interval option and the end-of-work notice.
#include <gtest/gtest.h>

#include <QAction>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>

#include "core/app_info.h"
#include "core/data_files.h"
#include "core/ini_file.h"
#include "engine/crawl.h"
#include "tasks/task_commands.h"
#include "tasks/task_pages.h"
#include "tests/ui/gui_fixture.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"
#include "widgets/grids.h"

namespace qv::test {
namespace {

using namespace std::chrono_literals;

enum Column { kState = 5, kStored, kTotal, kProgress, kSpeed, kLeft };

class ProgressColumnsTest : public MainWindowFixture {
protected:
    explicit ProgressColumnsTest(SiteOptions options = SiteWith(40, 15)) : MainWindowFixture(options) {}

    void AddTaskRow(const std::string& name, const std::string& keyword) {
        MainWindowFixture::AddTaskRow(name, site.SearchUrl(keyword));
    }
    void StartTask(const std::string& name) {
        SelectTask(name);
        Trigger("actStart");
    }
    int Row(const std::string& name) const { return TaskListRow(name); }
    QString Cell(const std::string& name, int column) const { return TaskListCell(name, column); }
    QVariant Percent(const std::string& name) const {
        QTableWidgetItem* item = window->commands().taskList()->item(Row(name), kProgress);
        return item ? item->data(Qt::UserRole) : QVariant();
    }
};

TEST_F(ProgressColumnsTest, FiguresFollowTheRunAndStayWhenItEnds) {
    QTableWidget* list = window->commands().taskList();
    EXPECT_EQ(list->horizontalHeaderItem(kStored)->text(), QStringLiteral("已采集"));
    EXPECT_EQ(list->horizontalHeaderItem(kLeft)->text(), QStringLiteral("剩余时间"));
    AddTaskRow("甲", "甲");
    StartTask("甲");
    // While it runs: the total from page one, a share of it, never over a hundred.
    ASSERT_TRUE(RunUntil([&] { return Cell("甲", kStored).toInt() >= 5; }));
    EXPECT_EQ(Cell("甲", kState), QStringLiteral("运行"));
    EXPECT_EQ(Cell("甲", kTotal), QStringLiteral("40"));
    ASSERT_TRUE(Percent("甲").isValid());
    EXPECT_GT(Percent("甲").toInt(), 0);
    EXPECT_LT(Percent("甲").toInt(), 100);
    Trigger("actPause");
    ASSERT_TRUE(RunUntil([&] { return Cell("甲", kState) == QStringLiteral("暂停"); }));
    Trigger("actPause");
    ASSERT_TRUE(RunUntil([&] { return TaskEnded("甲"); }));
    EXPECT_EQ(Cell("甲", kState), QStringLiteral("完成"));
    EXPECT_EQ(Cell("甲", kStored), QStringLiteral("40"));
    EXPECT_EQ(Percent("甲").toInt(), 100);
    EXPECT_EQ(Cell("甲", kSpeed), QString());  // only while it runs
    EXPECT_EQ(Cell("甲", kLeft), QString());
}

TEST_F(ProgressColumnsTest, PauseAllSaysWhatAClickDoesWhateverTaskIsSelected) {
    AddTaskRow("甲", "甲");
    AddTaskRow("乙", "乙");
    StartTask("甲");
    StartTask("乙");
    ASSERT_TRUE(RunUntil([&] { return PageRecords("甲") > 0 && PageRecords("乙") > 0; }));
    Trigger("actPauseAll");
    EXPECT_EQ(Caption("actPauseAll"), QStringLiteral("继续所有任务"));
    // Resuming one task leaves one running: a click on pause-all now pauses it.
    SelectTask("乙");
    EXPECT_EQ(Caption("actPause"), QStringLiteral("继续当前任务"));
    Trigger("actPause");
    EXPECT_EQ(Caption("actPauseAll"), QStringLiteral("暂停所有任务"));
    SelectTask("甲");
    EXPECT_EQ(Caption("actPauseAll"), QStringLiteral("暂停所有任务"));
    Trigger("actPauseAll");
    EXPECT_EQ(window->commands().scheduler().CountTasksInState(tsPaused), 2);
    EXPECT_EQ(Caption("actPauseAll"), QStringLiteral("继续所有任务"));
    Trigger("actPauseAll");
    ASSERT_TRUE(RunUntil([&] { return TaskEnded("甲") && TaskEnded("乙"); }));
    EXPECT_EQ(Caption("actPauseAll"), QStringLiteral("暂停所有任务"));
}

class SlowSiteTest : public ProgressColumnsTest {
protected:
    SlowSiteTest() : ProgressColumnsTest(SiteWith(40, 50)) {}
};

TEST_F(SlowSiteTest, RecordCounterFollowsTheRowsOfTheShownPage) {
    AddTaskRow("甲", "甲");
    StartTask("甲");
    ASSERT_TRUE(RunUntil([&] { return PageRecords("甲") > 0; }));
    window->pages().ShowRecordCounter(0);  // as selecting the task does
    const QString first = StatusText();
    ASSERT_TRUE(first.startsWith(QStringLiteral("合计：")));
    ASSERT_TRUE(RunUntil([&] { return StatusText() != first || TaskEnded("甲"); }));
    EXPECT_FALSE(TaskEnded("甲"));
    EXPECT_TRUE(StatusText().startsWith(QStringLiteral("合计：")));
    // Another text in the panel is left alone until the counter is shown again.
    Trigger("actPause");
    const QString summary = StatusText();
    EXPECT_TRUE(summary.startsWith(QStringLiteral("共有")));
    Trigger("actPause");
    ProcessFor(700ms);
    if (!TaskEnded("甲")) {
        EXPECT_TRUE(StatusText().startsWith(QStringLiteral("共有")));
    }
}

TEST_F(ProgressColumnsTest, RequestIntervalIsAnOptionKeptInTheSettings) {
    WhenShown<ui::TOptionsFrm>([](ui::TOptionsFrm* d) {
        auto* spin = d->findChild<QSpinBox*>(QStringLiteral("IntervalSPN"));
        EXPECT_EQ(spin->value(), 0);
        spin->setValue(1500);
        d->findChild<QPushButton*>(QStringLiteral("OkBTN"))->click();
    });
    Trigger("actOptions");
    EXPECT_EQ(ReadSetting(AppInfo->SettingsFile, settings::kRequestInterval), 1500);
    WhenShown<ui::TOptionsFrm>([](ui::TOptionsFrm* d) {
        EXPECT_EQ(d->findChild<QSpinBox*>(QStringLiteral("IntervalSPN"))->value(), 1500);
        d->reject();
    });
    Trigger("actOptions");
}

class BlockedSiteTest : public ProgressColumnsTest {
protected:
    static SiteOptions Blocking() {
        SiteOptions o = SiteWith(40, 5);
        o.block_after = 11;  // page one and ten contact pages
        return o;
    }
    BlockedSiteTest() : ProgressColumnsTest(Blocking()) {}
};

TEST_F(BlockedSiteTest, ABlockedTaskReadsStoppedWithItsReasonAndTheEndIsAnnounced) {
    AddTaskRow("甲", "甲");
    QSignalSpy ended(&window->commands(), &tasks::TaskCommands::allTasksEnded);
    StartTask("甲");
    ASSERT_TRUE(RunUntil([&] { return TaskEnded("甲"); }));
    EXPECT_EQ(Cell("甲", kState), QStringLiteral("已停止"));
    QTableWidgetItem* state = window->commands().taskList()->item(Row("甲"), kState);
    EXPECT_TRUE(state->toolTip().contains(QStringLiteral("拦截")));
    const auto texts = PageMessages("甲");
    EXPECT_NE(std::find(texts.begin(), texts.end(), std::string(kSiteBlockedMessage)), texts.end());
    EXPECT_EQ(PageRecords("甲"), 10);
    ASSERT_EQ(ended.count(), 1);
    EXPECT_EQ(ended[0][0].toString(), QStringLiteral("甲"));
    EXPECT_TRUE(ended[0][1].toString().contains(QStringLiteral("拦截")));
}

}  // namespace
}  // namespace qv::test
