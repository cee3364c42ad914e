#pragma once
// A portable profile in a temporary folder, as the window would leave it, for running the
// command line in it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/data_files.h"
#include "core/profile.h"
#include "tests/cli/cli_runner.h"
#include "tests/support/project_database.h"
#include "tests/support/temp_dir.h"

namespace qv::test {

class PortableProfileCli : public ::testing::Test {
protected:
    PortableProfileCli() {
        std::filesystem::create_directories(dir.file("database"));
        std::filesystem::create_directories(dir.file("Data"));
        MakeProjectDatabase(profile.ProjectDatabase());
    }
    int Cli(std::vector<std::string> args) { return RunCli(std::move(args), out, err, profile); }
    std::string File(const std::string& task) const { return TaskDataFilePath(profile.TaskDir(), task); }

    TempDir dir;
    Profile profile = PortableProfile(dir.path().string());
    std::string out, err;
};

}  // namespace qv::test
