#pragma once
// A file written under a temporary name beside its target and renamed over the target
// only by Commit; dropped without a Commit, it leaves nothing behind.
#include <cstdio>
#include <string>
#include <string_view>

namespace qv::exporting {

class TempOutput {
public:
    // Creates the temporary file; raises ExportError when the folder does not take it.
    explicit TempOutput(std::string target);
    ~TempOutput();
    TempOutput(const TempOutput&) = delete;
    TempOutput& operator=(const TempOutput&) = delete;

    const std::string& path() const { return temp_; }
    // The open stream; buffered, with write errors raised as ExportError.
    void Write(const void* data, size_t size);
    void Write(std::string_view bytes) { Write(bytes.data(), bytes.size()); }
    // Closes the stream, for writers that open the file by name.
    void CloseStream();
    // Flushes to disk and renames over the target.
    void Commit();

private:
    [[noreturn]] void Fail(std::string_view what) const;

    std::string target_;
    std::string temp_;
    std::FILE* file_ = nullptr;
    bool committed_ = false;
};

}  // namespace qv::exporting
