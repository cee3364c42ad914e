#include "export/temp_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <utility>

#include "export/export_file.h"

namespace qv::exporting {
namespace {

constexpr size_t kBufferSize = 1 << 20;

std::string ErrnoText(int err) { return std::strerror(err); }

}  // namespace

TempOutput::TempOutput(std::string target) : target_(std::move(target)) {
    std::filesystem::path t(target_);
    std::string base = t.filename().string();
    std::random_device seed;
    std::minstd_rand rng(seed());
    int fd = -1;
    // Named after the target and hidden, so a file left by a killed process says whose it is.
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp_ = (t.parent_path() / ("." + base + "." + std::to_string(rng() % 1000000) + ".tmp"))
                    .string();
        fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        int err = errno;
        temp_.clear();
        throw ExportError("无法创建文件 " + target_ + "：" + ErrnoText(err));
    }
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        // The destructor does not run for a constructor that throws.
        int err = errno;
        ::close(fd);
        ::unlink(temp_.c_str());
        Fail("无法创建文件 " + target_ + "：" + ErrnoText(err));
    }
    std::setvbuf(file_, nullptr, _IOFBF, kBufferSize);
}

TempOutput::~TempOutput() {
    if (file_) std::fclose(file_);
    if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
}

void TempOutput::Fail(std::string_view what) const { throw ExportError(std::string(what)); }

void TempOutput::Write(const void* data, size_t size) {
    if (size != 0 && std::fwrite(data, 1, size, file_) != size)
        Fail("写入文件失败：" + ErrnoText(errno));
}

void TempOutput::CloseStream() {
    if (!file_) return;
    std::FILE* f = std::exchange(file_, nullptr);
    if (std::fclose(f) != 0) Fail("写入文件失败：" + ErrnoText(errno));
}

void TempOutput::Commit() {
    if (file_) {
        if (std::fflush(file_) != 0 || ::fsync(::fileno(file_)) != 0)
            Fail("写入文件失败：" + ErrnoText(errno));
        CloseStream();
    } else if (int fd = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
        // Written by a library through its own stream: make it durable before the rename.
        int rc = ::fsync(fd);
        int err = errno;
        ::close(fd);
        if (rc != 0) Fail("写入文件失败：" + ErrnoText(err));
    }
    // A replaced file keeps its permissions: an export kept private stays private.
    struct stat old {};
    if (::stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        ::chmod(temp_.c_str(), old.st_mode & 07777);
    if (std::rename(temp_.c_str(), target_.c_str()) != 0)
        Fail("无法替换文件 " + target_ + "：" + ErrnoText(errno));
    committed_ = true;
}

}  // namespace qv::exporting
