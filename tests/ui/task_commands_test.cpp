#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include <filesystem>

#include "core/app_info.h"
#include "core/data_files.h"
#include "core/data_module.h"
#include "core/database.h"
#include "core/field_cipher.h"
#include "core/ini_file.h"
#include "core/version.h"
#include "tasks/add_task_dialog.h"
#include "widgets/grids.h"
#include "widgets/member_grid.h"
#include "tasks/task_commands.h"
#include "tasks/task_pages.h"
#include "tasks/task_property_dialog.h"
#include "tests/ui/gui_fixture.h"
#include "ui/main_window.h"

namespace qv::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class TaskCommandsTest : public MainWindowFixture {
protected:
    explicit TaskCommandsTest(SiteOptions options = DefaultSite()) : MainWindowFixture(options) {}

    DataPacket Tasks() { return MiddleObj->QueryRecords("SELECT * FROM Tasks ORDER BY ID").value(); }

    long StoredRows(const std::string& name) {
        Connection db(DataFile(name), DatabaseKind::DataFile);
        return db.Query("SELECT COUNT(*) FROM DataList").Integer(0, "COUNT(*)");
    }

    // Adds a task row for a keyword search of the simulator and shows it in the list.
    void AddTaskRow(const std::string& name, const std::string& keyword) {
        InsertTask(name, site.SearchUrl(keyword));
        if (IsUsableTaskName(name)) {
            CreateDatabaseFile(DataFile(name), true);
            ExecuteOnDatabaseFile(DataFile(name), kCreateDataListSql);
        }
        window->commands().LoadTasks();
        window->commands().FillTaskListGrid();
        window->commands().UpdateTaskActions(window->commands().SelectedNumber());
        window->commands().UpdateCommandActions();
    }

    void StartTask(const std::string& name) {
        SelectTask(name);
        Trigger("actStart");
    }
};

// A marketplace slow enough that tests can act while tasks run.
class RunningTasksTest : public TaskCommandsTest {
protected:
    RunningTasksTest() : TaskCommandsTest(SiteWith(40, 15)) {}
};

TEST_F(TaskCommandsTest, AddingATaskGoesThroughBothDialogsAndRefusesBadInput) {
    // An empty keyword is refused and the dialog stays open; then the search is taken.
    WhenShown<tasks::TfrmAddTask>([this](tasks::TfrmAddTask* d) {
        auto* ok = d->findChild<QPushButton*>(QStringLiteral("OkBTN"));
        d->findChild<QLineEdit*>(QStringLiteral("KeywordEdit"))->setText(QStringLiteral("   "));
        ok->click();
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(messages.Last(), "关键词必须输入。");
        d->findChild<QLineEdit*>(QStringLiteral("KeywordEdit"))->setText(QStringLiteral(" 灯具 "));
        ok->click();
    });
    QString total, proposed_name, proposed_remark;
    WhenShown<tasks::TfrmTaskProperty>([&](tasks::TfrmTaskProperty* d) {
        total = d->findChild<QLabel*>(QStringLiteral("pnlTotal"))->text();
        proposed_name = d->findChild<QLineEdit*>(QStringLiteral("edtTaskName"))->text();
        proposed_remark = d->findChild<QPlainTextEdit*>(QStringLiteral("memRemark"))->toPlainText();
        d->findChild<QPushButton*>(QStringLiteral("OkBTN"))->click();
    });
    Trigger("actAddTask");
    EXPECT_EQ(total, QStringLiteral("共有 12 家公司"));
    EXPECT_EQ(proposed_name, QStringLiteral("灯具"));
    EXPECT_EQ(proposed_remark, QStringLiteral("所有省份;所有城市;所有经营模式;所有注册年份;\n"));
    DataPacket tasks = Tasks();
    ASSERT_EQ(tasks.rows.size(), 1u);
    EXPECT_EQ(tasks.Text(0, "TaskName"), "灯具");
    EXPECT_EQ(tasks.Text(0, "Remark"), "所有省份;所有城市;所有经营模式;所有注册年份;\r\n");
    EXPECT_EQ(tasks.Text(0, "Province"), "所有省份");
    EXPECT_NE(tasks.Text(0, "searchURL").find(site.BaseUrl() + "/search/company_search.htm?"),
              std::string::npos);
    EXPECT_TRUE(fs::exists(DataFile("灯具")));
    EXPECT_EQ(StoredRows("灯具"), 0);
    QTableWidget* list = window->commands().taskList();
    EXPECT_EQ(widgets::CellText(list, 0, 1), QStringLiteral("灯具"));
    EXPECT_EQ(widgets::CellText(list, 0, 2), QStringLiteral("所有省份;所有城市;所有经营模式;所有注册年份;"));

    // The same keyword again: the proposed name is taken, a new one is accepted.
    messages.Clear();
    WhenShown<tasks::TfrmAddTask>([](tasks::TfrmAddTask* d) {
        d->findChild<QLineEdit*>(QStringLiteral("KeywordEdit"))->setText(QStringLiteral("灯具"));
        d->findChild<QPushButton*>(QStringLiteral("OkBTN"))->click();
    });
    WhenShown<tasks::TfrmTaskProperty>([this](tasks::TfrmTaskProperty* d) {
        auto* ok = d->findChild<QPushButton*>(QStringLiteral("OkBTN"));
        ok->click();
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(messages.Last(), "任务名称重复。");
        d->findChild<QLineEdit*>(QStringLiteral("edtTaskName"))->setText(QStringLiteral(""));
        ok->click();
        EXPECT_EQ(messages.Last(), "任务名称不能为空。");
        // One byte too long for the data file's side files.
        d->findChild<QLineEdit*>(QStringLiteral("edtTaskName"))->setText(QString(245, u'n'));
        ok->click();
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(messages.Last(), "任务名称太长，最多 244 个字节（81 个汉字）。");
        d->findChild<QLineEdit*>(QStringLiteral("edtTaskName"))->setText(QStringLiteral(" 灯具's 2 "));
        ok->click();
    });
    Trigger("actAddTask");
    tasks = Tasks();
    ASSERT_EQ(tasks.rows.size(), 2u);
    EXPECT_EQ(tasks.Text(1, "TaskName"), "灯具's 2");
    EXPECT_TRUE(fs::exists(DataFile("灯具's 2")));
}

TEST_F(TaskCommandsTest, CancelledDialogsAndAnUnreachableMarketplaceStoreNothing) {
    WhenShown<tasks::TfrmAddTask>([](tasks::TfrmAddTask* d) { d->reject(); });
    Trigger("actAddTask");
    WhenShown<tasks::TfrmAddTask>([](tasks::TfrmAddTask* d) {
        d->findChild<QLineEdit*>(QStringLiteral("KeywordEdit"))->setText(QStringLiteral("灯具"));
        d->findChild<QPushButton*>(QStringLiteral("OkBTN"))->click();
    });
    // Cancelling the properties goes back to the add dialog; cancelling that ends it.
    WhenShown<tasks::TfrmTaskProperty>([](tasks::TfrmTaskProperty* d) {
        WhenShown<tasks::TfrmAddTask>([](tasks::TfrmAddTask* again) { again->reject(); });
        d->reject();
    });
    Trigger("actAddTask");
    EXPECT_TRUE(Tasks().rows.empty());

    // The dialog comes back after the error; cancelling it then stores nothing either.
    WriteSetting(AppInfo->SettingsFile, settings::kSearchHost, "http://127.0.0.1:1");
    WhenShown<tasks::TfrmAddTask>([](tasks::TfrmAddTask* d) {
        d->findChild<QLineEdit*>(QStringLiteral("KeywordEdit"))->setText(QStringLiteral("灯具"));
        d->findChild<QPushButton*>(QStringLiteral("OkBTN"))->click();
        WhenShown<tasks::TfrmAddTask>([](tasks::TfrmAddTask* again) { again->reject(); });
    });
    Trigger("actAddTask");
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_EQ(messages.Last(), "抓取满足条件的任务数据时产生错误，错误信息如下：\r\n连接失败：连接被拒绝");
    EXPECT_TRUE(messages.shown.back().detail.endsWith(QStringLiteral("原因：连接被拒绝")));
    EXPECT_EQ(messages.shown.back().buttons, widgets::mbOK | widgets::mbDetails);
    EXPECT_TRUE(Tasks().rows.empty());
}

// A marketplace that does not answer within the test's patience.
class HangingSiteTest : public TaskCommandsTest {
protected:
    HangingSiteTest() : TaskCommandsTest(SiteWith(120, 3000)) {}
};

TEST_F(HangingSiteTest, AddingCanBeCancelledWhileTheMarketplaceDoesNotAnswer) {
    WhenShown<tasks::TfrmAddTask>([](tasks::TfrmAddTask* d) {
        d->findChild<QLineEdit*>(QStringLiteral("KeywordEdit"))->setText(QStringLiteral("灯具"));
        d->findChild<QPushButton*>(QStringLiteral("OkBTN"))->click();
    });
    bool saw_progress = false;
    WhenShown<QProgressDialog>([&](QProgressDialog* p) {
        saw_progress = true;
        p->cancel();
    });
    auto start = std::chrono::steady_clock::now();
    Trigger("actAddTask");
    EXPECT_TRUE(saw_progress);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms) << "the fetch is abandoned";
    EXPECT_TRUE(messages.shown.empty()) << "a cancelled add is no error";
    EXPECT_TRUE(Tasks().rows.empty());
}

TEST_F(TaskCommandsTest, ACategorySearchNeedsACategoryAndProposesNoName) {
    WhenShown<tasks::TfrmAddTask>([this](tasks::TfrmAddTask* d) {
        d->findChild<QTabWidget*>(QStringLiteral("PageControl"))->setCurrentIndex(1);
        auto* ok = d->findChild<QPushButton*>(QStringLiteral("OkBTN"));
        ok->click();
        EXPECT_EQ(messages.Last(), "行业分类必须要选择。");
        d->findChild<QComboBox*>(QStringLiteral("CategoryCB"))->setCurrentIndex(18);  // 仪器仪表
        ok->click();
    });
    QString proposed_name, proposed_remark;
    WhenShown<tasks::TfrmTaskProperty>([&](tasks::TfrmTaskProperty* d) {
        proposed_name = d->findChild<QLineEdit*>(QStringLiteral("edtTaskName"))->text();
        proposed_remark = d->findChild<QPlainTextEdit*>(QStringLiteral("memRemark"))->toPlainText();
        d->findChild<QLineEdit*>(QStringLiteral("edtTaskName"))->setText(QStringLiteral("仪表"));
        d->findChild<QPushButton*>(QStringLiteral("OkBTN"))->click();
    });
    Trigger("actAddTask");
    EXPECT_TRUE(proposed_name.isEmpty());
    EXPECT_EQ(proposed_remark, QStringLiteral("仪器仪表;\n"));
    DataPacket tasks = Tasks();
    ASSERT_EQ(tasks.rows.size(), 1u);
    EXPECT_NE(tasks.Text(0, "searchURL").find("categoryId=10208&"), std::string::npos);
    EXPECT_EQ(tasks.Text(0, "CategoryLargeName"), "仪器仪表");
}

TEST_F(TaskCommandsTest, ProvinceChoiceRebuildsTheCityList) {
    WhenShown<tasks::TfrmAddTask>([](tasks::TfrmAddTask* d) {
        auto* province = d->findChild<QComboBox*>(QStringLiteral("ProvinceCB"));
        auto* city = d->findChild<QComboBox*>(QStringLiteral("CityCB"));
        EXPECT_EQ(province->itemText(0), QStringLiteral("所有省份"));
        EXPECT_EQ(city->count(), 1);
        ASSERT_GT(province->count(), 1);
        province->setCurrentIndex(1);
        EXPECT_GT(city->count(), 1) << "a province has cities";
        EXPECT_EQ(city->currentText(), QStringLiteral("所有城市"));
        province->setCurrentIndex(0);
        EXPECT_EQ(city->count(), 1);
        d->reject();
    });
    Trigger("actAddTask");
}

TEST_F(TaskCommandsTest, WithNoTasksTheListHasOneEmptyRowAndOnlyAddIsOffered) {
    QTableWidget* list = window->commands().taskList();
    EXPECT_EQ(list->rowCount(), 1);
    EXPECT_EQ(list->columnCount(), 14);
    EXPECT_TRUE(list->isColumnHidden(3));
    EXPECT_TRUE(list->isColumnHidden(4));
    EXPECT_EQ(list->horizontalHeaderItem(1)->text(), QStringLiteral("任务名称"));
    // The remark takes what the other shown columns leave.
    int others = 0;
    for (int c = 0; c < list->columnCount(); ++c)
        if (c != 2 && !list->isColumnHidden(c)) others += list->columnWidth(c);
    EXPECT_EQ(list->columnWidth(2), std::max(60, list->viewport()->width() - others));
    EXPECT_TRUE(Enabled("actAddTask"));
    for (const char* a : {"actStart", "actPause", "actPauseAll", "actCancel", "actDelTask"})
        EXPECT_FALSE(Enabled(a)) << a;
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quorvane v") + QString::fromUtf8(ProgramVersion()));
}

TEST_F(TaskCommandsTest, StartedTaskShowsItsRowsAndMessagesInOrder) {
    AddTaskRow("灯具", "灯具");
    StartTask("灯具");
    ASSERT_TRUE(RunUntil([&] { return TaskEnded("灯具"); }));
    auto texts = PageMessages("灯具");
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts.front(), "灯具：开始抓取数据......");
    EXPECT_EQ(texts.back(), "灯具：数据抓取完成");
    ASSERT_EQ(PageRecords("灯具"), 12);
    EXPECT_EQ(StoredRows("灯具"), 12);
    // The grid shows what the marketplace published, readable, in the order of the list.
    auto* model = window->pages().ShownPage()->record().MemberGrid->memberModel();
    const auto& expected = site.CompaniesFor("灯具");
    for (int r = 0; r < 12; ++r) {
        MemberValues v = expected[static_cast<size_t>(r)].ValuesWithoutDetail();
        EXPECT_EQ(model->Cell(r, 0), QString::number(r + 1));
        EXPECT_EQ(model->Cell(r, 1).toStdString(), v[mfCompanyName]);
        EXPECT_EQ(model->Cell(r, 9).toStdString(), v[mfPhone]);
        EXPECT_EQ(model->Cell(r, 29).toStdString(), v[mfSendMsgLink]);
    }
    EXPECT_EQ(StatusText(), QStringLiteral("共有 0 个任务正在运行，已完成 1 个，暂停 0 个"))
        << "counted while the end report is shown";
    EXPECT_TRUE(Enabled("actStart"));
}

TEST_F(TaskCommandsTest, StartingAgainAsksBeforeEmptyingAFileWithRecords) {
    AddTaskRow("灯具", "灯具");
    StartTask("灯具");
    ASSERT_TRUE(RunUntil([&] { return TaskEnded("灯具"); }));
    window->pages().CloseTaskPage(window->pages().FindTaskPage(QStringLiteral("灯具")));

    // 重新开始 (the second choice) leads to the emptying question.
    messages.answers = {1, widgets::mrNo};
    StartTask("灯具");
    EXPECT_EQ(messages.Last(), "这个任务已经被采集过，如果需要重新采集，将会将原有的数据删除。确认吗？");
    EXPECT_EQ(window->pages().FindTaskPage(QStringLiteral("灯具")), -1) << "No changes nothing";
    EXPECT_EQ(StoredRows("灯具"), 12);

    messages.answers = {1, widgets::mrYes};
    StartTask("灯具");
    ASSERT_TRUE(RunUntil([&] { return TaskEnded("灯具"); }));
    EXPECT_EQ(StoredRows("灯具"), 12) << "emptied, then collected anew";
    EXPECT_EQ(PageRecords("灯具"), 12);

    // A removed file is made again without a question.
    window->pages().CloseTaskPage(window->pages().FindTaskPage(QStringLiteral("灯具")));
    fs::remove(DataFile("灯具"));
    messages.Clear();
    StartTask("灯具");
    ASSERT_TRUE(RunUntil([&] { return TaskEnded("灯具"); }));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(StoredRows("灯具"), 12);
}

TEST_F(TaskCommandsTest, StartRefusesATaskWithoutUrlAndAViewedTaskOpensOnlyOnce) {
    InsertTask("坏任务", "");
    AddTaskRow("灯具", "灯具");
    SelectTask("坏任务");
    Trigger("actStart");
    EXPECT_EQ(messages.Last(), "没有要获取页面的网址。此任务不正确，建议删除后重建。");

    SelectTask("灯具");
    Trigger("actViewData");
    ASSERT_EQ(window->pages().FindTaskPage(QStringLiteral("灯具")), 1);
    Trigger("actViewData");
    EXPECT_EQ(messages.Last(), "这个任务已经被打开。");
    EXPECT_EQ(messages.shown.back().kind, widgets::MsgDlgType::mtError);
    EXPECT_EQ(window->pages().PageCount(), 2) << "no second page";
}

TEST_F(TaskCommandsTest, AStoredNameThatCannotBeAFileNameSaysSoOnStart) {
    AddTaskRow("../逃出", "灯具");
    StartTask("../逃出");
    EXPECT_EQ(messages.Last(), "任务名称“../逃出”不能用作文件名，这个任务无法采集，请删除后重建。");
    EXPECT_EQ(window->pages().PageCount(), 1);
    EXPECT_FALSE(fs::exists(fs::path(AppInfo->ProgramDir) / "逃出.db"));
}

TEST_F(TaskCommandsTest, DeleteAsksWithTheNameAndRemovesRowAndFile) {
    AddTaskRow("灯具", "灯具");
    StartTask("灯具");
    ASSERT_TRUE(RunUntil([&] { return TaskEnded("灯具"); }));
    window->pages().CloseTaskPage(window->pages().FindTaskPage(QStringLiteral("灯具")));
    window->commands().UpdateCommandActions();

    messages.answers = {widgets::mrNo};
    Trigger("actDelTask");
    EXPECT_EQ(messages.Last(),
              "你确认删除任务【 灯具 】吗？\r\n\r\n（删除任务的同时会把保存的历史数据一起删除。）");
    EXPECT_EQ(Tasks().rows.size(), 1u);

    Trigger("actDelTask");
    EXPECT_EQ(messages.Last(), "任务删除成功，数据文件已移到回收站，需要时可以从回收站还原。");
    EXPECT_EQ(messages.shown.back().kind, widgets::MsgDlgType::mtInformation);
    EXPECT_TRUE(Tasks().rows.empty());
    EXPECT_FALSE(fs::exists(DataFile("灯具")));
    EXPECT_EQ(window->commands().taskList()->rowCount(), 1);
    EXPECT_FALSE(Enabled("actDelTask"));
}

TEST_F(TaskCommandsTest, ViewingShowsDecipheredRecordsAndTheStoredTextOfABrokenCell) {
    AddTaskRow("样本", "灯具");
    std::string file = DataFile("样本");
    CreateDatabaseFile(file, true);
    ExecuteOnDatabaseFile(file, kCreateDataListSql);
    {
        Connection db(file, DatabaseKind::DataFile);
        MemberValues a{}, b{};
        a[mfCompanyName] = "甲公司";
        a[mfPhone] = "0571-1234567";
        a[mfAddress] = "  杭州  ";
        a[mfCompanyContext] = "  介绍  ";
        b[mfCompanyName] = "乙公司";
        db.Execute(BuildInsertStatement(a));
        db.Execute(BuildInsertStatement(b));
        db.Execute("UPDATE DataList SET Phone='不是密文' WHERE ID=2");
    }
    SelectTask("样本");
    Trigger("actViewData");
    tasks::TaskDataPage* page = window->pages().ShownPage();
    ASSERT_TRUE(page);
    EXPECT_EQ(page->record().PageKey, QStringLiteral("样本"));
    EXPECT_EQ(page->record().LogGrid, nullptr);
    auto* model = page->record().MemberGrid->memberModel();
    ASSERT_EQ(model->RecordCount(), 2);
    EXPECT_EQ(model->Cell(0, 0), QStringLiteral("1"));
    EXPECT_EQ(model->Cell(0, 1), QStringLiteral("甲公司"));
    EXPECT_EQ(model->Cell(0, 9), QStringLiteral("0571-1234567"));
    EXPECT_EQ(model->Cell(0, 11), QStringLiteral("杭州"));
    EXPECT_EQ(model->Cell(0, 31), QStringLiteral("  介绍  ")) << "the introduction is shown as stored";
    EXPECT_EQ(model->Cell(1, 0), QStringLiteral("2"));
    EXPECT_EQ(model->Cell(1, 9), QStringLiteral("不是密文"));
    EXPECT_EQ(StatusText(), QStringLiteral("合计：2 条，当前第 1 条"));
}

TEST_F(TaskCommandsTest, ViewingAnEmptyFileShowsOneBlankRowAndABrokenFileAddsNoPage) {
    AddTaskRow("空", "灯具");
    CreateDatabaseFile(DataFile("空"), true);
    ExecuteOnDatabaseFile(DataFile("空"), kCreateDataListSql);
    AddTaskRow("坏文件", "灯具");
    WriteFileBytes(DataFile("坏文件"), "this is not a database");

    SelectTask("空");
    Trigger("actViewData");
    auto* model = window->pages().ShownPage()->record().MemberGrid->memberModel();
    EXPECT_EQ(model->rowCount(), 1);
    EXPECT_EQ(model->RecordCount(), 0);
    EXPECT_EQ(model->GridRowCount(), 2);

    SelectTask("坏文件");
    messages.Clear();
    Trigger("actViewData");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, widgets::MsgDlgType::mtError);
    EXPECT_EQ(window->pages().FindTaskPage(QStringLiteral("坏文件")), -1);
    EXPECT_EQ(window->pages().PageCount(), 2);
}

TEST_F(RunningTasksTest, PauseAndResumeOneAndAllChangeTheCaptions) {
    AddTaskRow("甲", "甲");
    AddTaskRow("乙", "乙");
    StartTask("甲");
    StartTask("乙");
    ASSERT_TRUE(RunUntil([&] { return PageRecords("甲") > 0 && PageRecords("乙") > 0; }));
    SelectTask("甲");
    EXPECT_EQ(Caption("actPause"), QStringLiteral("暂停当前任务"));
    EXPECT_FALSE(Enabled("actStart"));
    Trigger("actPause");
    EXPECT_EQ(Caption("actPause"), QStringLiteral("继续当前任务"));
    EXPECT_EQ(PageMessages("甲").back(), "甲：任务被暂停");
    EXPECT_TRUE(window->commands().scheduler().TaskInState(tsPaused, 1));
    Trigger("actPause");
    EXPECT_EQ(Caption("actPause"), QStringLiteral("暂停当前任务"));
    EXPECT_EQ(PageMessages("甲").back(), "甲：继续暂停的抓取任务......");

    Trigger("actPauseAll");
    EXPECT_EQ(Caption("actPauseAll"), QStringLiteral("继续所有任务"));
    EXPECT_EQ(window->commands().scheduler().CountTasksInState(tsPaused), 2);
    EXPECT_EQ(StatusText(), QStringLiteral("共有 0 个任务正在运行，已完成 0 个，暂停 2 个"));
    int held = PageRecords("甲");
    ProcessFor(200ms);
    EXPECT_LE(PageRecords("甲") - held, 1) << "a paused task makes no progress";
    Trigger("actPauseAll");
    EXPECT_EQ(Caption("actPauseAll"), QStringLiteral("暂停所有任务"));
    EXPECT_EQ(PageMessages("乙").back(), "乙：继续暂停的抓取任务......");
    ASSERT_TRUE(RunUntil([&] { return TaskEnded("甲") && TaskEnded("乙"); }));
    EXPECT_EQ(PageRecords("甲"), 40);
    EXPECT_EQ(PageRecords("乙"), 40);
}

TEST_F(RunningTasksTest, StopAllReportsInEveryRunPageAndInTheStatusBar) {
    AddTaskRow("甲", "甲");
    AddTaskRow("乙", "乙");
    AddTaskRow("丙", "丙");
    StartTask("甲");
    StartTask("乙");
    ASSERT_TRUE(RunUntil([&] { return PageRecords("甲") > 0; }));
    SelectTask("丙");
    EXPECT_FALSE(Enabled("actViewData")) << "while tasks run";
    window->commands().doViewData();  // a double click still opens it; it has no message grid

    messages.answers = {widgets::mrCancel};
    Trigger("actCancel");
    EXPECT_EQ(messages.shown.back().box, widgets::ShownMessage::Box::SystemQuestion);
    EXPECT_EQ(messages.shown.back().caption, QStringLiteral("询问"));
    EXPECT_EQ(messages.Last(), "你确定要中止所有任务吗？");
    EXPECT_EQ(window->commands().scheduler().CountRunningThreads(), 2);

    Trigger("actCancel");
    EXPECT_EQ(StatusText(), QStringLiteral("成功停止了 2 个任务"));
    EXPECT_EQ(PageMessages("甲").back(), "甲：任务被中止");
    EXPECT_EQ(PageMessages("乙").back(), "乙：任务被中止");
    int shown = PageRecords("甲");
    ProcessFor(150ms);
    EXPECT_EQ(PageRecords("甲"), shown) << "nothing of a stopped task arrives afterwards";
    EXPECT_EQ(PageMessages("甲").back(), "甲：任务被中止");
    EXPECT_EQ(window->pages().PageCount(), 4) << "the pages stay open";
}

TEST_F(RunningTasksTest, TheEleventhTaskIsRefusedWhileTenRun) {
    for (int i = 1; i <= 11; ++i) AddTaskRow("任务" + std::to_string(i), "词" + std::to_string(i));
    for (int i = 1; i <= 10; ++i) StartTask("任务" + std::to_string(i));
    EXPECT_EQ(window->commands().scheduler().CountTasksInState(tsRunning), 10);
    SelectTask("任务11");
    Trigger("actStart");
    EXPECT_EQ(messages.Last(), "程序限制了同时运行的任务数不能超过：10 个。");
    EXPECT_EQ(window->pages().FindTaskPage(QStringLiteral("任务11")), -1);
}

TEST_F(RunningTasksTest, ClosingARunPageOfARunningTaskAsksStopsItThenCloses) {
    AddTaskRow("甲", "甲");
    StartTask("甲");
    ASSERT_TRUE(RunUntil([&] { return PageRecords("甲") > 0; }));
    messages.answers = {widgets::mrNo};
    Trigger("actCloseTabsheet");
    EXPECT_EQ(window->pages().FindTaskPage(QStringLiteral("甲")), 1) << "No keeps the page";
    EXPECT_EQ(window->commands().scheduler().CountRunningThreads(), 1);

    Trigger("actCloseTabsheet");
    EXPECT_EQ(window->pages().FindTaskPage(QStringLiteral("甲")), -1);
    EXPECT_EQ(window->commands().scheduler().CountRunningThreads(), 0);
    EXPECT_FALSE(window->commands().scheduler().TaskInState(tsRunning, 1));
    long stored = StoredRows("甲");
    ProcessFor(150ms);
    EXPECT_EQ(StoredRows("甲"), stored) << "the stopped thread writes nothing more";
    EXPECT_TRUE(Enabled("actStart"));
}

TEST_F(RunningTasksTest, QuittingWithAPausedTaskAsks) {
    AddTaskRow("甲", "甲");
    StartTask("甲");
    Trigger("actPause");
    messages.answers = {widgets::mrCancel};
    EXPECT_FALSE(window->close());
    EXPECT_EQ(messages.Last(), "当前还有 1 个任务在运行，确定要退出？");
    EXPECT_EQ(messages.shown.back().caption, QStringLiteral("询问"));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->close());
    EXPECT_EQ(window->commands().scheduler().CountRunningThreads(), 0);
}

// ---- deleting into the trash, the add dialogs, the empty list -------------------------

// Points XDG_DATA_HOME, where the desktop keeps its trash, somewhere else for one test.
class DataHome {
public:
    explicit DataHome(const fs::path& path) : saved_(qgetenv("XDG_DATA_HOME")) {
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(path.string()));
    }
    ~DataHome() { qputenv("XDG_DATA_HOME", saved_); }

private:
    QByteArray saved_;
};

// Delete, then Enter: the data file goes to the desktop's trash with every record, where a
// file manager can put it back, and the message says so. Without a trash it is erased.
TEST_F(TaskCommandsTest, DeletingATaskPutsItsDataFileInTheTrash) {
    const fs::path home = dir.path() / "home-data";
    fs::create_directories(home);
    DataHome data_home(home);
    AddTaskRow("灯具", "灯具");
    {
        Connection db(DataFile("灯具"), DatabaseKind::DataFile);
        db.Execute("INSERT INTO DataList (CompanyName) VALUES ('甲公司')");
        db.Execute("INSERT INTO DataList (CompanyName) VALUES ('乙公司')");
        db.Execute("INSERT INTO DataList (CompanyName) VALUES ('丙公司')");
    }
    // The task's page is open: its connection goes with it before the file is moved.
    SelectTask("灯具");
    Trigger("actViewData");
    ASSERT_GE(window->pages().FindTaskPage(QStringLiteral("灯具")), 0);
    Trigger("actDelTask");
    EXPECT_EQ(messages.Last(), "任务删除成功，数据文件已移到回收站，需要时可以从回收站还原。");
    EXPECT_FALSE(fs::exists(DataFile("灯具")));
    EXPECT_FALSE(fs::exists(DataFile("灯具") + "-wal"));
    const fs::path trashed = home / "Trash" / "files" / "灯具.db";
    ASSERT_TRUE(fs::exists(trashed));
    EXPECT_TRUE(fs::exists(home / "Trash" / "info" / "灯具.db.trashinfo"));
    {
        Connection db(trashed.string(), DatabaseKind::ReadOnly);
        EXPECT_EQ(db.Query("SELECT COUNT(*) AS n FROM DataList").Integer(0, "n"), 3);
    }

    // No trash to be had (its folder cannot be made): erased, as before.
    const fs::path blocked = dir.path() / "not-a-folder";
    WriteFileBytes(blocked, "x");
    DataHome no_trash(blocked / "share");
    AddTaskRow("五金", "五金");
    SelectTask("五金");
    messages.Clear();
    Trigger("actDelTask");
    EXPECT_EQ(messages.Last(), "任务删除成功。");
    EXPECT_FALSE(fs::exists(DataFile("五金")));
    EXPECT_FALSE(fs::exists(dir.path() / "Data" / "files")) << "nothing lands beside the data";
}

// Esc (or 取消) in the task properties goes back to the add dialog with the search as it
// was entered, instead of losing it.
TEST_F(TaskCommandsTest, EscInThePropertiesGoesBackToTheAddDialogWithTheSearch) {
    bool back_with_search = false, properties_shown = false;
    WhenShown<tasks::TfrmAddTask>([&](tasks::TfrmAddTask* d) {
        d->findChild<QLineEdit*>(QStringLiteral("KeywordEdit"))->setText(QStringLiteral("灯具"));
        d->findChild<QComboBox*>(QStringLiteral("ProvinceCB"))->setCurrentText(QStringLiteral("浙江"));
        d->findChild<QComboBox*>(QStringLiteral("CityCB"))->setCurrentText(QStringLiteral("杭州"));
        d->findChild<QComboBox*>(QStringLiteral("BiztypeCB"))->setCurrentIndex(2);
        WhenShown<tasks::TfrmTaskProperty>([&](tasks::TfrmTaskProperty* p) {
            properties_shown = true;
            WhenShown<tasks::TfrmAddTask>([&](tasks::TfrmAddTask* again) {
                back_with_search =
                    again->findChild<QLineEdit*>(QStringLiteral("KeywordEdit"))->text() == QStringLiteral("灯具") &&
                    again->findChild<QComboBox*>(QStringLiteral("ProvinceCB"))->currentText() == QStringLiteral("浙江") &&
                    again->findChild<QComboBox*>(QStringLiteral("CityCB"))->currentText() == QStringLiteral("杭州") &&
                    again->findChild<QComboBox*>(QStringLiteral("BiztypeCB"))->currentIndex() == 2;
                again->reject();
            });
            QTest::keyClick(p, Qt::Key_Escape);
        });
        d->findChild<QPushButton*>(QStringLiteral("OkBTN"))->click();
    });
    Trigger("actAddTask");
    EXPECT_TRUE(properties_shown);
    EXPECT_TRUE(back_with_search);
    EXPECT_TRUE(Tasks().rows.empty());
}

// The count a new task's search found, and how far its run came, are the task's own: the
// list shows them after a restart too.
TEST_F(TaskCommandsTest, TotalAndProgressSurviveARestart) {
    AddTaskThroughDialogs("灯具");
    AddTaskThroughDialogs("五金");
    StartTask("灯具");
    ASSERT_TRUE(RunUntil([&] { return TaskEnded("灯具"); }));
    window.reset();
    window = std::make_unique<ui::TMainFrm>();
    window->show();
    QApplication::processEvents();
    constexpr int kTotalColumn = 7, kProgressColumn = 8;
    EXPECT_EQ(TaskListCell("灯具", kTotalColumn), QStringLiteral("12"));
    QTableWidget* list = window->commands().taskList();
    EXPECT_EQ(list->item(TaskListRow("灯具"), kProgressColumn)->data(Qt::UserRole), QVariant(100));
    EXPECT_EQ(TaskListCell("五金", kTotalColumn), QStringLiteral("12")) << "the count of the add dialog";
    EXPECT_FALSE(list->item(TaskListRow("五金"), kProgressColumn)->data(Qt::UserRole).isValid())
        << "no progress before its first run";
}

// An empty list shows its blank row, but nothing in it is selected, even after a click.
TEST_F(TaskCommandsTest, AnEmptyListSelectsNothing) {
    QTableWidget* list = window->commands().taskList();
    auto nothing_selected = [&] { return list->selectionModel()->selectedIndexes().isEmpty(); };
    EXPECT_TRUE(nothing_selected());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 1)).center());
    EXPECT_TRUE(nothing_selected());
    AddTaskRow("灯具", "灯具");
    EXPECT_FALSE(nothing_selected()) << "a task is selected";
    SelectTask("灯具");
    Trigger("actDelTask");
    EXPECT_EQ(list->rowCount(), 1);
    EXPECT_TRUE(nothing_selected());
}

}  // namespace
}  // namespace qv::test
