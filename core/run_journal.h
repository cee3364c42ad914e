#pragma once
// What a task's data file remembers of its runs beyond DataList: where the current run
// stands (so a stop, a kill or a crash loses nothing) and the pages that failed in it.
// Both live in tables of their own; DataList never changes, and a file without these
// tables (an older file, or another program's) simply has no saved run.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/data_files.h"

namespace qv {

class Connection;

// How a run chooses its companies: all of them, only those not stored yet, or all of
// them with the ones stored already updated in place (a refresh).
enum class RunMode { Fresh = 0, NewOnly = 1, Refresh = 2 };

// How the last run ended, as far as its file knows: not at all (still running, or
// killed), finished, failed, or stopped (by the user, at quit, or because the site
// blocked it).
enum class RunOutcome { None, Finished, Failed, Stopped };

struct RunPosition {
    std::string search_url;   // where the run started
    std::string page_url;     // the result page being read
    int page_number = 1;      // that page's number within the run, from 1
    int entries_done = 0;     // entries of that page already handled
    long long stored_rows = 0;  // DataList rows when the position was written
    bool finished = false;
    RunMode mode = RunMode::Fresh;
};

// A page that failed every try. The company fields (plain text, empty for a result page)
// are enough of its list entry to crawl the company again.
struct FailedPage {
    long long id = 0;          // set when read back
    std::string url;
    std::string cause;         // "HTTP 404", "timeout", ...
    std::string kind;          // kFailedResultPage, kFailedContactPage or kFailedProfilePage
    std::string company_name, member_id, member_type, good_index, send_msg_link, contact_link;
    std::string failed_at;     // UTC "YYYY-MM-DD HH:MM:SS", set when read back
    // The enciphered columns of the row that could not be deciphered ("CompanyName",
    // "CompanyName, MemberID"); empty when all were read. Such a field reads as empty.
    std::string damaged;
};

inline constexpr char kFailedResultPage[] = "list";
inline constexpr char kFailedContactPage[] = "contact";
inline constexpr char kFailedProfilePage[] = "profile";

// One step of a crawl, made durable in a single transaction, so that after a kill the
// file's rows, failures and position always agree.
struct RunStep {
    std::optional<MemberValues> row;         // a company to store
    bool profile_read = true;                // its profile fields were read
    // Companies of a result page a refresh read (MemberID and name, plain), so that it
    // knows at its end which stored ones the search no longer lists.
    std::vector<std::pair<std::string, std::string>> listed;
    std::optional<FailedPage> failure;       // a page that failed
    std::optional<long long> retried_failure;  // a failure row that this step replaces
    // Where the run stands after the step; without it only the row count moves on.
    std::optional<RunPosition> position;
};

// The saved run of a file, if it has one that still agrees with its rows.
struct SavedRun {
    long long rows = 0;                      // DataList rows now
    std::optional<RunPosition> position;     // absent: no tables, no run, or a stale one
    RunOutcome outcome = RunOutcome::None;   // how the last run ended
    // When it ended (UTC "YYYY-MM-DD HH:MM:SS"); empty while it runs, after a kill, and
    // for a file without a run.
    std::string ended_at;
    bool Unfinished() const { return position && !position->finished; }
};

// The task list's state of a file that no run of this program is using: 完成, 未完成,
// 已停止, 失败, or empty when the file holds no run (or one that no longer matches it).
std::string SavedRunStateText(const SavedRun& saved);

SavedRun ReadSavedRun(Connection& db);

// Starts a run at `search_url`: forgets the failures of earlier runs and saves the
// position of the run's first page, counting the rows already in the file; adds its run
// row to the change log.
void BeginRun(Connection& db, const std::string& search_url, RunMode mode);
// A run that goes on with the saved run (kRunContinue) or retries its failed pages
// (kRunRetry) adds its own run row; what it stores is counted there.
void BeginFurtherRun(Connection& db, std::string_view kind);

// Runs the step's statements in one transaction; rolls back and raises on any error.
// In a refresh, a row that matches a stored record updates it, its changes logged in the
// same transaction; a finished position then logs the stored companies gone from the list.
// `between_row_and_position` runs after the row is inserted and before the position is
// written (tests use it to kill the process there).
void CommitRunStep(Connection& db, const RunStep& step,
                   const std::function<void()>& between_row_and_position = {});

// A run begins on the file: whatever its last run's end said no longer holds. Errors are
// swallowed, as for RecordRunEnd.
void RecordRunStart(const std::string& path) noexcept;
// Records how the file's current run ended, and when. Nothing happens to a file without
// a run; errors are swallowed (a run ends whether or not its file can say so).
// `shown`: the window that ran it has shown it, so it is not told again as a run it did
// not start.
void RecordRunEnd(const std::string& path, RunOutcome outcome, bool shown = false) noexcept;

// The failures recorded in the file's last run, in the order they happened; none when
// the file has no failure table.
std::vector<FailedPage> ReadFailedPages(Connection& db);

// The companies a file holds, for collecting only new ones: by enciphered MemberID, or
// by enciphered company name for a company without one. The cipher is deterministic, so
// values are compared without deciphering the file.
class KnownCompanies {
public:
    static KnownCompanies Load(Connection& db);
    // Plain (trimmed) values as read from a result page.
    bool Contains(const std::string& member_id, const std::string& company_name) const;
    void Add(const std::string& member_id, const std::string& company_name);

private:
    std::unordered_set<std::string> member_ids_, names_;
};

}  // namespace qv
