#pragma once
// Everything this system knows about the marketplace's pages: the fixed markers that the
// crawl and the profile parsers search for, and the label tables of the contact and
// profile pages. Markers written with double quotes include them.
#include <array>
#include <string_view>

#include "core/data_files.h"

namespace qv::site {

using Marker = std::u16string_view;

// Tags cut by the scanning routines.
inline constexpr Marker kSpanOpen = u"<span";
inline constexpr Marker kSpanClose = u"</span>";
inline constexpr Marker kDivOpen = u"<div";
inline constexpr Marker kDivClose = u"</div>";
inline constexpr Marker kLiOpen = u"<li";
inline constexpr Marker kLiClose = u"</li>";
inline constexpr Marker kUlClose = u"</ul>";
inline constexpr Marker kTdOpen = u"<td";
inline constexpr Marker kTdClose = u"</td>";
inline constexpr Marker kTrOpen = u"<tr>";
inline constexpr Marker kTrClose = u"</tr>";
inline constexpr Marker kTableOpen = u"<table";
inline constexpr Marker kTableClose = u"</table>";
inline constexpr Marker kLinkOpen = u"<a href=";
inline constexpr Marker kNbsp = u"&nbsp;";

// Result page.
inline constexpr Marker kResultCountBlock = u"\"ld_yrhere\"";
inline constexpr Marker kListBlock = u"\"batchForm\"";
inline constexpr Marker kListEnd = u"</form>";
inline constexpr Marker kEntryStart = u"\"comparecheck\"";
inline constexpr Marker kMemberId = u"memberId=";
inline constexpr Marker kVerifiedMark = u"[已核实]";
inline constexpr Marker kTrustPassMember = u"诚信通会员";
inline constexpr Marker kMessageLink = u"\"feedback_message\"";
inline constexpr Marker kContactLink = u"\"feedback_phone\"";
inline constexpr Marker kTrustPassIndex = u"\"ff_m2\"";
inline constexpr Marker kPagingBlock = u"\"pages\"";
inline constexpr Marker kPagingEnd = u"</h1>";
inline constexpr Marker kCurrentPage = u"\"currentpage\"";
inline constexpr Marker kHref = u"href=";

// Contact page, both layouts.
inline constexpr Marker kHomePageLink = u"公司首页";
inline constexpr Marker kLh20Block = u"class=\"lh20 clr\"";
inline constexpr Marker kSupplyProducts = u"供应产品";
inline constexpr Marker kHomeTab = u">首页<";
inline constexpr Marker kLocationHref = u"location.href=";
inline constexpr Marker kMpRBlock = u"\"mp_r\"";
inline constexpr Marker kMpRItems = u"<ul class=\"mainTextColor\">";
inline constexpr Marker kMister = u"先生";
inline constexpr Marker kMadam = u"女士";
inline constexpr Marker kOpenParen = u"(";
inline constexpr Marker kFullWidthOpenParen = u"（";

inline constexpr int kContactItemCount = 6;

struct ContactLabel {
    Marker label;
    MemberField field;
    int skip;  // characters before the value: the label and its colon
};

// The lh20 layout pads two-character labels with two ideographic spaces.
inline constexpr std::array<ContactLabel, 6> kLh20Labels{{
    {u"移动电话", mfMobile, 5},
    {u"电　　话", mfPhone, 5},
    {u"传　　真", mfFax, 5},
    {u"地　　址", mfAddress, 5},
    {u"邮　　编", mfPostCode, 5},
    {u"公司网站", mfSiteUrl, 5},
}};

// "移动电话" comes before "电话" so that a mobile number is not taken for a phone.
inline constexpr std::array<ContactLabel, 6> kMpRLabels{{
    {u"移动电话", mfMobile, 5},
    {u"电话", mfPhone, 3},
    {u"传真", mfFax, 3},
    {u"地址", mfAddress, 3},
    {u"邮编", mfPostCode, 3},
    {u"公司主页", mfSiteUrl, 5},
}};

// Profile page, both layouts.
inline constexpr Marker kIntroSpan = u"<span class=\"S\">";
inline constexpr Marker kTypelist = u"\"typelist\"";
inline constexpr Marker kBodyCont = u"\"bodyCont\"";
inline constexpr Marker kNextAd = u"nextAd()";
// The introduction begins this many characters after the start of "nextAd()".
inline constexpr int kNextAdSkip = 17;
inline constexpr int kTypelistRowPairs = 20;
inline constexpr int kBodyContCells = 40;

struct ProfileLabel {
    Marker label;
    int value;  // index into ProfileValues (0 is the introduction)
};

// Tested in this order; the first match wins in the typelist layout.
inline constexpr std::array<ProfileLabel, 15> kProfileLabels{{
    {u"主营行业", 1},
    {u"主营产品或服务", 2},
    {u"企业类型", 3},
    {u"经营模式", 4},
    {u"注册资本", 5},
    {u"公司注册地", 6},
    {u"员工人数", 7},
    {u"公司成立时间", 8},
    {u"法定代表人", 9},
    {u"主要客户", 10},
    {u"年营业额", 11},
    {u"主要经营地点", 12},
    {u"经营品牌", 13},
    {u"开户银行", 14},
    {u"银行帐号", 15},
}};

}  // namespace qv::site
