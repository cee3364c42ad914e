#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/data_files.h"
#include "core/gbk.h"
#include "engine/crawl.h"
#include "engine/result_page_log.h"

namespace qv {
namespace {

// A marketplace in memory: URL -> page (served as GBK), and a record of what the crawl did.
class FakeHost : public CrawlHost {
public:
    void Serve(const std::string& url, const std::string& html_utf8) {
        pages_[url] = Utf8ToGbk(html_utf8);
    }

    void Message(const std::string& text) override { messages.push_back(text); }
    void MessageCause(const std::string& cause) override {
        causes.push_back(std::to_string(messages.size()) + " " + cause);
    }
    void MemberRow(const MemberValues& values) override {
        events.push_back("row");
        rows.push_back(values);
    }
    void RepaintMembers() override { events.push_back("repaint"); }
    bool CollectDetail() override {
        ++detail_reads;
        return collect_detail;
    }
    FetchResult Fetch(const std::string& url) override {
        events.push_back("fetch " + url);
        fetched.push_back(url);
        auto it = pages_.find(url);
        if (it == pages_.end()) return {"", kFetchFailed, "HTTP 404"};
        return {it->second, ""};
    }
    void Commit(const RunStep& step) override {
        steps.push_back(step);
        if (!step.row) return;
        events.push_back("store");
        if (store_error == 1) throw CrawlStopped{};
        if (store_error == 2) throw std::runtime_error("disk full");
        stored.push_back(BuildInsertStatement(*step.row));
    }

    void ResultCount(long long count) override { counts.push_back(count); }
    void CompanyDone(bool stored) override { (stored ? done_stored : done_skipped)++; }
    void SiteBlocked() override { blocked = true; }

    bool collect_detail = false;
    std::vector<long long> counts;
    int done_stored = 0, done_skipped = 0;
    bool blocked = false;
    int store_error = 0;  // 1: stopped, 2: statement fails
    int detail_reads = 0;
    std::vector<std::string> messages, fetched, stored, events;
    std::vector<std::string> causes;  // "<number of the message it explains> <cause>"
    std::vector<MemberValues> rows;
    std::vector<RunStep> steps;

private:
    std::map<std::string, std::string> pages_;
};

struct Entry {
    std::string name = "某公司";
    std::string member_id = "m1";
    std::string mark = "[已核实]";
    std::string contact = "/c1";  // empty: no "feedback_phone" in the entry
    std::string message = "/msg1";
    std::string index = "88";
};

std::string EntryHtml(const Entry& e) {
    std::string html = "<li><input type=\"checkbox\" class=\"comparecheck\" value=\"1\">"
                       "<a href=\"/x\" memberId=\"" + e.member_id + "\"><span> " + e.name +
                       " </span></a><span>" + e.mark + "</span>";
    if (!e.message.empty())
        html += "<span class=\"feedback_message\"><a href=\"" + e.message + "\">留言</a></span>";
    if (!e.contact.empty())
        html += "<span class=\"feedback_phone\"><a href=\"" + e.contact + "\">联系</a></span>";
    return html + "<div class=\"ff_m2\"><span>" + e.index + "</span></div></li>";
}

std::string Paging(const std::string& next) {
    return "<div class=\"pages\"><h1><a href=\"/p0\">上一页</a><span class=\"currentpage\">1</span>" +
           (next.empty() ? std::string() : "<a href=\"" + next + "\">下一页</a>") + "</h1></div>";
}

std::string ResultPage(const std::vector<Entry>& entries, const std::string& paging = "") {
    std::string html = "<html><div class=\"ld_yrhere\">共<span>9</span>家</div>"
                       "<form id=\"batchForm\" method=\"post\"><ul>\r\n";
    for (const Entry& e : entries) html += EntryHtml(e) + "\r\n";
    return html + "</ul></form>" + paging + "</html>";
}

std::string Lh20Contact(const std::string& person, const std::string& items,
                        const std::string& profile = "/profile1") {
    std::string html = "<html>";
    if (!profile.empty()) html += "<span>公司首页</span> <a href=\"" + profile + "\">公司介绍</a>";
    return html + "<div class=\"lh20 clr\"><ul><li>联系人：</li><li>" + person +
           "</li></ul></div><ul class=\"lh20 clr\">" + items + "</ul></html>";
}

const std::string kLh20Items =
    "<li>移动电话：13900000000</li><li>电　　话：0571-88888888</li>"
    "<li>传　　真：0571-99999999</li><li>地　　址：杭州市文三路</li>"
    "<li>邮　　编：310000</li><li>公司网站：http://www.a.cn</li>";

std::string MpRContact(const std::string& person, const std::string& items,
                       const std::string& profile = "/profile2") {
    std::string html = "<html><a href=\"/\">首页</a><div>供应产品</div>";
    if (!profile.empty()) html += "<input onclick=\"location.href='" + profile + "';\">";
    return html + "<div class=\"mp_r\"><div>" + person + "</div><ul class=\"mainTextColor\">" +
           items + "</ul></div></html>";
}

const std::string kMpRItems =
    "<li>电话：0571-1111</li><li>移动电话：&nbsp;13800000000</li><li>传真：0571-2222</li>"
    "<li>地址：杭州市文三路电话大厦</li><li>邮编：310012</li><li>公司主页：http://b.cn</li>";

const std::string kTypelistProfile =
    "<html><span class=\"S\">简介&nbsp;文字</span><table class=\"typelist\">"
    "<tr><td>主营行业</td><td>企业类型</td></tr><tr><td>纺织</td><td>私营</td></tr>"
    "<tr><td>开户银行</td><td></td></tr><tr><td>工行</td><td></td></tr></table></html>";

const std::string kBodyContProfile =
    "<html><div id=\"bodyCont\"><div>1</div><div>2</div><div>本公司&nbsp;简介</div>"
    "<table><tr><td>主营行业：</td><td> 服装 </td><td>银行帐号</td><td>6222</td></tr></table>"
    "</div></html>";

bool Crawl(FakeHost& host, const std::string& url = "/search") {
    return CrawlCompanyList(url, host);
}

TEST(CrawlLayouts, Lh20ContactWithProfileGivesAFullRecord) {
    FakeHost host;
    host.collect_detail = true;
    host.Serve("/search", ResultPage({Entry{}}));
    host.Serve("/c1", Lh20Contact("张三&nbsp;先生（经理）", kLh20Items));
    host.Serve("/profile1", kTypelistProfile);

    EXPECT_TRUE(Crawl(host));
    EXPECT_TRUE(host.messages.empty());
    ASSERT_EQ(host.rows.size(), 1u);
    const MemberValues& r = host.rows[0];
    EXPECT_EQ(r[mfCompanyName], "某公司");
    EXPECT_EQ(r[mfMemberID], "m1");
    EXPECT_EQ(r[mfMemberType], "诚信通会员");
    EXPECT_EQ(r[mfGoodIndex], "88");
    EXPECT_EQ(r[mfSendMsgLink], "/msg1");
    EXPECT_EQ(r[mfContactLink], "/c1");
    EXPECT_EQ(r[mfCmpDetail], "/profile1");
    EXPECT_EQ(r[mfLinkMan], "张三");
    EXPECT_EQ(r[mfSex], "先生");
    EXPECT_EQ(r[mfDuty], "经理");
    EXPECT_EQ(r[mfMobile], "13900000000");
    EXPECT_EQ(r[mfPhone], "0571-88888888");
    EXPECT_EQ(r[mfFax], "0571-99999999");
    EXPECT_EQ(r[mfAddress], "杭州市文三路");
    EXPECT_EQ(r[mfPostCode], "310000");
    EXPECT_EQ(r[mfSiteUrl], "http://www.a.cn");
    EXPECT_EQ(r[mfCompanyContext], "简介文字");
    EXPECT_EQ(r[mfIndustry], "纺织");
    EXPECT_EQ(r[mfBank], "工行");
    ASSERT_EQ(host.stored.size(), 1u);
    EXPECT_EQ(host.stored[0], BuildInsertStatement(r));
    // Stored before shown, so a row in the grid is a row in the file.
    EXPECT_EQ(host.events, (std::vector<std::string>{"fetch /search", "fetch /c1",
                                                      "fetch /profile1", "store", "row"}));
}

TEST(CrawlLayouts, MpRContactWithProfileAndPrefixLabels) {
    FakeHost host;
    host.collect_detail = true;
    host.Serve("/search", ResultPage({Entry{}}));
    host.Serve("/c1", MpRContact("李四&nbsp;女士", kMpRItems));
    host.Serve("/profile2", kBodyContProfile);

    EXPECT_TRUE(Crawl(host));
    ASSERT_EQ(host.rows.size(), 1u);
    const MemberValues& r = host.rows[0];
    EXPECT_EQ(r[mfCmpDetail], "/profile2");
    EXPECT_EQ(r[mfLinkMan], "李四");
    EXPECT_EQ(r[mfSex], "女士");
    EXPECT_EQ(r[mfDuty], "");
    EXPECT_EQ(r[mfPhone], "0571-1111");
    EXPECT_EQ(r[mfMobile], "13800000000");
    EXPECT_EQ(r[mfFax], "0571-2222");
    // The label opens the item; "电话" inside the address does not make it a phone.
    EXPECT_EQ(r[mfAddress], "杭州市文三路电话大厦");
    EXPECT_EQ(r[mfPostCode], "310012");
    EXPECT_EQ(r[mfSiteUrl], "http://b.cn");
    EXPECT_EQ(r[mfCompanyContext], "本公司 简介");
    EXPECT_EQ(r[mfIndustry], "服装");
    EXPECT_EQ(r[mfBankAccount], "6222");
}

TEST(CrawlLayouts, ProfileParserFollowsTheProfilePageNotTheContactLayout) {
    FakeHost host;
    host.collect_detail = true;
    Entry second;
    second.contact = "/c2";
    host.Serve("/search", ResultPage({Entry{}, second}));
    host.Serve("/c1", Lh20Contact("王五", kLh20Items, "/body"));
    host.Serve("/c2", MpRContact("赵六", kMpRItems, "/typelist"));
    host.Serve("/body", kBodyContProfile);
    host.Serve("/typelist", kTypelistProfile);

    EXPECT_TRUE(Crawl(host));
    ASSERT_EQ(host.rows.size(), 2u);
    EXPECT_EQ(host.rows[0][mfIndustry], "服装");
    EXPECT_EQ(host.rows[1][mfIndustry], "纺织");
    EXPECT_EQ(host.detail_reads, 2);
}

TEST(CrawlLayouts, OptionOffSkipsLh20WithoutProfileLinkButStoresMpR) {
    FakeHost host;
    Entry lh20, mpr;
    lh20.contact = "/lh20";
    mpr.contact = "/mpr";
    host.Serve("/search", ResultPage({lh20, mpr}));
    host.Serve("/lh20", Lh20Contact("王五", kLh20Items, ""));
    host.Serve("/mpr", MpRContact("赵六", kMpRItems, ""));

    EXPECT_TRUE(Crawl(host));
    EXPECT_EQ(host.messages, std::vector<std::string>{"抓取的公司介绍链接失败，忽略，继续抓取"});
    ASSERT_EQ(host.rows.size(), 1u);
    EXPECT_EQ(host.rows[0][mfContactLink], "/mpr");
    EXPECT_EQ(host.rows[0][mfCmpDetail], "");
    EXPECT_EQ(host.rows[0][mfIndustry], "");
    EXPECT_EQ(host.fetched, (std::vector<std::string>{"/search", "/lh20", "/mpr"}));
}

TEST(CrawlLayouts, OptionOffStoresLh20WithoutReadingTheProfile) {
    FakeHost host;
    host.Serve("/search", ResultPage({Entry{}}));
    host.Serve("/c1", Lh20Contact("王五", kLh20Items));
    EXPECT_TRUE(Crawl(host));
    ASSERT_EQ(host.rows.size(), 1u);
    EXPECT_EQ(host.rows[0][mfCmpDetail], "/profile1");
    EXPECT_EQ(host.rows[0][mfCompanyContext], "");
    EXPECT_EQ(host.fetched.size(), 2u);
}

// Runs one company whose lh20 contact page names `person`; returns its row.
MemberValues PersonRow(const std::string& person) {
    FakeHost host;
    host.Serve("/search", ResultPage({Entry{}}));
    host.Serve("/c1", Lh20Contact(person, ""));
    Crawl(host);
    return host.rows.empty() ? MemberValues{} : host.rows[0];
}

TEST(CrawlPersons, SalutationAndDutyRules) {
    MemberValues r = PersonRow("某某 先生（经理）");
    EXPECT_EQ(r[mfLinkMan], "某某");
    EXPECT_EQ(r[mfSex], "先生");
    EXPECT_EQ(r[mfDuty], "经理");

    r = PersonRow("某某");
    EXPECT_EQ(r[mfLinkMan], "某某");
    EXPECT_EQ(r[mfSex], "");
    EXPECT_EQ(r[mfDuty], "");

    r = PersonRow("某某 女士");
    EXPECT_EQ(r[mfLinkMan], "某某");
    EXPECT_EQ(r[mfSex], "女士");
    EXPECT_EQ(r[mfDuty], "");

    r = PersonRow("某某 先生 (销售)");
    EXPECT_EQ(r[mfLinkMan], "某某");
    EXPECT_EQ(r[mfDuty], "销售");

    // A name with a bracketed duty and no salutation keeps the name.
    r = PersonRow("张三（经理）");
    EXPECT_EQ(r[mfLinkMan], "张三");
    EXPECT_EQ(r[mfSex], "");
    EXPECT_EQ(r[mfDuty], "经理");
}

TEST(CrawlEntries, VerifiedMarkMustBeExact) {
    FakeHost host;
    Entry e;
    e.mark = "[已核实]会员";
    host.Serve("/search", ResultPage({e}));
    host.Serve("/c1", MpRContact("赵六", ""));
    Crawl(host);
    ASSERT_EQ(host.rows.size(), 1u);
    EXPECT_EQ(host.rows[0][mfMemberType], "");
}

TEST(CrawlEntries, MissingContactLinkIsBorrowedFromTheNextEntry) {
    FakeHost host;
    Entry first, second, last;
    first.name = "甲";
    first.contact = "";
    second.name = "乙";
    second.contact = "/c2";
    last.name = "丙";
    last.contact = "";  // nothing after it to borrow from: skipped without a message
    host.Serve("/search", ResultPage({first, second, last}));
    host.Serve("/c2", MpRContact("赵六", ""));

    EXPECT_TRUE(Crawl(host));
    EXPECT_TRUE(host.messages.empty());
    ASSERT_EQ(host.rows.size(), 2u);
    EXPECT_EQ(host.rows[0][mfCompanyName], "甲");
    EXPECT_EQ(host.rows[0][mfContactLink], "/c2");
    EXPECT_EQ(host.rows[1][mfCompanyName], "乙");
    EXPECT_EQ(host.fetched, (std::vector<std::string>{"/search", "/c2", "/c2"}));
}

TEST(CrawlEntries, AtMostFortyEntriesPerPageThenTheNextPage) {
    FakeHost host;
    std::vector<Entry> entries(45);
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i].name = "公司" + std::to_string(i);
        entries[i].contact = "/c" + std::to_string(i);
        host.Serve(entries[i].contact, MpRContact("赵六", ""));
    }
    entries[3].contact = "";  // a skipped entry still uses up a pass
    host.Serve("/search", ResultPage(entries, Paging("/page2")));
    host.Serve("/page2", ResultPage({Entry{}}));
    host.Serve("/c1", MpRContact("赵六", ""));

    EXPECT_TRUE(Crawl(host));
    ASSERT_EQ(host.rows.size(), 41u);
    EXPECT_EQ(host.rows[3][mfCompanyName], "公司3");  // borrowed /c4
    EXPECT_EQ(host.rows[39][mfCompanyName], "公司39");
    EXPECT_EQ(host.rows[40][mfCompanyName], "某公司");
    auto repaint = std::find(host.events.begin(), host.events.end(), "repaint");
    ASSERT_NE(repaint, host.events.end());
    EXPECT_EQ(*(repaint + 1), "fetch /page2");
}

TEST(CrawlEntries, QuotesInValuesAreDoubledInTheStatementOnly) {
    FakeHost host;
    host.Serve("/search", ResultPage({Entry{}}));
    host.Serve("/c1", MpRContact("赵六", "<li>地址：King's Road</li>"));
    Crawl(host);
    ASSERT_EQ(host.rows.size(), 1u);
    EXPECT_EQ(host.rows[0][mfAddress], "King's Road");
    ASSERT_EQ(host.stored.size(), 1u);
    EXPECT_NE(host.stored[0].find("'King''s Road'"), std::string::npos);
}

TEST(CrawlSkips, EachSkipHasItsMessageAndTheCrawlGoesOn) {
    FakeHost host;
    host.collect_detail = true;
    std::vector<Entry> entries(5);
    for (size_t i = 0; i < entries.size(); ++i) entries[i].contact = "/c" + std::to_string(i);
    host.Serve("/search", ResultPage(entries));
    // /c0 is missing: the contact page cannot be fetched.
    host.Serve("/c1", "<html><div>供应产品</div>no block</html>");
    host.Serve("/c2", Lh20Contact("王五", kLh20Items, "/gone"));
    host.Serve("/c3", MpRContact("赵六", "", ""));
    host.Serve("/c4", MpRContact("赵六", "", "/profile2"));
    host.Serve("/profile2", kBodyContProfile);

    EXPECT_TRUE(Crawl(host));
    EXPECT_EQ(host.messages, (std::vector<std::string>{
                                 "抓取联系方式网页时产生错误：连接失败，忽略，继续抓取",
                                 "未抓取到联系方式所在的网页，忽略，继续抓取",
                                 "抓取公司介绍网页时产生错误：连接失败，忽略，继续抓取",
                                 "抓取公司介绍网页时产生错误：连接失败，忽略，继续抓取",
                             }));
    ASSERT_EQ(host.rows.size(), 1u);
    EXPECT_EQ(host.rows[0][mfContactLink], "/c4");
    EXPECT_EQ(host.stored.size(), 1u);
    EXPECT_EQ(host.detail_reads, 3);
}

TEST(CrawlSkips, BlankMpRProfileLinkThatFetchesIsStillSkipped) {
    FakeHost host;
    host.collect_detail = true;
    host.Serve("/search", ResultPage({Entry{}}));
    host.Serve("/c1", MpRContact("赵六", "", " "));
    host.Serve(" ", "<html></html>");
    EXPECT_TRUE(Crawl(host));
    EXPECT_EQ(host.messages, std::vector<std::string>{"抓取公司介绍网页失败，忽略，继续抓取"});
    EXPECT_TRUE(host.rows.empty());
}

TEST(CrawlPaging, EachWayTheCrawlEnds) {
    {
        FakeHost host;  // no paging block
        host.Serve("/search", ResultPage({}));
        EXPECT_TRUE(Crawl(host));
    }
    {
        FakeHost host;  // paging block without "</h1>": false, silently
        host.Serve("/search", ResultPage({}, "<div class=\"pages\"><a href=\"/p2\">2</a>"));
        EXPECT_FALSE(Crawl(host));
        EXPECT_TRUE(host.messages.empty());
        EXPECT_EQ(host.fetched.size(), 1u);
    }
    {
        FakeHost host;  // an href before "currentpage" only
        host.Serve("/search", ResultPage({}, Paging("")));
        EXPECT_TRUE(Crawl(host));
        EXPECT_EQ(host.fetched.size(), 1u);
        EXPECT_TRUE(std::find(host.events.begin(), host.events.end(), "repaint") ==
                    host.events.end());
    }
    {
        FakeHost host;  // the result is that of the last page read
        host.Serve("/search", ResultPage({Entry{}}, Paging("/p2")));
        host.Serve("/c1", MpRContact("赵六", ""));
        host.Serve("/p2", ResultPage({Entry{}}, Paging("/p3")));
        host.Serve("/p3", "<html>busy</html>");
        EXPECT_FALSE(Crawl(host));
        EXPECT_EQ(host.rows.size(), 2u);
        // A result page without its list is also what a block page looks like.
        EXPECT_EQ(host.messages, (std::vector<std::string>{"抓取失败，错误严重，不可以继续抓取",
                                                           kSiteBlockedMessage}));
        EXPECT_TRUE(host.blocked);
    }
}

TEST(CrawlPaging, ResultPageFailuresEndTheCrawl) {
    {
        FakeHost host;
        EXPECT_FALSE(Crawl(host));
        EXPECT_EQ(host.messages, std::vector<std::string>{
                                     "抓取公司列表网页时产生错误：连接失败，错误严重，不可以继续抓取"});
    }
    {
        FakeHost host;
        host.Serve("/search", "<html><form id=\"batchForm\"><li class=\"comparecheck\"></html>");
        EXPECT_FALSE(Crawl(host));
        EXPECT_EQ(host.messages, std::vector<std::string>{
                                     "公司列表页面内容信息获取错误,无法正确解析，错误严重，不可以继续抓取"});
    }
    {
        FakeHost host;  // no "comparecheck": nothing processed, paging goes on
        host.Serve("/search", "<form id=\"batchForm\"></form>" + Paging("/p2"));
        host.Serve("/p2", ResultPage({}));
        EXPECT_TRUE(Crawl(host));
        EXPECT_EQ(host.fetched, (std::vector<std::string>{"/search", "/p2"}));
    }
}

TEST(CrawlPaging, ANextLinkBackToAPageReadEndsTheCrawlWithoutStoringAgain) {
    const std::string loop = "公司列表的下一页链接指回已读过的结果页，翻页循环：";
    {
        FakeHost host;  // a page whose next link is itself
        host.Serve("/search", ResultPage({Entry{}}, Paging("/search")));
        host.Serve("/c1", MpRContact("赵六", ""));
        EXPECT_FALSE(Crawl(host));
        EXPECT_EQ(host.stored.size(), 1u);
        EXPECT_EQ(host.fetched, (std::vector<std::string>{"/search", "/c1"}));
        EXPECT_EQ(host.messages,
                  std::vector<std::string>{loop + "/search，错误严重，不可以继续抓取"});
    }
    {
        // A two-page cycle, the link back spelled differently.
        FakeHost host;
        Entry second;
        second.contact = "/c2";
        host.Serve("http://m.example/s?p=1", ResultPage({Entry{}}, Paging("http://m.example/s?p=2")));
        host.Serve("http://m.example/s?p=2",
                   ResultPage({second}, Paging("HTTP://M.Example:80/s?p=1#list")));
        host.Serve("/c1", MpRContact("赵六", ""));
        host.Serve("/c2", MpRContact("钱七", ""));
        EXPECT_FALSE(Crawl(host, "http://m.example/s?p=1"));
        EXPECT_EQ(host.stored.size(), 2u);
        EXPECT_EQ(host.messages, std::vector<std::string>{
                                     loop + "HTTP://M.Example:80/s?p=1#list，错误严重，不可以继续抓取"});
        // The saved position stays on the last page read, never on the page looped back to.
        ASSERT_TRUE(host.steps.back().position);
        EXPECT_EQ(host.steps.back().position->page_url, "http://m.example/s?p=2");
    }
}

TEST(CrawlPaging, PagesThatDifferOnlyInTheirQueryAreDistinct) {
    EXPECT_EQ(NormalizePageUrl("HTTPS://A.B:443?x=1#f"), "https://a.b/?x=1");
    EXPECT_EQ(NormalizePageUrl("http://a.b:8080/P?Q=1"), "http://a.b:8080/P?Q=1");
    EXPECT_NE(NormalizePageUrl("http://a.b/s?p=1"), NormalizePageUrl("http://a.b/s?p=10"));
    EXPECT_EQ(NormalizePageUrl("/p2#x"), "/p2");
}

TEST(CrawlPaging, ARunEndsAfterTenThousandResultPages) {
    FakeHost host;
    const size_t cap = ResultPageLog::kMaxPages;
    for (size_t n = 1; n <= cap + 1; ++n)
        host.Serve("/p" + std::to_string(n), ResultPage({}, Paging("/p" + std::to_string(n + 1))));
    EXPECT_FALSE(Crawl(host, "/p1"));
    EXPECT_EQ(host.fetched.size(), cap);
    EXPECT_EQ(host.messages, std::vector<std::string>{
                                 "公司列表已读满 10000 页，不再翻页，错误严重，不可以继续抓取"});
}

TEST(CrawlStore, StopAndStatementErrorsPropagateWithoutShowingTheRow) {
    FakeHost stopped;
    stopped.store_error = 1;
    stopped.Serve("/search", ResultPage({Entry{}}));
    stopped.Serve("/c1", MpRContact("赵六", ""));
    EXPECT_THROW(Crawl(stopped), CrawlStopped);
    EXPECT_TRUE(stopped.rows.empty());

    FakeHost failing;
    failing.store_error = 2;
    failing.Serve("/search", ResultPage({Entry{}}));
    failing.Serve("/c1", MpRContact("赵六", ""));
    EXPECT_THROW(Crawl(failing), std::runtime_error);
    EXPECT_TRUE(failing.rows.empty());
}


Entry Company(int n, const std::string& member_id = "") {
    Entry e;
    e.name = "公司" + std::to_string(n);
    e.member_id = member_id.empty() ? "m" + std::to_string(n) : member_id;
    e.contact = "/c" + std::to_string(n);
    return e;
}

// Two result pages: companies 1 and 2, then company 3.
void ServeTwoPages(FakeHost& host) {
    host.Serve("/search", ResultPage({Company(1), Company(2)}, Paging("/p2")));
    host.Serve("/p2", ResultPage({Company(3)}));
    for (int n = 1; n <= 3; ++n) host.Serve("/c" + std::to_string(n), MpRContact("某人", ""));
}

CrawlStart Start(const std::string& page, int number, int done) {
    CrawlStart start;
    start.page_url = page;
    start.page_number = number;
    start.entries_done = done;
    return start;
}

void ExpectPosition(const RunStep& step, const std::string& page, int number, int done,
                    bool finished = false) {
    ASSERT_TRUE(step.position);
    EXPECT_EQ(step.position->page_url, page);
    EXPECT_EQ(step.position->page_number, number);
    EXPECT_EQ(step.position->entries_done, done);
    EXPECT_EQ(step.position->finished, finished);
}

TEST(CrawlPosition, EveryCompanyCommitsItsRowWithThePositionAfterIt) {
    FakeHost host;
    ServeTwoPages(host);
    EXPECT_TRUE(Crawl(host));
    ASSERT_EQ(host.steps.size(), 5u);
    EXPECT_TRUE(host.steps[0].row);
    ExpectPosition(host.steps[0], "/search", 1, 1);
    ExpectPosition(host.steps[1], "/search", 1, 2);
    EXPECT_FALSE(host.steps[2].row);  // the next page, before it is read
    ExpectPosition(host.steps[2], "/p2", 2, 0);
    EXPECT_EQ((*host.steps[3].row)[mfCompanyName], "公司3");
    ExpectPosition(host.steps[3], "/p2", 2, 1);
    EXPECT_FALSE(host.steps[4].row);
    ExpectPosition(host.steps[4], "/p2", 2, 1, true);
}

TEST(CrawlPosition, ContinuingPassesOverDoneEntriesWithoutFetchingThem) {
    FakeHost host;
    ServeTwoPages(host);
    EXPECT_TRUE(CrawlCompanyList("/search", host, Start("/search", 1, 1)));
    EXPECT_EQ(host.fetched, (std::vector<std::string>{"/search", "/c2", "/p2", "/c3"}));
    ASSERT_EQ(host.rows.size(), 2u);
    EXPECT_EQ(host.rows[0][mfCompanyName], "公司2");

    // A position on a later page starts there, its number carried on.
    FakeHost later;
    ServeTwoPages(later);
    EXPECT_TRUE(CrawlCompanyList("/search", later, Start("/p2", 2, 0)));
    EXPECT_EQ(later.fetched, (std::vector<std::string>{"/p2", "/c3"}));
    ExpectPosition(later.steps.back(), "/p2", 2, 1, true);
}

TEST(CrawlPosition, AFailedPageIsCommittedWithItsCauseAndItsCompany) {
    FakeHost host;
    host.collect_detail = true;
    host.Serve("/search", ResultPage({Company(1), Company(2)}, Paging("/p2")));
    host.Serve("/c2", Lh20Contact("某人", kLh20Items, "/missing-profile"));
    EXPECT_FALSE(Crawl(host));  // /c1 and the profile are missing, then /p2 too
    ASSERT_EQ(host.steps.size(), 4u);
    ASSERT_TRUE(host.steps[0].failure);
    const FailedPage& contact = *host.steps[0].failure;
    EXPECT_EQ(contact.url, "/c1");
    EXPECT_EQ(contact.cause, "HTTP 404");
    EXPECT_EQ(contact.kind, kFailedContactPage);
    EXPECT_EQ(contact.company_name, "公司1");
    EXPECT_EQ(contact.member_id, "m1");
    EXPECT_EQ(contact.contact_link, "/c1");
    ExpectPosition(host.steps[0], "/search", 1, 1);
    EXPECT_EQ(host.steps[1].failure->kind, kFailedProfilePage);
    EXPECT_EQ(host.steps[1].failure->url, "/missing-profile");
    EXPECT_FALSE(host.steps[1].row);
    const RunStep& list = host.steps[3];
    ASSERT_TRUE(list.failure);
    EXPECT_EQ(list.failure->url, "/p2");
    EXPECT_EQ(list.failure->kind, kFailedResultPage);
    EXPECT_EQ(list.failure->company_name, "");
    EXPECT_FALSE(list.position);  // the run stays on /p2, to be continued there
    // Each message of a failed fetch is followed by its cause; the texts stay as they were.
    EXPECT_EQ(host.causes, (std::vector<std::string>{"1 HTTP 404", "2 HTTP 404", "3 HTTP 404"}));
    EXPECT_EQ(host.messages[0], "抓取联系方式网页时产生错误：连接失败，忽略，继续抓取");
}

TEST(CrawlNewOnly, KnownCompaniesArePassedOverWithoutFetchingTheirPages) {
    FakeHost host;
    Entry nameless = Company(4);
    nameless.member_id = "";
    Entry repeated = Company(5);
    repeated.contact = "/c5b";
    host.Serve("/search", ResultPage({Company(1), Company(2), nameless, Company(5), repeated}));
    for (const char* c : {"/c1", "/c2", "/c4", "/c5", "/c5b"}) host.Serve(c, MpRContact("某人", ""));
    KnownCompanies known;
    known.Add("m1", "公司1");
    known.Add("", "公司4");
    CrawlStart new_only;
    new_only.known = &known;
    EXPECT_TRUE(CrawlCompanyList("/search", host, new_only));
    // Company 5 is new the first time and known once stored.
    EXPECT_EQ(host.fetched, (std::vector<std::string>{"/search", "/c2", "/c5"}));
    EXPECT_TRUE(known.Contains("m2", ""));
    EXPECT_FALSE(known.Contains("", "公司2"));  // with a member ID, only the ID counts
}

TEST(CrawlRetry, RetriesOnlyCompaniesLostToAFailedPage) {
    FakeHost host;
    host.Serve("/c1", MpRContact("赵六", ""));
    auto failure = [](long long id, int n, const char* kind) {
        FailedPage f;
        f.id = id;
        f.url = "/c" + std::to_string(n);
        f.cause = "HTTP 503";
        f.kind = kind;
        f.company_name = "公司" + std::to_string(n);
        f.member_id = "m" + std::to_string(n);
        f.contact_link = f.url;
        return f;
    };
    FailedPage result_page = failure(3, 2, kFailedResultPage);
    FailedPage lost = failure(7, 1, kFailedContactPage);
    FailedPage still = failure(8, 9, kFailedProfilePage);
    EXPECT_TRUE(RetryFailedCompanies({result_page, lost, still}, host));
    EXPECT_EQ(host.fetched, (std::vector<std::string>{"/c1", "/c9"}));
    ASSERT_EQ(host.steps.size(), 2u);
    EXPECT_EQ(host.steps[0].retried_failure, 7);
    ASSERT_TRUE(host.steps[0].row);
    EXPECT_EQ((*host.steps[0].row)[mfCompanyName], "公司1");
    EXPECT_EQ((*host.steps[0].row)[mfLinkMan], "赵六");
    EXPECT_FALSE(host.steps[0].position);
    EXPECT_EQ(host.steps[1].retried_failure, 8);
    ASSERT_TRUE(host.steps[1].failure);  // replaced by the new try's failure
    EXPECT_EQ(host.steps[1].failure->cause, "HTTP 404");
    EXPECT_EQ(host.rows.size(), 1u);
}

const std::string kBlockPage = "<html><h3>亲，访问受限了</h3><form id=\"nc\"></form></html>";

// Seven companies: /c1 and /c2 read normally unless told otherwise.
FakeHost SevenCompanies(const std::vector<int>& blocked_pages) {
    FakeHost host;
    std::vector<Entry> entries(7);
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i].contact = "/c" + std::to_string(i);
        entries[i].member_id = "m" + std::to_string(i);
        host.Serve(entries[i].contact, MpRContact("赵" + std::to_string(i), kMpRItems));
    }
    for (int b : blocked_pages) host.Serve("/c" + std::to_string(b), kBlockPage);
    host.Serve("/search", ResultPage(entries));
    return host;
}

TEST(CrawlBlocking, FiveCompaniesWithoutAContactLayoutStopTheTaskBeforeTheFirst) {
    FakeHost host = SevenCompanies({1, 2, 3, 4, 5});
    EXPECT_FALSE(Crawl(host));
    EXPECT_TRUE(host.blocked);
    EXPECT_EQ(host.messages, std::vector<std::string>{kSiteBlockedMessage});
    ASSERT_EQ(host.rows.size(), 1u);  // /c0 only; nothing built from a block page
    // The last position written is the one after /c0: a continue starts at /c1.
    ASSERT_EQ(host.steps.size(), 1u);
    ExpectPosition(host.steps.back(), "/search", 1, 1);
    EXPECT_EQ(host.done_skipped, 0);  // the five are not reported as skipped
    EXPECT_EQ(host.fetched.back(), "/c5");
}

TEST(CrawlBlocking, FewerInARowAreOrdinarySkipsInTheirOrder) {
    FakeHost host = SevenCompanies({1, 2, 3, 4});
    EXPECT_TRUE(Crawl(host));
    EXPECT_FALSE(host.blocked);
    EXPECT_EQ(host.messages, std::vector<std::string>(4, "未抓取到联系方式所在的网页，忽略，继续抓取"));
    EXPECT_EQ(host.rows.size(), 3u);
    // Kept as failed pages, so that another try can read them.
    ASSERT_TRUE(host.steps[1].failure);
    EXPECT_EQ(host.steps[1].failure->url, "/c1");
    EXPECT_EQ(host.steps[1].failure->cause, "no contact layout");
    EXPECT_EQ(host.steps[1].failure->kind, kFailedContactPage);
    EXPECT_EQ(host.done_skipped, 4);
    EXPECT_EQ(host.done_stored, 3);
    // Every company's step, in entry order, then the finished position.
    ASSERT_EQ(host.steps.size(), 8u);
    for (int i = 0; i < 7; ++i) ExpectPosition(host.steps[i], "/search", 1, i + 1);

    // At the end of the run too, what is held back is reported.
    FakeHost tail = SevenCompanies({4, 5, 6});
    EXPECT_TRUE(Crawl(tail));
    EXPECT_EQ(tail.messages.size(), 3u);
    EXPECT_EQ(tail.rows.size(), 4u);
    ExpectPosition(tail.steps.back(), "/search", 1, 7, true);
}

// With the detail option on, a profile page without the profile layout is the same sign:
// nothing is stored from it, a lone one is a skip kept as a failed page, and it counts
// toward the five.
TEST(CrawlBlocking, AProfilePageWithoutItsLayoutIsASignLikeTheContactPage) {
    auto seven = [](const std::vector<int>& blocked_profiles, const std::vector<int>& blocked_contacts) {
        FakeHost host = SevenCompanies(blocked_contacts);
        host.collect_detail = true;
        for (int i = 0; i < 7; ++i) {
            const std::string n = std::to_string(i);
            if (std::find(blocked_contacts.begin(), blocked_contacts.end(), i) == blocked_contacts.end())
                host.Serve("/c" + n, MpRContact("赵" + n, kMpRItems, "/p" + n));
            const bool blocked = std::find(blocked_profiles.begin(), blocked_profiles.end(), i) != blocked_profiles.end();
            host.Serve("/p" + n, blocked ? kBlockPage : kBodyContProfile);
        }
        return host;
    };
    FakeHost lone = seven({1}, {});
    EXPECT_TRUE(Crawl(lone));
    EXPECT_EQ(lone.messages, std::vector<std::string>{"未抓取到公司介绍所在的网页，忽略，继续抓取"});
    EXPECT_EQ(lone.causes, std::vector<std::string>{"1 no profile layout"});
    ASSERT_EQ(lone.rows.size(), 6u);
    EXPECT_EQ(lone.rows[1][mfLinkMan], "赵2");
    ASSERT_TRUE(lone.steps[1].failure);
    EXPECT_EQ(lone.steps[1].failure->url, "/p1");
    EXPECT_EQ(lone.steps[1].failure->kind, kFailedProfilePage);
    EXPECT_FALSE(lone.steps[1].row);

    FakeHost blocked = seven({1, 2, 3}, {4, 5});
    EXPECT_FALSE(Crawl(blocked));
    EXPECT_TRUE(blocked.blocked);
    EXPECT_EQ(blocked.messages, std::vector<std::string>{kSiteBlockedMessage});
    ASSERT_EQ(blocked.rows.size(), 1u);
    ASSERT_EQ(blocked.steps.size(), 1u);
    ExpectPosition(blocked.steps.back(), "/search", 1, 1);
}

TEST(CrawlBlocking, ARunOfBlockPagesAcrossAPageBreakKeepsTheEarlierPosition) {
    FakeHost host;
    std::vector<Entry> first(3), second(3);
    for (int i = 0; i < 3; ++i) {
        first[i].contact = "/a" + std::to_string(i);
        second[i].contact = "/b" + std::to_string(i);
    }
    host.Serve("/search", ResultPage(first, Paging("/p2")));
    host.Serve("/p2", ResultPage(second));
    host.Serve("/a0", MpRContact("赵", kMpRItems));
    for (const char* page : {"/a1", "/a2", "/b0", "/b1", "/b2"}) host.Serve(page, kBlockPage);
    EXPECT_FALSE(Crawl(host));
    EXPECT_TRUE(host.blocked);
    ASSERT_EQ(host.steps.size(), 1u);
    ExpectPosition(host.steps[0], "/search", 1, 1);
}

TEST(CrawlProgress, CountsTheStatedTotalAndEveryCompanyOnce) {
    FakeHost host;
    std::vector<Entry> entries(4);
    entries[0].contact = "/c0";
    entries[1].contact = "";  // borrows /c2's link
    entries[2].contact = "/c2";
    entries[3].contact = "/gone";
    host.Serve("/c0", MpRContact("赵", kMpRItems));
    host.Serve("/c2", MpRContact("钱", kMpRItems));
    host.Serve("/search", ResultPage(entries, Paging("/p2")));
    host.Serve("/p2", ResultPage({Entry{}}));
    host.Serve("/c1", MpRContact("孙", kMpRItems));
    EXPECT_TRUE(Crawl(host));
    EXPECT_EQ(host.counts, std::vector<long long>{9});  // page one's figure only
    EXPECT_EQ(host.done_stored, 4);
    EXPECT_EQ(host.done_skipped, 1);
}

}  // namespace
}  // namespace qv
