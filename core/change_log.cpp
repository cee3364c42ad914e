#include "core/change_log.h"

#include <stdexcept>

#include "core/database.h"
#include "core/field_cipher.h"
#include "core/member_grid_layout.h"
#include "core/text.h"

namespace qv {
namespace {

using change_log::RunContext;

constexpr std::string_view kCreateRunTable =
    "CREATE TABLE IF NOT EXISTS Runs (ID INTEGER PRIMARY KEY, Kind TEXT NOT NULL,"
    " SearchUrl TEXT, StartedAt TEXT NOT NULL, EndedAt TEXT, Outcome TEXT,"
    " Added INTEGER NOT NULL DEFAULT 0, Changed INTEGER NOT NULL DEFAULT 0,"
    " Gone INTEGER NOT NULL DEFAULT 0, Seen INTEGER NOT NULL DEFAULT 0)";

// MemberID, CompanyName, Before and After as DataList keeps them: the eight columns
// enciphered.
constexpr std::string_view kCreateChangeTable =
    "CREATE TABLE IF NOT EXISTS Changes (ID INTEGER PRIMARY KEY, RunID INTEGER NOT NULL,"
    " RecordID INTEGER NOT NULL, MemberID TEXT, CompanyName TEXT, Kind TEXT NOT NULL,"
    " Field TEXT, Before TEXT, After TEXT, At TEXT NOT NULL)";
constexpr std::string_view kCreateChangeIndex =
    "CREATE INDEX IF NOT EXISTS ChangesByRecord ON Changes (RecordID, ID)";

// The records a refresh saw listed; it is committed with each page's first step, so a
// continued refresh still knows what the part before the stop saw.
constexpr std::string_view kCreateListedTable =
    "CREATE TABLE IF NOT EXISTS RefreshListed (RecordID INTEGER PRIMARY KEY)";

// The match keys of the stored records, on this connection only: "m:" the MemberID, "n:"
// the name of a record without one, "a:" the name of any record; the first record wins.
constexpr std::string_view kCreateMatchTable =
    "CREATE TEMP TABLE IF NOT EXISTS RefreshMatch (Key TEXT PRIMARY KEY, RecordID INTEGER NOT NULL)";

constexpr std::string_view kNow = "strftime('%Y-%m-%d %H:%M:%S','now')";

constexpr std::pair<std::string_view, std::string_view> kRunKindTexts[] = {
    {kRunFull, "全部重新抓取"}, {kRunContinue, "继续上次的抓取"}, {kRunNewOnly, "只采集新公司"},
    {kRunRefresh, "更新已有公司"}, {kRunRetry, "重试失败的网页"}};
constexpr std::pair<std::string_view, std::string_view> kChangeKindTexts[] = {
    {kChangeAdded, "新增"}, {kChangeChanged, "变更"}, {kChangeGone, "消失"}};

template <size_t N>
std::string TextOf(const std::pair<std::string_view, std::string_view> (&table)[N], std::string_view word) {
    for (auto [w, text] : table)
        if (w == word) return std::string(text);
    return std::string(word);
}

bool HasTable(Connection& db, std::string_view name) {
    return db.Query("SELECT COUNT(*) AS n FROM sqlite_master WHERE type='table' AND name=" + QuotedStr(name))
               .Integer(0, "n") > 0;
}

bool IsLink(int field) { return field == mfSendMsgLink || field == mfContactLink || field == mfCmpDetail; }
bool IsProfile(int field) { return field >= mfCompanyContext; }

// A value as DataList stores it.
std::string Stored(int field, const std::string& shown) {
    return kMemberColumns[static_cast<size_t>(field)].enciphered && !shown.empty()
               ? EncipherTextHex(shown, FieldCipherKey)
               : shown;
}

std::string Key(std::string_view kind, std::string_view stored_trimmed) {
    return std::string(kind) + std::string(stored_trimmed);
}

void AddMatchKeys(Connection& db, long long id, const std::string& member_id, const std::string& name) {
    // Keys of stored (enciphered, trimmed) values: the cipher is deterministic.
    auto add = [&](std::string_view kind, const std::string& value) {
        db.Execute("INSERT OR IGNORE INTO temp.RefreshMatch(Key,RecordID) VALUES(" + QuotedStr(Key(kind, value)) +
                   "," + IntToStr(id) + ")");
    };
    if (!member_id.empty()) add("m:", member_id);
    if (!name.empty()) {
        add("a:", name);
        if (member_id.empty()) add("n:", name);
    }
}

bool HasMatchTable(Connection& db) {
    return db.Query("SELECT COUNT(*) AS n FROM sqlite_temp_master WHERE type='table' AND name='RefreshMatch'")
               .Integer(0, "n") > 0;
}

void LoadMatches(Connection& db) {
    db.Execute(kCreateMatchTable);
    std::vector<std::pair<long long, std::pair<std::string, std::string>>> rows;
    db.ForEachRow("SELECT ID, MemberID, CompanyName FROM DataList ORDER BY ID", [&](const Connection::RowView& row) {
        rows.push_back({std::stoll(std::string(row.cells[0])),
                        {Trim(row.cells[1]), Trim(row.cells[2])}});
    });
    for (const auto& [id, keys] : rows) AddMatchKeys(db, id, keys.first, keys.second);
}

std::optional<long long> LookUp(Connection& db, const std::string& key) {
    DataPacket p = db.Query("SELECT RecordID FROM temp.RefreshMatch WHERE Key=" + QuotedStr(key));
    if (p.rows.empty()) return std::nullopt;
    return p.Integer(0, "RecordID");
}

// The stored record a listed company is, by MemberID, else by company name (as the merge
// takes a record without a MemberID into the company of that name).
std::optional<long long> MatchOf(Connection& db, const std::string& member_id, const std::string& name) {
    if (!HasMatchTable(db)) LoadMatches(db);
    const std::string id = Trim(member_id), company = Trim(name);
    if (!id.empty()) {
        if (auto m = LookUp(db, Key("m:", Stored(mfMemberID, id)))) return m;
        if (!company.empty()) return LookUp(db, Key("n:", Stored(mfCompanyName, company)));
        return std::nullopt;
    }
    if (company.empty()) return std::nullopt;
    return LookUp(db, Key("a:", Stored(mfCompanyName, company)));
}

void InsertChange(Connection& db, const RunContext& run, long long record, const std::string& member_id,
                  const std::string& name, std::string_view kind, std::string_view field = {},
                  const std::string& before = {}, const std::string& after = {}) {
    const auto text = [](std::string_view v) { return v.empty() ? std::string("NULL") : QuotedStr(v); };
    db.Execute("INSERT INTO Changes(RunID,RecordID,MemberID,CompanyName,Kind,Field,Before,After,At) VALUES(" +
               IntToStr(run.run) + "," + IntToStr(record) + "," + QuotedStr(member_id) + "," + QuotedStr(name) +
               "," + QuotedStr(kind) + "," + text(field) + "," + QuotedStr(before) + "," + QuotedStr(after) +
               "," + std::string(kNow) + ")");
}

void Count(Connection& db, const RunContext& run, std::string_view column, long long n = 1) {
    if (run.run > 0 && n > 0)
        db.Execute("UPDATE Runs SET " + std::string(column) + "=" + std::string(column) + "+" + IntToStr(n) +
                   " WHERE ID=" + IntToStr(run.run));
}

// Updates the record in place with what the refresh read; logs each field that differs.
void Refresh(Connection& db, const RunContext& run, long long record, const MemberValues& values,
             bool profile_read) {
    DataPacket stored = db.Query("SELECT * FROM DataList WHERE ID=" + IntToStr(record));
    if (stored.rows.empty()) throw DatabaseError("记录 " + IntToStr(record) + " 已不在数据文件中: " + db.path());
    std::string sets;
    int changed = 0;
    std::vector<std::pair<int, std::pair<std::string, std::string>>> changes;
    for (int f = 0; f < kMemberColumnCount; ++f) {
        if (IsProfile(f) && !profile_read) continue;  // not read: never blanked
        const std::string name(kMemberColumns[static_cast<size_t>(f)].name);
        const std::string before = ShownValue(f, stored.Text(0, name));
        const std::string after = Trim(values[static_cast<size_t>(f)]);
        if (before == after) continue;
        sets += (sets.empty() ? "" : ",") + name + "=" + QuotedStr(Stored(f, after));
        if (IsLink(f)) continue;  // kept current, never a change
        ++changed;
        changes.push_back({f, {before, after}});
    }
    if (sets.empty()) return;
    db.Execute("UPDATE DataList SET " + sets + " WHERE ID=" + IntToStr(record));
    const std::string member_id = Stored(mfMemberID, Trim(values[mfMemberID]));
    const std::string company = Stored(mfCompanyName, Trim(values[mfCompanyName]));
    for (const auto& [f, text] : changes)
        InsertChange(db, run, record, member_id, company, kChangeChanged, kMemberColumns[static_cast<size_t>(f)].name,
                     Stored(f, text.first), Stored(f, text.second));
    if (changed > 0) Count(db, run, "Changed");
    AddMatchKeys(db, record, member_id, company);
}

long long LastId(Connection& db) {
    return db.Query("SELECT last_insert_rowid() AS id").Integer(0, "id");
}

}  // namespace

std::string RunKindText(std::string_view kind) { return TextOf(kRunKindTexts, kind); }
std::string ChangeKindText(std::string_view kind) { return TextOf(kChangeKindTexts, kind); }

std::string RunCountsText(const RunRecord& run) {
    return "新增 " + IntToStr(run.added) + " · 变更 " + IntToStr(run.changed) + " · 消失 " + IntToStr(run.gone);
}

std::string ShownValue(int field, std::string_view stored) {
    const MemberColumn& column = kMemberColumns[static_cast<size_t>(field)];
    if (!column.enciphered) return Trim(stored);
    return Trim(ShownCellText(column.grid_column, stored));
}

std::vector<RunRecord> ReadRuns(Connection& db) {
    std::vector<RunRecord> runs;
    if (!HasTable(db, "Runs")) return runs;
    DataPacket p = db.Query("SELECT * FROM Runs ORDER BY ID");
    for (size_t r = 0; r < p.rows.size(); ++r) {
        RunRecord& run = runs.emplace_back();
        run.id = p.Integer(r, "ID");
        run.kind = p.Text(r, "Kind");
        run.started_at = p.Text(r, "StartedAt");
        run.ended_at = p.Text(r, "EndedAt");
        run.outcome = p.Text(r, "Outcome");
        run.added = p.Integer(r, "Added");
        run.changed = p.Integer(r, "Changed");
        run.gone = p.Integer(r, "Gone");
        run.seen = p.Integer(r, "Seen") != 0;
    }
    return runs;
}

std::vector<RunRecord> UnseenRuns(Connection& db) {
    std::vector<RunRecord> runs = ReadRuns(db);
    std::erase_if(runs, [](const RunRecord& r) { return r.seen || r.ended_at.empty(); });
    return runs;
}

void MarkRunsSeen(const std::string& path) {
    Connection db(path, DatabaseKind::DataFile);
    if (HasTable(db, "Runs")) db.Execute("UPDATE Runs SET Seen=1 WHERE Seen=0 AND EndedAt IS NOT NULL");
}

std::string UnseenRunsText(int tasks, long long added, long long changed, long long gone) {
    return "定时更新：" + IntToStr(tasks) + " 个任务，新增 " + IntToStr(added) + "，变更 " + IntToStr(changed) +
           "，消失 " + IntToStr(gone);
}

std::optional<RunRecord> LastRun(Connection& db) {
    std::vector<RunRecord> runs = ReadRuns(db);
    if (runs.empty()) return std::nullopt;
    return runs.back();
}

std::vector<ChangeRecord> ReadChanges(Connection& db, std::optional<long long> run) {
    std::vector<ChangeRecord> changes;
    if (!HasTable(db, "Changes")) return changes;
    std::string sql = "SELECT * FROM Changes";
    if (run) sql += " WHERE RunID=" + IntToStr(*run);
    db.ForEachRow(sql + " ORDER BY ID", [&](const Connection::RowView& row) {
        // ID, RunID, RecordID, MemberID, CompanyName, Kind, Field, Before, After, At
        ChangeRecord& c = changes.emplace_back();
        c.id = std::stoll(std::string(row.cells[0]));
        c.run = std::stoll(std::string(row.cells[1]));
        c.record_id = std::stoll(std::string(row.cells[2]));
        c.member_id = ShownValue(mfMemberID, row.cells[3]);
        c.company_name = ShownValue(mfCompanyName, row.cells[4]);
        c.kind = std::string(row.cells[5]);
        c.field = std::string(row.cells[6]);
        int field = -1;
        for (int f = 0; f < kMemberColumnCount; ++f)
            if (kMemberColumns[static_cast<size_t>(f)].name == c.field) field = f;
        c.before = field < 0 ? std::string(row.cells[7]) : ShownValue(field, row.cells[7]);
        c.after = field < 0 ? std::string(row.cells[8]) : ShownValue(field, row.cells[8]);
        c.at = std::string(row.cells[9]);
    });
    return changes;
}

namespace change_log {

void EnsureTables(Connection& db) {
    db.Execute(kCreateRunTable);
    db.Execute(kCreateChangeTable);
    db.Execute(kCreateChangeIndex);
    db.Execute(kCreateListedTable);
}

long long OpenRun(Connection& db, std::string_view kind, std::string_view search_url) {
    db.Execute("INSERT INTO Runs(Kind,SearchUrl,StartedAt) VALUES(" + QuotedStr(kind) + "," +
               QuotedStr(search_url) + "," + std::string(kNow) + ")");
    return LastId(db);
}

void BeginRefresh(Connection& db) {
    db.Execute("DELETE FROM RefreshListed");
    ForgetMatches(db);
}

void ForgetMatches(Connection& db) { db.Execute("DROP TABLE IF EXISTS temp.RefreshMatch"); }

bool StoreCompany(Connection& db, const RunContext& run, const MemberValues& values, bool profile_read) {
    if (run.refresh) {
        if (std::optional<long long> record = MatchOf(db, values[mfMemberID], values[mfCompanyName])) {
            db.Execute("INSERT OR IGNORE INTO RefreshListed(RecordID) VALUES(" + IntToStr(*record) + ")");
            Refresh(db, run, *record, values, profile_read);
            return false;
        }
    }
    db.Execute(BuildInsertStatement(values));
    const long long record = LastId(db);
    const std::string member_id = Stored(mfMemberID, Trim(values[mfMemberID]));
    const std::string company = Stored(mfCompanyName, Trim(values[mfCompanyName]));
    if (run.run > 0) {
        InsertChange(db, run, record, member_id, company, kChangeAdded);
        Count(db, run, "Added");
    }
    if (run.refresh && HasMatchTable(db)) AddMatchKeys(db, record, member_id, company);
    return true;
}

void MarkListed(Connection& db, const std::string& member_id, const std::string& company_name) {
    if (std::optional<long long> record = MatchOf(db, member_id, company_name))
        db.Execute("INSERT OR IGNORE INTO RefreshListed(RecordID) VALUES(" + IntToStr(*record) + ")");
}

void LogGone(Connection& db, const RunContext& run) {
    // A record whose last change says it is gone was logged so by an earlier refresh.
    std::vector<std::pair<long long, std::pair<std::string, std::string>>> gone;
    db.ForEachRow(
        "SELECT d.ID, d.MemberID, d.CompanyName FROM DataList d WHERE d.ID<=" + IntToStr(run.known_through) +
            " AND d.ID NOT IN (SELECT RecordID FROM RefreshListed) AND IFNULL((SELECT c.Kind FROM Changes c"
            " WHERE c.RecordID=d.ID ORDER BY c.ID DESC LIMIT 1),'')<>" + QuotedStr(kChangeGone) + " ORDER BY d.ID",
        [&](const Connection::RowView& row) {
            gone.push_back({std::stoll(std::string(row.cells[0])), {Trim(row.cells[1]), Trim(row.cells[2])}});
        });
    for (const auto& [id, names] : gone) InsertChange(db, run, id, names.first, names.second, kChangeGone);
    Count(db, run, "Gone", static_cast<long long>(gone.size()));
}

}  // namespace change_log
}  // namespace qv
