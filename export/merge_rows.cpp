#include "export/merge_rows.h"

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <deque>
#include <exception>
#include <list>
#include <mutex>
#include <thread>

#include "core/database.h"
#include "core/member_cursor.h"
#include "core/member_file_rows.h"
#include "core/member_grid_layout.h"

namespace qv::exporting::merging {
namespace {

constexpr int kSourceColumnWidth = 160;
// Kept records are read through a connection per file, kept open: opening one costs a
// hundred lookups. Each takes three file descriptors and a small page cache (the
// system's cache holds the files anyway).
constexpr size_t kDescriptorsPerLookup = 3;
constexpr int kSpareDescriptors = 64;
constexpr std::string_view kLookupCache = "PRAGMA cache_size=-256";

constexpr std::string_view kSelectMember = "SELECT * FROM DataList WHERE ID = ?1";

std::string JoinNames(const std::vector<TaskFile>& tasks, const std::vector<size_t>& which) {
    std::string text;
    for (size_t t : which) {
        if (!text.empty()) text.push_back(kSourceTasksSeparator);
        text += tasks[t].name;
    }
    return text;
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

}  // namespace

std::unique_ptr<StringGrid> MergedRowsGrid(const std::vector<TaskFile>& tasks, const std::vector<Source>& sources,
                                           const std::vector<MergedRow>& rows) {
    return std::make_unique<MergedGrid>(tasks, sources, rows);
}

std::unique_ptr<StringGrid> CopyGrid(const StringGrid& grid, const ExportProgress& progress) {
    return std::make_unique<CopiedGrid>(grid, progress);
}

}  // namespace qv::exporting::merging
