// The saved tasks of a profile with what their files say, adding a task from outside the
// window, and how a run's end is recorded in its file.
#include "core/saved_tasks.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/data_files.h"
#include "core/database.h"
#include "core/run_journal.h"
#include "core/run_lock.h"
#include "core/task_name.h"
#include "core/text.h"
#include "tests/support/project_database.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

class SavedTasksTest : public ::testing::Test {
protected:
    SavedTasksTest() {
        fs::create_directories(dir.file("database"));
        fs::create_directories(dir.file("Data"));
        test::MakeProjectDatabase(profile.ProjectDatabase());
    }
    SavedTask Add(const std::string& name, const std::string& url = "http://m.example/s?k=1") {
        return AddSavedTask(profile, TaskRow{name, "", "", "", "", "", false, false, url, "备注"});
    }
    // Gives the task's file `rows` stored companies of a run that finished or not.
    void Run(const std::string& name, int rows, bool finished) {
        Connection db(TaskDataFilePath(profile.TaskDir(), name), DatabaseKind::DataFile);
        BeginRun(db, "http://m.example/s?k=1", RunMode::Fresh);
        for (int i = 0; i < rows; ++i) {
            RunStep step;
            step.row = MemberValues{};
            (*step.row)[mfCompanyName] = "公司" + std::to_string(i);
            step.position = RunPosition{};
            step.position->entries_done = i + 1;
            step.position->finished = finished && i + 1 == rows;
            CommitRunStep(db, step);
        }
    }
    const SavedTask& Listed(const std::string& name) {
        listed = ListSavedTasks(profile);
        for (const SavedTask& t : listed)
            if (t.name == name) return t;
        throw std::runtime_error("not listed: " + name);
    }
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (const SavedTask& t : ListSavedTasks(profile)) names.push_back(t.name);
        return names;
    }

    test::TempDir dir;
    Profile profile = PortableProfile(dir.path().string());
    std::vector<SavedTask> listed;
};

TEST_F(SavedTasksTest, AnAddedTaskHasItsRowAndItsEmptyDataFile) {
    SavedTask t = Add("  灯具 ");
    EXPECT_EQ(t.name, "灯具") << "trimmed, as the properties dialog does";
    EXPECT_EQ(t.url, "http://m.example/s?k=1");
    EXPECT_EQ(t.remark, "备注");
    EXPECT_EQ(t.data_file, profile.TaskDir() + "灯具.db");
    EXPECT_TRUE(t.file.exists);
    EXPECT_EQ(t.file.records, 0);
    EXPECT_EQ(t.file.state, "");
    Connection db(t.data_file, DatabaseKind::Project);
    EXPECT_EQ(db.Query("SELECT COUNT(*) AS n FROM DataList").Integer(0, "n"), 0);
}

TEST_F(SavedTasksTest, ARefusedNameKeepsNothing) {
    Add("灯具");
    Add("Lamp");
    for (const std::string& name : std::vector<std::string>{"", "   ", "lamp", "a/b", "..", "a\tb", "a\nb", std::string(245, 'x')}) {
        EXPECT_THROW(Add(name), std::runtime_error) << name;
    }
    EXPECT_EQ(Names(), (std::vector<std::string>{"灯具", "Lamp"}));
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(profile.TaskDir())) files += e.is_regular_file();
    EXPECT_EQ(files, 2u);

    // A file of that name that belongs to no task is someone's data: kept as it is.
    test::WriteFileBytes(profile.TaskDir() + "孤儿.db", "not ours");
    EXPECT_THROW(Add("孤儿"), std::runtime_error);
    EXPECT_EQ(test::ReadFileBytes(profile.TaskDir() + "孤儿.db"), "not ours");
    EXPECT_EQ(Names().size(), 2u);
}

TEST_F(SavedTasksTest, NamesTheWindowRefusesAreRefusedHereWithTheSameWords) {
    for (const std::string& name : std::vector<std::string>{"灯\x1b[31m具", "灯具\x7f", "\xff\xfe", "灯具\u3000",
                                                            "\u3000灯具", "灯\xc2\x9b具"}) {
        try {
            Add(name);
            ADD_FAILURE() << "added: " << name;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), TaskNameFault(Trim(name))) << name;
        }
    }
    EXPECT_TRUE(Names().empty());
}

TEST_F(SavedTasksTest, TheListingSaysWhatEachFileHoldsAndHowItsLastRunEnded) {
    for (const char* name : {"完成的", "中断的", "停止的", "失败的", "空的", "运行的"}) Add(name);
    Run("完成的", 3, true);
    Run("中断的", 2, false);
    Run("停止的", 4, false);
    RecordRunEnd(TaskDataFilePath(profile.TaskDir(), "停止的"), RunOutcome::Stopped);
    Run("失败的", 1, false);
    RecordRunEnd(TaskDataFilePath(profile.TaskDir(), "失败的"), RunOutcome::Failed);
    RecordRunEnd(TaskDataFilePath(profile.TaskDir(), "完成的"), RunOutcome::Finished);
    Run("运行的", 1, false);
    DataFileRunLock lock = DataFileRunLock::TryAcquire(TaskDataFilePath(profile.TaskDir(), "运行的"));

    EXPECT_EQ(Listed("完成的").file.state, "完成");
    EXPECT_EQ(Listed("完成的").file.records, 3);
    EXPECT_EQ(Listed("完成的").file.last_run_end.size(), 19u);
    EXPECT_EQ(Listed("中断的").file.state, "未完成") << "killed: no end recorded";
    EXPECT_EQ(Listed("中断的").file.records, 2);
    EXPECT_EQ(Listed("中断的").file.last_run_end.size(), 19u) << "the file's last write stands for it";
    EXPECT_EQ(Listed("停止的").file.state, "已停止");
    EXPECT_EQ(Listed("失败的").file.state, "失败");
    EXPECT_EQ(Listed("空的").file.state, "");
    EXPECT_EQ(Listed("空的").file.last_run_end, "");
    EXPECT_EQ(Listed("运行的").file.state, "运行");
    EXPECT_TRUE(Listed("运行的").file.collecting);

    // A new run forgets how the last one ended until it ends itself.
    RecordRunStart(TaskDataFilePath(profile.TaskDir(), "停止的"));
    EXPECT_EQ(Listed("停止的").file.state, "未完成");
    // A missing file is listed without figures.
    fs::remove(TaskDataFilePath(profile.TaskDir(), "空的"));
    EXPECT_FALSE(Listed("空的").file.exists);
}

TEST_F(SavedTasksTest, AnOlderFilesRunTableGainsTheEndColumnsWhenItsRunEnds) {
    Add("旧");
    const std::string path = TaskDataFilePath(profile.TaskDir(), "旧");
    {
        Connection db(path, DatabaseKind::DataFile);
        db.Execute(
            "CREATE TABLE RunPosition (ID INTEGER PRIMARY KEY CHECK (ID = 1), SearchUrl TEXT NOT NULL,"
            " PageUrl TEXT NOT NULL, PageNumber INTEGER NOT NULL, EntriesDone INTEGER NOT NULL,"
            " StoredRows INTEGER NOT NULL, Finished INTEGER NOT NULL, Mode INTEGER NOT NULL,"
            " StartedAt TEXT NOT NULL)");
        db.Execute("INSERT INTO RunPosition VALUES(1,'u','u',1,0,0,1,0,'2020-01-01 00:00:00')");
    }
    EXPECT_EQ(Listed("旧").file.state, "完成");
    RecordRunEnd(path, RunOutcome::Stopped);
    EXPECT_EQ(Listed("旧").file.state, "已停止");
    // A file of another program, without our tables, is left alone.
    Add("别人的");
    const std::string other = TaskDataFilePath(profile.TaskDir(), "别人的");
    RecordRunEnd(other, RunOutcome::Finished);
    Connection db(other, DatabaseKind::Project);
    EXPECT_EQ(db.Query("SELECT COUNT(*) AS n FROM sqlite_master WHERE name='RunPosition'").Integer(0, "n"), 0);
}

}  // namespace
}  // namespace qv
