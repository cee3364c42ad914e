#pragma once
// Notices that another program wrote an SQLite file: quorvane-cli adding a task, a crawl of
// the command line or the weekly timer filling a task's data file. SQLite writes the file
// itself, its -wal or its -journal, so a new size or time of any of them is a change; a few
// stat calls are cheap enough to poll every couple of seconds.
#include <map>
#include <string>
#include <vector>

namespace qv::tasks {

class FileStamps {
public:
    // True when `path` or its -wal or -journal changed since the last call for it (and on
    // the first call).
    bool Changed(const std::string& path);
    // Stamps of paths not in `kept` are dropped (deleted tasks).
    void KeepOnly(const std::vector<std::string>& kept);

private:
    struct Stamp {
        long long size = -1;  // -1: missing
        long long modified_ns = 0;
        bool operator==(const Stamp&) const = default;
    };
    std::map<std::string, std::vector<Stamp>> stamps_;
};

}  // namespace qv::tasks
