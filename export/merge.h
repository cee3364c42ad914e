#pragma once
// One spreadsheet from many tasks: their records in task order, then ID order, with the
// records of one company folded into its most complete one and a first column 来源任务
// naming every task that held it. Files of any size: the records are read twice, once to
// group them and once to write, and only a few numbers per record stay in memory.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/task_file.h"
#include "export/export_file.h"

namespace qv::exporting {

enum class DedupRule {
    ByMemberId,     // 按会员帐号: the MemberID; a record without one by its company name
    ByCompanyName,  // 按公司名称
    None,           // 不去重: every record
};

struct MergeOptions {
    DedupRule rule = DedupRule::ByMemberId;
    // A task whose file cannot be merged (not a data file, damaged, being collected) is
    // left out and named in the summary, instead of failing the merge.
    bool skip_bad = false;
    // What the merged file holds beside the records' columns, or instead (a CRM's).
    ExportOptions output;
};

struct MergeSummary {
    std::int64_t records = 0;     // rows written
    int tasks = 0;                // tasks whose records went in
    std::int64_t duplicates = 0;  // records folded into another
    // Each task left out, with the reason.
    std::vector<std::pair<std::string, std::string>> skipped;
    // What was odd about files that were merged all the same, for the user.
    std::vector<std::string> notes;
    // Cells longer than the format holds, cut at its limit.
    std::int64_t cut_cells = 0;
};

inline constexpr const char* kSourceTasksHeading = "来源任务";
inline constexpr char kSourceTasksSeparator = ';';

// "共 N 条记录，来自 M 个任务，合并了 K 条重复记录。", and the cells cut in `format`.
std::string MergeSummaryText(const MergeSummary& summary, ExportFormat format = ExportFormat::Csv);

// Writes the merged records of `tasks` to `out` in `format`, as the export writes a file:
// under a temporary name, renamed over `out` only when complete. A task whose file cannot
// be merged raises ExportError naming the task and its file (unless skipped); a cancel
// through `progress` raises ExportCancelled. Either way `out` is left as it was.
MergeSummary MergeTasks(const std::vector<TaskFile>& tasks, const std::string& out,
                        ExportFormat format, const MergeOptions& options,
                        const ExportProgress& progress = {});

}  // namespace qv::exporting
