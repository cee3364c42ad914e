#include "export/temp_output.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <utility>

#include "export/export_file.h"
#include "export/file_error.h"

namespace qv::exporting {
namespace {

constexpr size_t kBufferSize = 1 << 20;

std::string FolderOf(const std::string& target) {
    std::string folder = std::filesystem::path(target).parent_path().string();
    return folder.empty() ? std::string(".") : folder;
}

// ".客户.xls.042917.tmp": hidden, and named after its target so that it says whose it is.
bool IsTemporaryName(std::string_view name) {
    constexpr std::string_view kEnd = ".tmp";
    if (name.size() < 1 + 1 + 1 + kEnd.size() || name.front() != '.' || name.substr(name.size() - kEnd.size()) != kEnd)
        return false;
    std::string_view rest = name.substr(0, name.size() - kEnd.size());
    size_t digits = 0;
    while (digits < rest.size() && rest[rest.size() - 1 - digits] >= '0' && rest[rest.size() - 1 - digits] <= '9')
        ++digits;
    return digits >= 1 && digits <= 6 && rest.size() > digits + 2 && rest[rest.size() - 1 - digits] == '.';
}

std::string TemporaryName(const std::string& target, std::minstd_rand& rng) {
    std::filesystem::path t(target);
    std::string number = std::to_string(rng() % 1000000);
    number.insert(0, 6 - number.size(), '0');
    return (t.parent_path() / ("." + t.filename().string() + "." + number + ".tmp")).string();
}

std::minstd_rand& Random() {
    thread_local std::minstd_rand rng(std::random_device{}());
    return rng;
}

}  // namespace

void RemoveStaleTemporaries(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    const int dir_fd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsTemporaryName(entry->d_name)) continue;
        int fd = ::openat(dir_fd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        // A writer holds its temporary locked to the end: a free lock means it is gone.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(dir_fd, entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

TempOutput::TempOutput(std::string target) : target_(std::move(target)) {
    const std::string folder = FolderOf(target_);
    RemoveStaleTemporaries(folder);
    fd_ = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    } else if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
        // A file system without nameless files.
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            named_ = TemporaryName(target_, Random());
            fd_ = ::open(named_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ < 0 && errno != EEXIST) break;
        }
        path_ = named_;
    }
    if (fd_ < 0) {
        const int err = errno;
        named_.clear();
        throw ExportError(CreateFailureText(target_, err));
    }
    ::flock(fd_, LOCK_EX | LOCK_NB);
    const int stream_fd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    file_ = stream_fd >= 0 ? ::fdopen(stream_fd, "wb") : nullptr;
    if (!file_) {
        // The destructor does not run for a constructor that throws.
        const int err = errno;
        if (stream_fd >= 0) ::close(stream_fd);
        ::close(fd_);
        if (!named_.empty()) ::unlink(named_.c_str());
        throw ExportError(CreateFailureText(target_, err));
    }
    std::setvbuf(file_, nullptr, _IOFBF, kBufferSize);
}

TempOutput::~TempOutput() {
    if (file_) std::fclose(file_);
    if (!committed_ && !named_.empty()) ::unlink(named_.c_str());
    if (fd_ >= 0) ::close(fd_);
}

void TempOutput::Fail(std::string_view what) const { throw ExportError(std::string(what)); }

void TempOutput::FailWriting(int err) const { Fail(WriteFailureText(target_, err)); }

void TempOutput::Write(const void* data, size_t size) {
    if (size != 0 && std::fwrite(data, 1, size, file_) != size) FailWriting(errno);
}

void TempOutput::CloseStream() {
    if (!file_) return;
    std::FILE* f = std::exchange(file_, nullptr);
    if (std::fclose(f) != 0) FailWriting(errno);
}

void TempOutput::Commit() {
    CloseStream();
    if (::fsync(fd_) != 0) FailWriting(errno);
    // A replaced file keeps its permissions: an export kept private stays private.
    struct stat old {};
    if (::stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(fd_, old.st_mode & 07777);
    Link();
    if (std::rename(named_.c_str(), target_.c_str()) != 0) {
        const int err = errno;
        Fail("无法替换文件 " + target_ + "：" + FileErrorCause(err));
    }
    named_.clear();
    committed_ = true;
}

// Gives a nameless file its temporary name, from which a rename puts it in place: a link
// cannot replace an existing file.
void TempOutput::Link() {
    if (!named_.empty()) return;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = TemporaryName(target_, Random());
        if (::linkat(AT_FDCWD, path_.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            named_ = std::move(name);
            return;
        }
        if (errno != EEXIST) break;
    }
    const int err = errno;
    Fail("无法保存文件 " + target_ + "：" + FileErrorCause(err));
}

}  // namespace qv::exporting
