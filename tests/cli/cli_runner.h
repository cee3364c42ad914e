#pragma once
// Runs quorvane-cli in this process with captured output, as the command-line tests need.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "core/database.h"

extern char** environ;

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

// quorvane-cli as a child process, so it can be killed like a real one.
class CliProcess {
public:
    explicit CliProcess(const std::vector<std::string>& args,
                        const std::string& program = QUORVANE_BUILD_DIR "/quorvane-cli") {
        std::vector<std::string> all{program};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CliProcess() {
        if (pid_ > 0 && !status_) {
            kill(pid_, SIGKILL);
            Wait();
        }
    }
    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    bool Exited() {
        if (status_) return true;
        int st = 0;
        if (waitpid(pid_, &st, WNOHANG) == pid_) status_ = st;
        return status_.has_value();
    }
    void Signal(int sig) { kill(pid_, sig); }
    int Wait() {
        if (!status_) {
            int st = 0;
            waitpid(pid_, &st, 0);
            status_ = st;
        }
        return *status_;
    }

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// Records in a data file's DataList.
inline long Rows(const std::string& file) {
    Connection db(file, DatabaseKind::DataFile);
    return std::stol(db.Query("SELECT COUNT(*) FROM DataList").Text(0, "COUNT(*)"));
}

}  // namespace qv::test
