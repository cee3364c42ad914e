#include "core/text.h"

#include <cctype>

namespace qv {
namespace {

template <typename Char>
std::basic_string<Char> TrimControl(std::basic_string_view<Char> s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned>(s[b]) <= 0x20) ++b;
    while (e > b && static_cast<unsigned>(s[e - 1]) <= 0x20) --e;
    return std::basic_string<Char>(s.substr(b, e - b));
}

}  // namespace

// In UTF-8 every byte at or below 0x20 is a whole ASCII character, so trimming bytes
// trims characters.
std::string Trim(std::string_view s) { return TrimControl(s); }
std::u16string Trim(std::u16string_view s) { return TrimControl(s); }

std::string QuotedStr(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    out.push_back('\'');
    for (char c : s) {
        if (c == '\'') out.push_back('\'');
        out.push_back(c);
    }
    out.push_back('\'');
    return out;
}

std::string PrintableText(std::string_view s) {
    constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        const bool c1 = c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(s[i + 1]) <= 0x9F;
        if (c < 0x20 || c == 0x7F || c1) {
            out += kReplacement;
            if (c1) ++i;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

std::string IntToStr(long long value) { return std::to_string(value); }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace qv
