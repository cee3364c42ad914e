#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "core/task_file.h"

namespace qv::cli {

std::vector<TaskFile> TaskInput::Tasks() const {
    std::vector<TaskFile> tasks;
    for (const std::string& file : files) tasks.push_back(TaskFileOf(file));
    return tasks;
}

void AddTaskInput(CLI::App& cmd, TaskInput& input) {
    cmd.add_option("files", input.files,
                   "task data files (.db), in task order; each is the task named by its file "
                   "name without .db")
        ->required();
}

}  // namespace qv::cli
