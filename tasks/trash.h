#pragma once
// The desktop's trash (the freedesktop.org one that file managers show), where a deleted
// task's data file goes so that a hasty Enter can be undone.
#include <string>

namespace qv::tasks {

// Moves the SQLite file at `path` (its committed rows first written into it, so nothing
// stays behind in a -wal file) into the trash; false, with the file left where it was,
// when there is no trash to be had.
bool MoveToDesktopTrash(const std::string& path);

}  // namespace qv::tasks
