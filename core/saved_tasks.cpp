#include "core/saved_tasks.h"

#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <stdexcept>

#include "core/change_log.h"
#include "core/data_files.h"
#include "core/database.h"
#include "core/run_journal.h"
#include "core/run_lock.h"
#include "core/task_name.h"
#include "core/text.h"

namespace qv {
namespace {

// The later modification time of the file and its write-ahead log, as UTC text.
std::string LastWritten(const std::string& path) {
    std::time_t newest = 0;
    for (const std::string& p : {path, path + "-wal"}) {
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0 && st.st_mtime > newest) newest = st.st_mtime;
    }
    if (newest == 0) return {};
    std::tm utc{};
    gmtime_r(&newest, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
    return text;
}

bool NameTaken(Connection& project, const std::string& name) {
    return !project.Query("SELECT ID FROM Tasks WHERE TaskName=" + QuotedStr(name)).rows.empty();
}

}  // namespace

std::string InsertTaskStatement(const TaskRow& r) {
    return "INSERT INTO Tasks(TaskName,Province,City,BiztypeName,EstablishedYearName,"
           "CategoryLargeName,onlyAliMember,onlyOnlineMember,searchURL,Remark) VALUES(" +
           QuotedStr(r.name) + "," + QuotedStr(r.province) + "," + QuotedStr(r.city) + "," +
           QuotedStr(r.biztype_name) + "," + QuotedStr(r.established_year_name) + "," +
           QuotedStr(r.category_large_name) + "," + (r.only_ali_member ? "1" : "0") + "," +
           (r.only_online_member ? "1" : "0") + "," + QuotedStr(r.search_url) + "," +
           QuotedStr(r.remark) + ")";
}

DataFileSummary SummarizeDataFile(const std::string& path) {
    DataFileSummary summary;
    std::error_code ec;
    summary.exists = std::filesystem::exists(path, ec);
    if (!summary.exists) return summary;
    summary.collecting = IsBeingCollected(path);
    try {
        // Only read: listing leaves the file as it was.
        Connection db(path, DatabaseKind::ReadOnly);
        SavedRun saved = ReadSavedRun(db);
        summary.records = saved.rows;
        summary.state = SavedRunStateText(saved);
        summary.last_run_end = saved.ended_at;
        if (summary.last_run_end.empty() && saved.Unfinished() && !summary.collecting)
            summary.last_run_end = LastWritten(path);
        if (const std::optional<RunRecord> last = LastRun(db)) summary.last_changes = RunCountsText(*last);
        for (const RunRecord& run : UnseenRuns(db)) {
            summary.unseen.added += run.added;
            summary.unseen.changed += run.changed;
            summary.unseen.gone += run.gone;
            summary.unseen.runs += 1;
            summary.unseen.last_run = run.id;
        }
    } catch (const std::exception& e) {
        summary.error = e.what();
    }
    if (summary.collecting) summary.state = "运行";
    return summary;
}

std::vector<SavedTask> ListSavedTasks(const Profile& profile) {
    DataPacket rows;
    {
        Connection project(profile.ProjectDatabase(), DatabaseKind::Project);
        rows = project.Query("SELECT ID, TaskName, searchURL, Remark FROM Tasks ORDER BY ID");
    }
    std::vector<SavedTask> tasks;
    for (size_t r = 0; r < rows.rows.size(); ++r) {
        SavedTask& t = tasks.emplace_back();
        t.id = rows.Integer(r, "ID");
        t.name = Trim(rows.Text(r, "TaskName"));
        t.url = rows.Text(r, "searchURL");
        t.remark = Trim(rows.Text(r, "Remark"));
        if (IsUsableTaskName(t.name)) {
            t.data_file = TaskDataFilePath(profile.TaskDir(), t.name);
            t.file = SummarizeDataFile(t.data_file);
        }
    }
    return tasks;
}

std::optional<std::string> RefuseTaskName(Connection& project, const std::string& name) {
    // The window's dialog asks the same rule.
    if (std::string fault = TaskNameFault(name); !fault.empty()) return fault;
    if (NameTaken(project, name)) return "任务名称重复。";
    return std::nullopt;
}

SavedTask AddSavedTask(const Profile& profile, TaskRow row) {
    row.name = Trim(row.name);
    Connection project(profile.ProjectDatabase(), DatabaseKind::Project);
    if (auto refused = RefuseTaskName(project, row.name)) throw std::runtime_error(*refused);
    const std::string path = TaskDataFilePath(profile.TaskDir(), row.name);
    // A file of that name that belongs to no task is someone's data: it is kept, and the
    // task is not added.
    if (!CreateDatabaseFile(path, false))
        throw std::runtime_error("数据文件已经存在，没有添加任务：" + path);
    try {
        ExecuteOnDatabaseFile(path, kCreateDataListSql);
        project.Execute(InsertTaskStatement(row));
    } catch (...) {
        std::error_code ec;
        for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix, ec);
        throw;
    }
    for (SavedTask& t : ListSavedTasks(profile))
        if (t.name == row.name) return t;
    throw std::runtime_error("任务没有保存：" + row.name);
}

}  // namespace qv
