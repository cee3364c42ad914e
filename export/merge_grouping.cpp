#include "export/merge_grouping.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <unordered_map>

#include "core/database.h"
#include "core/member_cursor.h"
#include "core/member_grid_layout.h"

namespace qv::exporting::merging {
namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
// The first reading maps each file into memory, which spares a copy of every page; the
// second does not, as its pages would count as the process's memory until the end.
constexpr std::string_view kMapFile = "PRAGMA mmap_size=1073741824";

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

}  // namespace

Grouped GroupRecords(const std::vector<TaskFile>& tasks, const MergeOptions& options,
                     const std::function<bool(size_t)>& keep_going,
                     std::vector<std::pair<std::string, std::string>>& skipped) {
    Grouping grouping(options.rule);
    Grouped grouped;
    {
        FirstReading reading(tasks, options.rule);
        for (size_t t = 0; t < tasks.size(); ++t) {
            FirstReading::File file = reading.Take(t, [&] { return keep_going(t); });
            if (!file.error.empty()) {
                if (!options.skip_bad)
                    throw ExportError("无法合并" + Quoted(tasks[t]) + "的数据文件 " + tasks[t].path +
                                      "：" + file.error);
                skipped.emplace_back(tasks[t].name, file.error);
                continue;
            }
            file.source.first = grouping.RecordCount();
            grouping.Add(file.records);
            grouped.sources.push_back(std::move(file.source));
        }
    }
    grouping.Finish();
    grouped.rows = OrderRows(grouping, grouped.sources);
    grouped.records = grouping.RecordCount();
    return grouped;
}

}  // namespace qv::exporting::merging
