#include "core/member_file_rows.h"

#include <algorithm>
#include <charconv>
#include <functional>

#include "core/data_files.h"
#include "core/text.h"

namespace qv {
namespace {

constexpr std::string_view kSelectHead = "SELECT * FROM DataList";
constexpr std::string_view kOrderTail = " ORDER BY ID";
constexpr int kFirstRows = 1000;       // read before the page shows: more than a screen

struct LoaderStopped {};

std::string FieldName(int grid_column) {
    return std::string(kMemberColumns[static_cast<size_t>(MemberGridLayout()[static_cast<size_t>(grid_column)].field)].name);
}

// Visits the rows of a "SELECT *" with their ID and columns 1 to 31 as shown.
void ForEachShownRow(Connection& db, std::string_view sql, CellShowing showing,
                     const std::function<void(std::int64_t, const ShownMemberRow&)>& visit) {
    std::array<int, kMemberGridColumns> source{};
    std::array<std::string, kMemberGridColumns - 1> scratch;
    int id_column = -1;
    bool mapped = false;
    ShownMemberRow shown;
    db.ForEachRow(sql, [&](const Connection::RowView& row) {
        if (!mapped) {
            for (int c = 1; c < kMemberGridColumns; ++c) {
                source[c] = -1;
                for (size_t i = 0; i < row.columns.size(); ++i)
                    if (EqualsIgnoringCase(row.columns[i], FieldName(c))) source[c] = static_cast<int>(i);
            }
            for (size_t i = 0; i < row.columns.size(); ++i)
                if (EqualsIgnoringCase(row.columns[i], "ID")) id_column = static_cast<int>(i);
            mapped = true;
        }
        for (int c = 1; c < kMemberGridColumns; ++c) {
            std::string_view stored = source[c] < 0 ? std::string_view() : row.cells[source[c]];
            shown[c - 1] = ShownCellView(c, stored, showing, scratch[c - 1]);
        }
        std::int64_t id = id_column < 0 ? 0 : std::stoll(std::string(row.cells[id_column]));
        visit(id, shown);
    });
}

}  // namespace

std::optional<std::string> DataListCondition(std::string_view statement) {
    if (statement.size() < kSelectHead.size() + kOrderTail.size() ||
        !EqualsIgnoringCase(statement.substr(0, kSelectHead.size()), kSelectHead) ||
        !EqualsIgnoringCase(statement.substr(statement.size() - kOrderTail.size()), kOrderTail))
        return std::nullopt;
    std::string middle = Trim(std::string(statement.substr(
        kSelectHead.size(), statement.size() - kSelectHead.size() - kOrderTail.size())));
    if (middle.empty()) return std::string("1");
    if (middle.size() < 6 || !EqualsIgnoringCase(std::string_view(middle).substr(0, 6), "WHERE "))
        return std::nullopt;
    return middle.substr(6);
}

MemberRowText MemberRowText::Of(const ShownMemberRow& cells) {
    MemberRowText row;
    size_t total = 0;
    for (auto c : cells) total += c.size();
    row.text.reserve(total);
    for (size_t i = 0; i < cells.size(); ++i) {
        row.text.append(cells[i]);
        row.end[i] = static_cast<std::uint32_t>(row.text.size());
    }
    return row;
}

std::string_view MemberRowText::Cell(int column) const {
    if (column < 1 || column >= kMemberGridColumns) return {};
    size_t i = static_cast<size_t>(column - 1);
    size_t begin = i == 0 ? 0 : end[i - 1];
    return std::string_view(text).substr(begin, end[i] - begin);
}

void MemberFileRows::Chunk::Add(std::int64_t id, size_t slot, std::string_view cell) {
    if (slot == 0) ids.push_back(id);
    text[slot].append(cell);
    end[slot].push_back(static_cast<std::uint32_t>(text[slot].size()));
}

std::string_view MemberFileRows::Chunk::Cell(size_t slot, size_t row) const {
    size_t begin = row == 0 ? 0 : end[slot][row - 1];
    return std::string_view(text[slot]).substr(begin, end[slot][row] - begin);
}

MemberFileRows::MemberFileRows(const std::string& path, std::string_view statement,
                               CellShowing showing)
    : db_(path, DatabaseKind::ReadOnly), showing_(showing) {
    std::optional<std::string> condition = DataListCondition(statement);
    if (!condition) throw DatabaseError("unsupported statement: " + std::string(statement));
    condition_ = *condition;
    ForEachShownRow(db_,
                    "SELECT * FROM DataList WHERE " + condition_ + " ORDER BY ID LIMIT " +
                        std::to_string(kFirstRows),
                    showing_, [this](std::int64_t id, const ShownMemberRow& shown) {
                        first_ids_.push_back(id);
                        first_rows_.push_back(MemberRowText::Of(shown));
                    });
    if (first_rows_.size() < static_cast<size_t>(kFirstRows)) {
        // The whole result is read already; no walk is needed.
        ids_ = first_ids_;
        Chunk chunk;
        for (size_t k = 0; k < kSearchedGridColumns.size(); ++k)
            for (size_t r = 0; r < first_rows_.size(); ++r)
                chunk.Add(first_ids_[r], k, first_rows_[r].Cell(kSearchedGridColumns[k]));
        chunks_.push_back(std::move(chunk));
        loaded_ = true;
        return;
    }
    loader_ = std::thread(&MemberFileRows::Load, this, path);
}

MemberFileRows::~MemberFileRows() {
    stop_ = true;
    if (loader_.joinable()) loader_.join();
}

void MemberFileRows::Load(std::string path) {
    Chunk chunk;
    auto hand_over = [&] {
        if (chunk.ids.empty()) return;
        std::lock_guard lock(mutex_);
        handed_.push_back(std::move(chunk));
        chunk = Chunk{};
    };
    std::string error;
    try {
        Connection db(path, DatabaseKind::ReadOnly);
        std::string sql = "SELECT ID";
        for (int column : kSearchedGridColumns) sql += "," + FieldName(column);
        sql += " FROM DataList WHERE " + condition_ + " ORDER BY ID";
        std::array<std::string, kSearchedGridColumns.size()> scratch;
        db.ForEachRow(sql, [&](const Connection::RowView& row) {
            if (stop_) throw LoaderStopped{};
            std::int64_t id = std::stoll(std::string(row.cells[0]));
            for (size_t k = 0; k < kSearchedGridColumns.size(); ++k)
                chunk.Add(id, k,
                          ShownCellView(kSearchedGridColumns[k], row.cells[k + 1], showing_, scratch[k]));
            if (chunk.ids.size() >= kChunkRows) {
                for (std::string& text : chunk.text) text.shrink_to_fit();
                hand_over();
            }
        });
    } catch (const LoaderStopped&) {
        return;
    } catch (const std::exception& e) {
        error = e.what();
    }
    hand_over();
    std::lock_guard lock(mutex_);
    error_ = error;
    done_ = true;
}

int MemberFileRows::Count() const {
    if (loaded_ || ids_.size() >= first_rows_.size()) return static_cast<int>(ids_.size());
    return static_cast<int>(first_rows_.size());
}

bool MemberFileRows::Absorb() {
    int before = Count();
    Stage();
    Commit();
    return Count() != before;
}

int MemberFileRows::Stage() {
    if (loaded_) return Count();
    {
        std::lock_guard lock(mutex_);
        for (Chunk& chunk : handed_) staged_.push_back(std::move(chunk));
        handed_.clear();
        staged_done_ = done_;
        if (done_) load_error_ = error_;
    }
    size_t ids = ids_.size();
    for (const Chunk& chunk : staged_) ids += chunk.ids.size();
    if (staged_done_ || ids >= first_rows_.size()) return static_cast<int>(ids);
    return static_cast<int>(first_rows_.size());
}

void MemberFileRows::Commit() {
    if (loaded_) return;
    if (!staged_.empty() && !ids_.empty())
        // The last block read may have been short of rows that are known now.
        cache_.erase(static_cast<int>((ids_.size() - 1) / kBlockRows));
    for (Chunk& chunk : staged_) {
        ids_.insert(ids_.end(), chunk.ids.begin(), chunk.ids.end());
        chunks_.push_back(std::move(chunk));
    }
    staged_.clear();
    if (staged_done_) {
        loaded_ = true;
        if (loader_.joinable()) loader_.join();
    }
}

void MemberFileRows::JoinLoader() {
    if (loader_.joinable()) loader_.join();
}

void MemberFileRows::WaitLoaded() {
    if (loaded_) return;
    if (loader_.joinable()) loader_.join();
    Absorb();
}

std::string MemberFileRows::BlockStatement(std::int64_t first_id, std::int64_t last_id) const {
    return "SELECT * FROM DataList WHERE (" + condition_ + ") AND ID BETWEEN " +
           std::to_string(first_id) + " AND " + std::to_string(last_id) + " ORDER BY ID";
}

std::vector<MemberRowText>& MemberFileRows::Block(int block) {
    if (auto found = cache_.find(block); found != cache_.end()) return found->second;
    size_t first = static_cast<size_t>(block) * kBlockRows;
    size_t last = std::min(ids_.size(), first + kBlockRows) - 1;
    std::vector<MemberRowText> rows(last - first + 1);
    // Matched by ID: a record that left the file since the walk shows empty.
    size_t next = first;
    try {
        ForEachShownRow(db_, BlockStatement(ids_[first], ids_[last]), showing_,
                        [&](std::int64_t id, const ShownMemberRow& shown) {
                            while (next <= last && ids_[next] < id) ++next;
                            if (next <= last && ids_[next] == id) rows[next - first] = MemberRowText::Of(shown);
                        });
    } catch (const std::exception&) {
        // A file that cannot be read any more shows empty rows; drawing never throws.
    }
    if (cache_bytes_ > kCacheBudget) {
        cache_.clear();
        cache_bytes_ = 0;
    }
    for (const MemberRowText& row : rows) cache_bytes_ += row.text.size() + sizeof(row);
    return cache_.emplace(block, std::move(rows)).first->second;
}

const MemberRowText& MemberFileRows::Row(int record) {
    if (record < 0 || record >= Count()) return empty_;
    if (auto found = replaced_.find(record); found != replaced_.end()) return found->second;
    size_t r = static_cast<size_t>(record);
    if (r < first_rows_.size() && (r >= ids_.size() || ids_[r] == first_ids_[r])) return first_rows_[r];
    if (r >= ids_.size()) return empty_;
    return Block(record / kBlockRows)[r % kBlockRows];
}

int MemberFileRows::Find(int column, std::string_view needle, int from) {
    WaitLoaded();
    const int count = Count();
    for (int r = std::max(0, from); r < count; ++r)
        if (SearchCell(r, column).find(needle) != std::string_view::npos) return r;
    return -1;
}

std::string_view MemberFileRows::SearchCell(int record, int column) {
    if (record < 0 || record >= Count()) return {};
    if (auto found = replaced_.find(record); found != replaced_.end()) return found->second.Cell(column);
    const int slot = SearchedSlot(column);
    if (slot < 0 || !loaded_) return Row(record).Cell(column);
    return KeptCell(record, slot);
}

int MemberFileRows::SearchedSlot(int column) {
    auto at = std::find(kSearchedGridColumns.begin(), kSearchedGridColumns.end(), column);
    return at == kSearchedGridColumns.end() ? -1 : static_cast<int>(at - kSearchedGridColumns.begin());
}

std::string_view MemberFileRows::KeptCell(int record, int slot) const {
    const size_t r = static_cast<size_t>(record);
    return chunks_[r / kChunkRows].Cell(static_cast<size_t>(slot), r % kChunkRows);
}

void MemberFileRows::ForEachRecord(const std::vector<int>& columns, const RecordVisit& visit) {
    WaitLoaded();
    const int count = Count();
    std::vector<int> slots(columns.size());
    std::vector<int> read;     // the columns read from the file
    std::vector<size_t> read_into;  // where each read column goes in `cells`
    for (size_t i = 0; i < columns.size(); ++i) {
        slots[i] = SearchedSlot(columns[i]);
        if (slots[i] < 0) {
            read.push_back(columns[i]);
            read_into.push_back(i);
        }
    }
    std::vector<std::string_view> cells(columns.size());
    auto show = [&](int record, bool from_file) {
        if (auto found = replaced_.find(record); found != replaced_.end()) {
            for (size_t i = 0; i < columns.size(); ++i) cells[i] = found->second.Cell(columns[i]);
        } else {
            for (size_t i = 0; i < columns.size(); ++i)
                if (slots[i] >= 0) cells[i] = KeptCell(record, slots[i]);
            if (!from_file)
                for (size_t i : read_into) cells[i] = {};
        }
        visit(record, cells);
    };
    if (read.empty()) {
        for (int r = 0; r < count; ++r) show(r, false);
        return;
    }
    std::string sql = "SELECT ID";
    for (int column : read) sql += "," + FieldName(column);
    sql += " FROM DataList WHERE " + condition_ + " ORDER BY ID";
    std::vector<std::string> scratch(read.size());
    int next = 0;
    db_.ForEachRow(sql, [&](const Connection::RowView& row) {
        std::int64_t id = 0;
        std::from_chars(row.cells[0].data(), row.cells[0].data() + row.cells[0].size(), id);
        // Records added to the file after the walk are not the page's; records gone show empty.
        while (next < count && ids_[static_cast<size_t>(next)] < id) show(next++, false);
        if (next >= count || ids_[static_cast<size_t>(next)] != id) return;
        for (size_t k = 0; k < read.size(); ++k)
            cells[read_into[k]] = ShownCellView(read[k], row.cells[k + 1], showing_, scratch[k]);
        show(next++, true);
    });
    while (next < count) show(next++, false);
}

void MemberFileRows::Replace(int record, MemberRowText row) {
    if (record < 0 || record >= Count()) return;
    replaced_[record] = std::move(row);
}

}  // namespace qv
