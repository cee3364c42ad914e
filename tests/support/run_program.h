#pragma once
// Runs a program as a child process with exactly the given environment, for tests of the
// real executables (an installed copy, a start without a display).
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace qv::test {

// The exit code (-1 when it did not exit normally); what it wrote to stdout and stderr
// goes to `out`.
inline int RunProgram(std::vector<std::string> args, std::vector<std::string> env, std::string& out) {
    TempDir dir;
    const std::string log = dir.file("log");
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    int status = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    out = ReadFileBytes(log);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace qv::test
