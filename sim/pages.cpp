#include "sim/pages.h"

#include <algorithm>

#include "core/gbk.h"
#include "tasks/search_url.h"

namespace qv::sim {
namespace {

using Sv = std::string_view;

// Text around the parts the crawl reads. None of it may hold a marker the crawl looks
// for (no "公司首页", no paging class, no location.href=, ...), or the crawl would read
// the wrong place.
constexpr Sv kStyle = R"(<style type="text/css">
body{margin:0;padding:0;font:12px/1.5 "宋体",Arial,sans-serif;color:#333;background:#fff}
a{color:#03c;text-decoration:none}a:hover{color:#f60;text-decoration:underline}
ul,li{margin:0;padding:0;list-style:none}img{border:0}
.clearfix:after{content:".";display:block;height:0;clear:both;visibility:hidden}
#top{height:26px;line-height:26px;background:#f5f5f5;border-bottom:1px solid #ddd}
#top .welcome{float:left;padding-left:10px}#top .links{float:right;padding-right:10px}
#header{width:960px;margin:0 auto;height:80px}#header .logo{float:left;width:200px;height:60px}
#search{float:left;margin:18px 0 0 30px}#search input.kw{width:360px;height:22px;border:2px solid #f60}
#search .btn{width:80px;height:28px;background:#f60;color:#fff;border:0;font-weight:bold}
#catnav{width:960px;margin:0 auto;background:#fafafa;border:1px solid #eee}
#catnav li{float:left;width:120px;height:24px;overflow:hidden}
.list_item{border-bottom:1px dashed #ccc;padding:10px 0}.list_item h3{font-size:14px;margin:0}
.item_info{float:left;width:620px}.item_act{float:right;width:180px;text-align:right}
.mark .v{color:#090}.desc{color:#666}.addr{color:#999}
.ad_box{width:960px;margin:8px auto;text-align:center}.ad_box img{width:960px;height:90px}
.side_ad{float:right;width:200px}.side_ad li{height:60px;margin-bottom:6px}
#footer{width:960px;margin:20px auto;border-top:2px solid #f60;text-align:center;color:#666}
#footer .flinks a{margin:0 6px}.copyright{padding:8px 0;color:#999}
.contact_box{border:1px solid #ddd;padding:10px}.contact_box li{height:24px}
.info_table td{border:1px solid #e5e5e5;padding:4px 8px}.info_table .th{background:#f8f8f8;width:110px}
</style>
)";

constexpr Sv kScript = R"(<script type="text/javascript">
var siteConfig={name:"quorvane",ver:"3.2.7",searchPath:"/search/company_search.htm",cdn:"/static"};
function setTab(n){for(var i=1;i<=5;i++){var t=document.getElementById("tab"+i);if(t){t.className=(i==n)?"on":"";}}}
function addFavorite(u,t){try{window.external.addFavorite(u,t);}catch(e){alert("请使用Ctrl+D将本页加入收藏夹");}}
function go(u){if(u){window.location.assign(u);}}
function checkSearch(f){var k=f.keywords.value;if(k==""||k=="请输入产品名称或公司名称"){alert("请输入关键字");return false;}return true;}
function rotateAd(id,n){var i=0;setInterval(function(){var e=document.getElementById(id);if(e){i=(i+1)%n;e.style.marginTop=(-90*i)+"px";}},5000);}
(function(){var s=document.createElement("script");s.src="/static/js/stat.js?t="+(new Date()).getTime();
var h=document.getElementsByTagName("head")[0];if(h){h.appendChild(s);}})();
</script>
)";

std::string CategoryNav() {
    std::string html = "<div id=\"catnav\" class=\"clearfix\"><ul>\n";
    for (const CategoryItem& c : CategoryList())
        html += "<li><a href=\"/search/company_search.htm?categoryId=" + std::to_string(c.id) +
                "\" title=\"" + std::string(c.caption) + "\">" + std::string(c.caption) +
                "</a></li>\n";
    return html + "</ul></div>\n";
}

std::string TopBar() {
    return "<div id=\"top\"><div class=\"welcome\">您好，欢迎来到商贸通！"
           "<a href=\"/member/signin.htm\">请登录</a> <a href=\"/member/join.htm\">免费注册</a></div>"
           "<div class=\"links\"><a href=\"/\">网站首页</a> | <a href=\"/help/\">帮助中心</a> | "
           "<a href=\"javascript:addFavorite('/','商贸通');\">加入收藏</a></div></div>\n"
           "<div id=\"header\"><div class=\"logo\"><a href=\"/\"><img src=\"/static/img/logo.gif\" "
           "alt=\"商贸通\"/></a></div><div id=\"search\"><form action=\"/search/company_search.htm\" "
           "method=\"get\" onsubmit=\"return checkSearch(this);\"><input class=\"kw\" type=\"text\" "
           "name=\"keywords\" value=\"\"/><input class=\"btn\" type=\"submit\" value=\"搜 索\"/>"
           "</form></div></div>\n";
}

std::string AdBlock() {
    std::string html = "<div class=\"ad_box\"><div id=\"adroll\">";
    for (int i = 1; i <= 4; ++i)
        html += "<a href=\"/ad/click.htm?id=" + std::to_string(1000 + i) +
                "\" target=\"_blank\"><img src=\"/static/ad/banner" + std::to_string(i) +
                ".jpg\" alt=\"推广\"/></a>";
    return html + "</div><script type=\"text/javascript\">rotateAd(\"adroll\",4);</script></div>\n";
}

std::string Footer() {
    static constexpr std::array<Sv, 12> kLinks{"关于我们", "联系我们", "网站地图", "诚信通服务",
                                               "广告服务", "法律声明", "隐私政策", "友情链接",
                                               "招聘信息", "意见反馈", "帮助中心", "合作伙伴"};
    std::string html = "<div id=\"footer\"><div class=\"flinks\">";
    for (size_t i = 0; i < kLinks.size(); ++i)
        html += "<a href=\"/about/" + std::to_string(i + 1) + ".htm\">" + std::string(kLinks[i]) +
                "</a>";
    html += "</div><div class=\"hotwords\">热门搜索：";
    for (const CategoryItem& c : CategoryList())
        html += "<a href=\"/search/company_search.htm?categoryId=" + std::to_string(c.id) + "\">" +
                std::string(c.caption) + "</a> ";
    return html + "</div><div class=\"copyright\">Copyright &copy; 2003-2008 商贸通 版权所有 "
                  "增值电信业务经营许可证 浙B2-20070000</div></div>\n"
                  "<script type=\"text/javascript\" src=\"/static/js/footer.js\"></script>\n";
}

// The fixed parts, encoded to GBK once.
struct Chrome {
    std::string head_tail;  // after the title: styles, scripts, top bar, navigation
    std::string foot;       // ads and footer, closing the page
};

const Chrome& TheChrome() {
    static const Chrome chrome{
        Utf8ToGbk(std::string("</title>\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
                              "charset=gbk\"/>\n") +
                  std::string(kStyle) + std::string(kScript) + "</head>\n<body>\n" + TopBar() +
                  CategoryNav() + AdBlock()),
        Utf8ToGbk(AdBlock() + Footer() + "</body>\n</html>\n")};
    return chrome;
}

std::string Page(const std::string& title_utf8, const std::string& body_utf8) {
    const Chrome& chrome = TheChrome();
    std::string out = Utf8ToGbk(
        "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\">\n<html>\n<head>\n<title>" +
        title_utf8);
    out += chrome.head_tail;
    out += Utf8ToGbk(body_utf8);
    out += chrome.foot;
    return out;
}

const std::string& V(const SimCompany& c, MemberField f) { return c.values[f]; }

std::string Entry(const SimCompany& c) {
    const std::string& id = V(c, mfMemberID);
    std::string h;
    h.reserve(1200);
    h += "<div class=\"list_item clearfix\">\n<div class=\"chk\"><input type=\"checkbox\" "
         "class=\"comparecheck\" memberId=\"" + id + "\" name=\"memberIds\" value=\"" + id +
         "\"/></div>\n<div class=\"item_info\"><h3><a href=\"" + V(c, mfCmpDetail) +
         "\" target=\"_blank\"><span class=\"cname\">" + V(c, mfCompanyName) +
         "</span></a></h3>\n<p class=\"mark\"><span class=\"v\">" + c.verified_mark +
         "</span> <img src=\"/static/img/tp.gif\" alt=\"\"/></p>\n<p class=\"desc\">主营产品：" +
         c.profile[2] + "</p>\n<p class=\"addr\">所在地：" + c.profile[6] +
         "</p></div>\n<div class=\"item_act\"><span class=\"feedback_message\"><a href=\"" +
         V(c, mfSendMsgLink) + "\" target=\"_blank\">给我留言</a></span>\n"
         "<span class=\"feedback_phone\"><a href=\"" + V(c, mfContactLink) +
         "\" target=\"_blank\">联系方式</a></span>\n<div class=\"ff_m2\">诚信指数：<span class=\"idx\">" +
         V(c, mfGoodIndex) + "</span></div></div>\n</div>\n";
    return h;
}

std::string Paging(const ResultPageRequest& r, int pages) {
    auto link = [&](int n, const std::string& text) {
        return "<a href=\"" + r.page_link_base + std::to_string(n) + "\">" + text + "</a> ";
    };
    std::string h = "<div class=\"pages\"><h1>";
    if (r.page > 1) h += link(r.page - 1, "上一页");
    for (int n = std::max(1, r.page - 4); n < r.page; ++n) h += link(n, std::to_string(n));
    h += "<span class=\"currentpage\">" + std::to_string(r.page) + "</span> ";
    for (int n = r.page + 1; n <= std::min(pages, r.page + 4); ++n) h += link(n, std::to_string(n));
    if (r.page < pages) h += link(r.page + 1, "下一页");
    return h + "<em>共" + std::to_string(pages) + "页</em></h1></div>\n";
}

std::string ContactItem(Sv label, const std::string& value, bool as_link) {
    std::string shown = value;
    if (as_link && !value.empty())
        shown = "<a href=\"" + value + "\" target=\"_blank\">" + value + "</a>";
    return "<li>" + std::string(label) + shown + "</li>\n";
}

std::string CompanyHeader(const SimCompany& c) {
    return "<div class=\"shop_head\"><h2>" + V(c, mfCompanyName) + "</h2><p>诚信通第" +
           std::to_string(1 + c.index % 7) + "年 · " + c.profile[6] + "</p></div>\n";
}

std::string Lh20Contact(const SimCompany& c) {
    std::string h = CompanyHeader(c);
    h += "<div class=\"topnav\"><span class=\"cur\">公司首页</span> <a href=\"" + V(c, mfCmpDetail) +
         "\">公司介绍</a> <a href=\"#offer\">供应信息</a> <a href=\"#buy\">求购信息</a> "
         "<a href=\"" + V(c, mfContactLink) + "\">联系方式</a></div>\n";
    h += "<div class=\"contact_box\"><h3>联系方式</h3>\n<div class=\"lh20 clr\"><ul><li class=\"t\">"
         "联系人：</li><li class=\"n\">" + c.person_html + "</li></ul></div>\n<ul class=\"lh20 clr\">\n";
    // A company without a mobile number either leaves the item out or shows it blank.
    if (!V(c, mfMobile).empty() || c.index % 2 == 0) h += ContactItem("移动电话：", V(c, mfMobile), false);
    h += ContactItem("电　　话：", V(c, mfPhone), false);
    h += ContactItem("传　　真：", V(c, mfFax), false);
    h += ContactItem("地　　址：", V(c, mfAddress), false);
    h += ContactItem("邮　　编：", V(c, mfPostCode), false);
    h += ContactItem("公司网站：", V(c, mfSiteUrl), true);
    return h + "</ul>\n<p class=\"tip\">联系我时，请说是在商贸通上看到的，谢谢！</p></div>\n";
}

std::string MpRContact(const SimCompany& c) {
    std::string h = CompanyHeader(c);
    h += "<ul class=\"menu\"><li><a href=\"/company/" + V(c, mfMemberID) +
         "/\">首页</a></li><li><a href=\"#offer\">供应产品</a></li><li class=\"intro\" "
         "onclick=\"location.href='" + V(c, mfCmpDetail) +
         "'\">公司介绍</li><li class=\"on\">联系方式</li></ul>\n";
    h += "<div class=\"mainbox clearfix\"><div class=\"mp_l\"><img src=\"/static/img/card.gif\" "
         "alt=\"名片\"/></div>\n<div class=\"mp_r\"><div class=\"person\">" + c.person_html +
         "</div>\n<ul class=\"mainTextColor\">\n";
    if (!V(c, mfMobile).empty() || c.index % 2 == 0)
        h += ContactItem("移动电话：&nbsp;", V(c, mfMobile), false);
    h += ContactItem("电话：", V(c, mfPhone), false);
    h += ContactItem("传真：", V(c, mfFax), false);
    h += ContactItem("地址：", V(c, mfAddress), false);
    h += ContactItem("邮编：", V(c, mfPostCode), false);
    h += ContactItem("公司主页：", V(c, mfSiteUrl), true);
    return h + "</ul></div></div>\n";
}

std::string Label(int fact) {
    return std::string(kSimProfileFactLabels[static_cast<size_t>(fact - 1)]) + "：";
}

std::string TypelistProfile(const SimCompany& c) {
    std::string h = CompanyHeader(c);
    h += "<div class=\"company_intro\"><h3>公司简介</h3><p><span class=\"S\">" + c.profile[0] +
         "</span></p></div>\n<div class=\"detail_info\"><h3>详细信息</h3>\n"
         "<table class=\"typelist\" width=\"100%\" cellspacing=\"0\">\n";
    for (int fact = 1; fact <= kSimProfileFacts; fact += 2) {
        const bool pair = fact + 1 <= kSimProfileFacts;
        h += "<tr><td class=\"n\">" + Label(fact) + "</td><td class=\"n\">" +
             (pair ? Label(fact + 1) : std::string()) + "</td></tr>\n";
        h += "<tr><td>" + c.profile[static_cast<size_t>(fact)] + "</td><td>" +
             (pair ? c.profile[static_cast<size_t>(fact + 1)] : std::string()) + "</td></tr>\n";
    }
    return h + "</table></div>\n";
}

std::string BodyContProfile(const SimCompany& c) {
    std::string h = CompanyHeader(c);
    h += "<div id=\"bodyCont\" class=\"clearfix\">\n<div class=\"box_title\"><h3>公司介绍</h3></div>\n"
         "<div class=\"box_content\">\n<div class=\"intro_text\">" + c.profile[0] +
         "</div>\n</div>\n<div class=\"box_title\"><h3>基本信息</h3></div>\n"
         "<table class=\"info_table\" width=\"100%\" cellspacing=\"0\">\n";
    for (int fact = 1; fact <= kSimProfileFacts; fact += 2) {
        h += "<tr><td class=\"th\">" + Label(fact) + "</td><td>" + c.profile[static_cast<size_t>(fact)] +
             "</td>";
        if (fact + 1 <= kSimProfileFacts)
            h += "<td class=\"th\">" + Label(fact + 1) + "</td><td>" +
                 c.profile[static_cast<size_t>(fact + 1)] + "</td>";
        h += "</tr>\n";
    }
    return h + "</table>\n</div>\n";
}

}  // namespace

int PageCount(size_t count, int per_page) {
    if (per_page < 1) per_page = 1;
    const size_t pages = (count + static_cast<size_t>(per_page) - 1) / static_cast<size_t>(per_page);
    return static_cast<int>(std::max<size_t>(pages, 1));
}

std::string ResultPage(const ResultPageRequest& r) {
    static const std::vector<SimCompany> kNone;
    const std::vector<SimCompany>& all = r.companies ? *r.companies : kNone;
    const int pages = PageCount(all.size(), r.per_page);
    std::string body;
    body.reserve(static_cast<size_t>(r.per_page) * 1200 + 4096);
    body += "<div class=\"ld_yrhere\">您的位置：<a href=\"/\">网站首页</a> &gt; 公司库 &gt; 共找到 "
            "<span class=\"red\">" + std::to_string(all.size()) + "</span> 家与“" + r.search_word +
            "”相关的公司</div>\n<form id=\"batchForm\" name=\"batchForm\" method=\"post\" "
            "action=\"/compare.htm\">\n";
    const size_t first = static_cast<size_t>(std::max(r.page - 1, 0)) * static_cast<size_t>(r.per_page);
    for (size_t i = first; i < all.size() && i < first + static_cast<size_t>(r.per_page); ++i)
        body += Entry(all[i]);
    body += "<div class=\"batch_bar\"><input type=\"submit\" value=\"对比选中的公司\"/></div>\n</form>\n";
    body += Paging(r, pages);
    return Page(r.search_word + "_公司库_商贸通", body);
}

std::string ContactPage(const SimCompany& c) {
    const std::string body =
        c.contact_layout == SimContactLayout::lh20 ? Lh20Contact(c) : MpRContact(c);
    return Page(V(c, mfCompanyName) + " - 联系方式", body);
}

std::string ProfilePage(const SimCompany& c) {
    const std::string body =
        c.profile_layout == SimProfileLayout::typelist ? TypelistProfile(c) : BodyContProfile(c);
    return Page(V(c, mfCompanyName) + " - 公司介绍", body);
}

std::string MessagePage(const SimCompany& c) {
    return Page("给" + V(c, mfCompanyName) + "留言",
                "<div class=\"msg_form\"><h3>给" + V(c, mfCompanyName) +
                    "留言</h3><form method=\"post\" action=\"/message/send.htm\"><input "
                    "type=\"hidden\" name=\"toMemberId\" value=\"" + V(c, mfMemberID) +
                    "\"/><textarea name=\"content\" rows=\"8\" cols=\"60\"></textarea><input "
                    "type=\"submit\" value=\"发送留言\"/></form></div>\n");
}

std::string HomePage() {
    return Page("商贸通 - 网上贸易市场", "<div class=\"welcome_box\"><h3>欢迎来到商贸通</h3>"
                                        "<p>请在上方输入产品名称或公司名称搜索。</p></div>\n");
}

std::string NotFoundPage() {
    return Page("页面不存在", "<div class=\"error_box\"><h3>对不起，您访问的页面不存在。</h3></div>\n");
}

}  // namespace qv::sim

namespace qv::sim {

std::string VerificationPage() {
    return Page("安全验证",
                "<div class=\"nc-container\"><h3>亲，访问受限了</h3>"
                "<p>请拖动下方滑块完成验证，验证通过后可继续访问。</p>"
                "<form id=\"nc_form\" action=\"/verify\"><div id=\"nc_slider\"></div></form>"
                "<p><a href=\"/login.htm\">登录</a>后访问更顺畅</p></div>\n");
}

}  // namespace qv::sim
