#pragma once
// Conversion between GBK (code page 936) and the program's internal Unicode forms.
// GBK appears only at the borders: page bodies, config.ini, the field cipher's bytes,
// URL encoding and the spreadsheet export. A character that GBK cannot hold becomes '?';
// a byte sequence that is not valid GBK becomes U+FFFD.
#include <string>
#include <string_view>

namespace qv {

std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);
std::u16string GbkToUtf16(std::string_view gbk);
std::string Utf16ToGbk(std::u16string_view text);

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace qv
