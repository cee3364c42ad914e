#pragma once
// What tests of unchanged or private files look at: the files SQLite would leave beside a
// database, and a file's mode.
#include <sys/stat.h>

#include <filesystem>
#include <string>

namespace qv::test {

// " -wal -shm" and so on for the side files beside `path`; "" when there are none.
inline std::string SideFiles(const std::string& path) {
    std::string found;
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        if (std::filesystem::exists(path + suffix)) found += std::string(" ") + suffix;
    return found;
}

// The permission bits of `path`.
inline mode_t Mode(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

}  // namespace qv::test
