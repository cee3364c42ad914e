#pragma once
// The search across tasks: which records of which task files show a text in a field.
// Fields are matched as the member grid shows them, so an enciphered phone number is
// found through its deciphered text. No Qt: the window and the command-line tool share it.
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/data_files.h"
#include "core/task_file.h"

namespace qv {

// A field the search offers and the member-grid columns it covers.
struct FindField {
    std::string_view name;
    std::vector<int> grid_columns;
};

// 公司名称, 联系人, 电话 (mobile, phone and fax), 经营产品, 地址, 会员帐号, in this order.
const std::vector<FindField>& FindFields();
// The index of a field by its name, or none.
std::optional<size_t> FindFieldIndex(std::string_view name);

struct FindQuery {
    std::string text;            // UTF-8; matched case-sensitively within a cell
    std::vector<size_t> fields;  // indices into FindFields(); empty means all of them
};

struct FindHit {
    std::int64_t id = 0;
    int grid_column = 0;  // the first column that holds the text
    MemberValues record;  // every value as the grid shows it, in DataList column order
};

// Visits the hits of one data file in ID order; returns false when `stop` was set before
// the end. Raises DatabaseError when the file cannot be read.
bool FindInDataFile(const std::string& path, const FindQuery& query,
                    const std::function<void(FindHit&&)>& on_hit,
                    const std::atomic<bool>* stop = nullptr);

// What a search across tasks reports, always on the thread that called FindInTasks.
struct FindReport {
    std::function<void(size_t task, FindHit&& hit)> hit;
    std::function<void(size_t task, const std::string& reason)> failed;
    // A task is done: its hits and failure have been reported.
    std::function<void(size_t task)> done;
};

// Searches every task's file, several at once on up to `threads` threads (0: one a
// core). Reports come task by task in list order, each task's hits in ID order. A file
// that cannot be read is reported as failed and the search goes on. Returns false when
// `stop` ended the search early.
bool FindInTasks(const std::vector<TaskFile>& tasks, const FindQuery& query,
                 const FindReport& report, const std::atomic<bool>* stop = nullptr,
                 unsigned threads = 0);

}  // namespace qv
