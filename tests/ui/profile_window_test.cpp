// The window in a user's profile: the task list's states and 上次采集 after a restart, the
// refusal of a run on a file another program collects, the data folder, user category
// files, one window per profile, and --help without a display.
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTreeWidgetItemIterator>
#include <QUrl>

#include <filesystem>

#include "core/app_info.h"
#include "core/data_files.h"
#include "core/database.h"
#include "core/run_journal.h"
#include "core/run_lock.h"
#include "core/saved_tasks.h"
#include "core/version.h"
#include "directory/category_pages.h"
#include "directory/industry_page.h"
#include "directory/industry_tree.h"
#include "tasks/task_commands.h"
#include "tasks/task_pages.h"
#include "tests/support/project_database.h"
#include "tests/support/run_program.h"
#include "tests/ui/gui_fixture.h"
#include "ui/main_window.h"
#include "ui/single_instance.h"
#include "widgets/grids.h"
#include "widgets/member_grid.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

enum Column { kState = 5, kStored = 6, kLastRun = 11 };

class ProfileWindowTest : public MainWindowFixture {
protected:
    ProfileWindowTest() : MainWindowFixture(SiteWith(60, 30)) {}

    void Restart() {
        window.reset();
        window = std::make_unique<ui::TMainFrm>();
        window->show();
        QApplication::processEvents();
    }
    long long StoredRows(const std::string& name) const {
        Connection db(DataFile(name), DatabaseKind::Project);
        return db.Query("SELECT COUNT(*) AS n FROM DataList").Integer(0, "n");
    }
};

TEST_F(ProfileWindowTest, AfterARestartTheListShowsHowEachRunEndedWithItsRecordsAndWhen) {
    EXPECT_EQ(window->commands().taskList()->horizontalHeaderItem(kLastRun)->text(), QStringLiteral("上次采集"));
    AddTaskRow("完成", site.SearchUrl("甲"));
    AddTaskRow("停止", site.SearchUrl("乙"));
    AddTaskRow("失败", "http://127.0.0.1:1/search");
    AddTaskRow("中断", site.SearchUrl("丙"));
    AddTaskRow("新建", site.SearchUrl("丁"));
    {
        // A run that a kill ended: rows and a position, no end.
        Connection db(DataFile("中断"), DatabaseKind::DataFile);
        BeginRun(db, site.SearchUrl("丙"), RunMode::Fresh);
        RunStep step;
        step.row = MemberValues{};
        step.position = RunPosition{site.SearchUrl("丙"), site.SearchUrl("丙"), 1, 1, 0, false, RunMode::Fresh};
        CommitRunStep(db, step);
    }
    for (const char* name : {"完成", "失败"}) {
        SelectTask(name);
        Trigger("actStart");
        ASSERT_TRUE(RunUntil([&] { return TaskEnded(name); })) << name;
    }
    SelectTask("停止");
    Trigger("actStart");
    ASSERT_TRUE(RunUntil([&] { return StoredRows("停止") >= 3; }));
    Trigger("actCancel");  // 中止所有任务, answered OK
    const long long stopped_rows = StoredRows("停止");

    Restart();
    EXPECT_EQ(TaskListCell("完成", kState), QStringLiteral("完成"));
    EXPECT_EQ(TaskListCell("完成", kStored), QStringLiteral("60"));
    EXPECT_EQ(TaskListCell("停止", kState), QStringLiteral("已停止"));
    EXPECT_EQ(TaskListCell("停止", kStored), QString::number(stopped_rows));
    EXPECT_EQ(TaskListCell("失败", kState), QStringLiteral("失败"));
    EXPECT_EQ(TaskListCell("失败", kStored), QStringLiteral("0"));
    EXPECT_EQ(TaskListCell("中断", kState), QStringLiteral("未完成"));
    EXPECT_EQ(TaskListCell("中断", kStored), QStringLiteral("1"));
    EXPECT_EQ(TaskListCell("新建", kState), QString());
    EXPECT_EQ(TaskListCell("新建", kStored), QStringLiteral("0"));
    const QString today = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd"));
    for (const char* name : {"完成", "停止", "失败", "中断"})
        EXPECT_TRUE(TaskListCell(name, kLastRun).startsWith(today)) << name << ": " << TaskListCell(name, kLastRun).toStdString();
    EXPECT_EQ(TaskListCell("新建", kLastRun), QString());
}

TEST_F(ProfileWindowTest, AFileThatAnotherProgramCollectsCannotBeStartedOrDeleted) {
    AddTaskRow("灯具", site.SearchUrl("甲"));
    SelectTask("灯具");
    Trigger("actStart");
    ASSERT_TRUE(RunUntil([&] { return TaskEnded("灯具"); }));
    window->pages().CloseAllPages();
    const std::string before = ReadFileBytes(DataFile("灯具"));

    DataFileRunLock other = DataFileRunLock::TryAcquire(DataFile("灯具"));  // another program's run
    ReloadTaskList();
    EXPECT_EQ(TaskListCell("灯具", kState), QStringLiteral("运行"));
    EXPECT_EQ(window->commands().taskList()->item(TaskListRow("灯具"), kState)->toolTip(),
              QStringLiteral("另一个程序正在采集这个任务"));
    messages.Clear();
    SelectTask("灯具");
    Trigger("actStart");
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_EQ(messages.Last(), "任务【灯具】正在被另一个程序采集，请等它结束后再开始。");
    EXPECT_EQ(window->pages().FindTaskPage(QStringLiteral("灯具")), -1) << "no run page";
    EXPECT_EQ(StoredRows("灯具"), 60) << "nothing emptied";

    Trigger("actDelTask");
    EXPECT_EQ(messages.Last(), "任务【灯具】正在被另一个程序采集，现在不能删除。");
    EXPECT_TRUE(fs::exists(DataFile("灯具")));
    EXPECT_NE(TaskListRow("灯具"), -1);

    other.Release();
    messages.Clear();
    Trigger("actStart");  // asks how to go on: 只采集新公司 is the first choice
    ASSERT_TRUE(RunUntil([&] { return TaskEnded("灯具"); }));
    EXPECT_EQ(StoredRows("灯具"), 60);
    (void)before;
}

TEST_F(ProfileWindowTest, TasksAddedOnTheCommandLineShowWhenTheWindowIsActivatedAgain) {
    AddTaskRow("窗口里的", site.SearchUrl("甲"));
    // What quorvane-cli add-task does, behind the window's back.
    AddSavedTask(AppInfo->profile, qv::TaskRow{"命令行的", "", "", "", "", "", false, false, site.SearchUrl("乙"), "备注"});
    EXPECT_EQ(TaskListRow("命令行的"), -1);
    window->commands().ReloadTasksIfChanged();
    EXPECT_NE(TaskListRow("命令行的"), -1);
    EXPECT_EQ(TaskListCell("命令行的", kStored), QStringLiteral("0"));
    const int rows = window->commands().taskList()->rowCount();
    window->commands().ReloadTasksIfChanged();
    EXPECT_EQ(window->commands().taskList()->rowCount(), rows);
}

// The open window, never activated again, sees work done beside it within a few seconds: a
// task that quorvane-cli add-task adds, then a crawl of the command line filling its file.
TEST_F(ProfileWindowTest, WorkDoneBesideTheOpenWindowShowsWithinSeconds) {
    AddTaskRow("窗口里的", site.SearchUrl("甲"));
    AddSavedTask(AppInfo->profile, qv::TaskRow{"命令行的", "", "", "", "", "", false, false, site.SearchUrl("乙"), ""});
    EXPECT_TRUE(RunUntil([&] { return TaskListRow("命令行的") >= 0; }, 5s)) << "the task shows";
    const std::string file = DataFile("命令行的");
    if (!fs::exists(file)) {
        CreateDatabaseFile(file, true);
        ExecuteOnDatabaseFile(file, kCreateDataListSql);
    }
    {
        // What a crawl of the command line leaves: three companies and a finished run.
        Connection db(file, DatabaseKind::DataFile);
        BeginRun(db, site.SearchUrl("乙"), RunMode::Fresh);
        for (int i = 1; i <= 3; ++i) {
            RunStep step;
            MemberValues row{};
            row[mfCompanyName] = "公司" + std::to_string(i);
            step.row = row;
            step.position = RunPosition{site.SearchUrl("乙"), site.SearchUrl("乙"), 1, i, 0, i == 3, RunMode::Fresh};
            CommitRunStep(db, step);
        }
    }
    RecordRunEnd(file, RunOutcome::Finished);
    EXPECT_TRUE(RunUntil(
        [&] {
            return TaskListCell("命令行的", kState) == QStringLiteral("完成") &&
                   TaskListCell("命令行的", kStored) == QStringLiteral("3") &&
                   !TaskListCell("命令行的", kLastRun).isEmpty();
        },
        5s))
        << TaskListCell("命令行的", kState).toStdString() << " " << TaskListCell("命令行的", kStored).toStdString();
    EXPECT_EQ(TaskListCell("窗口里的", kStored), QStringLiteral("0")) << "the other task as it was";
}

// Takes the place of the file manager.
class FolderRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};

TEST_F(ProfileWindowTest, OpenDataFolderShowsTheProfilesFolderOfWritableFiles) {
    FolderRecorder files;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &files, "open");
    window->action("actOpenDataFolder")->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(files.opened.size(), 1);
    EXPECT_EQ(files.opened[0].toLocalFile().toStdString() + (files.opened[0].toLocalFile().endsWith(u'/') ? "" : "/"),
              AppInfo->profile.data_dir);
}

// An installed profile: shipped category files beside the user's own.
TEST_F(ProgramFixture, TheDirectoryOpensTheUsersCategoryFileBeforeTheShippedOne) {
    TSysInitialization::ShutDown();
    Profile p;
    p.program_dir = dir.file("usr/bin") + "/";
    p.shipped_dir = dir.file("usr/share/quorvane") + "/";
    p.data_dir = dir.file("home/.local/share/quorvane") + "/";
    p.settings_file = dir.file("home/.config/quorvane/config.ini");
    fs::create_directories(p.shipped_dir + "database");
    fs::create_directories(p.ShippedCategoryDir());
    MakeProjectDatabase(p.TemplateDatabase());
    TSysInitialization::StartUp(p);
    auto make = [](const std::string& path, int records) {
        CreateDatabaseFile(path, true);
        ExecuteOnDatabaseFile(path, kCreateDataListSql);
        Connection db(path, DatabaseKind::Project);
        db.Query("PRAGMA journal_mode=DELETE");
        for (int i = 0; i < records; ++i) {
            MemberValues v{};
            v[mfCompanyName] = "公司" + std::to_string(i);
            db.Execute(BuildInsertStatement(v));
        }
    };
    make(p.ShippedCategoryDir() + "1.101.粮食.db", 3);
    make(p.ShippedCategoryDir() + "1.102.蔬菜.db", 2);
    make(p.UserCategoryDir() + "1.101.粮食.db", 5);
    const auto shipped_before = ReadFileBytes(p.ShippedCategoryDir() + "1.102.蔬菜.db");

    ui::TMainFrm window;
    window.show();
    QApplication::processEvents();
    directory::IndustryPage& page = window.industryPage();
    auto open = [&](int id) {
        for (QTreeWidgetItemIterator it(page.tree()); *it; ++it)
            if (auto* r = directory::IndustryOf(*it); r && r->Level == directory::ilCategory && r->ID == id) {
                page.tree()->setCurrentItem(*it);
                page.CategoryTVDblClick();
                return page.pages().ShownPage()->record().MemberGrid->memberModel()->RecordCount();
            }
        return -1;
    };
    EXPECT_EQ(open(101), 5) << "the user's own file wins";
    EXPECT_EQ(open(102), 2) << "the shipped file is read where it is";
    page.CloseAllCategoryPages();
    std::vector<std::string> beside;
    for (const auto& e : fs::directory_iterator(p.ShippedCategoryDir())) beside.push_back(e.path().filename());
    std::sort(beside.begin(), beside.end());
    EXPECT_EQ(beside, (std::vector<std::string>{"1.101.粮食.db", "1.102.蔬菜.db"})) << "reading left nothing beside";
    EXPECT_EQ(ReadFileBytes(p.ShippedCategoryDir() + "1.102.蔬菜.db"), shipped_before);
}

TEST(SingleInstance, ALaterStartAsksTheFirstToComeForward) {
    const QString key = QStringLiteral("/tmp/profile-%1").arg(QCoreApplication::applicationPid());
    ui::SingleInstance first(key);
    ASSERT_TRUE(first.TakeFirstPlace());
    QSignalSpy asked(&first, &ui::SingleInstance::comeForwardRequested);
    {
        ui::SingleInstance later(key);
        EXPECT_FALSE(later.TakeFirstPlace());
        EXPECT_TRUE(later.AskFirstToComeForward());
    }
    EXPECT_TRUE(asked.count() > 0 || asked.wait(5000));
    ui::SingleInstance other_profile(key + QStringLiteral("-other"));
    EXPECT_TRUE(other_profile.TakeFirstPlace()) << "another profile has a window of its own";
}

TEST(ProgramCommandLine, HelpAndVersionNeedNoDisplay) {
    std::string out;
    // No DISPLAY and no platform plugin: a window could not even start.
    EXPECT_EQ(RunProgram({QUORVANE_BUILD_DIR "/quorvane", "--help"}, {"LANG=C.UTF-8"}, out), 0) << out;
    EXPECT_TRUE(out.starts_with("Usage: quorvane [OPTION]...")) << out;
    EXPECT_NE(out.find("--version"), std::string::npos);
    EXPECT_EQ(RunProgram({QUORVANE_BUILD_DIR "/quorvane", "--version"}, {}, out), 0);
    EXPECT_EQ(out, std::string("quorvane ") + ProgramVersion() + "\n");
}

}  // namespace
}  // namespace qv::test

#include "profile_window_test.moc"
