#include <gtest/gtest.h>

#include "core/field_cipher.h"
#include "core/text.h"
#include "engine/profile.h"

namespace qv {
namespace {

enum { kIntro, kIndustry, kProduct, kCompanyType, kCompanyMode, kRegCapital, kBank = 14,
       kBankAccount = 15 };

std::u16string Row(std::u16string_view a, std::u16string_view b) {
    return u"<tr><td>" + std::u16string(a) + u"</td><td>" + std::u16string(b) + u"</td></tr>";
}

std::u16string TypelistPage(std::u16string_view rows) {
    return u"<html><span class=\"S\">我们&nbsp;是 <b>一家</b>工厂 </span>"
           u"<table class=\"typelist\">" + std::u16string(rows) + u"</table>"
           u"<table><tr><td>企业类型</td></tr><tr><td>表外</td></tr></table></html>";
}

TEST(TypelistProfile, EachLabelTakesTheCellBelowIt) {
    const std::u16string page = TypelistPage(
        Row(u"主营行业：", u"企业类型：") + Row(u" 纺织 ", u"私营") + Row(u"注册资本", u"") +
        Row(u"100万", u"") + Row(u"开户银行", u"银行帐号") + Row(u"工行", u"6222"));
    ProfileValues v;
    ParseTypelistProfile(page, v);
    EXPECT_EQ(v[kIntro], u"我们是 一家工厂");  // &nbsp; dropped without a space
    EXPECT_EQ(v[kIndustry], u"纺织");
    EXPECT_EQ(v[kCompanyType], u"");  // one field per pass: the second label is not read
    EXPECT_EQ(v[kRegCapital], u"100万");
    EXPECT_EQ(v[kBank], u"工行");
    EXPECT_EQ(v[kBankAccount], u"");
    // Rows after the typelist table are outside its scope.
    EXPECT_EQ(ParseProfilePage(page)[kCompanyType], u"");
}

TEST(TypelistProfile, TwoLabelsInOneRowYieldOnlyTheFirstInTableOrder) {
    ProfileValues v;
    ParseTypelistProfile(TypelistPage(Row(u"主营产品或服务", u"主营行业") + Row(u"布", u"纺织")),
                         v);
    EXPECT_EQ(v[kIndustry], u"纺织");
    EXPECT_EQ(v[kProduct], u"");
}

TEST(TypelistProfile, MissingMarkersLeaveValuesAlone) {
    ProfileValues v;
    v[kIndustry] = u"kept";
    ParseTypelistProfile(u"<span class=\"S\">简介</span><table><tr><td>主营行业</td></tr></table>", v);
    EXPECT_EQ(v[kIntro], u"简介");
    EXPECT_EQ(v[kIndustry], u"kept");
    ProfileValues empty;
    ParseTypelistProfile(u"", empty);
    for (const auto& value : empty) EXPECT_EQ(value, u"");
}

std::u16string BodyContPage(std::u16string_view intro, std::u16string_view cells) {
    return u"<div>head</div><div id=\"bodyCont\"><div>a</div><div>b</div><div>" +
           std::u16string(intro) + u"</div><table>" + std::u16string(cells) +
           u"</table><table><tr><td>企业类型</td><td>表外</td></tr></table></div>";
}

TEST(BodyContProfile, PairsOfCellsAndLaterPairsOverwrite) {
    const std::u16string cells = u"<tr><td>主营行业：</td><td> 纺织 </td>"
                                 u"<td>经营模式</td><td>生产型</td></tr>"
                                 u"<tr><td>主营行业</td><td>服装</td></tr>";
    ProfileValues v;
    ParseBodyContProfile(BodyContPage(u"本公司&nbsp;成立", cells), v);
    EXPECT_EQ(v[kIntro], u"本公司 成立");  // &nbsp; becomes a space here
    EXPECT_EQ(v[kIndustry], u"服装");
    EXPECT_EQ(v[kCompanyMode], u"生产型");
    EXPECT_EQ(v[kCompanyType], u"");
}

TEST(BodyContProfile, EveryLabelInACellIsSet) {
    ProfileValues v;
    ParseBodyContProfile(BodyContPage(u"x", u"<td>主营行业/经营模式</td><td>v</td>"), v);
    EXPECT_EQ(v[kIndustry], u"v");
    EXPECT_EQ(v[kCompanyMode], u"v");
}

TEST(BodyContProfile, IntroductionAfterNextAdStartsSeventeenCharactersOn) {
    ProfileValues v;
    // "nextAd()" and the nine characters after it are dropped.
    ParseBodyContProfile(BodyContPage(u"前nextAd();return; 正文", u""), v);
    EXPECT_EQ(v[kIntro], u"正文");
}

TEST(ProfilePage, LayoutIsChosenByTheBodyContMarker) {
    const std::u16string body = BodyContPage(u"intro", u"<td>主营行业</td><td>纺织</td>");
    EXPECT_EQ(ParseProfilePage(body)[kIndustry], u"纺织");
    const std::u16string typelist = TypelistPage(Row(u"主营行业", u"") + Row(u"五金", u""));
    EXPECT_EQ(ParseProfilePage(typelist)[kIndustry], u"五金");
    for (const auto& value : ParseProfilePage(u"<html>nothing</html>")) EXPECT_EQ(value, u"");
}

TEST(DetailUpdate, WritesSixteenColumnsAndEnciphersBankFieldsAndName) {
    ProfileValues v;
    v[kIntro] = u"O'Neil 公司";
    v[kIndustry] = u"纺织";
    v[kBank] = u"工行";
    v[kBankAccount] = u"";
    const std::string sql = BuildDetailUpdateStatement(v, "杭州某某");
    EXPECT_EQ(sql.rfind("update datalist set CompanyContext='O''Neil 公司',Industry='纺织',"
                        "Product='',",
                        0),
              0u);
    const std::string tail = ",Brand='',Bank=" + QuotedStr(EncipherTextHex("工行", FieldCipherKey)) +
                             ",BankAccount='' where CompanyName=" +
                             QuotedStr(EncipherTextHex("杭州某某", FieldCipherKey));
    ASSERT_GE(sql.size(), tail.size());
    EXPECT_EQ(sql.substr(sql.size() - tail.size()), tail);
    size_t at = 0;
    for (std::string_view column : kProfileColumnNames) {
        at = sql.find(std::string(column) + "='", at);
        ASSERT_NE(at, std::string::npos) << column;
    }
}

}  // namespace
}  // namespace qv
