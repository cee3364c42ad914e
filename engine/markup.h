#pragma once
// Scanning routines for page text. Page bodies are decoded from GBK to UTF-16 first; one
// UTF-16 unit is one character, positions are 1-based and 0 means "not found". None of
// these raises on any text.
#include <string>
#include <string_view>

namespace qv {

// Position of the first exact occurrence of x in t, 1-based; 0 when absent.
size_t Pos(std::u16string_view x, std::u16string_view t);
// t from position p (the whole of t when p < 1, empty when p is past the end).
std::u16string_view From(std::u16string_view t, long long p);
// The first n characters of t (empty when n <= 0, all of t when n exceeds its length).
std::u16string_view First(std::u16string_view t, long long n);

// Removes NUL, TAB, CR, LF and then "%00"; DecodeAndNormalize decodes a GBK body first.
std::u16string NormalizePage(std::u16string_view text);
std::u16string DecodeAndNormalize(std::string_view gbk_body);

std::u16string QuotedValueAfter(std::u16string_view marker, std::u16string_view text);
std::u16string SingleQuotedValueAfter(std::u16string_view marker, std::u16string_view text);
std::u16string TagText(std::u16string_view open, std::u16string_view close,
                       std::u16string_view text, int n);
// The result count of a search result page (decoded, not normalised); "0" when absent.
std::u16string ResultCountText(std::u16string_view page);

// s with every occurrence of `what` removed.
std::u16string RemoveAll(std::u16string_view s, std::u16string_view what);

}  // namespace qv
