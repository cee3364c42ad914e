#include "core/run_journal.h"

#include "core/change_log.h"
#include "core/database.h"
#include "core/field_cipher.h"
#include "core/text.h"

namespace qv {
namespace {

// One row only (ID 1): the position of the file's current run.
constexpr std::string_view kCreatePositionTable =
    "CREATE TABLE IF NOT EXISTS RunPosition (ID INTEGER PRIMARY KEY CHECK (ID = 1),"
    " SearchUrl TEXT NOT NULL, PageUrl TEXT NOT NULL, PageNumber INTEGER NOT NULL,"
    " EntriesDone INTEGER NOT NULL, StoredRows INTEGER NOT NULL, Finished INTEGER NOT NULL,"
    " Mode INTEGER NOT NULL, StartedAt TEXT NOT NULL, EndedAt TEXT, Outcome TEXT)";

// Columns that files written by earlier versions lack; added when such a file runs again.
// RunID: the run row of the current run; KnownThrough: the highest record ID when it began.
constexpr std::string_view kLaterPositionColumns[] = {"EndedAt", "Outcome", "RunID", "KnownThrough"};

constexpr std::string_view kNow = "strftime('%Y-%m-%d %H:%M:%S','now')";

constexpr std::pair<RunOutcome, std::string_view> kOutcomeWords[] = {
    {RunOutcome::Finished, "finished"}, {RunOutcome::Failed, "failed"}, {RunOutcome::Stopped, "stopped"}};

// Company name and member ID are kept enciphered, as DataList keeps them.
constexpr std::string_view kCreateFailureTable =
    "CREATE TABLE IF NOT EXISTS FailedPages (ID INTEGER PRIMARY KEY, Url TEXT NOT NULL,"
    " Cause TEXT NOT NULL, Kind TEXT NOT NULL, CompanyName TEXT, MemberID TEXT,"
    " MemberType TEXT, GoodIndex TEXT, SendMsgLink TEXT, ContactLink TEXT,"
    " FailedAt TEXT NOT NULL)";

std::string Encipher(const std::string& plain) {
    return plain.empty() ? plain : EncipherTextHex(plain, FieldCipherKey);
}

std::string Decipher(const std::string& hex) {
    return hex.empty() ? hex : DecipherTextHex(hex, FieldCipherKey);
}

bool HasTable(Connection& db, std::string_view name) {
    DataPacket p = db.Query("SELECT COUNT(*) AS n FROM sqlite_master WHERE type='table' AND name=" +
                            QuotedStr(name));
    return p.Integer(0, "n") > 0;
}

long long CountRows(Connection& db) {
    return db.Query("SELECT COUNT(*) AS n FROM DataList").Integer(0, "n");
}

void EnsureRunTables(Connection& db) {
    db.Execute(kCreatePositionTable);
    db.Execute(kCreateFailureTable);
    change_log::EnsureTables(db);
    DataPacket columns = db.Query("PRAGMA table_info(RunPosition)");
    for (std::string_view wanted : kLaterPositionColumns) {
        bool present = false;
        for (size_t r = 0; r < columns.rows.size(); ++r)
            present = present || EqualsIgnoringCase(columns.Text(r, "name"), wanted);
        if (!present) db.Execute("ALTER TABLE RunPosition ADD COLUMN " + std::string(wanted) +
                                 (wanted == "RunID" || wanted == "KnownThrough" ? " INTEGER" : " TEXT"));
    }
}

RunOutcome OutcomeOf(std::string_view word) {
    for (auto [outcome, text] : kOutcomeWords)
        if (text == word) return outcome;
    return RunOutcome::None;
}

std::string_view WordOf(RunOutcome outcome) {
    for (auto [o, text] : kOutcomeWords)
        if (o == outcome) return text;
    return {};
}

// Runs `work` inside BEGIN IMMEDIATE ... COMMIT; any error rolls the whole of it back.
template <typename Work>
void InTransaction(Connection& db, Work&& work) {
    db.Execute("BEGIN IMMEDIATE");
    try {
        work();
        db.Execute("COMMIT");
    } catch (...) {
        try {
            db.Execute("ROLLBACK");
        } catch (...) {
        }
        throw;
    }
}

void InsertFailure(Connection& db, const FailedPage& f) {
    db.Execute(
        "INSERT INTO FailedPages(Url,Cause,Kind,CompanyName,MemberID,MemberType,GoodIndex,"
        "SendMsgLink,ContactLink,FailedAt) VALUES(" +
        QuotedStr(f.url) + "," + QuotedStr(f.cause) + "," + QuotedStr(f.kind) + "," +
        QuotedStr(Encipher(f.company_name)) + "," + QuotedStr(Encipher(f.member_id)) + "," +
        QuotedStr(f.member_type) + "," + QuotedStr(f.good_index) + "," +
        QuotedStr(f.send_msg_link) + "," + QuotedStr(f.contact_link) +
        ",strftime('%Y-%m-%d %H:%M:%S','now'))");
}

void WritePosition(Connection& db, const std::optional<RunPosition>& p, int added_rows) {
    std::string sql = "UPDATE RunPosition SET StoredRows=StoredRows+" + IntToStr(added_rows);
    if (p) {
        sql += ",PageUrl=" + QuotedStr(p->page_url) + ",PageNumber=" + IntToStr(p->page_number) +
               ",EntriesDone=" + IntToStr(p->entries_done) + ",Finished=" + (p->finished ? "1" : "0");
    }
    db.Execute(sql + " WHERE ID=1");
}

// A page that failed once and is read now is no failure any more: a company stored by
// this step takes its failed pages with it (a profile page that fails again comes back
// with the step), and a position that moves on or into a page says that the page the
// run stood at, perhaps a result page that failed before a stop, was read.
void ForgetFailuresReadSince(Connection& db, const RunStep& step) {
    if (step.row && !(*step.row)[mfContactLink].empty())
        db.Execute("DELETE FROM FailedPages WHERE Kind<>" + QuotedStr(kFailedResultPage) +
                   " AND ContactLink=" + QuotedStr((*step.row)[mfContactLink]));
    if (step.position)
        db.Execute("DELETE FROM FailedPages WHERE Kind=" + QuotedStr(kFailedResultPage) +
                   " AND Url=(SELECT PageUrl FROM RunPosition WHERE ID=1)");
}

}  // namespace

SavedRun ReadSavedRun(Connection& db) {
    SavedRun saved;
    saved.rows = CountRows(db);
    if (!HasTable(db, "RunPosition")) return saved;
    DataPacket p = db.Query("SELECT * FROM RunPosition WHERE ID=1");
    if (p.rows.empty()) return saved;
    RunPosition pos;
    pos.search_url = p.Text(0, "SearchUrl");
    pos.page_url = p.Text(0, "PageUrl");
    pos.page_number = static_cast<int>(p.Integer(0, "PageNumber"));
    pos.entries_done = static_cast<int>(p.Integer(0, "EntriesDone"));
    pos.stored_rows = p.Integer(0, "StoredRows");
    pos.finished = p.Integer(0, "Finished") != 0;
    const long long mode = p.Integer(0, "Mode");
    pos.mode = mode == 1 ? RunMode::NewOnly : mode == 2 ? RunMode::Refresh : RunMode::Fresh;
    saved.outcome = OutcomeOf(p.Text(0, "Outcome"));
    saved.ended_at = p.Text(0, "EndedAt");
    // Rows added or removed behind our back (another program, an older version emptying
    // the file) make the position meaningless.
    if (pos.stored_rows == saved.rows) saved.position = std::move(pos);
    return saved;
}

namespace {

std::string_view RunKindOf(RunMode mode) {
    switch (mode) {
    case RunMode::NewOnly: return kRunNewOnly;
    case RunMode::Refresh: return kRunRefresh;
    case RunMode::Fresh: break;
    }
    return kRunFull;
}

}  // namespace

void BeginRun(Connection& db, const std::string& search_url, RunMode mode) {
    EnsureRunTables(db);
    change_log::ForgetMatches(db);
    InTransaction(db, [&] {
        db.Execute("DELETE FROM FailedPages");
        const long long run = change_log::OpenRun(db, RunKindOf(mode), search_url);
        const long long known = db.Query("SELECT IFNULL(MAX(ID),0) AS n FROM DataList").Integer(0, "n");
        db.Execute(
            "INSERT OR REPLACE INTO RunPosition(ID,SearchUrl,PageUrl,PageNumber,EntriesDone,"
            "StoredRows,Finished,Mode,StartedAt,RunID,KnownThrough) VALUES(1," +
            QuotedStr(search_url) + "," + QuotedStr(search_url) + ",1,0," + IntToStr(CountRows(db)) +
            ",0," + IntToStr(static_cast<int>(mode)) + "," + std::string(kNow) + "," + IntToStr(run) + "," +
            IntToStr(known) + ")");
        if (mode == RunMode::Refresh) change_log::BeginRefresh(db);
    });
}

void BeginFurtherRun(Connection& db, std::string_view kind) {
    EnsureRunTables(db);
    change_log::ForgetMatches(db);
    InTransaction(db, [&] {
        DataPacket p = db.Query("SELECT SearchUrl FROM RunPosition WHERE ID=1");
        const long long run = change_log::OpenRun(db, kind, p.rows.empty() ? "" : p.Text(0, "SearchUrl"));
        db.Execute("UPDATE RunPosition SET RunID=" + IntToStr(run) + " WHERE ID=1");
    });
}

namespace {

change_log::RunContext ContextOf(Connection& db) {
    change_log::RunContext run;
    DataPacket p = db.Query("SELECT * FROM RunPosition WHERE ID=1");
    if (p.rows.empty()) return run;
    run.run = p.Integer(0, "RunID");
    run.refresh = p.Integer(0, "Mode") == static_cast<int>(RunMode::Refresh);
    run.known_through = p.Integer(0, "KnownThrough");
    return run;
}

}  // namespace

void CommitRunStep(Connection& db, const RunStep& step,
                   const std::function<void()>& between_row_and_position) {
    InTransaction(db, [&] {
        const bool finishing = step.position && step.position->finished;
        change_log::RunContext run;
        if (step.row || !step.listed.empty() || finishing) run = ContextOf(db);
        if (run.refresh)
            for (const auto& [member_id, name] : step.listed) change_log::MarkListed(db, member_id, name);
        const bool appended = step.row && change_log::StoreCompany(db, run, *step.row, step.profile_read);
        if (between_row_and_position) between_row_and_position();
        if (step.retried_failure)
            db.Execute("DELETE FROM FailedPages WHERE ID=" + IntToStr(*step.retried_failure));
        ForgetFailuresReadSince(db, step);
        if (step.failure) InsertFailure(db, *step.failure);
        if (finishing && run.refresh) {
            // Logged once: a finished run is not continued.
            DataPacket was = db.Query("SELECT Finished FROM RunPosition WHERE ID=1");
            if (!was.rows.empty() && was.Integer(0, "Finished") == 0) change_log::LogGone(db, run);
        }
        WritePosition(db, step.position, appended ? 1 : 0);
    });
}

std::string SavedRunStateText(const SavedRun& saved) {
    if (!saved.position) return {};
    switch (saved.outcome) {
    case RunOutcome::Failed: return "失败";
    case RunOutcome::Stopped: return "已停止";
    default: return saved.position->finished ? "完成" : "未完成";
    }
}

namespace {

void SetRunEnd(const std::string& path, std::string_view ended_at, std::string_view outcome,
               bool shown = false) noexcept {
    try {
        Connection db(path, DatabaseKind::DataFile);
        if (!HasTable(db, "RunPosition")) return;
        EnsureRunTables(db);
        db.Execute("UPDATE RunPosition SET EndedAt=" + std::string(ended_at) + ",Outcome=" +
                   std::string(outcome) + " WHERE ID=1");
        if (ended_at == "NULL") return;
        if (const long long run = ContextOf(db).run; run > 0)
            db.Execute("UPDATE Runs SET EndedAt=" + std::string(ended_at) + ",Outcome=" + std::string(outcome) +
                       ",Seen=" + (shown ? "1" : "0") + " WHERE ID=" + IntToStr(run));
    } catch (...) {
    }
}

}  // namespace

void RecordRunStart(const std::string& path) noexcept { SetRunEnd(path, "NULL", "NULL"); }

void RecordRunEnd(const std::string& path, RunOutcome outcome, bool shown) noexcept {
    SetRunEnd(path, kNow, QuotedStr(WordOf(outcome)), shown);
}

std::vector<FailedPage> ReadFailedPages(Connection& db) {
    std::vector<FailedPage> pages;
    if (!HasTable(db, "FailedPages")) return pages;
    DataPacket p = db.Query("SELECT * FROM FailedPages ORDER BY ID");
    for (size_t r = 0; r < p.rows.size(); ++r) {
        FailedPage& f = pages.emplace_back();
        f.id = p.Integer(r, "ID");
        f.url = p.Text(r, "Url");
        f.cause = p.Text(r, "Cause");
        f.kind = p.Text(r, "Kind");
        // A value that does not decipher spoils only itself, not the list.
        for (auto [column, field] : {std::pair{"CompanyName", &f.company_name}, std::pair{"MemberID", &f.member_id}}) {
            try {
                *field = Decipher(p.Text(r, column));
            } catch (const std::exception&) {
                f.damaged += (f.damaged.empty() ? "" : ", ") + std::string(column);
            }
        }
        f.member_type = p.Text(r, "MemberType");
        f.good_index = p.Text(r, "GoodIndex");
        f.send_msg_link = p.Text(r, "SendMsgLink");
        f.contact_link = p.Text(r, "ContactLink");
        f.failed_at = p.Text(r, "FailedAt");
    }
    return pages;
}

KnownCompanies KnownCompanies::Load(Connection& db) {
    KnownCompanies known;
    db.ForEachRow("SELECT MemberID, CompanyName FROM DataList", [&](const Connection::RowView& row) {
        const std::string member_id(Trim(row.cells[0]));
        if (!member_id.empty())
            known.member_ids_.insert(member_id);
        else if (!row.cells[1].empty())
            known.names_.insert(std::string(Trim(row.cells[1])));
    });
    return known;
}

bool KnownCompanies::Contains(const std::string& member_id, const std::string& company_name) const {
    if (!member_id.empty()) return member_ids_.contains(Encipher(member_id));
    return !company_name.empty() && names_.contains(Encipher(company_name));
}

void KnownCompanies::Add(const std::string& member_id, const std::string& company_name) {
    if (!member_id.empty())
        member_ids_.insert(Encipher(member_id));
    else if (!company_name.empty())
        names_.insert(Encipher(company_name));
}

}  // namespace qv
