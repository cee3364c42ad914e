#include <gtest/gtest.h>

#include <QAction>
#include <QDesktopServices>
#include <QItemSelectionModel>
#include <QProgressDialog>
#include <QStatusBar>
#include <QUrl>

#include "core/data_files.h"
#include "core/database.h"
#include "core/field_cipher.h"
#include "tasks/task_commands.h"
#include "tasks/task_pages.h"
#include "tests/ui/gui_fixture.h"
#include "ui/main_window.h"
#include "widgets/member_grid.h"

namespace qv::test {
namespace {

using widgets::MsgDlgType;

// Takes the place of the system browser for the schemes it is registered for.
class BrowserRecorder : public QObject {
    Q_OBJECT
public:
    BrowserRecorder() {
        for (const char* scheme : {"http", "https", "file"})
            QDesktopServices::setUrlHandler(QString::fromUtf8(scheme), this, "open");
    }
    ~BrowserRecorder() override {
        for (const char* scheme : {"http", "https", "file"})
            QDesktopServices::unsetUrlHandler(QString::fromUtf8(scheme));
    }
    QStringList opened;
public slots:
    void open(const QUrl& url) { opened.append(url.toString()); }
};

// The records of a task data file as a detail download sees them: collected without
// their company details, and shown on a viewing page.
class GridCommandsTest : public MainWindowFixture {
protected:
    explicit GridCommandsTest(SiteOptions options = DefaultSite()) : MainWindowFixture(options) {}

    // Adds the task of the keyword search with an empty data file and selects it.
    void AddTask() {
        InsertTask(kTask, site.SearchUrl(kKeyword));
        CreateDatabaseFile(DataFile(kTask), true);
        ExecuteOnDatabaseFile(DataFile(kTask), kCreateDataListSql);
        window->commands().LoadTasks();
        window->commands().FillTaskListGrid();
        SelectTask(kTask);
        window->commands().UpdateTaskActions(window->commands().SelectedNumber());
        window->commands().UpdateCommandActions();
    }

    // Stores the first `n` companies of the keyword's search without their details, with
    // `edit` applied to each, and opens the task's viewing page.
    void OpenTask(int n, const std::function<void(int, MemberValues&)>& edit = {}) {
        AddTask();
        const auto& companies = site.CompaniesFor(kKeyword);
        for (int i = 0; i < n; ++i) {
            MemberValues v = companies[static_cast<size_t>(i)].ValuesWithoutDetail();
            if (edit) edit(i, v);
            ExecuteOnDatabaseFile(DataFile(kTask), BuildInsertStatement(v));
        }
        Trigger("actViewData");
        ASSERT_TRUE(window->pages().ShownPage());
        grid = window->pages().ShownPage()->record().MemberGrid;
    }

    // The values a faultless crawl with details stores for company i.
    const MemberValues& Collected(int i) {
        return site.CompaniesFor(kKeyword)[static_cast<size_t>(i)].values;
    }

    void SelectRecords(std::initializer_list<int> records) {
        grid->clearSelection();
        grid->setCurrentIndex(grid->model()->index(*records.begin(), 1));
        for (int r : records)
            grid->selectionModel()->select(grid->model()->index(r, 1), QItemSelectionModel::Select);
    }

    void Download() { window->pages().gridMenu().actGetCompDetail->trigger(); }

    std::string Cell(int record, int column) {
        return grid->memberModel()->Cell(record, column).toStdString();
    }

    // The stored profile columns of every record, deciphered, in ID order.
    std::vector<std::vector<std::string>> StoredDetails() {
        Connection db(DataFile(kTask), DatabaseKind::DataFile);
        DataPacket rows = db.Query("SELECT * FROM DataList ORDER BY ID");
        std::vector<std::vector<std::string>> out;
        for (size_t r = 0; r < rows.rows.size(); ++r) {
            std::vector<std::string> details;
            for (int f = mfCompanyContext; f <= mfBankAccount; ++f) {
                std::string stored = rows.Text(r, kMemberColumns[f].name);
                details.push_back(kMemberColumns[f].enciphered && !stored.empty()
                                      ? DecipherTextHex(stored, FieldCipherKey)
                                      : stored);
            }
            out.push_back(details);
        }
        return out;
    }

    static std::vector<std::string> DetailsOf(const MemberValues& v) {
        return {v.begin() + mfCompanyContext, v.end()};
    }

    // Grid columns 14 to 28 and 31 of a record, in DataList order.
    std::vector<std::string> ShownDetails(int record) {
        std::vector<std::string> out{Cell(record, 31)};
        for (int c = 14; c <= 28; ++c) out.push_back(Cell(record, c));
        return out;
    }

    const std::string kTask = "明细";
    const std::string kKeyword = "灯具";
    const std::string kDeadLink = "http://127.0.0.1:1/company/x/creditdetail.htm";
    widgets::MemberGridView* grid = nullptr;
};

const std::vector<std::string> kNoDetails(16);

TEST_F(GridCommandsTest, ADownloadCompletesTheSelectedRecordInTheGridAndTheFile) {
    OpenTask(3);
    ASSERT_FALSE(DetailsOf(Collected(1))[1].empty()) << "the company has details to find";
    SelectRecords({1});
    Download();
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"会员详细信息下载成功"});
    EXPECT_EQ(ShownDetails(1), DetailsOf(Collected(1)));
    EXPECT_EQ(ShownDetails(0), kNoDetails);
    EXPECT_EQ(ShownDetails(2), kNoDetails);
    auto stored = StoredDetails();
    EXPECT_EQ(stored[1], DetailsOf(Collected(1)));
    EXPECT_EQ(stored[0], kNoDetails);
    EXPECT_EQ(stored[2], kNoDetails);
}

TEST_F(GridCommandsTest, APageThatCannotBeFetchedOrYieldsNothingChangesNothing) {
    OpenTask(3, [this](int i, MemberValues& v) {
        if (i == 0) v[mfCmpDetail] = kDeadLink;
        // The leave-a-message page is a page of the site without any company details.
        if (i == 1) v[mfCmpDetail] = v[mfSendMsgLink];
    });
    SelectRecords({0});
    Download();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, MsgDlgType::mtError);
    EXPECT_EQ(messages.shown[0].message.toStdString(), "抓取公司介绍网页时产生错误：连接失败");
    EXPECT_EQ(messages.shown[0].detail.toStdString().rfind(std::string("网址：") + kDeadLink + "\r\n原因：", 0), 0u)
        << messages.shown[0].detail.toStdString();

    messages.Clear();
    SelectRecords({1});
    Download();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, MsgDlgType::mtWarning);
    EXPECT_EQ(messages.Last(), "公司介绍网页中没有找到会员详细信息，未作任何修改。");

    EXPECT_EQ(ShownDetails(0), kNoDetails);
    EXPECT_EQ(ShownDetails(1), kNoDetails);
    for (const auto& details : StoredDetails()) EXPECT_EQ(details, kNoDetails);
}

TEST_F(GridCommandsTest, APageWithoutRecordsHasNothingToDownload) {
    OpenTask(0);
    Download();
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"请先选择要下载详细信息的会员记录。"});
    EXPECT_EQ(grid->memberModel()->RecordCount(), 0);
}

TEST_F(GridCommandsTest, SeveralRecordsAreDownloadedOneAfterTheOtherWithASummary) {
    OpenTask(5, [this](int i, MemberValues& v) {
        if (i == 1) v[mfCmpDetail] = kDeadLink;
        if (i == 2) v[mfCmpDetail] = v[mfSendMsgLink];
    });
    SelectRecords({0, 1, 2, 3});
    Download();
    ASSERT_EQ(messages.shown.size(), 1u) << "one summary, no message per record";
    EXPECT_EQ(messages.Last(), "会员详细信息下载完成。成功 2 条，失败 1 条，未找到信息 1 条。");
    EXPECT_EQ(messages.shown[0].kind, MsgDlgType::mtWarning);
    EXPECT_NE(messages.shown[0].detail.toStdString().find(kDeadLink), std::string::npos);
    auto stored = StoredDetails();
    EXPECT_EQ(stored[0], DetailsOf(Collected(0)));
    EXPECT_EQ(stored[1], kNoDetails);
    EXPECT_EQ(stored[2], kNoDetails);
    EXPECT_EQ(stored[3], DetailsOf(Collected(3)));
    EXPECT_EQ(stored[4], kNoDetails) << "a record that was not selected";
    EXPECT_EQ(ShownDetails(3), DetailsOf(Collected(3)));
    EXPECT_EQ(ShownDetails(4), kNoDetails);

    messages.Clear();
    SelectRecords({3, 4});
    Download();
    EXPECT_EQ(messages.Last(), "会员详细信息下载完成。成功 2 条，失败 0 条，未找到信息 0 条。");
    EXPECT_EQ(messages.shown[0].kind, MsgDlgType::mtInformation);
}

// A marketplace that answers after three seconds, so the progress box shows.
class SlowGridCommandsTest : public GridCommandsTest {
protected:
    SlowGridCommandsTest() : GridCommandsTest(SiteWith(12, 3000)) {}
};

TEST_F(SlowGridCommandsTest, CancellingStopsTheRunAndWritesNothingMore) {
    OpenTask(3);
    QString label;
    WhenShown<QProgressDialog>([&](QProgressDialog* p) {
        label = p->labelText();
        p->cancel();
    });
    SelectRecords({0, 1, 2});
    Download();
    EXPECT_EQ(label.toStdString(), "正在下载会员详细信息（第 1 条，共 3 条）……");
    EXPECT_EQ(messages.Texts(),
              std::vector<std::string>{
                  "会员详细信息下载已取消。成功 0 条，失败 0 条，未找到信息 0 条，未下载 3 条。"});
    for (const auto& details : StoredDetails()) EXPECT_EQ(details, kNoDetails);

    // One record cancelled is no error and shows nothing.
    messages.Clear();
    WhenShown<QProgressDialog>([](QProgressDialog* p) { p->cancel(); });
    SelectRecords({1});
    Download();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(ShownDetails(1), kNoDetails);
}

// A marketplace slow enough that a download can run while the task still collects.
class RunningGridCommandsTest : public GridCommandsTest {
protected:
    RunningGridCommandsTest() : GridCommandsTest(SiteWith(40, 15)) {}
};

TEST_F(RunningGridCommandsTest, ADownloadOnTheRunPageOfACollectingTaskLosesNoRow) {
    AddTask();
    Trigger("actStart");
    ASSERT_TRUE(RunUntil([&] { return PageRecords(kTask) > 0; }));
    grid = window->pages().ShownPage()->record().MemberGrid;
    SelectRecords({0});
    Download();
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"会员详细信息下载成功"});
    ASSERT_TRUE(RunUntil([&] { return TaskEnded(kTask); }));
    auto stored = StoredDetails();
    ASSERT_EQ(stored.size(), 40u);
    EXPECT_EQ(stored[0], DetailsOf(Collected(0)));
    EXPECT_EQ(ShownDetails(0), DetailsOf(Collected(0)));
}

TEST_F(GridCommandsTest, TheLinkEntriesOpenTheirOwnColumnAndOnlyWebAddresses) {
    BrowserRecorder browser;
    OpenTask(2, [](int i, MemberValues& v) {
        v[mfCmpDetail] = i == 0 ? "https://detail.example/0" : "file:///etc/passwd";
        v[mfSendMsgLink] = "http://msg.example/" + std::to_string(i);
    });
    tasks::DataGridMenu& menu = window->pages().gridMenu();
    SelectRecords({0});
    menu.actMemberDetailDataGrid->trigger();
    menu.actMemberSendMsgDataGrid->trigger();
    EXPECT_EQ(browser.opened, (QStringList{QStringLiteral("https://detail.example/0"),
                                           QStringLiteral("http://msg.example/0")}));

    SelectRecords({1});
    menu.actMemberDetailDataGrid->trigger();
    EXPECT_EQ(browser.opened.size(), 2) << "a file: link is never handed on";
    EXPECT_EQ(window->statusBar()->currentMessage(), QStringLiteral("链接无效"));
    menu.actMemberSendMsgDataGrid->trigger();
    EXPECT_EQ(browser.opened.last(), QStringLiteral("http://msg.example/1"));

    // The reserved entry stays hidden and does nothing.
    EXPECT_FALSE(menu.actSendMsgGroup->isVisible());
    menu.actSendMsgGroup->trigger();
    EXPECT_EQ(browser.opened.size(), 3);
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace qv::test

#include "grid_commands_test.moc"
