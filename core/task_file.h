#pragma once
// A task as the commands that read many tasks at once take it: the name it is shown by
// and its data file.
#include <string>

namespace qv {

struct TaskFile {
    std::string name;
    std::string path;
};

// A data file named on the command line stands for the task named by its file name
// without ".db" (灯具.db is the task 灯具).
TaskFile TaskFileOf(const std::string& path);

}  // namespace qv
