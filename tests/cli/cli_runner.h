#pragma once
// Runs quorvane-cli in this process with captured output, as the command-line tests need.
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "core/database.h"

namespace qv::test {

// Runs in `profile` when one is given, as the tool would in the window's profile.
inline int RunCli(std::vector<std::string> args, std::string& out, std::string& err,
                  std::optional<Profile> profile = std::nullopt) {
    std::vector<const char*> argv{"quorvane-cli"};
    for (auto& a : args) argv.push_back(a.c_str());
    std::ostringstream o, e;
    int code = cli::Run(static_cast<int>(argv.size()), argv.data(), {o, e}, std::move(profile));
    out = o.str();
    err = e.str();
    return code;
}

// Records in a data file's DataList.
inline long Rows(const std::string& file) {
    Connection db(file, DatabaseKind::DataFile);
    return std::stol(db.Query("SELECT COUNT(*) FROM DataList").Text(0, "COUNT(*)"));
}

}  // namespace qv::test
