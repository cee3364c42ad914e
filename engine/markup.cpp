#include "engine/markup.h"

#include "core/gbk.h"
#include "engine/fast_strings.h"
#include "engine/site_markers.h"

namespace qv {
namespace {

inline char16_t FoldAscii(char16_t c) { return c < 256 ? kUpperCaseMap[c] : c; }

// The marker at 0-based index i, ASCII letters matched without regard to case.
bool MatchesAt(std::u16string_view text, size_t i, std::u16string_view marker) {
    if (marker.empty() || marker.size() > text.size() - i) return false;
    for (size_t k = 0; k < marker.size(); ++k)
        if (FoldAscii(text[i + k]) != FoldAscii(marker[k])) return false;
    return true;
}

std::u16string ValueInQuotesAfter(std::u16string_view marker, std::u16string_view text,
                                  char16_t quote) {
    const size_t k = marker.size();
    std::u16string value;
    bool capturing = false;
    size_t i = 0;
    while (i < text.size()) {
        if (MatchesAt(text, i, marker)) {
            // The character after the marker is passed over: it is the opening quote
            // when a value starts here.
            if (i + k < text.size() && text[i + k] == quote) capturing = true;
            i += k + 1;
            continue;
        }
        if (capturing) {
            if (text[i] == quote) return value;
            value.push_back(text[i]);
        }
        ++i;
    }
    return {};
}

// One pass gives what removing NUL, TAB, CR and LF one after another gives: removing a
// single character never joins two others into a further match.
std::u16string WithoutControlCharacters(std::u16string_view text) {
    std::u16string out;
    out.resize(text.size());
    size_t n = 0;
    for (char16_t c : text)
        if (c != u'\0' && c != u'\t' && c != u'\r' && c != u'\n') out[n++] = c;
    out.resize(n);
    return out;
}

}  // namespace

size_t Pos(std::u16string_view x, std::u16string_view t) {
    if (x.empty()) return 0;
    size_t i = t.find(x);
    return i == std::u16string_view::npos ? 0 : i + 1;
}

std::u16string_view From(std::u16string_view t, long long p) {
    if (p < 1) return t;
    if (static_cast<unsigned long long>(p) > t.size()) return {};
    return t.substr(static_cast<size_t>(p - 1));
}

std::u16string_view First(std::u16string_view t, long long n) {
    if (n <= 0) return {};
    return t.substr(0, static_cast<size_t>(n));
}

std::u16string NormalizePage(std::u16string_view text) {
    // "%00" goes last: removing a CR or LF may join its pieces.
    std::u16string out = WithoutControlCharacters(text);
    if (out.find(u"%00") == std::u16string::npos) return out;
    return ReplaceAll(out, u"%00", u"", false);
}

std::u16string DecodeAndNormalize(std::string_view gbk_body) {
    return NormalizePage(GbkToUtf16(gbk_body));
}

std::u16string QuotedValueAfter(std::u16string_view marker, std::u16string_view text) {
    return ValueInQuotesAfter(marker, text, u'"');
}

std::u16string SingleQuotedValueAfter(std::u16string_view marker, std::u16string_view text) {
    return ValueInQuotesAfter(marker, text, u'\'');
}

std::u16string TagText(std::u16string_view open, std::u16string_view close,
                       std::u16string_view text, int n) {
    if (n < 1 || open.empty()) return {};
    // Every position counts, so an opening nested inside an earlier element is one too.
    size_t start = 0;
    int seen = 0;
    for (; start < text.size(); ++start)
        if (MatchesAt(text, start, open) && ++seen == n) break;
    if (seen < n) return {};

    std::u16string collected;
    bool in_tag = false;
    for (size_t i = start; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'<') in_tag = true;
        else if (c == u'>') in_tag = false;
        if (MatchesAt(text, i, close)) return collected;
        if (!in_tag && c != u'>') collected.push_back(c);
    }
    return {};
}

std::u16string ResultCountText(std::u16string_view page) {
    const std::u16string text = WithoutControlCharacters(page);
    const size_t p = Pos(site::kResultCountBlock, text);
    if (p == 0) return u"0";
    std::u16string_view block = From(text, static_cast<long long>(p));
    const size_t q = Pos(site::kDivClose, block);
    block = First(block, static_cast<long long>(q) - 1);
    return TagText(site::kSpanOpen, site::kSpanClose, block, 1);
}

std::u16string RemoveAll(std::u16string_view s, std::u16string_view what) {
    if (s.empty() || what.empty()) return std::u16string(s);
    return ReplaceAll(s, what, u"", true);
}

}  // namespace qv
