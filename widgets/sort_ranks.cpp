#include "widgets/sort_ranks.h"

#include <QCollatorSortKey>
#include <QLocale>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <optional>

namespace qv::widgets {
namespace {

constexpr size_t kBlockBytes = 1 << 20;

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// A cell that is one number (an index, a count, an amount), as a value; spaces around it
// are allowed, digit groups and units are not.
std::optional<double> NumberOf(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    if (s.empty() || s.size() > 40) return std::nullopt;
    size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
    bool digits = false, point = false;
    for (; i < s.size(); ++i) {
        if (s[i] >= '0' && s[i] <= '9') {
            digits = true;
        } else if (s[i] == '.' && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digits) return std::nullopt;
    char buffer[48];
    std::memcpy(buffer, s.data(), s.size());
    buffer[s.size()] = '\0';
    return std::strtod(buffer, nullptr);
}

}  // namespace

const QCollator& GridCollator() {
    static const QCollator collator = [] {
        QCollator c{QLocale(QLocale::Chinese, QLocale::China)};
        c.setNumericMode(true);
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator;
}

int CompareCells(std::string_view a, std::string_view b) {
    if (a.empty() || b.empty()) return a.empty() == b.empty() ? 0 : (a.empty() ? 1 : -1);
    const std::optional<double> x = NumberOf(a), y = NumberOf(b);
    if (x && y) return *x < *y ? -1 : (*y < *x ? 1 : 0);
    if (x || y) return x ? -1 : 1;
    const int c = GridCollator().compare(Q(a), Q(b));
    if (c != 0) return c < 0 ? -1 : 1;
    return a < b ? -1 : (b < a ? 1 : 0);
}

std::string_view SortRanks::Keep(std::string_view text) {
    if (text.size() > block_left_) {
        const size_t size = std::max(kBlockBytes, text.size());
        blocks_.push_back(std::make_unique<char[]>(size));
        block_at_ = blocks_.back().get();
        block_left_ = size;
    }
    std::memcpy(block_at_, text.data(), text.size());
    std::string_view kept(block_at_, text.size());
    block_at_ += text.size();
    block_left_ -= text.size();
    return kept;
}

std::uint32_t SortRanks::Add(std::string_view text) {
    if (auto found = values_.find(text); found != values_.end()) return found->second;
    const auto value = static_cast<std::uint32_t>(texts_.size());
    const std::string_view kept = text.empty() ? std::string_view() : Keep(text);
    texts_.push_back(kept);
    values_.emplace(kept, value);
    if (text.empty()) empty_ = value;
    return value;
}

void SortRanks::Finish() {
    const size_t n = texts_.size();
    // Numbers first by value, then texts by collation key, then by their bytes, so that
    // texts the collator holds equal still have one order on every run.
    std::vector<std::optional<double>> numbers(n);
    std::vector<std::optional<QCollatorSortKey>> keys(n);
    const QCollator& collator = GridCollator();
    for (size_t v = 0; v < n; ++v) {
        if (texts_[v].empty()) continue;
        numbers[v] = NumberOf(texts_[v]);
        if (!numbers[v]) keys[v].emplace(collator.sortKey(Q(texts_[v])));
    }
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const bool ea = texts_[a].empty(), eb = texts_[b].empty();
        if (ea || eb) return !ea && eb;
        if (numbers[a] || numbers[b]) {
            if (numbers[a] && numbers[b]) return *numbers[a] < *numbers[b];
            return numbers[a].has_value();
        }
        const int c = keys[a]->compare(*keys[b]);
        if (c != 0) return c < 0;
        return texts_[a] < texts_[b];
    });
    // Texts the order holds equal share a rank, so a stable sort keeps their rows' order.
    ranks_.assign(n, 0);
    std::uint32_t rank = 0;
    for (size_t i = 0; i < n; ++i) {
        if (i > 0) {
            const std::uint32_t a = order[i - 1], b = order[i];
            const bool same = numbers[a] && numbers[b] ? *numbers[a] == *numbers[b]
                                                       : texts_[a] == texts_[b];
            if (!same) ++rank;
        }
        ranks_[order[i]] = rank;
    }
}

std::vector<int> OrderByRanks(const SortRanks& ranks, const std::vector<std::uint32_t>& row_values,
                              bool descending) {
    const int count = static_cast<int>(row_values.size());
    // One key a row: empty cells after all others, then the rank in the asked direction.
    std::vector<std::uint64_t> keys(row_values.size());
    for (int r = 0; r < count; ++r) {
        const std::uint32_t value = row_values[static_cast<size_t>(r)];
        const std::uint64_t rank = ranks.Rank(value);
        const std::uint64_t placed = descending ? (UINT32_MAX - rank) : rank;
        keys[static_cast<size_t>(r)] = (ranks.Empty(value) ? (1ull << 32) : 0ull) | placed;
    }
    std::vector<int> order(row_values.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return keys[static_cast<size_t>(a)] < keys[static_cast<size_t>(b)]; });
    return order;
}

}  // namespace qv::widgets
