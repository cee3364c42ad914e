#pragma once
// What the add-task dialog hands back, the code tables behind its lists, and the search
// URL built from it. Pure: no Qt, no settings.
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qv {

// The add-task dialog's result; a field the chosen tab does not set keeps its default.
struct TAddTaskResult {
    int SearchKind = 0;  // 0 keyword search, 1 category search
    std::string Keyword;
    std::string Province;
    std::string City;
    int BiztypeCode = 0;
    std::string BiztypeName;
    std::string EstablishedYearCode;
    std::string EstablishedYearName;
    bool onlyAliMember = false;
    bool onlyOnlineMember = false;
    int CategoryId = 0;
    std::string CategoryLargeName;
};

inline constexpr std::string_view kAllProvinces = "所有省份";
inline constexpr std::string_view kAllCities = "所有城市";

struct BiztypeItem {
    std::string_view caption;
    int code;
};
struct EstablishedYearItem {
    std::string_view caption;
    std::string_view code;
};
struct CategoryItem {
    std::string_view caption;
    int id;
};

std::span<const BiztypeItem> BiztypeList();
std::span<const EstablishedYearItem> EstablishedYearList();
std::span<const CategoryItem> CategoryList();

// Lookups by caption; nullopt for a caption the list does not hold.
std::optional<BiztypeItem> FindBiztype(std::string_view caption);
std::optional<EstablishedYearItem> FindEstablishedYear(std::string_view caption);
std::optional<CategoryItem> FindCategory(std::string_view caption);

// The marketplace's own company-search host, used when config.ini names none.
inline constexpr std::string_view kDefaultSearchHost = "http://search.china.alibaba.com";
inline constexpr std::string_view kSearchPath = "/search/company_search.htm";
extern const std::string_view kSearchQueryTemplate;

// ASCII letters stay; every other character becomes its GBK bytes as %XX.
std::string EncodeUrlText(std::string_view text_utf8);
// `host` is a URL prefix such as "http://127.0.0.1:8080"; a trailing '/' is ignored.
std::string BuildSearchUrl(const TAddTaskResult& result, std::string_view host);

// The value of `key` in a search URL's query, its %XX escapes and '+' decoded and its GBK
// bytes read as UTF-8; nullopt when the query has no such key.
std::optional<std::string> DecodedQueryValue(std::string_view url, std::string_view key);

// What a stored search URL searches for, to tell tasks apart in the task list: the
// keyword of a keyword search (its GBK percent-encoding decoded), or the caption of the
// category of a category search (the number when the list has none); empty when the URL
// names neither.
std::string SearchSubjectOf(std::string_view url);

// The name and remark the task properties dialog proposes for a new task.
std::string DefaultTaskName(const TAddTaskResult& result);
std::string DefaultTaskRemark(const TAddTaskResult& result);

}  // namespace qv
