#pragma once
// What a user without write rights sees: the tests run as root, who may write anywhere,
// so such a case runs in a forked child that gave up root for the user nobody.
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>

namespace qv::test {

inline constexpr uid_t kNobody = 65534;

// Runs `work` in a child as nobody (or as the caller when it is not root) and gives back
// the text it returned; nullopt, with `why`, when the child could not drop root.
inline std::optional<std::string> RunUnprivileged(const std::function<std::string()>& work,
                                                  std::string& why) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) {
        why = "no pipe";
        return std::nullopt;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        why = "cannot fork";
        return std::nullopt;
    }
    if (pid == 0) {
        ::close(pipe_fds[0]);
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            ::_exit(3);
        std::string text;
        try {
            text = work();
        } catch (const std::exception& e) {
            text = std::string("exception: ") + e.what();
        }
        for (size_t at = 0; at < text.size();) {
            const ssize_t n = ::write(pipe_fds[1], text.data() + at, text.size() - at);
            if (n <= 0) break;
            at += static_cast<size_t>(n);
        }
        ::_exit(0);
    }
    ::close(pipe_fds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
    ::close(pipe_fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 3) {
        why = "cannot give up root (setuid to nobody refused)";
        return std::nullopt;
    }
    // A child that died gives a text no test expects, so the test fails rather than skips.
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "the child died, status " + std::to_string(status);
    return text;
}

}  // namespace qv::test

// Runs the block's text-returning lambda as nobody, or skips the test saying why not.
#define QV_RUN_UNPRIVILEGED(result, ...)                                          \
    std::string result;                                                           \
    {                                                                             \
        std::string why_;                                                         \
        auto got_ = ::qv::test::RunUnprivileged(__VA_ARGS__, why_);               \
        if (!got_) GTEST_SKIP() << "needs a user without write rights: " << why_; \
        result = *got_;                                                           \
    }
