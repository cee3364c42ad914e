#include "engine/fast_strings.h"

#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>

namespace qv {
namespace {

inline unsigned Fold(char c) { return kUpperCaseMap[static_cast<unsigned char>(c)]; }
inline unsigned Fold(char16_t c) { return c < 256 ? kUpperCaseMap[c] : c; }
inline unsigned Raw(char c) { return static_cast<unsigned char>(c); }
inline unsigned Raw(char16_t c) { return c; }

template <typename Char>
SkipTable MakeSkipTable(std::basic_string_view<Char> find, bool case_sensitive) {
    if (find.empty()) throw std::invalid_argument("BufferLen is 0");
    const auto m = static_cast<std::int32_t>(find.size());
    SkipTable table;
    table.fill(m);
    for (std::int32_t k = 0; k + 1 < m; ++k) {
        unsigned c = case_sensitive ? Raw(find[k]) : Fold(find[k]);
        table[c & 0xFF] = m - 1 - k;
    }
    return table;
}

// The output buffer: sized once up front, grown by half whenever a piece would not fit,
// cut to the written length at the end.
template <typename Char>
class Output {
public:
    Output(size_t source_len, size_t find_len, size_t replacement_len) {
        try {
            buf_.resize(InitialSize(source_len, find_len, replacement_len));
        } catch (const std::bad_alloc&) {
            buf_.resize((source_len + replacement_len) * 3 / 2);
        } catch (const std::length_error&) {
            buf_.resize((source_len + replacement_len) * 3 / 2);
        }
    }

    void Append(const Char* p, size_t n) {
        if (n == 0) return;
        while (len_ + n > buf_.size()) buf_.resize(std::max(buf_.size() * 3 / 2, buf_.size() + 1));
        std::char_traits<Char>::copy(buf_.data() + len_, p, n);
        len_ += n;
    }

    std::basic_string<Char> Take() && {
        buf_.resize(len_);
        return std::move(buf_);
    }

private:
    static size_t InitialSize(size_t source_len, size_t find_len, size_t replacement_len) {
        if (replacement_len <= find_len) return source_len;
        if (source_len > std::numeric_limits<size_t>::max() / replacement_len) throw std::bad_alloc();
        return source_len * replacement_len / find_len;
    }

    std::basic_string<Char> buf_;
    size_t len_ = 0;
};

// Index of the first match at or after `from` whose last unit lies before `n`, or npos.
template <typename Char, bool CaseSensitive>
size_t FindNext(std::basic_string_view<Char> source, const std::basic_string<unsigned>& pattern,
                const SkipTable& skip, size_t from) {
    auto key = [](Char c) -> unsigned {
        if constexpr (CaseSensitive) return Raw(c);
        else return Fold(c);
    };
    const size_t m = pattern.size();
    const size_t n = source.size();
    const unsigned last = pattern[m - 1];
    if (m == 1) {
        // Every shift is 1 here, so the search is a plain forward scan.
        for (size_t i = from; i < n; ++i)
            if (key(source[i]) == last) return i;
        return std::basic_string_view<Char>::npos;
    }
    for (size_t i = from + m - 1; i < n;) {
        const unsigned c = key(source[i]);
        if (c == last) {
            size_t j = m - 1;
            while (j > 0 && key(source[i - m + j]) == pattern[j - 1]) --j;
            if (j == 0) return i + 1 - m;
        }
        i += skip[c & 0xFF];
    }
    return std::basic_string_view<Char>::npos;
}

template <typename Char, bool CaseSensitive>
std::basic_string<Char> Replace(std::basic_string_view<Char> source,
                                std::basic_string_view<Char> find,
                                std::basic_string_view<Char> replacement) {
    const SkipTable skip = MakeSkipTable(find, CaseSensitive);
    std::basic_string<unsigned> pattern;
    for (Char c : find) pattern.push_back(CaseSensitive ? Raw(c) : Fold(c));

    Output<Char> out(source.size(), find.size(), replacement.size());
    size_t copied = 0;  // source[0, copied) is in the output
    for (;;) {
        const size_t at = FindNext<Char, CaseSensitive>(source, pattern, skip, copied);
        if (at == std::basic_string_view<Char>::npos) break;
        out.Append(source.data() + copied, at - copied);
        out.Append(replacement.data(), replacement.size());
        copied = at + find.size();  // matches never overlap
    }
    out.Append(source.data() + copied, source.size() - copied);
    return std::move(out).Take();
}

template <typename Char>
std::basic_string<Char> Replace(std::basic_string_view<Char> source,
                                std::basic_string_view<Char> find,
                                std::basic_string_view<Char> replacement, bool case_sensitive) {
    if (source.empty()) return std::basic_string<Char>(source);
    return case_sensitive ? Replace<Char, true>(source, find, replacement)
                          : Replace<Char, false>(source, find, replacement);
}

}  // namespace

SkipTable BuildSkipTable(std::string_view find, bool case_sensitive) {
    return MakeSkipTable(find, case_sensitive);
}

SkipTable BuildSkipTable(std::u16string_view find, bool case_sensitive) {
    return MakeSkipTable(find, case_sensitive);
}

std::string ReplaceAll(std::string_view source, std::string_view find,
                       std::string_view replacement, bool case_sensitive) {
    return Replace(source, find, replacement, case_sensitive);
}

std::u16string ReplaceAll(std::u16string_view source, std::u16string_view find,
                          std::u16string_view replacement, bool case_sensitive) {
    return Replace(source, find, replacement, case_sensitive);
}

}  // namespace qv
