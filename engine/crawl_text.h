#pragma once
// What the parts of a crawl share: the endings of its messages and the steps over markers.
#include <string>
#include <string_view>

#include "engine/markup.h"

namespace qv::crawling {

using View = std::u16string_view;

inline constexpr std::string_view kSerious = "，错误严重，不可以继续抓取";
inline constexpr std::string_view kSkipped = "，忽略，继续抓取";

inline long long PosOf(View x, View t) { return static_cast<long long>(Pos(x, t)); }
inline long long Len(View marker) { return static_cast<long long>(marker.size()); }

inline std::string Message(std::string_view text, std::string_view error, std::string_view ending) {
    std::string out(text);
    out += error;
    out += ending;
    return out;
}

// Moves `text` to the marker when it occurs; false when it does not.
inline bool SkipTo(View marker, View& text) {
    const long long p = PosOf(marker, text);
    if (p == 0) return false;
    text = From(text, p);
    return true;
}

}  // namespace qv::crawling
