#include "tasks/search_criteria.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

void ExpectSameSearch(const TAddTaskResult& a, const TAddTaskResult& b) {
    EXPECT_EQ(a.SearchKind, b.SearchKind);
    EXPECT_EQ(a.Keyword, b.Keyword);
    EXPECT_EQ(a.Province, b.Province);
    EXPECT_EQ(a.City, b.City);
    EXPECT_EQ(a.BiztypeCode, b.BiztypeCode);
    EXPECT_EQ(a.BiztypeName, b.BiztypeName);
    EXPECT_EQ(a.EstablishedYearCode, b.EstablishedYearCode);
    EXPECT_EQ(a.EstablishedYearName, b.EstablishedYearName);
    EXPECT_EQ(a.onlyAliMember, b.onlyAliMember);
    EXPECT_EQ(a.onlyOnlineMember, b.onlyOnlineMember);
    EXPECT_EQ(a.CategoryId, b.CategoryId);
    EXPECT_EQ(a.CategoryLargeName, b.CategoryLargeName);
}

TEST(SearchOfUrl, ReadsBackEverySearchThatBuildSearchUrlWrites) {
    TAddTaskResult all;
    all.Keyword = "LED灯 长";
    all.Province = std::string(kAllProvinces);
    all.City = std::string(kAllCities);
    all.BiztypeName = "所有经营模式";
    all.EstablishedYearName = "所有注册年份";
    TAddTaskResult narrow = all;
    narrow.Keyword = "五金&工具=1";
    narrow.Province = "广东";
    narrow.City = "深圳";
    narrow.BiztypeCode = 4;
    narrow.BiztypeName = "服务型";
    narrow.EstablishedYearCode = "-2008,2007,2006,2005";
    narrow.EstablishedYearName = "超过3年";
    narrow.onlyAliMember = true;
    narrow.onlyOnlineMember = true;
    TAddTaskResult category;
    category.SearchKind = 1;
    category.CategoryId = 10208;
    category.CategoryLargeName = "仪器仪表";
    for (const TAddTaskResult& search : {all, narrow, category}) {
        const std::string url = BuildSearchUrl(search, "http://127.0.0.1:8080/");
        std::optional<TAddTaskResult> read = SearchOfUrl(url);
        ASSERT_TRUE(read) << url;
        ExpectSameSearch(*read, search);
        EXPECT_EQ(DefaultTaskRemark(*read), DefaultTaskRemark(search));
    }
}

TEST(SearchOfUrl, AnythingElseIsNoSearch) {
    for (const char* url : {"http://m.example/other?keywords=a", "http://m.example/search/company_search.htm",
                            "http://m.example/search/company_search.htm?categoryId=0&keywords=",
                            "not a url", ""})
        EXPECT_FALSE(SearchOfUrl(url)) << url;
    // A broken escape is kept as it stands.
    auto odd = SearchOfUrl("http://m.example/search/company_search.htm?keywords=a%2");
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->Keyword, "a%2");
}

}  // namespace
}  // namespace qv
