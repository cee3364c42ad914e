#pragma once
// What a task's data file says of its runs and of what each one brought: a row per run
// (its kind, start, end and counts) and a row per change (a company added, a field
// changed, a company gone). The tables sit beside DataList, whose layout never changes;
// a file without them has no runs to show. The eight enciphered columns' values are kept
// enciphered here as in DataList.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/data_files.h"

namespace qv {

class Connection;

// Run kinds as the run rows name them.
inline constexpr char kRunFull[] = "full";
inline constexpr char kRunContinue[] = "continue";
inline constexpr char kRunNewOnly[] = "only-new";
inline constexpr char kRunRefresh[] = "refresh";
inline constexpr char kRunRetry[] = "retry";

// Change kinds.
inline constexpr char kChangeAdded[] = "added";
inline constexpr char kChangeChanged[] = "changed";
inline constexpr char kChangeGone[] = "gone";

// A run kind in the window's words (全部重新抓取, 更新, ...); the word itself when unknown.
std::string RunKindText(std::string_view kind);
// A change kind in the window's words: 新增, 变更, 消失.
std::string ChangeKindText(std::string_view kind);

struct RunRecord {
    long long id = 0;
    std::string kind;
    std::string started_at, ended_at;  // UTC "YYYY-MM-DD HH:MM:SS"; ended empty while it runs
    std::string outcome;               // finished, failed, stopped; empty while it runs
    long long added = 0, changed = 0, gone = 0;  // companies
    bool seen = false;  // the window has shown it (it ran there, or its task was opened since)
};

// "新增 12 · 变更 5 · 消失 3": what the task list shows of a run.
std::string RunCountsText(const RunRecord& run);

struct ChangeRecord {
    long long id = 0, run = 0, record_id = 0;
    std::string at;            // UTC "YYYY-MM-DD HH:MM:SS"
    std::string kind;          // kChangeAdded, kChangeChanged or kChangeGone
    std::string member_id, company_name;  // as shown (deciphered)
    std::string field;         // the DataList column, for a change of a field
    std::string before, after; // as shown (deciphered, trimmed)
};

// Every run of the file, oldest first; none when the file has no run table.
std::vector<RunRecord> ReadRuns(Connection& db);
std::optional<RunRecord> LastRun(Connection& db);

// The runs that ended without the window showing them (the timer's, the command line's).
std::vector<RunRecord> UnseenRuns(Connection& db);
// The window has shown every run of the data file at `path` that has ended.
void MarkRunsSeen(const std::string& path);
// "定时更新：3 个任务，新增 12，变更 5，消失 3": what the status bar says of such runs.
std::string UnseenRunsText(int tasks, long long added, long long changed, long long gone);

// The changes of one run (or of every run), in the order they were found.
std::vector<ChangeRecord> ReadChanges(Connection& db, std::optional<long long> run = std::nullopt);

// A value of DataList's column `field` as the window shows it: deciphered when the column
// is enciphered (a value that does not decipher stays as stored), trimmed.
std::string ShownValue(int field, std::string_view stored);


// For the run journal, inside the transactions of the run's own steps.
namespace change_log {

// The run a step belongs to, as the file's saved position says.
struct RunContext {
    long long run = 0;            // its run row; 0 for none (a file of an older version)
    bool refresh = false;         // companies stored already are updated, not appended
    long long known_through = 0;  // the highest record ID before the refresh began
};

void EnsureTables(Connection& db);
// Adds the run row and returns its ID.
long long OpenRun(Connection& db, std::string_view kind, std::string_view search_url);
// A refresh begins: no company is listed yet, and the matches are read afresh.
void BeginRefresh(Connection& db);
// Forgets this connection's matches (another run may have changed the file meanwhile).
void ForgetMatches(Connection& db);

// Stores a company the run read: appended (true) or, in a refresh, matched to the record
// it updates, the fields that differ logged. `profile_read`: its profile fields were read.
bool StoreCompany(Connection& db, const RunContext& run, const MemberValues& values,
                  bool profile_read);
// A refresh saw the company in the list.
void MarkListed(Connection& db, const std::string& member_id, const std::string& company_name);
// The refresh read the search to its end: every record stored before it and not listed
// is gone (once: a record already logged gone and not changed since is not logged again).
void LogGone(Connection& db, const RunContext& run);

}  // namespace change_log

}  // namespace qv
