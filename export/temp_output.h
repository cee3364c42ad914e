#pragma once
// A file written beside its target and put in the target's place only by Commit. Where the
// file system can, it has no name until then (O_TMPFILE), so a process killed meanwhile
// leaves nothing behind; elsewhere it is a hidden temporary that the next export to the
// folder removes once its writer is gone.
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

    const std::string& target() const { return target_; }
    // A name the file can be opened by, for writers that open files by name.
    const std::string& path() const { return path_; }
    // The open stream; buffered, with write errors raised as ExportError.
    void Write(const void* data, size_t size);
    void Write(std::string_view bytes) { Write(bytes.data(), bytes.size()); }
    // Closes the stream, for writers that open the file by name.
    void CloseStream();
    // Flushes to disk and puts the file in the target's place.
    void Commit();
    // Raises ExportError with the write failure `err` of the target.
    [[noreturn]] void FailWriting(int err) const;

private:
    [[noreturn]] void Fail(std::string_view what) const;
    void Link();

    std::string target_;
    std::string path_;
    std::string named_;  // the temporary's own name in the folder; empty while it has none
    int fd_ = -1;
    std::FILE* file_ = nullptr;
    bool committed_ = false;
};

// Removes the temporaries of exports to `folder` whose writer is gone (killed, or a
// file system without nameless files). Called by every export before it starts.
void RemoveStaleTemporaries(const std::string& folder);

}  // namespace qv::exporting
