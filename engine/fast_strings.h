#pragma once
// Replace-all with a Boyer–Moore–Horspool search, on byte strings and on UTF-16 text.
// Pure functions, safe on any thread.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

// Every byte value mapped to its upper-case form: a..z to A..Z, all others to themselves.
inline constexpr std::array<unsigned char, 256> kUpperCaseMap = [] {
    std::array<unsigned char, 256> map{};
    for (int b = 0; b < 256; ++b)
        map[b] = static_cast<unsigned char>(b >= 'a' && b <= 'z' ? b - 'a' + 'A' : b);
    return map;
}();

// One shift per byte value. A UTF-16 unit uses the entry of its low byte, so units that
// share an entry get the smaller shift and the search stays exact.
using SkipTable = std::array<std::int32_t, 256>;

// Raises std::invalid_argument("BufferLen is 0") for an empty pattern.
SkipTable BuildSkipTable(std::string_view find, bool case_sensitive);
SkipTable BuildSkipTable(std::u16string_view find, bool case_sensitive);

// `source` with every occurrence of `find` replaced, left to right, never overlapping.
// Case-insensitive calls fold ASCII letters only.
std::string ReplaceAll(std::string_view source, std::string_view find,
                       std::string_view replacement, bool case_sensitive);
std::u16string ReplaceAll(std::u16string_view source, std::u16string_view find,
                          std::u16string_view replacement, bool case_sensitive);

}  // namespace qv
