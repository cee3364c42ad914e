#pragma once
// Small text helpers shared by every layer.
#include <string>
#include <string_view>

namespace qv {

// Removes the characters U+0000..U+0020 at both ends; other white space (U+3000) stays.
std::string Trim(std::string_view s);
std::u16string Trim(std::u16string_view s);

// SQL text literal: the text in single quotes with every inner single quote doubled.
std::string QuotedStr(std::string_view s);

// ASCII letters compared without regard to case, as the database engine compares names.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// The text with every control character (C0, DEL, C1) replaced by U+FFFD, so that a
// message written to a terminal can never move its cursor or change its colours.
std::string PrintableText(std::string_view s);

// The text of an integer in decimal.
std::string IntToStr(long long value);

}  // namespace qv
