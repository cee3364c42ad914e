#pragma once
// The rule for a new task's name. The name becomes the name of the task's data file, so
// it is checked before anything is stored: a name the file system would refuse, or one
// that a user could not tell apart in a file list, never reaches the task list.
#include <string>
#include <string_view>

namespace qv {

// Why `name` (as the user will see it stored, trimmed) cannot name a new task, for the
// user and naming the offending character; empty when it can.
std::string TaskNameFault(std::string_view name);

}  // namespace qv
