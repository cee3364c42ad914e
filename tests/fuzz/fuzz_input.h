#pragma once
// What every fuzz target shares: the libFuzzer entry point and a way to split one input
// into parts. The same target files build as libFuzzer programs (clang) and with the
// corpus replay driver (gcc).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace qv::fuzz {

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The input cut at every "\x01\x01" (so one input can carry several pages or values);
// at least one part.
inline std::vector<std::string_view> SplitParts(std::string_view input) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t cut = input.find("\x01\x01");
        parts.push_back(input.substr(0, cut));
        if (cut == std::string_view::npos) return parts;
        input.remove_prefix(cut + 2);
    }
}

// Stops the target where a property of the code under test does not hold; libFuzzer
// and the replay driver both report the abort with the input that caused it.
[[noreturn]] void Fail(const char* what);
inline void Check(bool holds, const char* what) {
    if (!holds) Fail(what);
}

// Fails unless SQLite reads `sql` as exactly one valid statement on a DataList table, with
// nothing after it: the quoting of values must hold whatever a page holds.
void CheckOneDataListStatement(const std::string& sql);

}  // namespace qv::fuzz
