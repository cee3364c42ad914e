#pragma once
// The saved tasks of a profile (table Tasks of its project database) with what each
// task's data file holds, and adding a task from outside the window. No Qt: the window
// and every command of the command-line tool share it.
#include <optional>
#include <string>
#include <vector>

#include "core/profile.h"

namespace qv {

class Connection;

// One row of table Tasks, as 添加任务 stores it.
struct TaskRow {
    std::string name;
    std::string province, city, biztype_name, established_year_name, category_large_name;
    bool only_ali_member = false;
    bool only_online_member = false;
    std::string search_url;
    std::string remark;
};

std::string InsertTaskStatement(const TaskRow& row);

// What a task's data file says about it, read without changing the file.
struct DataFileSummary {
    bool exists = false;
    long long records = 0;        // rows in DataList; 0 when missing or unreadable
    bool collecting = false;      // a run (of any process) holds the file's lock
    std::string state;            // 运行 while collected, else as SavedRunStateText
    // When its last run ended, UTC "YYYY-MM-DD HH:MM:SS". A run that was killed never
    // recorded its end: the time the file was last written stands for it.
    std::string last_run_end;
    std::string error;            // why an existing file could not be read
    // What its last run found, "新增 12 · 变更 5 · 消失 3"; empty before a run that logs it.
    std::string last_changes;
    // The runs that ended without the window showing them (the timer's, the command line's).
    struct Unseen {
        int runs = 0;
        long long last_run = 0;  // the newest of them
        long long added = 0, changed = 0, gone = 0;
    } unseen;
};

DataFileSummary SummarizeDataFile(const std::string& path);

struct SavedTask {
    long long id = 0;
    std::string name;       // trimmed, as the task list shows it
    std::string url;
    std::string remark;     // trimmed
    std::string data_file;  // empty when the name cannot be a file name
    DataFileSummary file;
};

// Every saved task of the profile in the order of the task list. Raises DatabaseError
// when the project database cannot be read.
std::vector<SavedTask> ListSavedTasks(const Profile& profile);

// Why `name` (already trimmed) cannot name a new task, or nullopt when it can: what
// TaskNameFault refuses (the window's rule), or a name another task has (names compare
// without regard to case).
std::optional<std::string> RefuseTaskName(Connection& project, const std::string& name);

// Saves a task as 添加任务 does: the Tasks row and its empty data file. The row's name is
// trimmed first. Raises std::runtime_error with the reason when the name is refused or
// the task cannot be saved; nothing is kept then.
SavedTask AddSavedTask(const Profile& profile, TaskRow row);

}  // namespace qv
