#include "tasks/search_url.h"

#include <array>
#include <optional>
#include <string>

#include "core/gbk.h"

namespace qv {
namespace {

constexpr std::array<BiztypeItem, 5> kBiztypes{{
    {"所有经营模式", 0}, {"生产型", 1}, {"贸易型", 2}, {"服务型", 4}, {"政府或其他机构", 8},
}};

constexpr std::array<EstablishedYearItem, 5> kEstablishedYears{{
    {"所有注册年份", ""},
    {"超过5年", "-2008,2007,2006,2005,2004,2003"},
    {"超过3年", "-2008,2007,2006,2005"},
    {"超过1年", "-2008,2007"},
    {"不满1年", "2008,2007"},
}};

constexpr std::array<CategoryItem, 40> kCategories{{
    {"照明工业", 58},       {"电子元器件", 57},       {"传媒、广电", 53},
    {"安全、防护", 30},     {"包装", 23},             {"纸业", 52},
    {"办公、文教", 21},     {"数码、电脑", 7},        {"电工电气", 5},
    {"纺织、皮革", 4},      {"服装", 3},              {"服饰", 54},
    {"机械及行业设备", 14}, {"五金、工具", 59},       {"化工", 8},
    {"精细化学品", 56},     {"橡塑", 55},             {"环保", 11},
    {"仪器仪表", 10208},    {"家居用品", 15},         {"家用电器", 6},
    {"建筑、建材", 13},     {"交通运输", 12},         {"礼品、工艺品、饰品", 17},
    {"能源", 10},           {"农业", 1},              {"汽摩及配件", 33},
    {"食品、饮料", 2},      {"通信产品", 509},        {"玩具", 1813},
    {"冶金矿产", 9},        {"医药、保养", 16},       {"印刷", 34},
    {"运动、休闲", 18},     {"商务服务", 28},         {"项目合作", 2903},
    {"二手设备转让", 2829}, {"加工", 2805},           {"代理", 51},
    {"库存积压", 32},
}};

template <typename Item, size_t N>
std::optional<Item> FindByCaption(const std::array<Item, N>& items, std::string_view caption) {
    for (const Item& item : items)
        if (item.caption == caption) return item;
    return std::nullopt;
}

void ReplaceEvery(std::string& url, std::string_view from, std::string_view to) {
    for (size_t at = url.find(from); at != std::string::npos; at = url.find(from, at + to.size()))
        url.replace(at, from.size(), to);
}

// Puts `value` into the slot of `marker` (such as "&keywords="), at every occurrence.
void SetParameter(std::string& url, std::string_view marker, std::string_view value) {
    ReplaceEvery(url, marker, std::string(marker) + std::string(value));
}

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

const std::string_view kSearchQueryTemplate =
    "filt=y&categoryId=0&maxCatId=&isNoRepost=false&descend_order=&show_fid=&cat_field="
    "&tradeType=&searchType=&pageSize=30&sm=&seType=&townId=0&onlineStatus=&memberlevel="
    "&province=&city=&biztype=&established_year=&keywords=";

std::span<const BiztypeItem> BiztypeList() { return kBiztypes; }
std::span<const EstablishedYearItem> EstablishedYearList() { return kEstablishedYears; }
std::span<const CategoryItem> CategoryList() { return kCategories; }

std::optional<BiztypeItem> FindBiztype(std::string_view c) { return FindByCaption(kBiztypes, c); }
std::optional<EstablishedYearItem> FindEstablishedYear(std::string_view c) {
    return FindByCaption(kEstablishedYears, c);
}
std::optional<CategoryItem> FindCategory(std::string_view c) {
    return FindByCaption(kCategories, c);
}

std::string EncodeUrlText(std::string_view text_utf8) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string gbk = Utf8ToGbk(text_utf8);
    std::string out;
    out.reserve(gbk.size() * 3);
    for (size_t i = 0; i < gbk.size(); ++i) {
        // A lead byte starts a two-byte character whose second byte may look like a letter
        // (長 is E9 4C); both bytes are escaped.
        bool lead = static_cast<unsigned char>(gbk[i]) >= 0x81 && i + 1 < gbk.size();
        if (!lead && IsAsciiLetter(gbk[i])) {
            out.push_back(gbk[i]);
            continue;
        }
        for (size_t k = i; k <= i + (lead ? 1 : 0); ++k) {
            auto b = static_cast<unsigned char>(gbk[k]);
            out += {'%', kHex[b >> 4], kHex[b & 15]};
        }
        if (lead) ++i;
    }
    return out;
}

std::string BuildSearchUrl(const TAddTaskResult& r, std::string_view host) {
    while (!host.empty() && host.back() == '/') host.remove_suffix(1);
    std::string url = std::string(host) + std::string(kSearchPath) + "?" +
                      std::string(kSearchQueryTemplate);
    if (r.SearchKind == 1) {
        ReplaceEvery(url, "&categoryId=0", "&categoryId=" + std::to_string(r.CategoryId));
        return url;
    }
    SetParameter(url, "&keywords=", EncodeUrlText(r.Keyword));
    if (!r.Province.empty() && r.Province != kAllProvinces)
        SetParameter(url, "&province=", EncodeUrlText(r.Province));
    if (!r.City.empty() && r.City != kAllCities) SetParameter(url, "&city=", EncodeUrlText(r.City));
    SetParameter(url, "&biztype=", std::to_string(r.BiztypeCode));
    SetParameter(url, "&established_year=", EncodeUrlText(r.EstablishedYearCode));
    SetParameter(url, "&memberlevel=", r.onlyAliMember ? "pm" : "");
    SetParameter(url, "&onlineStatus=", r.onlyOnlineMember ? "yes" : "all");
    return url;
}

std::string DefaultTaskName(const TAddTaskResult& r) { return r.SearchKind == 1 ? "" : r.Keyword; }

std::string DefaultTaskRemark(const TAddTaskResult& r) {
    if (r.SearchKind == 1) return r.CategoryLargeName + ";";
    std::string remark =
        r.Province + ";" + r.City + ";" + r.BiztypeName + ";" + r.EstablishedYearName + ";";
    if (r.onlyAliMember) remark += "只采集诚信通会员信息;";
    if (r.onlyOnlineMember) remark += "只采集贸易通在线会员信息;";
    return remark;
}

namespace {

// The value of `key` in the URL's query string, still encoded; nullopt without the key.
std::optional<std::string_view> QueryValue(std::string_view url, std::string_view key) {
    const size_t query = url.find('?');
    if (query == std::string_view::npos) return std::nullopt;
    std::string_view rest = url.substr(query + 1);
    rest = rest.substr(0, rest.find('#'));
    while (!rest.empty()) {
        const size_t end = rest.find('&');
        const std::string_view pair = rest.substr(0, end);
        const size_t eq = pair.find('=');
        if (pair.substr(0, eq) == key)
            return eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
        if (end == std::string_view::npos) break;
        rest = rest.substr(end + 1);
    }
    return std::nullopt;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// %XX to its byte and '+' to a blank; a '%' without two hex digits stays as it is.
std::string PercentDecoded(std::string_view text) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
            HexDigit(text[i + 2]) >= 0) {
            bytes.push_back(static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2])));
            i += 2;
        } else {
            bytes.push_back(text[i] == '+' ? ' ' : text[i]);
        }
    }
    return bytes;
}

}  // namespace

std::optional<std::string> DecodedQueryValue(std::string_view url, std::string_view key) {
    const std::optional<std::string_view> value = QueryValue(url, key);
    if (!value) return std::nullopt;
    return GbkToUtf8(PercentDecoded(*value));
}

std::string SearchSubjectOf(std::string_view url) {
    if (auto keyword = QueryValue(url, "keywords"); keyword && !keyword->empty())
        return GbkToUtf8(PercentDecoded(*keyword));
    if (auto category = QueryValue(url, "categoryId"); category && !category->empty() && *category != "0") {
        for (const CategoryItem& item : CategoryList())
            if (std::to_string(item.id) == *category) return std::string(item.caption);
        return std::string(*category);
    }
    return {};
}

}  // namespace qv
