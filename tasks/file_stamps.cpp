#include "tasks/file_stamps.h"

#include <sys/stat.h>

#include <algorithm>

namespace qv::tasks {

bool FileStamps::Changed(const std::string& path) {
    std::vector<Stamp> now;
    for (const char* suffix : {"", "-wal", "-journal"}) {
        Stamp stamp;
        struct stat st {};
        if (stat((path + suffix).c_str(), &st) == 0) {
            stamp.size = static_cast<long long>(st.st_size);
            stamp.modified_ns = static_cast<long long>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
        }
        now.push_back(stamp);
    }
    auto [at, added] = stamps_.try_emplace(path, now);
    if (added) return true;
    if (at->second == now) return false;
    at->second = std::move(now);
    return true;
}

void FileStamps::KeepOnly(const std::vector<std::string>& kept) {
    std::erase_if(stamps_, [&](const auto& entry) {
        return std::find(kept.begin(), kept.end(), entry.first) == kept.end();
    });
}

}  // namespace qv::tasks
