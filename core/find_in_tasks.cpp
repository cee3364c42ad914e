#include "core/find_in_tasks.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "core/database.h"
#include "core/member_cursor.h"

namespace qv {
namespace {

bool Stopped(const std::atomic<bool>* stop) { return stop && stop->load(std::memory_order_relaxed); }

// The grid columns the query searches, each once, in grid order.
std::vector<int> SearchedColumns(const FindQuery& query) {
    std::vector<int> columns;
    const auto& fields = FindFields();
    auto add = [&](size_t field) {
        for (int c : fields.at(field).grid_columns) columns.push_back(c);
    };
    if (query.fields.empty())
        for (size_t f = 0; f < fields.size(); ++f) add(f);
    for (size_t f : query.fields) add(f);
    std::sort(columns.begin(), columns.end());
    columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
    return columns;
}

std::string SelectColumns(const std::vector<int>& grid_columns) {
    std::string sql = "SELECT ID";
    for (int c : grid_columns)
        sql += ", " + std::string(kMemberColumns[MemberGridLayout()[c].field].name);
    return sql + " FROM DataList ORDER BY ID";
}

}  // namespace

const std::vector<FindField>& FindFields() {
    static const std::vector<FindField> fields{
        {"公司名称", {1}}, {"联系人", {5}},  {"电话", {8, 9, 10}},
        {"经营产品", {15}}, {"地址", {11}}, {"会员帐号", {2}},
    };
    return fields;
}

std::optional<size_t> FindFieldIndex(std::string_view name) {
    const auto& fields = FindFields();
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name == name) return i;
    return std::nullopt;
}

bool FindInDataFile(const std::string& path, const FindQuery& query,
                    const std::function<void(FindHit&&)>& on_hit, const std::atomic<bool>* stop) {
    const std::vector<int> columns = SearchedColumns(query);
    // The read-only kind reads without switching the file's journal mode, and in a place the
    // user may only read; the memory map spares a copy of every page read.
    Connection db(path, DatabaseKind::ReadOnly, ConnectionThreads::One);
    db.Execute("PRAGMA mmap_size=1073741824");
    MemberCursor walk(db, SelectColumns(columns));
    std::unique_ptr<MemberCursor> lookup;  // the whole record of a hit, prepared once
    std::string scratch;
    for (long long row = 0; walk.Next(); ++row) {
        if (row % 1024 == 0 && Stopped(stop)) return false;
        for (int column : columns) {
            if (walk.Shown(column, scratch).find(query.text) == std::string_view::npos) continue;
            if (!lookup) lookup = std::make_unique<MemberCursor>(db, "SELECT * FROM DataList WHERE ID = ?1");
            FindHit hit;
            hit.id = walk.Id();
            hit.grid_column = column;
            lookup->rows().Restart(hit.id);
            if (lookup->Next()) hit.record = lookup->ShownRecord();
            on_hit(std::move(hit));
            break;
        }
    }
    return !Stopped(stop);
}

bool FindInTasks(const std::vector<TaskFile>& tasks, const FindQuery& query,
                 const FindReport& report, const std::atomic<bool>* stop, unsigned threads) {
    // Each task's hits wait here until the tasks before it are reported. A search whose
    // hits outrun the reports holds (kBuffered a task), so memory stays bounded however
    // many records match.
    constexpr size_t kBuffered = 4096;
    struct Outcome {
        std::deque<FindHit> hits;
        bool finished = false;
        std::string error;
    };
    std::vector<Outcome> outcomes(tasks.size());
    std::mutex mutex;
    std::condition_variable found, room;
    size_t next = 0;
    bool quit = false;  // the reporting side has left

    auto work = [&] {
        for (;;) {
            size_t task;
            {
                std::lock_guard lock(mutex);
                if (next >= tasks.size() || quit || Stopped(stop)) return;
                task = next++;
            }
            Outcome& outcome = outcomes[task];
            std::string error;
            try {
                FindInDataFile(
                    tasks[task].path, query,
                    [&](FindHit&& hit) {
                        std::unique_lock lock(mutex);
                        room.wait(lock, [&] { return outcome.hits.size() < kBuffered || quit; });
                        outcome.hits.push_back(std::move(hit));
                        found.notify_all();
                    },
                    stop);
            } catch (const std::exception& e) {
                error = e.what();
            }
            std::lock_guard lock(mutex);
            outcome.error = std::move(error);
            outcome.finished = true;
            found.notify_all();
        }
    };

    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    threads = static_cast<unsigned>(std::min<size_t>(threads, tasks.size()));
    std::vector<std::jthread> workers;
    for (unsigned i = 0; i < threads; ++i) workers.emplace_back(work);
    auto leave = [&] {
        std::lock_guard lock(mutex);
        quit = true;
        room.notify_all();
    };

    // Reports go out from this thread, in list order, as the hits are found.
    try {
        for (size_t task = 0; task < tasks.size() && !Stopped(stop); ++task) {
            Outcome& outcome = outcomes[task];
            for (bool finished = false; !finished;) {
                std::deque<FindHit> hits;
                {
                    std::unique_lock lock(mutex);
                    // A stop is seen at the latest when a searching worker notices it.
                    found.wait_for(lock, std::chrono::milliseconds(50), [&] {
                        return !outcome.hits.empty() || outcome.finished || Stopped(stop);
                    });
                    if (Stopped(stop)) break;
                    hits.swap(outcome.hits);
                    finished = outcome.finished;
                    room.notify_all();
                }
                if (report.hit)
                    for (FindHit& hit : hits) report.hit(task, std::move(hit));
                if (Stopped(stop)) break;
            }
            if (Stopped(stop)) break;
            if (!outcome.error.empty() && report.failed) report.failed(task, outcome.error);
            if (report.done) report.done(task);
        }
    } catch (...) {
        leave();
        throw;
    }
    leave();
    return !Stopped(stop);
}

}  // namespace qv
