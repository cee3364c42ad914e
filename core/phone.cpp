#include "core/phone.h"

#include <phonenumbers/phonenumber.pb.h>
#include <phonenumbers/phonenumberutil.h>

#include <cstdint>
#include <optional>
#include <unordered_map>

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

using LibraryNumber = i18n::phonenumbers::PhoneNumber;
using NumberType = PhoneNumberUtil::PhoneNumberType;

// The type of a Chinese number follows from its length and its first six digits (area
// code and exchange, or a mobile network's block): the library's patterns for the country
// look no further. The library matches regular expressions, some 20 µs a number; an export
// reads every cell of 100,000 records, which share their first digits by the thousand.
constexpr int kChina = 86;
constexpr std::uint64_t kTypePrefixDigits = 6;

// The library's metadata knows each area's usual length of local numbers, while many areas
// have seven- and eight-digit numbers side by side. A number one digit longer or shorter
// than a valid landline of a known area, with a local part of seven or eight digits, is
// taken as the landline it looks like.
bool IsLandlineOfKnownArea(const PhoneNumberUtil& util, const LibraryNumber& number) {
    const std::uint64_t national = number.national_number();
    const int digits = static_cast<int>(std::to_string(national).size());
    for (std::uint64_t near : {national * 10, national / 10}) {
        LibraryNumber probe = number;
        probe.set_national_number(near);
        if (util.GetNumberType(probe) != PhoneNumberUtil::FIXED_LINE) continue;
        const int local = digits - util.GetLengthOfGeographicalAreaCode(probe);
        if (local == 7 || local == 8) return true;
    }
    return false;
}

// The number's type; FIXED_LINE for a landline of a known area, UNKNOWN when impossible
// (a length no number of the country has) or invalid.
NumberType Judge(const PhoneNumberUtil& util, const LibraryNumber& number) {
    if (!util.IsPossibleNumber(number)) return PhoneNumberUtil::UNKNOWN;
    const NumberType type = util.GetNumberType(number);
    if (type == PhoneNumberUtil::UNKNOWN && IsLandlineOfKnownArea(util, number)) return PhoneNumberUtil::FIXED_LINE;
    return type;
}

NumberType TypeOf(const PhoneNumberUtil& util, const LibraryNumber& number) {
    if (number.country_code() != kChina) return Judge(util, number);
    const std::uint64_t national = number.national_number();
    int length = 0;
    for (std::uint64_t n = national; n > 0; n /= 10) ++length;
    std::uint64_t scale = 1;
    for (int i = static_cast<int>(kTypePrefixDigits); i < length; ++i) scale *= 10;
    const std::uint64_t key = (national / scale) * 100 + static_cast<std::uint64_t>(length);
    thread_local std::unordered_map<std::uint64_t, NumberType> known;
    if (auto it = known.find(key); it != known.end()) return it->second;
    const NumberType type = Judge(util, number);
    if (known.size() > 1'000'000) known.clear();
    known.emplace(key, type);
    return type;
}

// The number if it is valid: one type look-up decides both whether it is valid and its kind.
std::optional<PhoneNumber> Checked(const PhoneNumberUtil& util, const LibraryNumber& number) {
    const NumberType type = TypeOf(util, number);
    if (type == PhoneNumberUtil::UNKNOWN) return std::nullopt;
    PhoneNumber out;
    out.e164 = "+" + std::to_string(number.country_code()) + std::to_string(number.national_number());
    switch (type) {
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

// Digits after the country code `country`; a national number of up to 17 digits fits.
std::optional<PhoneNumber> Checked(int country, std::string_view national) {
    if (national.empty() || national.size() > kMaxDigits || national.front() == '0') return std::nullopt;
    LibraryNumber number;
    number.set_country_code(country);
    number.set_national_number(std::stoull(std::string(national)));
    return Checked(*PhoneNumberUtil::GetInstance(), number);
}

// Digits written after a "+" (or "00"): the country code first.
std::optional<PhoneNumber> International(std::string digits) {
    const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
    // Country codes are one to three digits, and none begins another.
    int country = 0;
    for (size_t length = 1; length <= 3 && length < digits.size() && country == 0; ++length) {
        const int code = std::stoi(digits.substr(0, length));
        std::string region;
        util.GetRegionCodeForCountryCode(code, &region);
        if (region != "ZZ") {
            country = code;
            digits.erase(0, length);
        }
    }
    if (country == 0) return std::nullopt;
    // "+86 0755 ...": the trunk prefix written after the country code as well.
    if (country == 86 && !digits.empty() && digits.front() == '0') digits.erase(0, 1);
    return Checked(country, digits);
}

// Digits without a country code, as a number of `region` (its trunk prefix dropped).
std::optional<PhoneNumber> National(std::string_view digits, const std::string& region) {
    const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
    std::string trunk;
    util.GetNddPrefixForRegion(region, true, &trunk);
    if (!trunk.empty() && digits.substr(0, trunk.size()) == trunk) digits.remove_prefix(trunk.size());
    return Checked(util.GetCountryCodeForRegion(region), digits);
}

// The digits as one number: with a country code after "+", "00" or a bare "86" (whose
// national number then keeps or drops its trunk "0"), else as a number of `region`.
std::optional<PhoneNumber> AsNumber(std::string digits, bool plus, const std::string& region) {
    if (!plus && digits.rfind("00", 0) == 0) {
        digits.erase(0, 2);
        plus = true;
    }
    if (plus) return International(std::move(digits));
    if (digits.rfind("86", 0) == 0 && digits.size() >= 12)
        if (auto n = International(digits)) return n;
    return National(digits, region);
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
