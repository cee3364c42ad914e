#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "core/saved_tasks.h"
#include "core/task_file.h"

namespace qv::cli {

std::vector<TaskFile> TaskInput::Tasks(Context& ctx) const {
    std::vector<TaskFile> tasks;
    if (all_tasks) {
        // A task whose name cannot be a file name has no data file; its empty path fails
        // like any unreadable file, so --skip-bad decides as for the others.
        for (const SavedTask& task : ListSavedTasks(ctx.PreparedProfile()))
            tasks.push_back({task.name, task.data_file});
        return tasks;
    }
    if (files.empty()) throw CLI::ValidationError("files", "give FILE.db... or --all-tasks");
    for (const std::string& file : files) tasks.push_back(TaskFileOf(file));
    return tasks;
}

void AddTaskInput(CLI::App& cmd, TaskInput& input) {
    auto* files = cmd.add_option("files", input.files,
                                 "task data files (.db), in task order; each is the task named by "
                                 "its file name without .db");
    auto* all = cmd.add_flag("--all-tasks", input.all_tasks,
                             "every saved task of the task list, in its order, instead of files");
    files->excludes(all);
}

}  // namespace qv::cli
