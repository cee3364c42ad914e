#pragma once
// A disk that fills up, for as long as the object lives: a write past `bytes` fails with
// EFBIG instead of growing the file (SIGXFSZ is ignored meanwhile).
#include <sys/resource.h>

#include <csignal>

namespace qv::test {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : old_handler_(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &old_limit_);
        rlimit small = old_limit_;
        small.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_limit_);
        std::signal(SIGXFSZ, old_handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    void (*old_handler_)(int);
    rlimit old_limit_{};
};

}  // namespace qv::test
