#include <gtest/gtest.h>

#include "tasks/search_url.h"

namespace qv {
namespace {

// The value of `key` in a URL's query ("" when the key's slot is empty).
std::string Param(const std::string& url, const std::string& key) {
    size_t at = url.find("&" + key + "=");
    if (at == std::string::npos) at = url.find("?" + key + "=");
    EXPECT_NE(at, std::string::npos) << key;
    size_t start = at + key.size() + 2;
    return url.substr(start, url.find('&', start) - start);
}

TAddTaskResult Keyword(const std::string& kw) {
    TAddTaskResult r;
    r.Keyword = kw;
    r.Province = "所有省份";
    r.City = "所有城市";
    r.BiztypeName = "所有经营模式";
    r.EstablishedYearName = "所有注册年份";
    return r;
}

TEST(EncodeUrlText, KeepsOnlyAsciiLettersAndEscapesGbkBytes) {
    EXPECT_EQ(EncodeUrlText("手机"), "%CA%D6%BB%FA");
    EXPECT_EQ(EncodeUrlText("LED灯"), "LED%B5%C6");
    EXPECT_EQ(EncodeUrlText("3G 手机"), "%33G%20%CA%D6%BB%FA");
    EXPECT_EQ(EncodeUrlText("-2008,2007"), "%2D%32%30%30%38%2C%32%30%30%37");
    EXPECT_EQ(EncodeUrlText("a&b=c"), "a%26b%3Dc");
    EXPECT_EQ(EncodeUrlText(""), "");
    EXPECT_EQ(EncodeUrlText("長L"), "%E9%4CL") << "a trail byte that looks like a letter";
    EXPECT_EQ(EncodeUrlText("😀"), "%3F") << "a character GBK lacks becomes '?'";
}

TEST(BuildSearchUrl, PlainKeywordSearchFillsOnlyItsSlots) {
    std::string url = BuildSearchUrl(Keyword("手机"), "http://127.0.0.1:8080/");
    EXPECT_EQ(url,
              "http://127.0.0.1:8080/search/company_search.htm?filt=y&categoryId=0&maxCatId="
              "&isNoRepost=false&descend_order=&show_fid=&cat_field=&tradeType=&searchType="
              "&pageSize=30&sm=&seType=&townId=0&onlineStatus=all&memberlevel=&province=&city="
              "&biztype=0&established_year=&keywords=%CA%D6%BB%FA");
}

TEST(BuildSearchUrl, MembershipFlags) {
    TAddTaskResult r = Keyword("x");
    r.onlyAliMember = true;
    std::string url = BuildSearchUrl(r, kDefaultSearchHost);
    EXPECT_EQ(Param(url, "memberlevel"), "pm");
    EXPECT_EQ(Param(url, "onlineStatus"), "all");
    r.onlyOnlineMember = true;
    url = BuildSearchUrl(r, kDefaultSearchHost);
    EXPECT_EQ(Param(url, "memberlevel"), "pm");
    EXPECT_EQ(Param(url, "onlineStatus"), "yes");
    r.onlyAliMember = false;
    url = BuildSearchUrl(r, kDefaultSearchHost);
    EXPECT_EQ(Param(url, "memberlevel"), "");
    EXPECT_EQ(Param(url, "onlineStatus"), "yes");
}

TEST(BuildSearchUrl, ProvinceCityBiztypeAndYear) {
    TAddTaskResult r = Keyword("灯");
    r.Province = "广东";
    std::string url = BuildSearchUrl(r, kDefaultSearchHost);
    EXPECT_EQ(Param(url, "province"), "%B9%E3%B6%AB");
    EXPECT_EQ(Param(url, "city"), "");
    r.City = "深圳";
    auto biz = FindBiztype("服务型");
    ASSERT_TRUE(biz);
    r.BiztypeCode = biz->code;
    auto year = FindEstablishedYear("超过5年");
    ASSERT_TRUE(year);
    r.EstablishedYearCode = std::string(year->code);
    url = BuildSearchUrl(r, kDefaultSearchHost);
    EXPECT_EQ(Param(url, "city"), EncodeUrlText("深圳"));
    EXPECT_EQ(Param(url, "biztype"), "4");
    EXPECT_EQ(Param(url, "established_year"), EncodeUrlText("-2008,2007,2006,2005,2004,2003"));
    EXPECT_EQ(Param(url, "categoryId"), "0");
}

TEST(BuildSearchUrl, CategorySearchSetsOnlyTheCategory) {
    for (auto [caption, id] : {std::pair{"农业", "1"}, {"仪器仪表", "10208"}, {"库存积压", "32"}}) {
        auto cat = FindCategory(caption);
        ASSERT_TRUE(cat) << caption;
        TAddTaskResult r;
        r.SearchKind = 1;
        r.CategoryId = cat->id;
        r.CategoryLargeName = caption;
        std::string url = BuildSearchUrl(r, kDefaultSearchHost);
        EXPECT_EQ(Param(url, "categoryId"), id);
        for (const char* key : {"onlineStatus", "memberlevel", "province", "city", "biztype",
                                "established_year", "keywords"})
            EXPECT_EQ(Param(url, key), "") << key;
        EXPECT_EQ(DefaultTaskRemark(r), std::string(caption) + ";");
        EXPECT_EQ(DefaultTaskName(r), "");
    }
}

TEST(CodeTables, HoldTheListsInOrderAndRefuseUnknownCaptions) {
    EXPECT_EQ(CategoryList().size(), 40u);
    EXPECT_EQ(CategoryList().front().caption, "照明工业");
    EXPECT_EQ(CategoryList().back().id, 32);
    EXPECT_EQ(BiztypeList()[4].code, 8);
    EXPECT_EQ(EstablishedYearList()[0].code, "");
    EXPECT_FALSE(FindCategory("不存在"));
    EXPECT_FALSE(FindBiztype(""));
    EXPECT_FALSE(FindEstablishedYear("超过9年"));
}

TEST(DefaultRemark, KeywordSearchListsItsChoices) {
    TAddTaskResult r = Keyword("灯");
    r.Province = "广东";
    r.BiztypeName = "生产型";
    r.EstablishedYearName = "超过3年";
    r.onlyAliMember = true;
    EXPECT_EQ(DefaultTaskRemark(r), "广东;所有城市;生产型;超过3年;只采集诚信通会员信息;");
    r.onlyOnlineMember = true;
    EXPECT_EQ(DefaultTaskRemark(r),
              "广东;所有城市;生产型;超过3年;只采集诚信通会员信息;只采集贸易通在线会员信息;");
    EXPECT_EQ(DefaultTaskName(r), "灯");
}

}  // namespace
}  // namespace qv

#include "core/ini_file.h"
#include "tasks/search_host.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

TEST(SearchHost, ComesFromTheSettingsOrIsTheMarketplaceOwn) {
    test::TempDir dir;
    std::string ini = dir.file("config.ini");
    EXPECT_EQ(SearchHost(ini), kDefaultSearchHost);
    TIniFileEx::WriteString(ini, "Options", "SearchHost", " http://127.0.0.1:8080 ");
    EXPECT_EQ(SearchHost(ini), "http://127.0.0.1:8080");
}

TEST(SearchSubject, ReadsTheKeywordOrTheCategoryBackFromAUrl) {
    TAddTaskResult keyword;
    keyword.Keyword = "LED灯 3G";
    keyword.Province = "广东";
    EXPECT_EQ(SearchSubjectOf(BuildSearchUrl(keyword, "http://h")), "LED灯 3G");
    TAddTaskResult category;
    category.SearchKind = 1;
    category.CategoryId = 10208;
    EXPECT_EQ(SearchSubjectOf(BuildSearchUrl(category, "http://h")), "仪器仪表");
    EXPECT_EQ(SearchSubjectOf("http://h/s?categoryId=77777&keywords="), "77777") << "a number the list lacks";
    EXPECT_EQ(SearchSubjectOf("http://h/s?keywords=a+b%2"), "a b%2") << "a broken escape stays";
    EXPECT_EQ(SearchSubjectOf("http://h/s?categoryId=0&keywords="), "");
    EXPECT_EQ(SearchSubjectOf(""), "");
}

}  // namespace
}  // namespace qv

