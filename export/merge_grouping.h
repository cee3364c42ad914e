#pragma once
// The first reading of a merge: every task's records read once, in list order, and grouped
// into companies by the merge's rule, with the record each company keeps.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/run_lock.h"
#include "core/task_file.h"
#include "export/merge.h"

namespace qv::exporting::merging {

inline constexpr int kCheckEveryRows = 1024;

inline std::string Quoted(const TaskFile& task) { return "任务“" + task.name + "”"; }

// One task's file as the first reading leaves it.
struct Source {
    size_t task;                    // index into the task list
    DataFileRunLock lock;           // held to the end: no run starts on the file meanwhile
    std::vector<std::int64_t> ids;  // its records in ID order
    std::uint64_t first = 0;        // merge-wide number of its first record
};

// One row of the merged file: the record kept for the company and the tasks that held it.
struct MergedRow {
    std::uint64_t kept;
    std::vector<size_t> tasks;
};

// What the first reading found: the files read, in list order, the merged rows and how
// many records they fold.
struct Grouped {
    std::vector<Source> sources;
    std::vector<MergedRow> rows;
    std::uint64_t records = 0;
};

// Reads and groups the records of `tasks`. `keep_going(t)` is asked every so often while
// task t is awaited; a false answer raises ExportCancelled. A file that cannot be read
// raises ExportError naming its task, or with `options.skip_bad` goes into `skipped` with
// the reason.
Grouped GroupRecords(const std::vector<TaskFile>& tasks, const MergeOptions& options,
                     const std::function<bool(size_t)>& keep_going,
                     std::vector<std::pair<std::string, std::string>>& skipped);

}  // namespace qv::exporting::merging
