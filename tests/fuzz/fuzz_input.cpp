#include "tests/fuzz/fuzz_input.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>

#include "core/data_files.h"

namespace qv::fuzz {
namespace {

// An in-memory database with the DataList table, kept for the whole fuzzing run.
sqlite3* DataListDatabase() {
    static sqlite3* db = [] {
        sqlite3* made = nullptr;
        sqlite3_open(":memory:", &made);
        sqlite3_exec(made, std::string(kCreateDataListSql).c_str(), nullptr, nullptr, nullptr);
        return made;
    }();
    return db;
}

}  // namespace

void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

void CheckOneDataListStatement(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(DataListDatabase(), sql.c_str(), static_cast<int>(sql.size()),
                                      &statement, &tail);
    sqlite3_finalize(statement);
    Check(rc == SQLITE_OK, "a statement that SQLite refuses");
    Check(tail == sql.c_str() + sql.size(), "text after the statement");
}

}  // namespace qv::fuzz
