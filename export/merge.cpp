#include "export/merge.h"

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <limits>
#include <list>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>

#include "core/database.h"
#include "core/member_cursor.h"
#include "core/member_file_rows.h"
#include "core/member_grid_layout.h"
#include "core/run_lock.h"
#include "export/xls_writer.h"

namespace qv::exporting {
namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
constexpr int kCheckEveryRows = 1024;
constexpr int kSourceColumnWidth = 160;
// Kept records are read through a connection per file, kept open: opening one costs a
// hundred lookups. Each takes three file descriptors and a small page cache (the
// system's cache holds the files anyway).
constexpr size_t kDescriptorsPerLookup = 3;
constexpr int kSpareDescriptors = 64;
constexpr std::string_view kLookupCache = "PRAGMA cache_size=-256";
// The first reading maps each file into memory, which spares a copy of every page; the
// second does not, as its pages would count as the process's memory until the end.
constexpr std::string_view kMapFile = "PRAGMA mmap_size=1073741824";
// Progress: reading counts for the first third, writing for the rest.
constexpr std::int64_t kReadUnits = 1000;
constexpr std::int64_t kAllUnits = 3 * kReadUnits;

constexpr std::string_view kSelectMember = "SELECT * FROM DataList WHERE ID = ?1";

// The first reading: each record's ID, the two fields that tell companies apart and how
// complete it is, the shown fields (grid columns 1 to 31) that are not blank. The count
// is made by the database engine; an enciphered cell is judged by its stored text, which
// is blank exactly when the shown text is.
std::string FirstReadingStatement() {
    std::string blanks = "char(1";
    for (int c = 2; c <= 0x20; ++c) blanks += "," + std::to_string(c);
    blanks += ")";
    std::string filled;
    for (int c = 1; c < kMemberGridColumns; ++c) {
        if (!filled.empty()) filled += " + ";
        const std::string name(kMemberColumns[static_cast<size_t>(MemberGridLayout()[c].field)].name);
        // Most values start with what they hold ('!' is the first character after the
        // blanks): the trim runs only for the few that do not.
        filled += "(CASE WHEN " + name + " >= '!' THEN 1 WHEN trim(" + name + ", " + blanks +
                  ") <> '' THEN 1 ELSE 0 END)";
    }
    return "SELECT ID, MemberID, CompanyName, " + filled + " AS Filled FROM DataList ORDER BY ID";
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
    std::string member_id;  // MatchKey of the MemberID; empty when it has none
    std::string name;       // MatchKey of the company name
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

// One row of the merged file: the record kept for the company and the tasks that held it.
struct MergedRow {
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
                rows.push_back({n, {}});
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

// A file opened for reading, with its cursor.
struct Reader {
    size_t source;
    Connection db;
    MemberCursor cursor;
    Reader(size_t s, const std::string& path, std::string_view sql)
        : source(s), db(path, DatabaseKind::Project, ConnectionThreads::One), cursor(db, sql) {}
};

// The kept record of each merged row, read by ID from its file. Reading a company's
// records in list order would pass every record of every file a second time; a lookup
// reads only the kept ones.
class KeptRecords {
public:
    // `open_limit`: the most connections to keep open.
    KeptRecords(const std::vector<TaskFile>& tasks, const std::vector<Source>& sources, size_t open_limit)
        : tasks_(tasks), sources_(sources), lookups_(sources.size()), in_recent_(sources.size()),
          open_limit_(open_limit) {}

    const MemberCursor& Read(const MergedRow& row) { return LookUp(row.kept); }

private:
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

    // Reads record `number` through a lookup by ID in its file's connection; when too
    // many are open, the least recently used one closes.
    const MemberCursor& LookUp(std::uint64_t number) {
        const size_t source = SourceOf(number);
        std::unique_ptr<Reader>& reader = lookups_[source];
        if (reader) {
            recent_.splice(recent_.begin(), recent_, in_recent_[source]);
        } else {
            if (recent_.size() >= open_limit_) {
                lookups_[recent_.back()].reset();
                recent_.pop_back();
            }
            reader = std::make_unique<Reader>(source, PathOf(source), kSelectMember);
            reader->db.Execute(kLookupCache);
            // One read transaction for all lookups: without it every lookup opens and
            // closes one of its own.
            reader->db.Execute("BEGIN");
            recent_.push_front(source);
            in_recent_[source] = recent_.begin();
        }
        MemberCursor& cursor = reader->cursor;
        cursor.rows().Restart(sources_[source].ids[number - sources_[source].first]);
        if (!cursor.Next()) Changed(source);
        return cursor;
    }

    const std::vector<TaskFile>& tasks_;
    const std::vector<Source>& sources_;
    std::vector<std::unique_ptr<Reader>> lookups_;  // by source, while open
    std::list<size_t> recent_;  // the open ones, most recently used first
    std::vector<std::list<size_t>::iterator> in_recent_;  // by source, while open
    size_t open_limit_;
};

// How many lookup connections may stay open: as many as the process's file descriptors
// allow beside the run locks.
size_t LookupsThatFit(size_t sources) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    const long spare = static_cast<long>(limit.rlim_cur) - static_cast<long>(sources) - kSpareDescriptors;
    return static_cast<size_t>(std::max(4L, spare / static_cast<long>(kDescriptorsPerLookup)));
}

// One row of the merged file as read: the task names and the kept record's cells as
// stored, grid columns 1 to 31.
struct ReadRow {
    std::string tasks;
    MemberRowText stored;
};

// Reads the merged rows on a thread of its own, a few batches ahead of the writer, which
// deciphers and writes them: the lookups and the deciphering take about as long each.
class RowReader {
public:
    RowReader(const std::vector<TaskFile>& tasks, const std::vector<Source>& sources,
              const std::vector<MergedRow>& rows)
        : tasks_(tasks), sources_(sources), rows_(rows) {}
    ~RowReader() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    RowReader(const RowReader&) = delete;
    RowReader& operator=(const RowReader&) = delete;

    // The next row; rethrows what stopped the reading.
    const ReadRow& Next() {
        if (!thread_.joinable()) thread_ = std::thread([this] { Read(); });
        if (++at_ >= batch_.size()) {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return !ready_.empty() || failure_; });
            if (ready_.empty()) std::rethrow_exception(failure_);
            batch_ = std::move(ready_.front());
            ready_.pop_front();
            at_ = 0;
            changed_.notify_all();
        }
        return batch_[at_];
    }

private:
    static constexpr size_t kBatchRows = 256;
    static constexpr size_t kBatchesAhead = 8;

    void Read() {
        try {
            KeptRecords kept(tasks_, sources_, LookupsThatFit(sources_.size()));
            ShownMemberRow stored;
            std::vector<ReadRow> batch;
            for (size_t r = 0; r < rows_.size(); ++r) {
                const MemberCursor& record = kept.Read(rows_[r]);
                for (int c = 1; c < kMemberGridColumns; ++c)
                    stored[static_cast<size_t>(c - 1)] = record.Stored(MemberGridLayout()[static_cast<size_t>(c)].field);
                batch.push_back({JoinNames(tasks_, rows_[r].tasks), MemberRowText::Of(stored)});
                if (batch.size() == kBatchRows || r + 1 == rows_.size()) {
                    std::unique_lock lock(mutex_);
                    changed_.wait(lock, [this] { return ready_.size() < kBatchesAhead || stop_; });
                    if (stop_) return;
                    ready_.push_back(std::move(batch));
                    batch.clear();
                    changed_.notify_all();
                }
            }
        } catch (...) {
            std::lock_guard lock(mutex_);
            failure_ = std::current_exception();
            changed_.notify_all();
        }
    }

    const std::vector<TaskFile>& tasks_;
    const std::vector<Source>& sources_;
    const std::vector<MergedRow>& rows_;
    std::vector<ReadRow> batch_;  // the writer's batch
    size_t at_ = static_cast<size_t>(-1);
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<ReadRow>> ready_;
    std::exception_ptr failure_;
    bool stop_ = false;
    std::thread thread_;
};

// The merged records as the writers read them, row after row: the header, then each
// company with its task names and the kept record's cells as the member grid shows them.
// Rows must be asked for in order.
class MergedGrid : public StringGrid {
public:
    MergedGrid(const std::vector<TaskFile>& tasks, const std::vector<Source>& sources,
               const std::vector<MergedRow>& rows)
        : rows_(rows), reader_(tasks, sources, rows) {}

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
        if (row != row_) Take(row);
        if (column == 0) return read_->tasks;
        if (column == 1) return number_;
        return shown_[static_cast<size_t>(column - 1)];
    }

private:
    void Take(int row) const {
        if (row != row_ + 1) throw ExportError("合并的记录只能按顺序写出。");
        read_ = &reader_.Next();
        for (int c = 1; c < kMemberGridColumns; ++c)
            shown_[static_cast<size_t>(c)] =
                ShownCellView(c, read_->stored.Cell(c), CellShowing::Trimmed, scratch_[static_cast<size_t>(c)]);
        number_ = std::to_string(row);
        row_ = row;
    }

    const std::vector<MergedRow>& rows_;
    mutable RowReader reader_;
    mutable int row_ = 0;
    mutable const ReadRow* read_ = nullptr;
    mutable std::array<std::string_view, kMemberGridColumns> shown_{};
    mutable std::array<std::string, kMemberGridColumns> scratch_;
    mutable std::string number_;
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

// What a record is matched by in an enciphered grid column: empty when the shown value
// is, otherwise a text equal for equal shown values. Equal values encipher to equal hex
// (one key, whole blocks, no chaining), so a value stored as the crawl stores it is
// matched by its hex without deciphering it; any other stored form is deciphered.
std::string MatchKey(const MemberCursor& row, int grid_column, std::string& scratch) {
    std::string_view stored = row.Stored(MemberGridLayout()[static_cast<size_t>(grid_column)].field);
    while (!stored.empty() && static_cast<unsigned char>(stored.front()) <= 0x20) stored.remove_prefix(1);
    while (!stored.empty() && static_cast<unsigned char>(stored.back()) <= 0x20) stored.remove_suffix(1);
    if (stored.empty()) return {};
    const bool as_enciphered = stored.size() % 16 == 0 && std::all_of(stored.begin(), stored.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
    });
    if (as_enciphered) return "h" + std::string(stored);
    std::string_view shown = row.Shown(grid_column, scratch);
    return shown.empty() ? std::string() : "s" + std::string(shown);
}

// The first reading of one task's file: its records and how complete each is, under the
// file's run lock. Raises DatabaseError or std::runtime_error with the reason.
std::vector<ReadRecord> ReadSource(const TaskFile& task, Source& source, DedupRule rule,
                                   const std::atomic<bool>& cancel) {
    source.lock = DataFileRunLock::TryAcquire(task.path);
    if (!source.lock) throw std::runtime_error("正在被一次抓取使用，请等抓取结束后再合并");
    Connection db(task.path, DatabaseKind::Project, ConnectionThreads::One);
    db.Execute(kMapFile);
    static const std::string statement = FirstReadingStatement();
    MemberCursor row(db, statement);
    const int filled = row.rows().ColumnCount() - 1;
    std::vector<ReadRecord> records;
    std::string scratch;
    while (row.Next()) {
        if (records.size() % kCheckEveryRows == 0 && cancel) throw ExportCancelled();
        ReadRecord& r = records.emplace_back();
        r.id = row.Id();
        r.filled = static_cast<std::uint8_t>(row.rows().Integer(filled));
        if (rule == DedupRule::ByMemberId) r.member_id = MatchKey(row, 2, scratch);
        if (rule != DedupRule::None) r.name = MatchKey(row, 1, scratch);
    }
    for (const ReadRecord& r : records) source.ids.push_back(r.id);
    return records;
}

// The first reading of every task's file, on up to two threads and a few files ahead of
// the grouping, which takes them in list order on the caller's thread. Progress is asked
// for there too, while it waits.
class FirstReading {
public:
    struct File {
        Source source;
        std::vector<ReadRecord> records;
        std::string error;  // why the file could not be read
    };

    FirstReading(const std::vector<TaskFile>& tasks, DedupRule rule) : tasks_(tasks), rule_(rule), files_(tasks.size()) {
        const unsigned threads = std::min<size_t>(std::max(1u, std::thread::hardware_concurrency()), 2);
        for (unsigned i = 0; i < std::min<size_t>(threads, tasks.size()); ++i)
            workers_.emplace_back([this] { Work(); });
    }
    ~FirstReading() {
        {
            std::lock_guard lock(mutex_);
            cancel_ = true;
        }
        changed_.notify_all();
        for (std::thread& w : workers_) w.join();
    }
    FirstReading(const FirstReading&) = delete;
    FirstReading& operator=(const FirstReading&) = delete;

    // Task t's file once read; `keep_going` is asked every so often meanwhile, and a false
    // answer raises ExportCancelled.
    File Take(size_t t, const std::function<bool()>& keep_going) {
        if (!keep_going()) throw ExportCancelled();
        std::unique_lock lock(mutex_);
        while (!changed_.wait_for(lock, std::chrono::milliseconds(50), [&] { return finished_.count(t) > 0; })) {
            lock.unlock();
            if (!keep_going()) throw ExportCancelled();
            lock.lock();
        }
        File file = std::move(files_[t]);
        finished_.erase(t);
        taken_ = t + 1;
        changed_.notify_all();
        return file;
    }

private:
    static constexpr size_t kFilesAhead = 4;

    void Work() {
        for (;;) {
            size_t t;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return cancel_ || next_ < taken_ + kFilesAhead; });
                if (cancel_ || next_ >= tasks_.size()) return;
                t = next_++;
            }
            File file;
            file.source.task = t;
            try {
                file.records = ReadSource(tasks_[t], file.source, rule_, cancel_);
            } catch (const std::exception& e) {
                file.error = e.what();
            }
            std::lock_guard lock(mutex_);
            files_[t] = std::move(file);
            finished_.insert(t);
            changed_.notify_all();
        }
    }

    const std::vector<TaskFile>& tasks_;
    DedupRule rule_;
    std::vector<File> files_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::set<size_t> finished_;  // read and not taken yet
    size_t next_ = 0, taken_ = 0;
    std::atomic<bool> cancel_{false};
    std::vector<std::thread> workers_;
};

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
    {
        FirstReading reading(tasks, options.rule);
        for (size_t t = 0; t < tasks.size(); ++t) {
            const std::int64_t done = kReadUnits * static_cast<std::int64_t>(t) /
                                      static_cast<std::int64_t>(tasks.size());
            FirstReading::File file =
                reading.Take(t, [&] { return !progress || progress(done, kAllUnits); });
            if (!file.error.empty()) {
                if (!options.skip_bad)
                    throw ExportError("无法合并" + Quoted(tasks[t]) + "的数据文件 " + tasks[t].path +
                                      "：" + file.error);
                summary.skipped.emplace_back(tasks[t].name, file.error);
                continue;
            }
            file.source.first = grouping.RecordCount();
            grouping.Add(file.records);
            sources.push_back(std::move(file.source));
        }
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
