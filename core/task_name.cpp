#include "core/task_name.h"

#include <cstdio>

#include "core/data_files.h"

namespace qv {
namespace {

// Decodes the UTF-8 character at `at` and moves past it; a byte that starts no valid
// character gives U+FFFD.
char32_t NextCharacter(std::string_view s, size_t& at) {
    const auto lead = static_cast<unsigned char>(s[at]);
    const int extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
    if (extra < 0 || at + static_cast<size_t>(extra) >= s.size()) {
        ++at;
        return 0xFFFD;
    }
    char32_t c = extra == 0 ? lead : (lead & (0x3F >> extra));
    for (int i = 1; i <= extra; ++i) {
        const auto next = static_cast<unsigned char>(s[at + static_cast<size_t>(i)]);
        if ((next & 0xC0) != 0x80) {
            ++at;
            return 0xFFFD;
        }
        c = (c << 6) | (next & 0x3F);
    }
    at += static_cast<size_t>(extra) + 1;
    return c;
}

bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// Blanks a user cannot see at the ends of a name: ASCII, no-break and ideographic space.
bool IsBlank(char32_t c) { return c == U' ' || c == 0xA0 || c == 0x3000; }

std::string CodePoint(char32_t c) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
    return text;
}

}  // namespace

std::string TaskNameFault(std::string_view name) {
    if (name.empty()) return "任务名称不能为空。";
    if (name == "." || name == "..")
        return "任务名称不能是“" + std::string(name) + "”：它不能用作文件名。";
    if (name.size() > kMaxTaskNameBytes)
        return "任务名称太长，最多 " + std::to_string(kMaxTaskNameBytes) + " 个字节（" +
               std::to_string(kMaxTaskNameBytes / 3) + " 个汉字）。";
    size_t at = 0;
    char32_t first = 0, last = 0;
    while (at < name.size()) {
        const char32_t c = NextCharacter(name, at);
        if (last == 0 && first == 0) first = c;
        last = c;
        if (c == U'/') return "任务名称不能包含字符“/”：它不能用作文件名。";
        if (c == 0) return "任务名称不能包含空字符（U+0000）。";
        if (IsControl(c)) return "任务名称不能包含控制字符（" + CodePoint(c) + "）。";
        if (c == 0xFFFD) return "任务名称包含无效的字符。";
    }
    if (IsBlank(first) || IsBlank(last)) return "任务名称的开头和结尾不能是空格。";
    return {};
}

}  // namespace qv
