#include "core/gbk.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace qv {
namespace {

// One iconv descriptor per direction and thread: opening one costs far more than
// converting a short field, and a descriptor must not be shared between threads.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts `in`; where a character cannot be converted, appends `replacement` and
    // skips the bytes that `skip` says the character takes.
    template <typename Skip>
    std::string Run(std::string_view in, std::string_view replacement, Skip skip) {
        std::string out;
        out.resize(in.size() * 2 + 16);
        char* src = const_cast<char*>(in.data());
        size_t src_left = in.size();
        char* dst = out.data();
        size_t dst_left = out.size();
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        while (src_left > 0) {
            size_t r = iconv(cd_, &src, &src_left, &dst, &dst_left);
            if (r != static_cast<size_t>(-1)) break;
            if (errno == E2BIG) {
                Grow(out, dst, dst_left);
                continue;
            }
            // EILSEQ or EINVAL (truncated sequence at the end): replace and go on.
            if (dst_left < replacement.size()) Grow(out, dst, dst_left);
            for (char c : replacement) *dst++ = c;
            dst_left -= replacement.size();
            size_t n = std::min(skip(static_cast<unsigned char>(*src)), src_left);
            src += n;
            src_left -= n;
        }
        out.resize(out.size() - dst_left);
        return out;
    }

private:
    static void Grow(std::string& out, char*& dst, size_t& dst_left) {
        size_t used = out.size() - dst_left;
        out.resize(out.size() * 2 + 16);
        dst = out.data() + used;
        dst_left = out.size() - used;
    }
    iconv_t cd_;
};

Converter& GbkToUtf8Converter() {
    thread_local Converter c("UTF-8", "CP936");
    return c;
}
Converter& Utf8ToGbkConverter() {
    thread_local Converter c("CP936", "UTF-8");
    return c;
}

Converter& GbkToUtf16Converter() {
    thread_local Converter c("UTF-16LE", "CP936");
    return c;
}

bool IsAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk) {
    if (IsAscii(gbk)) return std::string(gbk);
    // An invalid lead byte is skipped alone so the next character can still be read.
    return GbkToUtf8Converter().Run(gbk, "\xEF\xBF\xBD", [](unsigned char) -> size_t { return 1; });
}

std::string Utf8ToGbk(std::string_view utf8) {
    if (IsAscii(utf8)) return std::string(utf8);
    // Re-encoding first turns broken UTF-8 into U+FFFD, so every sequence iconv refuses
    // is a whole character of known length and becomes exactly one '?'.
    std::string valid = Utf16ToUtf8(Utf8ToUtf16(utf8));
    return Utf8ToGbkConverter().Run(valid, "?", [](unsigned char c) -> size_t {
        return c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    });
}

std::u16string GbkToUtf16(std::string_view gbk) {
    // Page bodies go straight to UTF-16: this runs on every page the crawl reads.
    std::string bytes =
        GbkToUtf16Converter().Run(gbk, std::string_view("\xFD\xFF", 2),
                                  [](unsigned char) -> size_t { return 1; });
    std::u16string out(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return out;
}

std::string Utf16ToGbk(std::u16string_view text) { return Utf8ToGbk(Utf16ToUtf8(text)); }

std::u16string Utf8ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    size_t i = 0;
    auto cont = [&](size_t k) {
        return k < s.size() && (static_cast<unsigned char>(s[k]) & 0xC0) == 0x80;
    };
    while (i < s.size()) {
        unsigned char c = s[i];
        char32_t cp;
        size_t len;
        if (c < 0x80) {
            cp = c, len = 1;
        } else if (c >= 0xC2 && c < 0xE0 && cont(i + 1)) {
            cp = ((c & 0x1F) << 6) | (s[i + 1] & 0x3F), len = 2;
        } else if (c >= 0xE0 && c < 0xF0 && cont(i + 1) && cont(i + 2)) {
            cp = ((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F), len = 3;
            if (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000)) cp = 0xFFFD;
        } else if (c >= 0xF0 && c < 0xF5 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
            cp = ((c & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) |
                 (s[i + 3] & 0x3F);
            len = 4;
            if (cp < 0x10000 || cp > 0x10FFFF) cp = 0xFFFD;
        } else {
            cp = 0xFFFD, len = 1;
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size() * 3);
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

}  // namespace qv
