#pragma once
// A small RAII wrapper over SQLite. One statement per call: a text holding a second
// statement is refused. Engine errors are raised as DatabaseError with the engine's text.
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace qv {

class DatabaseError : public std::runtime_error {
public:
    // `code` is the engine's extended result code and `system_errno` the errno of the
    // file operation behind it; both 0 for faults found outside the engine.
    explicit DatabaseError(const std::string& text, int code = 0, int system_errno = 0)
        : std::runtime_error(text), code_(code), system_errno_(system_errno) {}
    int code() const { return code_; }
    int system_errno() const { return system_errno_; }

private:
    int code_;
    int system_errno_;
};

// What went wrong, in the words a Chinese user reads (磁盘已满, 文件过大, 没有写入权限,
// 数据文件已损坏, ...); empty when the error gives no cause beyond its own text.
std::string DatabaseFaultWords(const DatabaseError& error);
// "数据文件 PATH 出错：磁盘已满（database or disk is full）": the file, the cause in words,
// the engine's text as the detail.
std::string DataFileErrorText(const std::string& path, const DatabaseError& error);

// A self-describing copy of one query result: the column names and all rows.
// A cell is std::nullopt for SQL NULL.
struct DataPacket {
    std::vector<std::string> columns;
    std::vector<std::vector<std::optional<std::string>>> rows;

    // -1 when the packet has no such column (matched without regard to ASCII case).
    int ColumnIndex(std::string_view name) const;
    // The cell as text ("" for NULL or an unknown column).
    std::string Text(size_t row, std::string_view column) const;
    long long Integer(size_t row, std::string_view column) const;
};

enum class DatabaseKind {
    Project,   // the project database
    DataFile,  // task data files: WAL, synchronous=NORMAL
    // Only read, never written. Reading creates nothing beside the file: a file this user
    // may write is opened with writes refused (so closing it tidies its WAL files away), and
    // a file in a read-only place (folder or file not writable) is opened read-only, taken as
    // unchangeable unless a WAL file beside it holds changes.
    ReadOnly,
};
// The project kind opens a file it may not write as the read-only kind does, so reading
// a data file someone may only read works and leaves nothing beside it.

// Whether a connection may be called from several threads (SQLite then locks it on every
// call) or is kept by one thread, which spares those locks: they count when millions of
// cells are read, as a merge or a search across tasks does.
enum class ConnectionThreads { Shared, One };

// Call first thing in main, before anything opens a database: turns off SQLite's memory
// statistics, which nothing here reads and which take a process-wide lock on every
// allocation SQLite makes.
void PrepareSqliteForThisProcess();

class Connection {
public:
    // Opens an existing file (never creates one); raises DatabaseError when it cannot.
    Connection(const std::string& path, DatabaseKind kind,
               ConnectionThreads threads = ConnectionThreads::Shared);
    ~Connection();
    Connection(Connection&& other) noexcept;
    Connection& operator=(Connection&& other) noexcept;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Runs one statement that returns no rows. "Counter" in a CREATE TABLE becomes
    // INTEGER, so ID is the auto-numbered row key.
    void Execute(std::string_view sql);
    // Runs one query and copies every row.
    DataPacket Query(std::string_view sql);

    // One row of ForEachRow: the cells are valid only during the visit; NULL reads as "".
    struct RowView {
        std::vector<std::string_view> columns;
        std::vector<std::string_view> cells;
    };
    using RowVisitor = std::function<void(const RowView&)>;
    // Runs one query and visits its rows without copying them; for large tables.
    void ForEachRow(std::string_view sql, const RowVisitor& visit);

    const std::string& path() const { return path_; }
    // Rows changed by the last Execute.
    int Changes() const;

private:
    friend class RowCursor;
    enum class OpenWay { ReadWrite, QueryOnly, ReadOnly, Immutable };
    static OpenWay WayToRead(const std::string& path, DatabaseKind kind);
    void Open(const std::string& path, OpenWay way, ConnectionThreads threads);
    void Close() noexcept;

    sqlite3* db_ = nullptr;
    std::string path_;
    std::string registry_key_;  // canonical path, as counted by IsPathOpen
};

// A query whose rows the caller takes one at a time, reading only the cells it asks for:
// for walking a large table in step with another stream. It can run again with a new
// integer for its parameter ?1, which makes one prepared lookup by ID serve many rows.
class RowCursor {
public:
    // Prepares one statement on `db`, which must outlive the cursor.
    RowCursor(Connection& db, std::string_view sql);
    ~RowCursor();
    RowCursor(const RowCursor&) = delete;
    RowCursor& operator=(const RowCursor&) = delete;

    // Starts the statement again from its first row, with ?1 bound to `value`.
    void Restart(long long value);
    // Steps to the next row; false after the last. Raises DatabaseError.
    bool Next();
    int ColumnCount() const;
    std::string_view ColumnName(int column) const;
    // A cell of the current row: valid until the next step; NULL reads as "".
    std::string_view Text(int column) const;
    long long Integer(int column) const;

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// True while a Connection of this process holds the file at `path` open.
bool IsPathOpen(const std::string& path);

}  // namespace qv
