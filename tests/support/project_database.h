#pragma once
// A fresh project database made from data/DefaultProject.sql. Tests and benchmarks make
// their own instead of copying build/database/DefaultProject.db, which holds the user's
// tasks (and may be open, in WAL mode) once the program has been used.
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace qv::test {

inline void MakeProjectDatabase(const std::filesystem::path& file) {
    const std::filesystem::path sql_file =
        std::filesystem::path(QUORVANE_SOURCE_DIR) / "data" / "DefaultProject.sql";
    std::ifstream in(sql_file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + sql_file.string());
    const std::string sql{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    char* error = nullptr;
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    std::string message = error ? error : (db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_free(error);
    sqlite3_close(db);
    if (rc != SQLITE_OK) throw std::runtime_error("cannot make " + file.string() + ": " + message);
}

}  // namespace qv::test
