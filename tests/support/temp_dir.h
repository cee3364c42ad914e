#pragma once
// A fresh directory under the system's temporary folder, removed with everything in it
// when the object goes.
#include <filesystem>
#include <string>

namespace qv::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // path() / name as a string.
    std::string file(const std::string& name) const;

private:
    std::filesystem::path path_;
};

// Reads or writes a whole file as bytes.
std::string ReadFileBytes(const std::filesystem::path& p);
void WriteFileBytes(const std::filesystem::path& p, const std::string& bytes);

}  // namespace qv::test
