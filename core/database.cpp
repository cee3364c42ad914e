#include "core/database.h"

#include <sqlite3.h>

#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <utility>

#include "core/file_fault.h"
#include "core/text.h"

namespace qv {
namespace {

constexpr int kBusyTimeoutMs = 5000;

bool IsWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// Splits off the leading words of `sql` to tell a CREATE TABLE from anything else.
bool StartsWithCreateTable(std::string_view sql) {
    size_t i = 0;
    auto next_word = [&]() {
        while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
        size_t b = i;
        while (i < sql.size() && IsWordChar(sql[i])) ++i;
        return sql.substr(b, i - b);
    };
    return EqualsIgnoringCase(next_word(), "create") && EqualsIgnoringCase(next_word(), "table");
}

// Jet's auto-numbered type "Counter" becomes INTEGER, which with the table's
// "Primary key (ID)" makes ID SQLite's row key. Only a type is adapted: the word that
// follows a column name at the start of a column definition; quoted text is left alone.
std::string AdaptJetSql(std::string_view sql) {
    if (!StartsWithCreateTable(sql)) return std::string(sql);
    std::string result;
    result.reserve(sql.size());
    // The last two tokens: words and quoted names as "w", punctuation as itself.
    std::string before_last, last;
    size_t i = 0;
    while (i < sql.size()) {
        char c = sql[i];
        size_t b = i;
        std::string token;
        if (std::isspace(static_cast<unsigned char>(c))) {
            result.push_back(c);
            ++i;
            continue;
        }
        if (c == '\'' || c == '"' || c == '[' || c == '`') {
            char close = c == '[' ? ']' : c;
            size_t e = sql.find(close, i + 1);
            i = e == std::string_view::npos ? sql.size() : e + 1;
            token = c == '\'' ? "'" : "w";
        } else if (IsWordChar(c)) {
            while (i < sql.size() && IsWordChar(sql[i])) ++i;
            token = "w";
        } else {
            ++i;
            token = std::string(1, c);
        }
        std::string_view text = sql.substr(b, i - b);
        bool type_position = last == "w" && (before_last == "(" || before_last == ",");
        result.append(type_position && EqualsIgnoringCase(text, "counter") ? std::string_view("INTEGER")
                                                                     : text);
        before_last = std::exchange(last, token);
    }
    return result;
}

bool OnlyBlanksAndSemicolons(const char* tail, const char* end) {
    for (; tail < end; ++tail)
        if (!std::isspace(static_cast<unsigned char>(*tail)) && *tail != ';') return false;
    return true;
}

// Counts the connections this process holds on each file, by canonical path, so that
// a file is not deleted under an open connection.
class OpenFileRegistry {
public:
    static OpenFileRegistry& Instance() {
        static OpenFileRegistry registry;
        return registry;
    }
    void Add(const std::string& key) {
        std::lock_guard lock(mutex_);
        ++counts_[key];
    }
    void Remove(const std::string& key) {
        std::lock_guard lock(mutex_);
        auto it = counts_.find(key);
        if (it != counts_.end() && --it->second <= 0) counts_.erase(it);
    }
    bool Contains(const std::string& key) {
        std::lock_guard lock(mutex_);
        return counts_.count(key) != 0;
    }

private:
    std::mutex mutex_;
    std::map<std::string, int> counts_;
};

std::string CanonicalKey(const std::string& path) {
    std::error_code ec;
    auto canonical = std::filesystem::weakly_canonical(path, ec);
    if (ec) canonical = std::filesystem::absolute(path, ec);
    return canonical.lexically_normal().string();
}

// The engine's last error on `db`, with its codes.
DatabaseError EngineError(sqlite3* db) {
    return DatabaseError(sqlite3_errmsg(db), sqlite3_extended_errcode(db), sqlite3_system_errno(db));
}

// Exactly one statement, prepared; raises for none, more than one or an engine error.
sqlite3_stmt* PrepareOne(sqlite3* db, std::string_view sql) {
    const char* begin = sql.data();
    const char* end = begin + sql.size();
    const char* tail = nullptr;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, begin, static_cast<int>(sql.size()), &stmt, &tail) != SQLITE_OK)
        throw EngineError(db);
    if (!stmt) throw DatabaseError("the statement text holds no statement");
    if (!OnlyBlanksAndSemicolons(tail, end)) {
        sqlite3_finalize(stmt);
        throw DatabaseError("the statement text holds more than one statement");
    }
    return stmt;
}

// A prepared statement that finalizes itself.
class Statement {
public:
    Statement(sqlite3* db, std::string_view sql) : db_(db), stmt_(PrepareOne(db, sql)) {}
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // True while a row is available; raises on an engine error.
    bool Step() {
        int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        throw EngineError(db_);
    }
    sqlite3_stmt* get() const { return stmt_; }

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

bool MayWrite(const std::string& path) {
    std::string dir = std::filesystem::path(path).parent_path().string();
    if (dir.empty()) dir = ".";
    return ::access(path.c_str(), W_OK) == 0 && ::access(dir.c_str(), W_OK | X_OK) == 0;
}

bool HoldsWalChanges(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path + "-wal", ec);
    return !ec && size > 0;
}

// "file:" URI of `path` with the immutable parameter: every byte outside the unreserved
// set is escaped, so '?', '#' and '%' in a name stay part of it.
std::string ImmutableUri(const std::string& path) {
    std::string uri = "file:";
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            uri.push_back(static_cast<char>(c));
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            uri += escaped;
        }
    }
    return uri + "?immutable=1";
}

}  // namespace

Connection::OpenWay Connection::WayToRead(const std::string& path, DatabaseKind kind) {
    if (MayWrite(path)) return kind == DatabaseKind::ReadOnly ? OpenWay::QueryOnly : OpenWay::ReadWrite;
    // Nobody of this user's writes it, so nothing changes it while it is read, unless a
    // WAL file holds changes that only a read-only open sees.
    return HoldsWalChanges(path) ? OpenWay::ReadOnly : OpenWay::Immutable;
}

std::string DatabaseFaultWords(const DatabaseError& error) {
    const int primary = error.code() & 0xff;
    // The errno counts only for the faults of a file operation: it may be left over from
    // an earlier probe otherwise.
    if (primary == SQLITE_IOERR || primary == SQLITE_FULL || primary == SQLITE_CANTOPEN) {
        const int system = error.system_errno();
        if (system == ENOSPC || system == EDQUOT || system == EFBIG || system == EROFS ||
            system == EACCES || system == EPERM)
            return FileFaultWords(system);
    }
    switch (primary) {
    case SQLITE_FULL: return "磁盘已满";
    case SQLITE_READONLY: return "没有写入权限";
    case SQLITE_PERM:
    case SQLITE_AUTH: return "没有权限";
    case SQLITE_CORRUPT: return "数据文件已损坏";
    case SQLITE_NOTADB: return "不是数据文件";
    case SQLITE_IOERR: return "读写磁盘出错";
    case SQLITE_CANTOPEN: return "无法打开文件";
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return "文件正被另一个程序使用";
    case SQLITE_NOMEM: return "内存不足";
    case SQLITE_TOOBIG: return "数据过大";
    default: return {};
    }
}

namespace {

// Why writing beside `path` fails, found from the disk and the process's limits: the
// engine's errno is taken after later calls and often tells nothing. Empty when neither
// explains it.
std::string DiskWriteCause(const std::string& path) {
    std::string dir = std::filesystem::path(path).parent_path().string();
    if (dir.empty()) dir = ".";
    struct statvfs disk {};
    if (::statvfs(dir.c_str(), &disk) == 0 && disk.f_bavail == 0) return FileFaultWords(ENOSPC);
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        constexpr std::uintmax_t kPage = 65536;  // a write that no longer fits below the limit
        for (const char* suffix : {"", "-wal", "-journal"}) {
            std::error_code ec;
            const std::uintmax_t size = std::filesystem::file_size(path + suffix, ec);
            if (!ec && size + kPage > limit.rlim_cur) return FileFaultWords(EFBIG);
        }
    }
    return {};
}

}  // namespace

std::string DataFileErrorText(const std::string& path, const DatabaseError& error) {
    std::string detail = error.what();
    // Errors of opening already end in the path, which the text names first.
    if (const std::string tail = ": " + path; detail.size() > tail.size() && detail.ends_with(tail))
        detail.resize(detail.size() - tail.size());
    std::string words = DatabaseFaultWords(error);
    if (const int primary = error.code() & 0xff; primary == SQLITE_IOERR || primary == SQLITE_FULL)
        if (std::string cause = DiskWriteCause(path); !cause.empty()) words = cause;
    return "数据文件 " + path + " 出错：" + (words.empty() ? detail : words + "（" + detail + "）");
}

int DataPacket::ColumnIndex(std::string_view name) const {
    for (size_t i = 0; i < columns.size(); ++i)
        if (EqualsIgnoringCase(columns[i], name)) return static_cast<int>(i);
    return -1;
}

std::string DataPacket::Text(size_t row, std::string_view column) const {
    int index = ColumnIndex(column);
    if (index < 0 || row >= rows.size()) return {};
    const auto& cell = rows[row][static_cast<size_t>(index)];
    return cell ? *cell : std::string();
}

long long DataPacket::Integer(size_t row, std::string_view column) const {
    return std::strtoll(Text(row, column).c_str(), nullptr, 10);
}

void PrepareSqliteForThisProcess() { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); }

Connection::Connection(const std::string& path, DatabaseKind kind, ConnectionThreads threads)
    : path_(path) {
    const OpenWay way = kind == DatabaseKind::DataFile ? OpenWay::ReadWrite : WayToRead(path, kind);
    try {
        Open(path, way, threads);
        if (way == OpenWay::ReadOnly) {
            // A WAL file with changes but no shared-memory file beside it cannot be opened
            // where nothing may be made; what the file itself holds can still be read.
            try {
                Query("SELECT count(*) FROM sqlite_master");
            } catch (const DatabaseError& e) {
                const int primary = e.code() & 0xff;
                if (primary != SQLITE_CANTOPEN && primary != SQLITE_READONLY) throw;
                Close();
                Open(path, OpenWay::Immutable, threads);
            }
        }
        sqlite3_busy_timeout(db_, kBusyTimeoutMs);
        // Opening is lazy; reading the schema is what finds a file that is not a database.
        Query("SELECT count(*) FROM sqlite_master");
        if (way == OpenWay::QueryOnly) Execute("PRAGMA query_only=1");
        // A write-protected file (a category file on read-only media) keeps its journal
        // mode, so it can still be read.
        if (kind == DatabaseKind::DataFile && sqlite3_db_readonly(db_, "main") != 1) {
            Query("PRAGMA journal_mode=WAL");
            Execute("PRAGMA synchronous=NORMAL");
        }
    } catch (const DatabaseError& e) {
        Close();
        throw DatabaseError(std::string(e.what()) + ": " + path, e.code(), e.system_errno());
    }
    registry_key_ = CanonicalKey(path);
    OpenFileRegistry::Instance().Add(registry_key_);
}

void Connection::Open(const std::string& path, OpenWay way, ConnectionThreads threads) {
    // Without SQLITE_OPEN_CREATE a missing file is an error, not a new empty database.
    int flags = way == OpenWay::ReadWrite || way == OpenWay::QueryOnly ? SQLITE_OPEN_READWRITE
                                                                       : SQLITE_OPEN_READONLY;
    if (threads == ConnectionThreads::One) flags |= SQLITE_OPEN_NOMUTEX;
    std::string name = path;
    if (way == OpenWay::Immutable) {
        flags |= SQLITE_OPEN_URI;
        name = ImmutableUri(path);
    }
    const int rc = sqlite3_open_v2(name.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        DatabaseError error = db_ ? EngineError(db_) : DatabaseError(sqlite3_errstr(rc), rc);
        Close();
        throw error;
    }
}

Connection::~Connection() { Close(); }

Connection::Connection(Connection&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)),
      path_(std::move(other.path_)),
      registry_key_(std::exchange(other.registry_key_, {})) {}

Connection& Connection::operator=(Connection&& other) noexcept {
    if (this != &other) {
        Close();
        db_ = std::exchange(other.db_, nullptr);
        path_ = std::move(other.path_);
        registry_key_ = std::exchange(other.registry_key_, {});
    }
    return *this;
}

void Connection::Close() noexcept {
    if (!db_) return;
    sqlite3_close_v2(db_);
    db_ = nullptr;
    if (!registry_key_.empty()) OpenFileRegistry::Instance().Remove(registry_key_);
    registry_key_.clear();
}

void Connection::Execute(std::string_view sql) {
    if (!db_) throw DatabaseError("the connection is closed");
    std::string adapted = AdaptJetSql(sql);
    Statement stmt(db_, adapted);
    while (stmt.Step()) {
    }
}

DataPacket Connection::Query(std::string_view sql) {
    if (!db_) throw DatabaseError("the connection is closed");
    Statement stmt(db_, sql);
    DataPacket packet;
    int count = sqlite3_column_count(stmt.get());
    for (int i = 0; i < count; ++i) packet.columns.emplace_back(sqlite3_column_name(stmt.get(), i));
    while (stmt.Step()) {
        auto& row = packet.rows.emplace_back();
        row.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            if (sqlite3_column_type(stmt.get(), i) == SQLITE_NULL) {
                row.emplace_back(std::nullopt);
                continue;
            }
            auto text = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), i));
            int bytes = sqlite3_column_bytes(stmt.get(), i);
            row.emplace_back(std::string(text ? text : "", static_cast<size_t>(bytes)));
        }
    }
    return packet;
}

void Connection::ForEachRow(std::string_view sql, const RowVisitor& visit) {
    if (!db_) throw DatabaseError("the connection is closed");
    Statement stmt(db_, sql);
    RowView row;
    row.columns.resize(static_cast<size_t>(sqlite3_column_count(stmt.get())));
    for (size_t i = 0; i < row.columns.size(); ++i)
        row.columns[i] = sqlite3_column_name(stmt.get(), static_cast<int>(i));
    row.cells.resize(row.columns.size());
    while (stmt.Step()) {
        for (size_t i = 0; i < row.cells.size(); ++i) {
            int col = static_cast<int>(i);
            auto text = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), col));
            row.cells[i] = std::string_view(text ? text : "",
                                            static_cast<size_t>(sqlite3_column_bytes(stmt.get(), col)));
        }
        visit(row);
    }
}

int Connection::Changes() const { return db_ ? sqlite3_changes(db_) : 0; }

RowCursor::RowCursor(Connection& db, std::string_view sql) : db_(db.db_) {
    if (!db_) throw DatabaseError("the connection is closed");
    stmt_ = PrepareOne(db_, sql);
}

RowCursor::~RowCursor() { sqlite3_finalize(stmt_); }

void RowCursor::Restart(long long value) {
    sqlite3_reset(stmt_);
    if (sqlite3_bind_int64(stmt_, 1, value) != SQLITE_OK) throw EngineError(db_);
}

bool RowCursor::Next() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw EngineError(db_);
}

int RowCursor::ColumnCount() const { return sqlite3_column_count(stmt_); }

std::string_view RowCursor::ColumnName(int column) const {
    const char* name = sqlite3_column_name(stmt_, column);
    return name ? name : "";
}

std::string_view RowCursor::Text(int column) const {
    auto text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return {text ? text : "", static_cast<size_t>(sqlite3_column_bytes(stmt_, column))};
}

long long RowCursor::Integer(int column) const { return sqlite3_column_int64(stmt_, column); }

bool IsPathOpen(const std::string& path) {
    return OpenFileRegistry::Instance().Contains(CanonicalKey(path));
}

}  // namespace qv
