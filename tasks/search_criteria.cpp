#include "tasks/search_criteria.h"

#include <cstdlib>
#include <map>
#include <string>

#include "core/gbk.h"

namespace qv {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// %XX escapes to their bytes; '+' stays, as EncodeUrlText never writes one for a blank.
std::string PercentDecoded(std::string_view text) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
            bytes.push_back(static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2])));
            i += 2;
        } else {
            bytes.push_back(text[i]);
        }
    }
    return bytes;
}

std::map<std::string, std::string> QueryOf(std::string_view query) {
    std::map<std::string, std::string> values;
    while (!query.empty()) {
        const size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const size_t eq = pair.find('=');
        if (eq != std::string_view::npos)
            values[std::string(pair.substr(0, eq))] = GbkToUtf8(PercentDecoded(pair.substr(eq + 1)));
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return values;
}

template <typename Items, typename Code>
std::string CaptionOf(const Items& items, const Code& code) {
    for (const auto& item : items)
        if (item.code == code) return std::string(item.caption);
    return {};
}

}  // namespace

std::optional<TAddTaskResult> SearchOfUrl(std::string_view url) {
    const size_t question = url.find('?');
    if (question == std::string_view::npos || !url.substr(0, question).ends_with(kSearchPath))
        return std::nullopt;
    std::map<std::string, std::string> q = QueryOf(url.substr(question + 1));
    TAddTaskResult r;
    const std::string& category = q["categoryId"];
    if (q["keywords"].empty()) {
        if (category.empty() || category == "0") return std::nullopt;
        r.SearchKind = 1;
        r.CategoryId = std::atoi(category.c_str());
        for (const CategoryItem& item : CategoryList())
            if (item.id == r.CategoryId) r.CategoryLargeName = std::string(item.caption);
        return r;
    }
    r.Keyword = q["keywords"];
    r.Province = q["province"].empty() ? std::string(kAllProvinces) : q["province"];
    r.City = q["city"].empty() ? std::string(kAllCities) : q["city"];
    r.BiztypeCode = std::atoi(q["biztype"].c_str());
    r.BiztypeName = CaptionOf(BiztypeList(), r.BiztypeCode);
    r.EstablishedYearCode = q["established_year"];
    r.EstablishedYearName = CaptionOf(EstablishedYearList(), std::string_view(r.EstablishedYearCode));
    r.onlyAliMember = q["memberlevel"] == "pm";
    r.onlyOnlineMember = q["onlineStatus"] == "yes";
    return r;
}

}  // namespace qv
