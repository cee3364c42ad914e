#include "export/merge.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <limits>
#include <list>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>

#include "core/database.h"
#include "core/member_cursor.h"
#include "core/member_grid_layout.h"
#include "core/run_lock.h"
#include "export/xls_writer.h"

namespace qv::exporting {
namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
constexpr int kCheckEveryRows = 1024;
constexpr int kSourceColumnWidth = 160;
// Files kept open for reading kept records out of list order.
constexpr size_t kOpenLookups = 16;
// Progress: reading counts for the first third, writing for the rest.
constexpr std::int64_t kReadUnits = 1000;
constexpr std::int64_t kAllUnits = 3 * kReadUnits;

constexpr std::string_view kSelectMembers = "SELECT * FROM DataList ORDER BY ID";
constexpr std::string_view kSelectMember = "SELECT * FROM DataList WHERE ID = ?1";

// Blank as Trim counts it: nothing but the characters U+0000..U+0020.
bool IsBlank(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) <= 0x20; });
}

// How complete a record is: the shown fields (grid columns 1 to 31) that are not blank.
// Enciphered cells are judged by their stored text, which is blank exactly when the
// shown text is: deciphering every cell only to count would double the reading time.
std::uint8_t FilledFields(const MemberCursor& row) {
    int filled = 0;
    for (int c = 1; c < kMemberGridColumns; ++c)
        filled += IsBlank(row.Stored(MemberGridLayout()[c].field)) ? 0 : 1;
    return static_cast<std::uint8_t>(filled);
}

std::string Quoted(const TaskFile& task) { return "任务“" + task.name + "”"; }

std::string JoinNames(const std::vector<TaskFile>& tasks, const std::vector<size_t>& which) {
    std::string text;
    for (size_t t : which) {
        if (!text.empty()) text.push_back(kSourceTasksSeparator);
        text += tasks[t].name;
    }
    return text;
}

// One task's file as the first reading leaves it.
struct Source {
    size_t task;                    // index into the task list
    DataFileRunLock lock;           // held to the end: no run starts on the file meanwhile
    std::vector<std::int64_t> ids;  // its records in ID order
    std::uint64_t first = 0;        // merge-wide number of its first record
};

// One record of the first reading, before it joins a group.
struct ReadRecord {
    std::int64_t id;
    std::uint8_t filled;
    std::string member_id;  // as shown
    std::string name;       // as shown
};

// The companies: which records belong together, found in a first reading of every file.
class Grouping {
public:
    explicit Grouping(DedupRule rule) : rule_(rule) {}

    // Takes the records of one file, in ID order, after the next record number.
    void Add(std::vector<ReadRecord>& records) {
        for (ReadRecord& r : records) {
            const std::uint64_t number = group_.size();
            group_.push_back(kNone);
            filled_.push_back(r.filled);
            switch (rule_) {
                case DedupRule::None:
                    group_[number] = NewGroup();
                    break;
                case DedupRule::ByCompanyName:
                    group_[number] = r.name.empty() ? NewGroup() : GroupOf(by_name_, std::move(r.name));
                    break;
                case DedupRule::ByMemberId:
                    if (!r.member_id.empty()) {
                        std::uint32_t g = GroupOf(by_member_, std::move(r.member_id));
                        group_[number] = g;
                        // The first company known by this name takes the records that
                        // have a name but no MemberID.
                        if (!r.name.empty()) name_of_member_.try_emplace(std::move(r.name), g);
                    } else if (r.name.empty()) {
                        group_[number] = NewGroup();
                    } else {
                        unnamed_.emplace_back(number, std::move(r.name));
                    }
                    break;
            }
        }
    }

    // Places the records without a MemberID, once every file is read.
    void Finish() {
        for (auto& [number, name] : unnamed_) {
            auto known = name_of_member_.find(name);
            group_[number] = known != name_of_member_.end() ? known->second
                                                            : GroupOf(by_name_, std::move(name));
        }
        unnamed_.clear();
        by_member_.clear();
        by_name_.clear();
        name_of_member_.clear();
    }

    std::uint64_t RecordCount() const { return group_.size(); }
    std::uint32_t GroupCount() const { return groups_; }
    std::uint32_t GroupOfRecord(std::uint64_t number) const { return group_[number]; }
    std::uint8_t Filled(std::uint64_t number) const { return filled_[number]; }

private:
    std::uint32_t NewGroup() { return groups_++; }
    std::uint32_t GroupOf(std::unordered_map<std::string, std::uint32_t>& keys, std::string key) {
        auto [it, added] = keys.try_emplace(std::move(key), groups_);
        if (added) ++groups_;
        return it->second;
    }

    DedupRule rule_;
    std::uint32_t groups_ = 0;
    std::vector<std::uint32_t> group_;  // by record number
    std::vector<std::uint8_t> filled_;  // by record number
    std::unordered_map<std::string, std::uint32_t> by_member_, by_name_, name_of_member_;
    std::vector<std::pair<std::uint64_t, std::string>> unnamed_;
};

// One row of the merged file: the company's first record (where it stands), the record
// kept for it and the tasks that held it.
struct MergedRow {
    std::uint64_t first;
    std::uint64_t kept;
    std::vector<size_t> tasks;
};

// The rows in the order of their first records: in task order, then ID order.
std::vector<MergedRow> OrderRows(const Grouping& grouping, const std::vector<Source>& sources) {
    std::vector<std::uint32_t> row_of(grouping.GroupCount(), kNone);
    std::vector<MergedRow> rows;
    rows.reserve(grouping.GroupCount());
    for (const Source& source : sources) {
        for (std::uint64_t n = source.first; n < source.first + source.ids.size(); ++n) {
            std::uint32_t& row = row_of[grouping.GroupOfRecord(n)];
            if (row == kNone) {
                row = static_cast<std::uint32_t>(rows.size());
                rows.push_back({n, n, {}});
            }
            MergedRow& merged = rows[row];
            if (merged.tasks.empty() || merged.tasks.back() != source.task)
                merged.tasks.push_back(source.task);
            // Most filled fields first, then the latest task (a later record wins a tie).
            if (grouping.Filled(n) >= grouping.Filled(merged.kept)) merged.kept = n;
        }
    }
    return rows;
}

// The merged records as the writers read them, row after row: the header, then each
// company with its task names and the kept record's cells as the member grid shows them.
// A first occurrence that is also the kept record is read in passing; any other kept
// record is looked up by ID. Rows must be asked for in order.
class MergedGrid : public StringGrid {
public:
    MergedGrid(const std::vector<TaskFile>& tasks, const std::vector<Source>& sources,
               const std::vector<MergedRow>& rows)
        : tasks_(tasks), sources_(sources), rows_(rows) {}

    int RowCount() const override { return static_cast<int>(rows_.size()) + 1; }
    int ColumnCount() const override { return kMemberGridColumns + 1; }
    int ColumnWidth(int column) const override {
        if (column == 0) return kSourceColumnWidth;
        return MemberGridLayout()[static_cast<size_t>(column - 1)].width;
    }
    std::string_view CellText(int row, int column) const override {
        if (row == 0)
            return column == 0 ? kSourceTasksHeading
                               : MemberGridLayout()[static_cast<size_t>(column - 1)].heading;
        Seek(row);
        if (column == 0) return task_names_;
        if (column == 1) return number_;
        return current_->Shown(column - 1, scratch_[static_cast<size_t>(column - 1)]);
    }

private:
    // A file opened for reading, with its cursor.
    struct Reader {
        size_t source;
        Connection db;
        MemberCursor cursor;
        Reader(size_t s, const std::string& path, std::string_view sql)
            : source(s), db(path, DatabaseKind::Project), cursor(db, sql) {}
    };

    size_t SourceOf(std::uint64_t number) const {
        auto after = std::upper_bound(sources_.begin(), sources_.end(), number,
                                      [](std::uint64_t n, const Source& s) { return n < s.first; });
        return static_cast<size_t>(after - sources_.begin()) - 1;
    }
    const std::string& PathOf(size_t source) const { return tasks_[sources_[source].task].path; }
    [[noreturn]] void Changed(size_t source) const {
        throw ExportError(Quoted(tasks_[sources_[source].task]) + "的数据文件 " + PathOf(source) +
                          " 在合并时被修改，请重新合并。");
    }

    void Seek(int row) const {
        if (row == row_) return;
        if (row < row_) throw ExportError("合并的记录只能按顺序写出。");
        row_ = row;
        const MergedRow& merged = rows_[static_cast<size_t>(row - 1)];
        WalkTo(merged.first);
        current_ = merged.kept == merged.first ? &walk_->cursor : &LookUp(merged.kept);
        task_names_ = JoinNames(tasks_, merged.tasks);
        number_ = std::to_string(row);
    }

    // Moves the reading in list order on to record `number`.
    void WalkTo(std::uint64_t number) const {
        const size_t source = SourceOf(number);
        if (!walk_ || walk_->source != source) {
            walk_.reset();
            walk_ = std::make_unique<Reader>(source, PathOf(source), kSelectMembers);
            walked_ = sources_[source].first;
        } else {
            ++walked_;
        }
        const std::vector<std::int64_t>& ids = sources_[source].ids;
        for (;; ++walked_) {
            if (!walk_->cursor.Next() || walk_->cursor.Id() != ids[walked_ - sources_[source].first])
                Changed(source);
            if (walked_ == number) return;
        }
    }

    // Reads record `number` through a lookup by ID, keeping the last few files open.
    MemberCursor& LookUp(std::uint64_t number) const {
        const size_t source = SourceOf(number);
        auto open = std::find_if(lookups_.begin(), lookups_.end(),
                                 [source](const Reader& r) { return r.source == source; });
        if (open == lookups_.end()) {
            if (lookups_.size() >= kOpenLookups) lookups_.pop_back();
            lookups_.emplace_front(source, PathOf(source), kSelectMember);
        } else {
            lookups_.splice(lookups_.begin(), lookups_, open);
        }
        MemberCursor& cursor = lookups_.front().cursor;
        cursor.rows().Restart(sources_[source].ids[number - sources_[source].first]);
        if (!cursor.Next()) Changed(source);
        return cursor;
    }

    const std::vector<TaskFile>& tasks_;
    const std::vector<Source>& sources_;
    const std::vector<MergedRow>& rows_;

    mutable int row_ = 0;
    mutable std::unique_ptr<Reader> walk_;
    mutable std::uint64_t walked_ = 0;  // the record the walk stands on
    mutable std::list<Reader> lookups_;  // most recently used first
    mutable const MemberCursor* current_ = nullptr;
    mutable std::string task_names_, number_;
    mutable std::array<std::string, kMemberGridColumns> scratch_;
};

// A whole grid copied into memory, for the .xls writer, which writes column by column.
class CopiedGrid : public StringGrid {
public:
    CopiedGrid(const StringGrid& grid, const ExportProgress& progress)
        : rows_(grid.RowCount()), columns_(grid.ColumnCount()) {
        cells_.reserve(static_cast<size_t>(rows_) * static_cast<size_t>(columns_));
        for (int r = 0; r < rows_; ++r) {
            for (int c = 0; c < columns_; ++c) cells_.emplace_back(grid.CellText(r, c));
            if (r % kCheckEveryRows == 0 && progress && !progress(r, rows_)) throw ExportCancelled();
        }
        for (int c = 0; c < columns_; ++c) widths_.push_back(grid.ColumnWidth(c));
    }
    int RowCount() const override { return rows_; }
    int ColumnCount() const override { return columns_; }
    int ColumnWidth(int column) const override { return widths_[static_cast<size_t>(column)]; }
    std::string_view CellText(int row, int column) const override {
        return cells_[static_cast<size_t>(row) * static_cast<size_t>(columns_) + static_cast<size_t>(column)];
    }

private:
    int rows_, columns_;
    std::vector<std::string> cells_;
    std::vector<int> widths_;
};

// Progress of one stage mapped onto a share [from, to) of the whole.
ExportProgress Share(const ExportProgress& progress, std::int64_t from, std::int64_t to) {
    if (!progress) return {};
    return [progress, from, to](std::int64_t done, std::int64_t total) {
        return progress(from + (total > 0 ? (to - from) * done / total : 0), kAllUnits);
    };
}

// The first reading of one task's file: its records and how complete each is, under the
// file's run lock. Raises DatabaseError or std::runtime_error with the reason.
std::vector<ReadRecord> ReadSource(const TaskFile& task, Source& source, DedupRule rule,
                                   const std::function<void()>& check) {
    source.lock = DataFileRunLock::TryAcquire(task.path);
    if (!source.lock) throw std::runtime_error("正在被一次抓取使用，请等抓取结束后再合并");
    Connection db(task.path, DatabaseKind::Project);
    MemberCursor row(db, kSelectMembers);
    std::vector<ReadRecord> records;
    std::string member_scratch, name_scratch;
    while (row.Next()) {
        if (records.size() % kCheckEveryRows == 0) check();
        ReadRecord& r = records.emplace_back();
        r.id = row.Id();
        r.filled = FilledFields(row);
        if (rule == DedupRule::ByMemberId) r.member_id = row.Shown(2, member_scratch);
        if (rule != DedupRule::None) r.name = row.Shown(1, name_scratch);
    }
    for (const ReadRecord& r : records) source.ids.push_back(r.id);
    return records;
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
    Grouping grouping(options.rule);
    std::vector<Source> sources;
    RefuseRepeatedFiles(tasks);
    for (size_t t = 0; t < tasks.size(); ++t) {
        const std::int64_t done = kReadUnits * static_cast<std::int64_t>(t) /
                                  static_cast<std::int64_t>(tasks.size());
        auto check = [&] {
            if (progress && !progress(done, kAllUnits)) throw ExportCancelled();
        };
        check();
        Source source{t, {}, {}, grouping.RecordCount()};
        std::vector<ReadRecord> records;
        try {
            records = ReadSource(tasks[t], source, options.rule, check);
        } catch (const ExportCancelled&) {
            throw;
        } catch (const std::exception& e) {
            if (!options.skip_bad)
                throw ExportError("无法合并" + Quoted(tasks[t]) + "的数据文件 " + tasks[t].path +
                                  "：" + e.what());
            summary.skipped.emplace_back(tasks[t].name, e.what());
            continue;
        }
        grouping.Add(records);
        sources.push_back(std::move(source));
    }
    grouping.Finish();
    const std::vector<MergedRow> rows = OrderRows(grouping, sources);
    summary.tasks = static_cast<int>(sources.size());
    summary.records = static_cast<std::int64_t>(rows.size());
    summary.duplicates = static_cast<std::int64_t>(grouping.RecordCount()) - summary.records;

    MergedGrid merged(tasks, sources, rows);
    try {
        if (format == ExportFormat::Xls) {
            // Checked before the copy, so that a list too long for .xls is refused at once.
            CheckXlsLimits(merged);
            CopiedGrid copy(merged, Share(progress, kReadUnits, 2 * kReadUnits));
            ExportGrid(copy, out, format, Share(progress, 2 * kReadUnits, kAllUnits));
        } else {
            ExportGrid(merged, out, format, Share(progress, kReadUnits, kAllUnits));
        }
    } catch (const DatabaseError& e) {
        throw ExportError(std::string("合并时读取数据文件出错：") + e.what());
    }
    return summary;
}

}  // namespace qv::exporting
