#include "core/phone.h"

#include <phonenumbers/phonenumber.pb.h>
#include <phonenumbers/phonenumberutil.h>

#include <optional>

namespace qv {
namespace {

using i18n::phonenumbers::PhoneNumberUtil;

// How one run of digits was set off from the run before it.
enum class Join {
    Soft,       // blanks or parentheses: may be one number ("0755 83456789") or two
    Dash,       // "-": one number, or a number and its extension ("0755-83456789-123")
    Hard,       // a separator or other text: never one number
    Extension,  // 转, 分机, "ext": the digits are the extension of the number before
};

struct Group {
    std::string digits;
    Join join = Join::Hard;
    bool plus = false;  // written after a "+"
};

// Digit runs longer than this are no phone number; runs up to it may be an extension.
constexpr size_t kMaxDigits = 17;
constexpr size_t kMinDigits = 6;
constexpr size_t kMaxExtensionDigits = 6;
// Numbers in one cell are rarely written in more than five runs ("+86 755 8345 6789").
constexpr size_t kMaxGroupsPerNumber = 6;

// Reads one UTF-8 code point at s[i]; a byte that starts no valid sequence reads as itself.
char32_t NextCodePoint(std::string_view s, size_t& i) {
    auto b = static_cast<unsigned char>(s[i]);
    size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 1;
    if (n == 1 || i + n > s.size()) {
        ++i;
        return b;
    }
    char32_t cp = n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
    for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += n;
    return cp;
}

bool StartsWithExt(std::string_view s, size_t i) {
    if (s.size() - i < 3) return false;
    auto lower = [&](size_t k) { return static_cast<char>(s[i + k] | 0x20); };
    return lower(0) == 'e' && lower(1) == 'x' && lower(2) == 't';
}

// The cell as runs of digits, full-width forms read as their ASCII twins.
std::vector<Group> Groups(std::string_view cell) {
    std::vector<Group> groups;
    Join pending = Join::Hard;
    bool plus = false;
    bool in_digits = false;
    auto separate = [&](Join join) {
        in_digits = false;
        // The strongest separator between two runs decides.
        if (join > pending) pending = join;
    };
    for (size_t i = 0; i < cell.size();) {
        if (StartsWithExt(cell, i)) {
            i += 3;
            if (i < cell.size() && cell[i] == '.') ++i;
            separate(Join::Extension);
            continue;
        }
        char32_t c = NextCodePoint(cell, i);
        if (c >= 0xFF10 && c <= 0xFF19) c = c - 0xFF10 + '0';
        if (c >= '0' && c <= '9') {
            if (!in_digits) {
                groups.push_back({std::string(), groups.empty() ? Join::Hard : pending, plus});
                pending = Join::Soft;
                plus = false;
                in_digits = true;
            }
            groups.back().digits.push_back(static_cast<char>(c));
            continue;
        }
        switch (c) {
            case '+':
            case 0xFF0B:
                separate(Join::Soft);
                plus = true;
                break;
            case '-':
            case 0x2010: case 0x2011: case 0x2012: case 0x2013: case 0x2014: case 0x2212:
            case 0xFF0D:
                separate(Join::Dash);
                break;
            case ' ': case '\t': case 0xA0: case 0x3000:
            case '(': case ')': case 0xFF08: case 0xFF09: case '[': case ']': case '.':
                separate(Join::Soft);
                break;
            case 0x8F6C:  // 转
                separate(Join::Extension);
                break;
            case 0x5206:  // 分 of 分机
                if (cell.substr(i).rfind("\xE6\x9C\xBA", 0) == 0) {  // 机
                    i += 3;
                    separate(Join::Extension);
                    break;
                }
                [[fallthrough]];
            default:
                separate(Join::Hard);
                plus = false;
                break;
        }
    }
    return groups;
}

std::optional<PhoneNumber> Checked(const std::string& text, const std::string& region) {
    const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
    i18n::phonenumbers::PhoneNumber number;
    if (util.Parse(text, region, &number) != PhoneNumberUtil::NO_PARSING_ERROR) return std::nullopt;
    if (!util.IsValidNumber(number)) return std::nullopt;
    PhoneNumber out;
    util.Format(number, PhoneNumberUtil::E164, &out.e164);
    switch (util.GetNumberType(number)) {
        case PhoneNumberUtil::MOBILE:
            out.kind = PhoneKind::Mobile;
            break;
        case PhoneNumberUtil::TOLL_FREE:
        case PhoneNumberUtil::SHARED_COST:
        case PhoneNumberUtil::PREMIUM_RATE:
        case PhoneNumberUtil::UAN:
            out.kind = PhoneKind::Hotline;
            break;
        default:
            out.kind = PhoneKind::FixedLine;
            break;
    }
    return out;
}

// The digits as one number: with a country code after "+", "00" or a bare "86" (whose
// national number then keeps or drops its trunk "0"), else as a number of `region`.
std::optional<PhoneNumber> AsNumber(std::string digits, bool plus, const std::string& region) {
    if (!plus && digits.rfind("00", 0) == 0) {
        digits.erase(0, 2);
        plus = true;
    }
    const bool bare_86 = !plus && digits.rfind("86", 0) == 0 && digits.size() >= 12;
    if (plus || bare_86) {
        std::string international = digits;
        if (international.rfind("860", 0) == 0) international.erase(2, 1);
        if (auto n = Checked("+" + international, region)) return n;
        if (plus) return std::nullopt;
    }
    return Checked(digits, region);
}

}  // namespace

std::string_view PhoneKindName(PhoneKind kind) {
    switch (kind) {
        case PhoneKind::Mobile:
            return "手机";
        case PhoneKind::FixedLine:
            return "固定电话";
        case PhoneKind::Hotline:
            return "400/800 热线";
    }
    return {};
}

std::vector<PhoneNumber> ReadPhoneNumbers(std::string_view cell, const std::string& region) {
    std::vector<PhoneNumber> found;
    const std::vector<Group> groups = Groups(cell);
    for (size_t i = 0; i < groups.size();) {
        if (groups[i].join == Join::Extension || groups[i].digits.size() > kMaxDigits) {
            ++i;
            continue;
        }
        // The most runs that still read as one valid number: "0755 8345 6789" is one.
        size_t last = i;
        while (last + 1 < groups.size() && last + 1 < i + kMaxGroupsPerNumber &&
               (groups[last + 1].join == Join::Soft || groups[last + 1].join == Join::Dash) &&
               !groups[last + 1].plus)
            ++last;
        std::optional<PhoneNumber> number;
        for (size_t end = last + 1; end > i && !number; --end) {
            std::string digits;
            for (size_t k = i; k < end; ++k) digits += groups[k].digits;
            if (digits.size() >= kMinDigits && digits.size() <= kMaxDigits)
                number = AsNumber(std::move(digits), groups[i].plus, region);
            if (number) i = end;
        }
        if (!number) {
            ++i;
            continue;
        }
        if (i < groups.size() &&
            (groups[i].join == Join::Extension ||
             (groups[i].join == Join::Dash && groups[i].digits.size() <= kMaxExtensionDigits))) {
            number->extension = groups[i].digits;
            ++i;
        }
        found.push_back(std::move(*number));
    }
    return found;
}

std::string FirstPhoneE164(std::string_view cell, const std::string& region) {
    std::vector<PhoneNumber> numbers = ReadPhoneNumbers(cell, region);
    return numbers.empty() ? std::string() : numbers.front().e164;
}

}  // namespace qv
