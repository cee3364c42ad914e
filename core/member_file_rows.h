#pragma once
// A data file's records as the member grid shows them, read from the file when they are
// asked for instead of all at once: a category file can hold a million records and more.
// The first records are read at once; a loader thread then walks the file once for the
// ID of every record (its position in ID order) and the shown text of the columns the
// search offers, so that a page opens at once and a search over every record stays fast.
// Whole rows are read in blocks by ID range and kept in a bounded cache.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "core/database.h"
#include "core/member_grid_layout.h"

namespace qv {

// The grid columns whose shown text the loader keeps for the search.
inline constexpr std::array<int, 6> kSearchedGridColumns{5, 1, 15, 26, 9, 11};

// The condition of "SELECT * FROM DataList[ WHERE c] ORDER BY ID": c, or "1" without a
// WHERE; none for a statement of another shape.
std::optional<std::string> DataListCondition(std::string_view statement);

// Columns 1 to 31 of one record as shown, in one buffer.
struct MemberRowText {
    std::string text;
    std::array<std::uint32_t, kMemberGridColumns - 1> end{};

    static MemberRowText Of(const ShownMemberRow& cells);
    // Column 1 to 31.
    std::string_view Cell(int column) const;
};

class MemberFileRows {
public:
    // Opens `path` and reads the records of `statement` (see DataListCondition) that the
    // first screen shows; raises DatabaseError when the file or the statement fails.
    MemberFileRows(const std::string& path, std::string_view statement, CellShowing showing);
    ~MemberFileRows();
    MemberFileRows(const MemberFileRows&) = delete;
    MemberFileRows& operator=(const MemberFileRows&) = delete;

    // Records known so far: the first ones until the loader's first hand-over.
    int Count() const;
    // Takes over what the loader has found since the last call; true when the count grew
    // or shrank. Called on the owner's thread only, as everything below.
    bool Absorb();
    // Absorb in two steps, so that a view hears of a change before it is made: Stage
    // takes what the loader found and returns the count that Commit then gives.
    int Stage();
    void Commit();
    bool Loaded() const { return loaded_; }
    // Waits for the loader and takes over the rest.
    void WaitLoaded();
    // Waits for the loader; the next Absorb takes over the rest.
    void JoinLoader();
    // A database error of the loader, once loaded; the records found until then stay.
    const std::string& LoadError() const { return load_error_; }

    // The shown row of a record (from 0); an empty row when the record went from the
    // file after the page opened. Valid until the next call of Row.
    const MemberRowText& Row(int record);
    // The first record from `from` on whose shown cell of `column` contains `needle`
    // (UTF-8, case-sensitive), or -1. Waits for the loader first.
    int Find(int column, std::string_view needle, int from);
    // A row changed in the page (the detail download): it is shown and searched as given.
    void Replace(int record, MemberRowText row);

    // The shown cell of `column` (1 to 31) as the search reads it: from the kept text of
    // the searched columns, else from the row. Once loaded.
    std::string_view SearchCell(int record, int column);
    // Visits every record in order with the shown text of `columns` (1 to 31): the
    // searched ones from memory, the others in one walk of the file, so that sorting or
    // filtering a million records never reads their rows one by one. Waits for the loader
    // first. A record gone from the file shows empty cells; a failing read raises.
    using RecordVisit = std::function<void(int record, const std::vector<std::string_view>& cells)>;
    void ForEachRecord(const std::vector<int>& columns, const RecordVisit& visit);

private:
    static constexpr int kBlockRows = 64;
    static constexpr size_t kChunkRows = 16384;
    static constexpr size_t kCacheBudget = 64u << 20;  // bytes of cached rows

    // The IDs and searched cells of up to kChunkRows records in a row. The loader hands
    // them over whole, so the walk's text is never copied or regrown.
    struct Chunk {
        std::vector<std::int64_t> ids;
        std::array<std::string, kSearchedGridColumns.size()> text;
        std::array<std::vector<std::uint32_t>, kSearchedGridColumns.size()> end;
        void Add(std::int64_t id, size_t column_slot, std::string_view cell);
        std::string_view Cell(size_t slot, size_t row) const;
    };

    void Load(std::string path);
    // Index of `column` in kSearchedGridColumns, or -1.
    static int SearchedSlot(int column);
    std::string_view KeptCell(int record, int slot) const;
    std::vector<MemberRowText>& Block(int block);
    std::string BlockStatement(std::int64_t first_id, std::int64_t last_id) const;

    Connection db_;
    std::string condition_;
    CellShowing showing_;

    // Owner's thread.
    std::vector<std::int64_t> ids_;
    std::vector<Chunk> chunks_;  // chunk k holds records k * kChunkRows on
    std::vector<MemberRowText> first_rows_;  // shown before the loader's first hand-over
    std::vector<std::int64_t> first_ids_;
    std::unordered_map<int, std::vector<MemberRowText>> cache_;
    size_t cache_bytes_ = 0;
    std::map<int, MemberRowText> replaced_;
    std::vector<Chunk> staged_;
    bool staged_done_ = false;
    MemberRowText empty_;
    bool loaded_ = false;
    std::string load_error_;

    // Shared with the loader.
    std::mutex mutex_;
    std::vector<Chunk> handed_;
    bool done_ = false;
    std::string error_;
    std::atomic<bool> stop_{false};
    std::thread loader_;
};

}  // namespace qv
