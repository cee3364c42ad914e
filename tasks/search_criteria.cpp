#include "tasks/search_criteria.h"

#include <cstdlib>
#include <map>
#include <string>

namespace qv {
namespace {

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
    std::map<std::string, std::string> q;
    for (const char* key : {"keywords", "categoryId", "province", "city", "biztype", "established_year",
                            "memberlevel", "onlineStatus"})
        q[key] = DecodedQueryValue(url, key).value_or("");
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
