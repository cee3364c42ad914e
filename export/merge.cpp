#include "export/merge.h"

#include <filesystem>
#include <set>
#include <system_error>

#include "core/database.h"
#include "export/merge_grouping.h"
#include "export/merge_rows.h"
#include "export/xls_writer.h"

namespace qv::exporting {
namespace {

using namespace merging;

// Progress: reading counts for the first third, writing for the rest.
constexpr std::int64_t kReadUnits = 1000;
constexpr std::int64_t kAllUnits = 3 * kReadUnits;


// Progress of one stage mapped onto a share [from, to) of the whole.
ExportProgress Share(const ExportProgress& progress, std::int64_t from, std::int64_t to) {
    if (!progress) return {};
    return [progress, from, to](std::int64_t done, std::int64_t total) {
        return progress(from + (total > 0 ? (to - from) * done / total : 0), kAllUnits);
    };
}

// One file named twice would count its companies twice, and its second run lock would
// find the first one held.
void RefuseRepeatedFiles(const std::vector<TaskFile>& tasks) {
    std::set<std::string> seen;
    for (const TaskFile& task : tasks) {
        std::error_code ec;
        std::string key = std::filesystem::weakly_canonical(task.path, ec).string();
        if (ec) key = task.path;
        if (!seen.insert(std::move(key)).second)
            throw ExportError("数据文件 " + task.path + " 在要合并的任务中出现了不止一次。");
    }
}

}  // namespace

std::string MergeSummaryText(const MergeSummary& summary) {
    return "共 " + std::to_string(summary.records) + " 条记录，来自 " +
           std::to_string(summary.tasks) + " 个任务，合并了 " +
           std::to_string(summary.duplicates) + " 条重复记录。";
}

MergeSummary MergeTasks(const std::vector<TaskFile>& tasks, const std::string& out,
                        ExportFormat format, const MergeOptions& options,
                        const ExportProgress& progress) {
    MergeSummary summary;
    RefuseRepeatedFiles(tasks);
    const Grouped grouped = GroupRecords(
        tasks, options,
        [&](size_t t) {
            const std::int64_t done = kReadUnits * static_cast<std::int64_t>(t) /
                                      static_cast<std::int64_t>(tasks.size());
            return !progress || progress(done, kAllUnits);
        },
        summary.skipped);
    summary.tasks = static_cast<int>(grouped.sources.size());
    summary.records = static_cast<std::int64_t>(grouped.rows.size());
    summary.duplicates = static_cast<std::int64_t>(grouped.records) - summary.records;

    const std::unique_ptr<StringGrid> merged = MergedRowsGrid(tasks, grouped.sources, grouped.rows);
    try {
        if (format == ExportFormat::Xls) {
            // Checked before the copy, so that a list too long for .xls is refused at once.
            CheckXlsLimits(*merged);
            const std::unique_ptr<StringGrid> copy = CopyGrid(*merged, Share(progress, kReadUnits, 2 * kReadUnits));
            ExportGrid(*copy, out, format, Share(progress, 2 * kReadUnits, kAllUnits));
        } else {
            ExportGrid(*merged, out, format, Share(progress, kReadUnits, kAllUnits));
        }
    } catch (const DatabaseError& e) {
        throw ExportError(std::string("合并时读取数据文件出错：") + e.what());
    }
    return summary;
}

}  // namespace qv::exporting
