#pragma once
// One collecting process per data file. A run holds an exclusive flock on the data file
// itself for as long as it collects; a second run, a merge or anything else that must not
// read a file mid-run asks for the same lock without waiting. flock, unlike SQLite's own
// fcntl locks, belongs to the open file description, so it also keeps two runs of one
// process apart and is released by the kernel when the process dies.
#include <string>

namespace qv {

class DataFileRunLock {
public:
    // An empty lock, holding nothing.
    DataFileRunLock() = default;
    ~DataFileRunLock();
    DataFileRunLock(DataFileRunLock&& other) noexcept;
    DataFileRunLock& operator=(DataFileRunLock&& other) noexcept;
    DataFileRunLock(const DataFileRunLock&) = delete;
    DataFileRunLock& operator=(const DataFileRunLock&) = delete;

    // Takes the lock on an existing file without waiting. Returns an empty lock when
    // another run holds it; raises std::runtime_error when the file cannot be opened.
    static DataFileRunLock TryAcquire(const std::string& path);

    bool held() const { return fd_ >= 0; }
    explicit operator bool() const { return held(); }
    void Release() noexcept;

private:
    explicit DataFileRunLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// True while some run (of this or another process) holds the file's lock. A file that
// cannot be opened is not being collected.
bool IsBeingCollected(const std::string& path);

}  // namespace qv
