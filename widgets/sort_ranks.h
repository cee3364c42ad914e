#pragma once
// The order in which the grids sort a column: numbers as numbers and before other texts,
// the other texts as QCollator orders them for zh_CN (Chinese by pinyin, digits within a
// text by value), empty cells last in either direction. A column of a million cells is
// ranked by its distinct texts, each given one collation key, so that sorting then
// compares small integers.
#include <QCollator>

#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qv::widgets {

// The collator of the grids' order.
const QCollator& GridCollator();

// -1, 0 or 1 as `a` sorts before, with or after `b` (ascending); for the few texts of a
// live row, where ranking a whole column is not worth it.
int CompareCells(std::string_view a, std::string_view b);

class SortRanks {
public:
    SortRanks() = default;
    SortRanks(const SortRanks&) = delete;
    SortRanks& operator=(const SortRanks&) = delete;

    // The value number of `text`; equal texts get the same one. Texts are copied.
    std::uint32_t Add(std::string_view text);
    // Ranks the values added; the ranks are valid until the next Add.
    void Finish();
    // The place of a value in ascending order, from 0; equal texts have equal ranks.
    std::uint32_t Rank(std::uint32_t value) const { return ranks_[value]; }
    // True for the empty text, which sorts last either way.
    bool Empty(std::uint32_t value) const { return value == empty_; }
    size_t ValueCount() const { return texts_.size(); }

private:
    std::string_view Keep(std::string_view text);

    std::vector<std::unique_ptr<char[]>> blocks_;
    size_t block_left_ = 0;
    char* block_at_ = nullptr;
    std::unordered_map<std::string_view, std::uint32_t> values_;
    std::vector<std::string_view> texts_;
    std::vector<std::uint32_t> ranks_;
    std::uint32_t empty_ = UINT32_MAX;
};

// The rows in order of their cells, given each row's value number: stable, so rows of
// equal cells keep their order; empty cells last.
std::vector<int> OrderByRanks(const SortRanks& ranks, const std::vector<std::uint32_t>& row_values,
                              bool descending);

}  // namespace qv::widgets
