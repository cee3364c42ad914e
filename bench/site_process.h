#pragma once
// quorvane-site as a child process for the benchmarks, stopped with SIGTERM when this goes,
// so its threads never compete with the measured program's for a lock or an allocator.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace qv::bench {

class SiteProcess {
public:
    // `extra`: further options (--week N, --port P, ...).
    SiteProcess(int delay_ms, int companies, int threads, std::vector<std::string> extra = {}) {
        int out[2];
        if (pipe(out) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const std::string program = std::string(QUORVANE_BUILD_DIR) + "/quorvane-site";
        std::vector<std::string> args{program, "--delay-ms", std::to_string(delay_ms), "--companies",
                                      std::to_string(companies), "--threads", std::to_string(threads)};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            throw std::runtime_error("cannot start " + program);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        // "listening on http://127.0.0.1:PORT"
        std::string line;
        char c = 0;
        while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
        close(out[0]);
        const auto colon = line.rfind(':');
        if (colon == std::string::npos) throw std::runtime_error("the simulator said: " + line);
        port_ = line.substr(colon + 1);
        base_url_ = "http://127.0.0.1:" + port_;
    }
    ~SiteProcess() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    SiteProcess(const SiteProcess&) = delete;
    SiteProcess& operator=(const SiteProcess&) = delete;
    const std::string& base_url() const { return base_url_; }
    const std::string& port() const { return port_; }

private:
    pid_t pid_ = 0;
    std::string port_, base_url_;
};

}  // namespace qv::bench
