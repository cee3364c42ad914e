// What a new user trips over in the window: names that cannot name a file, pacing of
// every request, failures that say why, Chinese texts, help, pages that get in the way,
// the task list, the record search, copying, exporting, and the keyboard.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTreeWidget>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <vector>

#include "core/app_info.h"
#include "core/data_files.h"
#include "core/data_module.h"
#include "core/database.h"
#include "core/ini_file.h"
#include "directory/category_pages.h"
#include "directory/detail_panes.h"
#include "directory/industry_page.h"
#include "directory/industry_tree.h"
#include "directory/record_search.h"
#include "tasks/add_task_dialog.h"
#include "tasks/data_grid_menu.h"
#include "tasks/task_commands.h"
#include "tasks/task_pages.h"
#include "tasks/task_property_dialog.h"
#include "tests/support/test_http_server.h"
#include "tests/ui/gui_fixture.h"
#include "ui/help_window.h"
#include "ui/main_window.h"
#include "widgets/fetch_causes.h"
#include "widgets/grids.h"
#include "widgets/member_grid.h"
#include "widgets/member_links.h"

namespace qv::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// How much later one request may reach the in-test server than the next one does.
constexpr auto kArrivalJitter = 30ms;
constexpr int kIntervalMs = 150;

// A server that logs when each request arrived and answers every one with `status`.
class LoggingServer {
public:
    explicit LoggingServer(int status) {
        server_.server().Get(R"(/.*)", [this, status](const httplib::Request&, httplib::Response& res) {
            {
                std::lock_guard lock(mutex_);
                starts_.push_back(Clock::now());
            }
            res.status = status;
            res.set_content("<html>page</html>", "text/html");
        });
        server_.Start();
    }
    std::string Url(const std::string& path) const { return server_.Url(path); }
    std::string Base() const { return server_.Url(""); }
    std::vector<Clock::time_point> Starts() const {
        std::lock_guard lock(mutex_);
        return starts_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Clock::time_point> starts_;
    TestHttpServer server_;  // stops first, while what its handler uses still exists
};

// Every gap between two request starts holds the interval, so n requests span at least
// (n - 1) intervals.
void ExpectPaced(const std::vector<Clock::time_point>& starts, std::chrono::milliseconds interval) {
    for (size_t i = 1; i < starts.size(); ++i)
        EXPECT_GE(starts[i] - starts[i - 1], interval - kArrivalJitter) << "gap " << i;
    if (starts.size() > 1) {
        EXPECT_GE(starts.back() - starts.front(), (interval - kArrivalJitter) * (starts.size() - 1));
    }
}

class DailyUse : public MainWindowFixture {
protected:
    explicit DailyUse(SiteOptions options = DefaultSite()) : MainWindowFixture(options) {}

    DataPacket Tasks() { return MiddleObj->QueryRecords("SELECT * FROM Tasks ORDER BY ID").value(); }
    QTableWidget* List() { return window->commands().taskList(); }

    // A task whose data file holds `records` companies whose profile links point at `profile`.
    void StoredTask(const std::string& name, int records, const std::string& profile = "http://detail/") {
        InsertTask(name, site.SearchUrl(name));
        WriteDataFile(DataFile(name), records, [&profile](int i, MemberValues& v) {
            v[mfCompanyName] = "公司" + std::to_string(i);
            v[mfMemberType] = "诚信通会员";
            v[mfPhone] = "0571-" + std::to_string(80000000 + i);
            v[mfAddress] = "杭州市\t文一路 " + std::to_string(i) + " 号";
            v[mfCmpDetail] = profile + std::to_string(i);
            v[mfSendMsgLink] = "http://message/" + std::to_string(i);
        });
        window->commands().LoadTasks();
        window->commands().FillTaskListGrid();
        window->commands().UpdateTaskActions(window->commands().SelectedNumber());
        window->commands().UpdateCommandActions();
    }
    widgets::MemberGridView* ViewTask(const std::string& name) {
        SelectTask(name);
        Trigger("actViewData");
        tasks::TaskDataPage* page = window->pages().ShownPage();
        return page ? page->record().MemberGrid : nullptr;
    }
    int TaskPagesOf(const std::string& name) {
        int n = 0;
        for (int i = 1; i < window->pages().PageCount(); ++i)
            n += window->pages().PageAt(i)->record().PageKey == QString::fromStdString(name) ? 1 : 0;
        return n;
    }
    QString Cell(int row, const char* heading) {
        QTableWidget* list = List();
        for (int c = 0; c < list->columnCount(); ++c)
            if (list->horizontalHeaderItem(c)->text() == QString::fromUtf8(heading))
                return widgets::CellText(list, row, c);
        ADD_FAILURE() << "no column " << heading;
        return {};
    }
};

// ---- 1: names that cannot be a file name -------------------------------------------------

TEST_F(DailyUse, ANameThatCannotNameAFileIsRefusedBeforeAnythingIsStored) {
    std::vector<std::string> warnings;
    WhenShown<tasks::TfrmAddTask>([](tasks::TfrmAddTask* d) {
        d->findChild<QLineEdit*>(QStringLiteral("KeywordEdit"))->setText(QStringLiteral("灯具"));
        d->findChild<QPushButton*>(QStringLiteral("OkBTN"))->click();
    });
    WhenShown<tasks::TfrmTaskProperty>([&](tasks::TfrmTaskProperty* d) {
        auto* name = d->findChild<QLineEdit*>(QStringLiteral("edtTaskName"));
        for (const QString& bad : {QStringLiteral("灯具/测试"), QStringLiteral(".."), QStringLiteral("灯具\t测试"),
                                   QStringLiteral("灯具\u3000")}) {
            name->setText(bad);
            d->findChild<QPushButton*>(QStringLiteral("OkBTN"))->click();
            EXPECT_TRUE(d->isVisible()) << bad.toStdString();
            warnings.push_back(messages.Last());
        }
        // Backing out goes back to the add dialog; cancelling that ends it.
        WhenShown<tasks::TfrmAddTask>([](tasks::TfrmAddTask* again) { again->reject(); });
        d->reject();
    });
    Trigger("actAddTask");
    ASSERT_EQ(warnings.size(), 4u);
    EXPECT_EQ(warnings[0], "任务名称不能包含字符“/”：它不能用作文件名。");
    EXPECT_EQ(warnings[1], "任务名称不能是“..”：它不能用作文件名。");
    EXPECT_EQ(warnings[2], "任务名称不能包含控制字符（U+0009）。");
    EXPECT_EQ(warnings[3], "任务名称的开头和结尾不能是空格。");
    EXPECT_TRUE(Tasks().rows.empty());
    EXPECT_TRUE(fs::is_empty(AppInfo->DataDir));
}

// ---- 2, 4, 5: pacing, a failed count fetch, Chinese causes -------------------------------

TEST_F(DailyUse, DetailDownloadOfSeveralRowsKeepsTheRequestInterval) {
    WriteSetting(AppInfo->SettingsFile, settings::kRequestInterval, kIntervalMs);
    LoggingServer profiles(200);
    constexpr int kRows = 5;
    StoredTask("灯具", kRows, profiles.Url("/profile/"));
    widgets::MemberGridView* grid = ViewTask("灯具");
    ASSERT_TRUE(grid);
    grid->selectAll();
    messages.Clear();
    window->pages().gridMenu().actGetCompDetail->trigger();
    ASSERT_EQ(profiles.Starts().size(), static_cast<size_t>(kRows));
    ExpectPaced(profiles.Starts(), std::chrono::milliseconds(kIntervalMs));
}

TEST_F(DailyUse, CountFetchIsPacedAndAFailureSaysWhyAndReopensTheDialogWithTheInput) {
    WriteSetting(AppInfo->SettingsFile, settings::kRequestInterval, kIntervalMs);
    LoggingServer failing(500);
    WriteSetting(AppInfo->SettingsFile, settings::kSearchHost, failing.Base());
    bool reopened_with_input = false;
    WhenShown<tasks::TfrmAddTask>([&](tasks::TfrmAddTask* d) {
        d->findChild<QLineEdit*>(QStringLiteral("KeywordEdit"))->setText(QStringLiteral("灯具"));
        d->findChild<QComboBox*>(QStringLiteral("ProvinceCB"))->setCurrentText(QStringLiteral("浙江"));
        d->findChild<QComboBox*>(QStringLiteral("CityCB"))->setCurrentText(QStringLiteral("杭州"));
        d->findChild<QComboBox*>(QStringLiteral("BiztypeCB"))->setCurrentIndex(2);
        d->findChild<QCheckBox*>(QStringLiteral("onlyAliMemberCHK"))->setChecked(true);
        d->findChild<QPushButton*>(QStringLiteral("OkBTN"))->click();
        // After the error the dialog comes back with what was entered.
        WhenShown<tasks::TfrmAddTask>([&](tasks::TfrmAddTask* again) {
            reopened_with_input =
                again->findChild<QLineEdit*>(QStringLiteral("KeywordEdit"))->text() == QStringLiteral("灯具") &&
                again->findChild<QComboBox*>(QStringLiteral("ProvinceCB"))->currentText() == QStringLiteral("浙江") &&
                again->findChild<QComboBox*>(QStringLiteral("CityCB"))->currentText() == QStringLiteral("杭州") &&
                again->findChild<QComboBox*>(QStringLiteral("BiztypeCB"))->currentIndex() == 2 &&
                again->findChild<QCheckBox*>(QStringLiteral("onlyAliMemberCHK"))->isChecked();
            again->reject();
        });
    });
    Trigger("actAddTask");
    EXPECT_TRUE(reopened_with_input);
    ASSERT_EQ(messages.shown.size(), 1u);
    const widgets::ShownMessage& error = messages.shown[0];
    EXPECT_EQ(error.message, QStringLiteral("抓取满足条件的任务数据时产生错误，错误信息如下：\r\n"
                                            "连接失败：HTTP 500（服务器内部错误）"));
    EXPECT_TRUE(error.detail.startsWith(QStringLiteral("网址：") + QString::fromStdString(failing.Base())));
    EXPECT_TRUE(error.detail.endsWith(QStringLiteral("原因：HTTP 500（服务器内部错误）")));
    // Six tries, each after the interval.
    EXPECT_EQ(failing.Starts().size(), 6u);
    ExpectPaced(failing.Starts(), std::chrono::milliseconds(kIntervalMs));
    EXPECT_TRUE(Tasks().rows.empty());
}

TEST_F(DailyUse, AMarketplaceThatIsDownIsNamedInChinese) {
    int closed_port = 0;
    {
        LoggingServer gone(200);
        closed_port = std::stoi(gone.Base().substr(gone.Base().rfind(':') + 1));
    }
    WriteSetting(AppInfo->SettingsFile, settings::kSearchHost, "http://127.0.0.1:" + std::to_string(closed_port));
    WhenShown<tasks::TfrmAddTask>([](tasks::TfrmAddTask* d) {
        d->findChild<QLineEdit*>(QStringLiteral("KeywordEdit"))->setText(QStringLiteral("灯具"));
        d->findChild<QPushButton*>(QStringLiteral("OkBTN"))->click();
        WhenShown<tasks::TfrmAddTask>([](tasks::TfrmAddTask* again) { again->reject(); });
    });
    Trigger("actAddTask");
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_TRUE(messages.shown[0].message.endsWith(QStringLiteral("连接失败：连接被拒绝")))
        << messages.shown[0].message.toStdString();
}

TEST_F(DailyUse, CausesShowInChineseAndUnknownOnesAsTheyAre) {
    EXPECT_EQ(widgets::ShownCause("connection refused"), QStringLiteral("连接被拒绝"));
    EXPECT_EQ(widgets::ShownCause("timeout"), QStringLiteral("超时"));
    EXPECT_EQ(widgets::ShownCause("connection reset"), QStringLiteral("连接被重置"));
    EXPECT_EQ(widgets::ShownCause("too many redirects"), QStringLiteral("重定向次数过多"));
    EXPECT_EQ(widgets::ShownCause("HTTP 404"), QStringLiteral("HTTP 404（网页不存在）"));
    EXPECT_EQ(widgets::ShownCause("HTTP 418"), QStringLiteral("HTTP 418"));
    EXPECT_EQ(widgets::ShownCause("proxy refused"), QStringLiteral("代理服务器拒绝连接"));
    EXPECT_EQ(widgets::ShownCause("proxy HTTP 502"), QStringLiteral("代理服务器应答 HTTP 502（网关错误）"));
    EXPECT_EQ(widgets::ShownCause("no profile layout"), QStringLiteral("公司介绍网页中没有公司介绍"));
    EXPECT_EQ(widgets::ShownCause("some new cause"), QStringLiteral("some new cause"));
    EXPECT_EQ(widgets::FailedFetchDetail(QStringLiteral("http://x/1"), ""), QStringLiteral("网址：http://x/1"));

    // The tooltip of a failed page's message line.
    StoredTask("灯具", 0);
    tasks::TTaskTab& tab = window->pages().OpenRunPage(QStringLiteral("灯具"), DataFile("灯具"));
    tab.Sink->AppendMessage("灯具：抓取联系方式网页时产生错误：连接失败，忽略，继续抓取");
    tab.Sink->ShowMessageCause("connection reset", "");
    EXPECT_EQ(tab.LogGrid->item(0, 1)->toolTip(), QStringLiteral("原因：连接被重置"));
}

// ---- 3, 13: export --------------------------------------------------------------------

class DailyUseExport : public DailyUse {
protected:
    // Answers the next save dialog with `file` and the type at `type` (-1: as offered),
    // and returns what it offered: the folder it opened in, the selected type, the types.
    struct Offer {
        QString folder;
        QString selected;
        QStringList types;
    };
    Offer ExportAs(const QString& file, int type = -1) {
        Offer offer;
        WhenShown<QFileDialog>([&](QFileDialog* dialog) {
            offer = {dialog->directory().absolutePath(), dialog->selectedNameFilter(), dialog->nameFilters()};
            if (type >= 0) {
                dialog->selectNameFilter(dialog->nameFilters()[type]);
                emit dialog->filterSelected(dialog->nameFilters()[type]);
            }
            dialog->selectFile(file);
            static_cast<QDialog*>(dialog)->accept();
        });
        window->pages().gridMenu().actExport->trigger();
        return offer;
    }
};

TEST_F(DailyUseExport, XlsxComesFirstAndTheDialogRemembersFolderAndType) {
    StoredTask("灯具", 3);
    ASSERT_TRUE(ViewTask("灯具"));
    const fs::path first = dir.path() / "out1";
    fs::create_directories(first);
    Offer offer = ExportAs(QString::fromStdString((first / "a").string()));
    EXPECT_EQ(offer.types, (QStringList{QStringLiteral("Excel 2007 及以上 (*.xlsx)"), QStringLiteral("CSV UTF-8 (*.csv)"),
                                        QStringLiteral("Excel 97-2003，用于中文 Windows（GBK 编码） (*.xls)"),
                                        QStringLiteral("通讯录名片 (*.vcf)"), QStringLiteral("HubSpot 导入文件 (*.csv)"),
                                        QStringLiteral("Salesforce 导入文件 (*.csv)"),
                                        QStringLiteral("Zoho CRM 导入文件 (*.csv)")}));
    EXPECT_EQ(offer.selected, offer.types[0]);
    EXPECT_TRUE(fs::exists(first / "a.xlsx")) << "the default type adds its extension";

    offer = ExportAs(QString::fromStdString((first / "b").string()), 1);
    EXPECT_TRUE(fs::exists(first / "b.csv"));
    // The next dialog opens where the last file went, with the last type.
    offer = ExportAs(QString::fromStdString((first / "c").string()));
    EXPECT_EQ(offer.folder, QString::fromStdString(first.string()));
    EXPECT_EQ(offer.selected, QStringLiteral("CSV UTF-8 (*.csv)"));
    EXPECT_TRUE(fs::exists(first / "c.csv"));
}

TEST_F(DailyUseExport, AFailedExportShowsTheFileAndTheReason) {
    StoredTask("灯具", 3);
    ASSERT_TRUE(ViewTask("灯具"));
    const QString target = QString::fromStdString((dir.path() / "missing" / "a.xlsx").string());
    messages.Clear();
    ExportAs(target);
    ASSERT_EQ(messages.shown.size(), 1u);
    const widgets::ShownMessage& m = messages.shown[0];
    EXPECT_EQ(m.kind, widgets::MsgDlgType::mtWarning);
    EXPECT_TRUE(m.message.startsWith(QStringLiteral("数据导出失败。\r\n\r\n文件："))) << m.message.toStdString();
    EXPECT_TRUE(m.message.contains(QStringLiteral("/missing/a.xlsx\r\n原因："))) << m.message.toStdString();
    EXPECT_TRUE(m.message.contains(QStringLiteral("\r\n原因：") + m.detail)) << m.message.toStdString();
    EXPECT_TRUE(m.buttons & widgets::mbDetails);
    EXPECT_FALSE(m.detail.isEmpty());
}

// ---- 6, 7: Qt's texts, help ------------------------------------------------------------

TEST_F(DailyUse, QtsOwnTextsAreChinese) {
    EXPECT_EQ(QCoreApplication::translate("QLineEdit", "&Undo"), QStringLiteral("撤消(&U)"));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("查找范围："));
}

TEST_F(DailyUse, F1ShowsTheGuideShippedBesideTheProgram) {
    const std::string page = ui::FindHelpPage(QUORVANE_BUILD_DIR);
    ASSERT_FALSE(page.empty()) << "the build copies the guide into help/";
    window->SetHelpPage(QString::fromStdString(page));
    QAction* guide = window->findChild<QAction*>(QStringLiteral("actHelpEntry"));
    ASSERT_TRUE(guide);
    EXPECT_EQ(guide->text(), QStringLiteral("使用说明"));
    EXPECT_EQ(guide->shortcut(), QKeySequence(Qt::Key_F1));
    guide->trigger();
    ASSERT_TRUE(window->helpWindow());
    EXPECT_TRUE(window->helpWindow()->isVisible());
    const QString text = window->helpWindow()->browser()->toPlainText();
    EXPECT_TRUE(text.contains(QStringLiteral("Quorvane 使用说明")));
    EXPECT_TRUE(text.contains(QStringLiteral("快捷键")));
    EXPECT_FALSE(text.contains(QStringLiteral("example.org")));
    Trigger("actResponse");
    EXPECT_EQ(window->helpWindow()->browser()->source().fragment(), QStringLiteral("feedback"));

    // An installed program finds it under <prefix>/share/quorvane; without it, a warning.
    const fs::path prefix = dir.path() / "usr";
    fs::create_directories(prefix / "bin");
    fs::create_directories(prefix / "share" / "quorvane" / "help");
    EXPECT_EQ(ui::FindHelpPage((prefix / "bin").string()), "");
    fs::copy_file(page, prefix / "share" / "quorvane" / "help" / "index.html");
    EXPECT_EQ(ui::FindHelpPage((prefix / "bin").string()),
              (prefix / "share" / "quorvane" / "help" / "index.html").string());
    window->SetHelpPage(QString());
    Trigger("actHelp");
    EXPECT_EQ(messages.Last(), "找不到使用说明（help/index.html），请重新安装程序。");
}

// ---- 8, 9, 10: pages that get in the way, a paused task, the task list ---------------------

class DailyUseRuns : public DailyUse {
protected:
    DailyUseRuns() : DailyUse(SiteWith(30, 15)) {}
};

TEST_F(DailyUseRuns, AnOpenPageThatIsNotCollectingGivesWayToStartAndDelete) {
    StoredTask("灯具", 3);
    ASSERT_TRUE(ViewTask("灯具"));
    // The viewing page goes; the run opens its own, with no warning in between.
    messages.answers = {1, widgets::mrYes};  // 重新开始, then yes, empty the file
    Trigger("actStart");
    EXPECT_EQ(TaskPagesOf("灯具"), 1);
    ASSERT_TRUE(window->pages().ShownPage()->record().LogGrid) << "a run page";
    for (const std::string& text : messages.Texts()) EXPECT_EQ(text.find("已经被打开"), std::string::npos) << text;
    ASSERT_TRUE(RunUntil([&] { return TaskEnded("灯具"); }));

    // A finished run's page gives way to the next start too.
    messages.Clear();
    messages.answers = {0};  // 只采集新公司
    Trigger("actStart");
    EXPECT_EQ(TaskPagesOf("灯具"), 1);
    ASSERT_TRUE(RunUntil([&] { return TaskEnded("灯具"); }));

    // Deleting asks once and closes the page with the task.
    messages.Clear();
    Trigger("actDelTask");
    EXPECT_EQ(messages.Texts(), (std::vector<std::string>{
                                    "你确认删除任务【 灯具 】吗？\r\n\r\n（删除任务的同时会把保存的历史数据一起删除。）",
                                    "任务删除成功，数据文件已移到回收站，需要时可以从回收站还原。"}));
    EXPECT_EQ(TaskPagesOf("灯具"), 0);
    EXPECT_TRUE(Tasks().rows.empty());
}

TEST_F(DailyUseRuns, APausedTaskShowsPausedInsteadOfATimeLeft) {
    StoredTask("灯具", 0);
    SelectTask("灯具");
    Trigger("actStart");
    ASSERT_TRUE(RunUntil([&] { return PageRecords("灯具") >= 2; }))
        << ::testing::PrintToString(PageMessages("灯具")) << messages.Last();
    Trigger("actPause");
    window->commands().RefreshProgress();
    EXPECT_EQ(Cell(0, "状态"), QStringLiteral("暂停"));
    EXPECT_EQ(Cell(0, "剩余时间"), QStringLiteral("已暂停"));
    EXPECT_EQ(Cell(0, "速度"), QString());
    ProcessFor(400ms);
    EXPECT_EQ(Cell(0, "剩余时间"), QStringLiteral("已暂停")) << "it does not grow while paused";
    Trigger("actPause");
    window->commands().RefreshProgress();
    EXPECT_NE(Cell(0, "剩余时间"), QStringLiteral("已暂停"));
    ASSERT_TRUE(RunUntil([&] { return TaskEnded("灯具"); }));
}

TEST_F(DailyUse, TheTaskListShowsWhatEachTaskSearchesAndSelectsANewTask) {
    AddTaskThroughDialogs("灯具", "灯具甲");
    AddTaskThroughDialogs("LED灯", "灯具乙");
    EXPECT_EQ(window->commands().SelectedName(), QStringLiteral("灯具乙")) << "the new task is selected";
    InsertTask("照明", site.CategorySearchUrl(58));
    window->commands().LoadTasks();
    window->commands().FillTaskListGrid();
    EXPECT_EQ(Cell(0, "关键词"), QStringLiteral("灯具"));
    EXPECT_EQ(Cell(1, "关键词"), QStringLiteral("LED灯"));
    EXPECT_EQ(Cell(2, "关键词"), QStringLiteral("照明工业"));
    // Shown beside the name; the remark takes what the other columns leave.
    QHeaderView* header = List()->horizontalHeader();
    EXPECT_EQ(header->logicalIndex(2), List()->columnCount() - 2);  // the last is 上次变化
    EXPECT_EQ(List()->horizontalHeaderItem(header->logicalIndex(2))->text(), QStringLiteral("关键词"));

    // The member grid's columns fit their headings and what they show.
    StoredTask("宽", 3);
    widgets::MemberGridView* grid = ViewTask("宽");
    ASSERT_TRUE(grid);
    ProcessFor(50ms);
    for (int c : {2, 3, 4})
        EXPECT_GE(grid->columnWidth(c), grid->horizontalHeader()->sectionSizeHint(c)) << c;
    EXPECT_GT(grid->columnWidth(3), grid->fontMetrics().horizontalAdvance(QStringLiteral("诚信通会员")))
        << "会员类型 shows 诚信通会员 whole";
}

// ---- 11: the directory search ------------------------------------------------------------

class DailyUseDirectory : public DailyUse {
protected:
    DailyUseDirectory() {
        fs::create_directories(AppInfo->CategoryDir);
        MiddleObj->ExecuteSQL("INSERT INTO Industry VALUES (90, '测试组')");
        MiddleObj->ExecuteSQL("INSERT INTO IndustryDetail VALUES (9001, 90, '灯具', 'http://x/9001')");
        const char* names[] = {"台灯厂", "吊灯公司", "台灯商行", "灯泡厂", "台灯店"};
        WriteDataFile(AppInfo->CategoryDir + "1.9001.灯具.db", 5, [&names](int i, MemberValues& v) {
            v[mfCompanyName] = names[i - 1];
            v[mfPhone] = "0571-8800" + std::to_string(i - 1);
            v[mfAddress] = "杭州市文" + std::to_string(i - 1) + "路";
        });
        window.reset();  // the tree is read when the window is first shown
        window = std::make_unique<ui::TMainFrm>();
        window->show();
        window->mainPages()->setCurrentIndex(1);
        directory::IndustryPage& page = window->industryPage();
        for (QTreeWidgetItemIterator it(page.tree()); *it; ++it)
            if (auto* r = directory::IndustryOf(*it); r && r->ID == 9001 && r->Level == directory::ilCategory) {
                page.tree()->setCurrentItem(*it);
                page.CategoryTVDblClick();
            }
    }
    directory::RecordSearch& Search() { return window->industryPage().search(); }
    int CurrentRow() {
        return window->industryPage().pages().ShownPage()->record().MemberGrid->CurrentGridRow();
    }
    void EnterText(const QString& text) {
        Search().searchBox()->setEditText(text);
        emit Search().searchBox()->lineEdit()->returnPressed();
    }
};

TEST_F(DailyUseDirectory, EnterSearchesWrapsAfterTheLastHitAndANewTextStartsAtTheTop) {
    ASSERT_EQ(window->industryPage().pages().PageCount(), 1);
    EXPECT_EQ(Search().fieldList()->currentText(), QStringLiteral("公司名称")) << "a field by default";
    EnterText(QStringLiteral("台灯"));
    EXPECT_EQ(CurrentRow(), 1);
    // The history offers the text at once.
    EXPECT_EQ(Search().searchBox()->itemText(0), QStringLiteral("台灯"));
    EXPECT_EQ(Search().searchBox()->currentText(), QStringLiteral("台灯"));
    EnterText(QStringLiteral("台灯"));
    EXPECT_EQ(CurrentRow(), 3);
    EnterText(QStringLiteral("台灯"));
    EXPECT_EQ(CurrentRow(), 5);
    // Past the last hit: the first one again, with a note instead of "not found".
    EnterText(QStringLiteral("台灯"));
    EXPECT_EQ(CurrentRow(), 1);
    EXPECT_EQ(window->statusBar()->currentMessage(), QStringLiteral("已从头开始查找"));
    EXPECT_TRUE(messages.shown.empty());
    EnterText(QStringLiteral("台灯"));
    EXPECT_EQ(CurrentRow(), 3);
    // Another text starts from the top, not below the last hit.
    EnterText(QStringLiteral("灯"));
    EXPECT_EQ(CurrentRow(), 1);
    // Phone and address are searched as shown (the phone deciphered).
    Search().fieldList()->setCurrentText(QStringLiteral("电话"));
    EnterText(QStringLiteral("8800" "3"));
    EXPECT_EQ(CurrentRow(), 4);
    Search().fieldList()->setCurrentText(QStringLiteral("地址"));
    EnterText(QStringLiteral("文1路"));
    EXPECT_EQ(CurrentRow(), 2);
    // Only a text found nowhere says so.
    EnterText(QStringLiteral("没有的"));
    EXPECT_EQ(messages.Last(), "未找到符合搜索文字的记录");
}

TEST_F(DailyUseDirectory, AWindowOf800By600LeavesTheRecordsHalfThePage) {
    // The window's size without a window manager or a saved one.
    window->resize(800, 600);
    ProcessFor(std::chrono::milliseconds(100));
    widgets::MemberGridView* grid = window->industryPage().pages().ShownPage()->record().MemberGrid;
    const int rows = grid->viewport()->height() / grid->verticalHeader()->defaultSectionSize();
    EXPECT_GE(rows, 8) << "the panes below kept their full height";
    window->resize(1200, 900);
    ProcessFor(std::chrono::milliseconds(100));
    EXPECT_GE(window->industryPage().panes().height(), 300) << "with room, the panes show every line";
}

// ---- 12, 14: copy, a missing browser -----------------------------------------------------

TEST_F(DailyUse, CtrlCCopiesTheSelectedCellsAsTabSeparatedText) {
    StoredTask("灯具", 3);
    widgets::MemberGridView* grid = ViewTask("灯具");
    ASSERT_TRUE(grid);
    QAbstractItemModel* model = grid->model();
    QItemSelection cells(model->index(0, 1), model->index(1, 2));  // 公司名称, 会员帐号
    grid->selectionModel()->select(cells, QItemSelectionModel::ClearAndSelect);
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("公司1\t\n公司2\t"))
        << "lines parted by \\n, none after the last";
    // One cell pastes as the cell alone, without a line break behind it.
    grid->selectionModel()->select(model->index(1, 1), QItemSelectionModel::ClearAndSelect);
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("公司2"));

    // Whole rows: the headings first, every shown column, a cell with a tab quoted.
    grid->selectionModel()->select(QItemSelection(model->index(2, 0), model->index(2, 31)),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    window->pages().gridMenu().actCopy->trigger();
    const QStringList lines = QGuiApplication::clipboard()->text().split(u'\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("序号\t公司名称\t会员帐号\t会员类型\t")));
    EXPECT_EQ(lines[0].split(u'\t').size(), 29) << "the hidden link columns stay out";
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("3\t公司3\t\t诚信通会员\t")));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("\t\"杭州市\t文一路 3 号\"\t")));
    EXPECT_EQ(window->pages().gridMenu().actCopy->shortcut(), QKeySequence(QKeySequence::Copy));

    // The directory grid's menu offers copy and export as the task pages' does.
    QStringList entries;
    for (QAction* a : window->industryPage().pages().gridMenu()->actions()) entries << a->text();
    EXPECT_TRUE(entries.contains(QStringLiteral("复制")));
    EXPECT_TRUE(entries.contains(QStringLiteral("导出到Excel...")));
}

TEST_F(DailyUse, WithoutABrowserTheAddressGoesToTheClipboard) {
    std::vector<QUrl> asked;
    widgets::UrlOpener previous = widgets::SetUrlOpener([&](const QUrl& url) {
        asked.push_back(url);
        return false;
    });
    StoredTask("灯具", 2);
    widgets::MemberGridView* grid = ViewTask("灯具");
    ASSERT_TRUE(grid);
    grid->setCurrentIndex(grid->model()->index(1, 1));
    window->pages().gridMenu().actMemberDetailDataGrid->trigger();
    widgets::SetUrlOpener(previous);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("http://detail/2"));
    EXPECT_EQ(messages.Last(),
              "无法打开浏览器。网址已经复制到剪贴板，可以粘贴到浏览器中打开：\r\nhttp://detail/2");
}

// ---- 15, 16: the keyboard, the status bar ------------------------------------------------

TEST_F(DailyUse, KeysReachTheCommandsAndTheMenusShowThem) {
    EXPECT_EQ(window->action("actAddTask")->shortcut(), QKeySequence(Qt::Key_Insert));
    EXPECT_EQ(window->action("actStart")->shortcut(), QKeySequence(Qt::Key_F5));
    EXPECT_EQ(window->action("actDelTask")->shortcut(), QKeySequence(QKeySequence::Delete));
    QMenu* tasks = nullptr;
    for (QAction* menu : window->menuBar()->actions())
        if (menu->text() == QStringLiteral("任务(&T)")) tasks = menu->menu();
    ASSERT_TRUE(tasks);
    for (const char* name : {"actAddTask", "actStart", "actDelTask"})
        EXPECT_TRUE(tasks->actions().contains(window->action(name))) << name;

    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    bool asked_to_add = false;
    WhenShown<tasks::TfrmAddTask>([&](tasks::TfrmAddTask* d) {
        asked_to_add = true;
        d->reject();
    });
    QTest::keyClick(window.get(), Qt::Key_Insert);
    EXPECT_TRUE(RunUntil([&] { return asked_to_add; }, 5s));

    StoredTask("灯具", 1);
    SelectTask("灯具");
    window->activateWindow();  // the dialog took it
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    List()->setFocus();
    messages.answers = {widgets::mrNo};
    QTest::keyClick(List(), Qt::Key_Delete);
    ASSERT_FALSE(messages.shown.empty()) << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString() : "none");
    EXPECT_EQ(messages.Last().rfind("你确认删除任务【 灯具 】吗？", 0), 0u) << messages.Last();
    EXPECT_EQ(Tasks().rows.size(), 1u);

    // Ctrl+F on the directory page goes to the search box.
    window->mainPages()->setCurrentIndex(1);
    window->industryPage().pages().actFind->trigger();
    EXPECT_TRUE(window->industryPage().search().searchBox()->hasFocus())
        << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className() : "none");
    EXPECT_EQ(window->industryPage().pages().actFind->shortcut(), QKeySequence(QKeySequence::Find));
}

TEST_F(DailyUse, TheStatusBarFollowsTheShownPage) {
    StoredTask("灯具", 3);
    StoredTask("服装", 2);
    ASSERT_TRUE(ViewTask("灯具"));
    EXPECT_EQ(StatusText(), QStringLiteral("合计：3 条，当前第 1 条"));
    // The directory page has no category open: none of the task page's counts stay.
    window->mainPages()->setCurrentIndex(1);
    EXPECT_EQ(StatusText(), QString());
    window->mainPages()->setCurrentIndex(0);
    EXPECT_EQ(StatusText(), QStringLiteral("合计：3 条，当前第 1 条"));
    // A task without a page shows the start page, and no counts.
    SelectTask("服装");
    EXPECT_EQ(StatusText(), QString());
    SelectTask("灯具");
    Trigger("actPrev");
    EXPECT_EQ(StatusText(), QString()) << "the start page";
}

}  // namespace
}  // namespace qv::test

