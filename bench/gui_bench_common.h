#pragma once
// Shared by the GUI benchmarks: a throw-away program directory and the process's memory.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "tests/support/project_database.h"

namespace qv::bench {

// A temporary program directory with a project database of its own and an empty Data/;
// removed again when the object goes.
class ProgramDir {
public:
    ProgramDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quorvane-gui-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
        std::filesystem::create_directories(path_ / "database");
        std::filesystem::create_directories(path_ / "Data");
        test::MakeProjectDatabase(path_ / "database" / "DefaultProject.db");
    }
    ~ProgramDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ProgramDir(const ProgramDir&) = delete;
    ProgramDir& operator=(const ProgramDir&) = delete;

    // With the trailing '/' that StartUp expects.
    std::string str() const { return path_.string() + "/"; }

private:
    std::filesystem::path path_;
};

// A "VmHWM:" or "VmRSS:" line of /proc/self/status, in MiB.
inline double StatusMiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    std::string prefix = std::string(key) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0) return std::stod(line.substr(prefix.size())) / 1024.0;
    return -1;
}
inline double PeakRssMiB() { return StatusMiB("VmHWM"); }
inline double RssMiB() { return StatusMiB("VmRSS"); }

}  // namespace qv::bench
