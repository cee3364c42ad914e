#include "core/database.h"

#include <sqlite3.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <utility>

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

// Exactly one statement, prepared; raises for none, more than one or an engine error.
sqlite3_stmt* PrepareOne(sqlite3* db, std::string_view sql) {
    const char* begin = sql.data();
    const char* end = begin + sql.size();
    const char* tail = nullptr;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, begin, static_cast<int>(sql.size()), &stmt, &tail) != SQLITE_OK)
        throw DatabaseError(sqlite3_errmsg(db));
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
        throw DatabaseError(sqlite3_errmsg(db_));
    }
    sqlite3_stmt* get() const { return stmt_; }

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace

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
    // Without SQLITE_OPEN_CREATE a missing file is an error, not a new empty database.
    int flags = kind == DatabaseKind::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (threads == ConnectionThreads::One) flags |= SQLITE_OPEN_NOMUTEX;
    int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    try {
        if (rc != SQLITE_OK) throw DatabaseError(db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc));
        sqlite3_busy_timeout(db_, kBusyTimeoutMs);
        // Opening is lazy; reading the schema is what finds a file that is not a database.
        Query("SELECT count(*) FROM sqlite_master");
        // A write-protected file (a category file on read-only media) keeps its journal
        // mode, so it can still be read.
        if (kind == DatabaseKind::DataFile && sqlite3_db_readonly(db_, "main") != 1) {
            Query("PRAGMA journal_mode=WAL");
            Execute("PRAGMA synchronous=NORMAL");
        }
    } catch (const DatabaseError& e) {
        Close();
        throw DatabaseError(std::string(e.what()) + ": " + path);
    }
    registry_key_ = CanonicalKey(path);
    OpenFileRegistry::Instance().Add(registry_key_);
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
    if (sqlite3_bind_int64(stmt_, 1, value) != SQLITE_OK) throw DatabaseError(sqlite3_errmsg(db_));
}

bool RowCursor::Next() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw DatabaseError(sqlite3_errmsg(db_));
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
