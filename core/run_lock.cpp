#include "core/run_lock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace qv {

DataFileRunLock::~DataFileRunLock() { Release(); }

DataFileRunLock::DataFileRunLock(DataFileRunLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)) {}

DataFileRunLock& DataFileRunLock::operator=(DataFileRunLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void DataFileRunLock::Release() noexcept {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));  // closing drops the flock
}

DataFileRunLock DataFileRunLock::TryAcquire(const std::string& path) {
    // Read-only is enough for flock and works on a file the user may not write.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        throw std::runtime_error("无法打开数据文件 " + path + "：" + std::strerror(errno));
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK) return DataFileRunLock{};
        throw std::runtime_error("无法锁定数据文件 " + path + "：" + std::strerror(err));
    }
    return DataFileRunLock{fd};
}

bool IsBeingCollected(const std::string& path) {
    try {
        return !DataFileRunLock::TryAcquire(path).held();
    } catch (const std::runtime_error&) {
        return false;
    }
}

}  // namespace qv
