// The window's side of runs that keep their place: the start question's four answers,
// the state column, the cause beside a failed page's message, and 重新抓取失败的公司.
#include <gtest/gtest.h>

#include <QTableWidget>

#include "core/data_files.h"
#include "core/database.h"
#include "core/field_cipher.h"
#include "core/run_journal.h"
#include "tasks/task_commands.h"
#include "tasks/task_pages.h"
#include "tests/ui/gui_fixture.h"
#include "ui/main_window.h"
#include "widgets/grids.h"
#include "widgets/member_grid.h"

namespace qv::test {
namespace {

constexpr int kStateColumn = 5;
constexpr int kStoredColumn = 6;

class ContinuityTest : public MainWindowFixture {
protected:
    const std::vector<SimCompany>& Companies() { return site.CompaniesFor("灯具"); }

    // A task whose file holds the first `stored` companies, as a run stopped (or killed)
    // there left it; `finished` as a run that ended normally.
    void MakeTask(int stored, bool finished) {
        const std::string url = site.SearchUrl("灯具");
        InsertTask("灯具", url);
        CreateDatabaseFile(DataFile("灯具"), true);
        ExecuteOnDatabaseFile(DataFile("灯具"), kCreateDataListSql);
        Connection db(DataFile("灯具"), DatabaseKind::DataFile);
        BeginRun(db, url, RunMode::Fresh);
        for (int i = 0; i < stored; ++i) {
            RunStep step;
            step.row = Companies()[static_cast<size_t>(i)].ValuesWithoutDetail();
            step.position = RunPosition{};
            step.position->page_url = url;
            step.position->entries_done = i + 1;
            step.position->finished = finished && i + 1 == stored;
            CommitRunStep(db, step);
        }
        Reload();
    }

    // The company's contact page failed every try in the file's run: kept as a failed page
    // that 重新抓取失败的公司 reads again.
    RunStep LoseToAFailedPage(const SimCompany& company) {
        Connection db(DataFile("灯具"), DatabaseKind::DataFile);
        RunStep step;
        FailedPage& f = step.failure.emplace();
        f.url = site.BaseUrl() + company.contact_path;
        f.cause = "timeout";
        f.kind = kFailedContactPage;
        f.company_name = company.values[mfCompanyName];
        f.member_id = company.values[mfMemberID];
        f.member_type = company.values[mfMemberType];
        f.good_index = company.values[mfGoodIndex];
        f.send_msg_link = company.values[mfSendMsgLink];
        f.contact_link = company.values[mfContactLink];
        CommitRunStep(db, step);
        return step;
    }

    void Reload() {
        window->commands().LoadTasks();
        window->commands().FillTaskListGrid();
        window->commands().UpdateTaskActions(window->commands().SelectedNumber());
    }

    QString State() { return widgets::CellText(window->commands().taskList(), 0, kStateColumn); }

    void StartAndAnswer(std::deque<int> answers) {
        messages.answers = std::move(answers);
        SelectTask("灯具");
        Trigger("actStart");
    }

    void CloseRunPage() {
        window->pages().CloseTaskPage(window->pages().FindTaskPage(QStringLiteral("灯具")));
    }

    std::vector<MemberValues> StoredValues() {
        Connection db(DataFile("灯具"), DatabaseKind::DataFile);
        DataPacket p = db.Query("SELECT * FROM DataList ORDER BY ID");
        std::vector<MemberValues> rows(p.rows.size());
        for (size_t r = 0; r < p.rows.size(); ++r)
            for (int c = 0; c < kMemberColumnCount; ++c) {
                std::string v = p.Text(r, kMemberColumns[c].name);
                rows[r][c] = kMemberColumns[c].enciphered && !v.empty() ? DecipherTextHex(v, FieldCipherKey) : v;
            }
        return rows;
    }

    void ExpectAllCompaniesInOrder() {
        std::vector<MemberValues> rows = StoredValues();
        ASSERT_EQ(rows.size(), Companies().size());
        for (size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(rows[i], Companies()[i].ValuesWithoutDetail()) << "row " << i;
    }

    long ContactFetches(int i) { return site.RequestsFor(Companies()[static_cast<size_t>(i)].contact_path); }
};

TEST_F(ContinuityTest, AnUnfinishedRunIsShownAndContinuedWhereItStopped) {
    MakeTask(5, false);
    EXPECT_EQ(State(), QStringLiteral("未完成"));

    StartAndAnswer({4});  // 取消
    ASSERT_FALSE(messages.shown.empty());
    const widgets::ShownMessage& question = messages.shown.back();
    EXPECT_EQ(question.box, widgets::ShownMessage::Box::Choice);
    EXPECT_EQ(question.choices, (QStringList{QStringLiteral("继续上次的抓取"), QStringLiteral("只采集新公司"),
                                             QStringLiteral("重新开始"), QStringLiteral("更新已有公司"),
                                             QStringLiteral("取消")}));
    EXPECT_EQ(window->pages().FindTaskPage(QStringLiteral("灯具")), -1);
    EXPECT_EQ(StoredValues().size(), 5u);

    StartAndAnswer({0});  // 继续上次的抓取
    ASSERT_TRUE(RunUntil([&] { return TaskEnded("灯具"); }));
    auto texts = PageMessages("灯具");
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(texts[0], "灯具：开始抓取数据......");
    EXPECT_EQ(texts[1], "继续上次的抓取：从第 1 页的第 6 个公司开始......");
    EXPECT_EQ(texts.back(), "灯具：数据抓取完成");
    EXPECT_EQ(PageRecords("灯具"), 12) << "the stored rows are shown, then the new ones";
    ExpectAllCompaniesInOrder();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(ContactFetches(i), 0) << "stored company " << i << " read";
    EXPECT_EQ(State(), QStringLiteral("完成"));
}

TEST_F(ContinuityTest, AFinishedFileOffersNewOnlyRestartOrCancel) {
    MakeTask(12, true);
    EXPECT_EQ(State(), QStringLiteral("完成")) << "what the file holds";
    {
        Connection db(DataFile("灯具"), DatabaseKind::DataFile);
        db.Execute("DELETE FROM DataList WHERE ID IN (2, 9)");
    }
    StartAndAnswer({0});  // 只采集新公司
    EXPECT_EQ(messages.shown.back().choices,
              (QStringList{QStringLiteral("只采集新公司"), QStringLiteral("重新开始"), QStringLiteral("更新已有公司"),
                           QStringLiteral("取消")}));
    ASSERT_TRUE(RunUntil([&] { return TaskEnded("灯具"); }));
    std::vector<MemberValues> rows = StoredValues();
    ASSERT_EQ(rows.size(), 12u);
    EXPECT_EQ(rows[10], Companies()[1].ValuesWithoutDetail());
    EXPECT_EQ(rows[11], Companies()[8].ValuesWithoutDetail());
    for (int i : {0, 2, 5, 11}) EXPECT_EQ(ContactFetches(i), 0) << "kept company " << i << " read";
    CloseRunPage();

    // 重新开始 asks the emptying question; No keeps the file as it is.
    StartAndAnswer({1, widgets::mrNo});
    EXPECT_EQ(messages.Last(), "这个任务已经被采集过，如果需要重新采集，将会将原有的数据删除。确认吗？");
    EXPECT_EQ(window->pages().FindTaskPage(QStringLiteral("灯具")), -1);
    EXPECT_EQ(StoredValues().size(), 12u);

    StartAndAnswer({1, widgets::mrYes});
    ASSERT_TRUE(RunUntil([&] { return TaskEnded("灯具"); }));
    ExpectAllCompaniesInOrder();
    EXPECT_EQ(ContactFetches(0), 1);
}

// A retry of a task that stopped half-way leaves it unfinished: the list shows what the
// file holds, its state and all its records, not the retry's own outcome and count.
TEST_F(ContinuityTest, AfterARetryTheListShowsWhatTheFileHolds) {
    MakeTask(7, false);
    LoseToAFailedPage(Companies()[7]);
    Reload();
    QTableWidget* list = window->commands().taskList();
    EXPECT_EQ(State(), QStringLiteral("未完成"));
    EXPECT_EQ(widgets::CellText(list, 0, kStoredColumn), QStringLiteral("7"));
    SelectTask("灯具");
    Trigger("actRetryFailed");
    ASSERT_TRUE(RunUntil([&] { return TaskEnded("灯具"); }));
    ASSERT_EQ(StoredValues().size(), 8u);
    EXPECT_EQ(State(), QStringLiteral("未完成"));
    EXPECT_EQ(widgets::CellText(list, 0, kStoredColumn), QStringLiteral("8"));
    ProcessFor(std::chrono::milliseconds(600));  // the progress refresh does not undo it
    EXPECT_EQ(State(), QStringLiteral("未完成"));
    EXPECT_EQ(widgets::CellText(list, 0, kStoredColumn), QStringLiteral("8"));
}

TEST_F(ContinuityTest, RetryingFailedCompaniesAppendsThoseThatAnswerAndShowsTheCause) {
    MakeTask(12, true);
    SelectTask("灯具");
    Trigger("actRetryFailed");
    EXPECT_EQ(messages.Last(), "这个任务没有因为网页抓取失败而跳过的公司。");

    // Company 4 was lost to a failed contact page; a second one names a page that is gone.
    const SimCompany& lost = Companies()[3];
    {
        Connection db(DataFile("灯具"), DatabaseKind::DataFile);
        db.Execute("DELETE FROM DataList WHERE ID=4");
        BeginRun(db, site.SearchUrl("灯具"), RunMode::Fresh);
    }
    {
        RunStep gone = LoseToAFailedPage(lost);
        Connection db(DataFile("灯具"), DatabaseKind::DataFile);
        gone.failure->url = gone.failure->contact_link = site.BaseUrl() + "/company/nobody/contactinfo.htm";
        gone.failure->member_id = "nobody";
        CommitRunStep(db, gone);
    }
    Trigger("actRetryFailed");
    ASSERT_TRUE(RunUntil([&] { return TaskEnded("灯具"); }));
    std::vector<MemberValues> rows = StoredValues();
    ASSERT_EQ(rows.size(), 12u);
    EXPECT_EQ(rows.back(), lost.ValuesWithoutDetail());

    // The message says the cause after its 连接失败, and the tooltip again.
    QTableWidget* log = window->pages().PageAt(window->pages().FindTaskPage(QStringLiteral("灯具")))
                            ->record().LogGrid;
    int failed_row = -1;
    for (int r = 0; r < log->rowCount(); ++r)
        if (widgets::CellText(log, r, 1) == QStringLiteral("抓取联系方式网页时产生错误：连接失败（HTTP 404（网页不存在）），忽略，继续抓取"))
            failed_row = r;
    ASSERT_GE(failed_row, 0);
    EXPECT_EQ(log->item(failed_row, 1)->toolTip(), QStringLiteral("原因：HTTP 404（网页不存在）"));

    Connection db(DataFile("灯具"), DatabaseKind::DataFile);
    std::vector<FailedPage> left = ReadFailedPages(db);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].member_id, "nobody");
    EXPECT_EQ(left[0].cause, "HTTP 404");
}

}  // namespace
}  // namespace qv::test
