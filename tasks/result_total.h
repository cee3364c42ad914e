#pragma once
// The result count of a task's search (总数), kept in its data file so that the task list
// shows 总数 and 进度 after a restart as the session that ran it did.
#include <optional>
#include <string>

namespace qv::tasks {

// Writes `total` into the data file at `path` (a table of our own beside DataList).
void SaveResultTotal(const std::string& path, long long total);

// What the task list shows of a file no run of this window uses: the saved total, and how
// many companies its run handled (from the saved position; all of them once finished).
struct SavedFigures {
    std::optional<long long> total;
    std::optional<long long> handled;  // none before the file's first run
};
// Nothing for a missing or unreadable file; the file is not written.
SavedFigures ReadSavedFigures(const std::string& path);

}  // namespace qv::tasks
