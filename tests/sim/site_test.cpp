#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/gbk.h"
#include "engine/crawl.h"
#include "engine/fetcher.h"
#include "engine/markup.h"
#include "sim/site_server.h"
#include "tasks/search_url.h"

namespace qv {
namespace {

// Runs the real crawl against the simulator and keeps what it would store.
class RecordingHost : public CrawlHost {
public:
    explicit RecordingHost(bool detail) : detail_(detail) {}
    void Message(const std::string& text) override { messages.push_back(text); }
    void MemberRow(const MemberValues& values) override { rows.push_back(values); }
    void RepaintMembers() override { ++repaints; }
    bool CollectDetail() override { return detail_; }
    FetchResult Fetch(const std::string& url) override { return FetchPage(url, client_); }
    void Commit(const RunStep&) override {}

    std::vector<std::string> messages;
    std::vector<MemberValues> rows;
    int repaints = 0;

private:
    bool detail_;
    HttpClient client_;
};

SiteOptions Options(int companies, uint32_t seed = 7) {
    SiteOptions o;
    o.seed = seed;
    o.companies = companies;
    return o;
}

// Compares row by row, naming the company and the field of the first difference.
void ExpectRows(const std::vector<MemberValues>& rows, const std::vector<SimCompany>& companies,
                bool detail) {
    ASSERT_EQ(rows.size(), companies.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const MemberValues expected =
            detail ? companies[i].values : companies[i].ValuesWithoutDetail();
        for (int f = 0; f < kMemberColumnCount; ++f)
            ASSERT_EQ(rows[i][f], expected[f])
                << "company " << i << " field " << kMemberColumns[f].name;
    }
}

std::string Path(const std::string& url, const SiteServer& site) {
    return url.substr(site.BaseUrl().size());
}

TEST(SiteCrawl, ACrawlStoresExactlyTheExpectedValues) {
    SiteServer site(Options(45));
    for (bool detail : {true, false}) {
        RecordingHost host(detail);
        EXPECT_TRUE(CrawlCompanyList(site.SearchUrl("灯具"), host));
        EXPECT_TRUE(host.messages.empty()) << host.messages.front();
        ExpectRows(host.rows, site.CompaniesFor("灯具"), detail);
        EXPECT_EQ(host.repaints, 1);  // 45 companies: two result pages
    }
    RecordingHost category(true);
    EXPECT_TRUE(CrawlCompanyList(site.CategorySearchUrl(57) + "&per=15", category));
    ExpectRows(category.rows, site.CompaniesForCategory(57), true);
}

TEST(SiteCrawl, PagingFollowsEveryPageAndAnEmptySearchEndsAtOnce) {
    SiteServer site(Options(20));
    RecordingHost host(false);
    EXPECT_TRUE(CrawlCompanyList(site.SearchUrl("五金") + "&per=7", host));
    ExpectRows(host.rows, site.CompaniesFor("五金"), false);
    EXPECT_EQ(host.repaints, 2);
    EXPECT_EQ(site.requests(), 3 + 20);  // three result pages, one contact page each

    RecordingHost empty(true);
    EXPECT_TRUE(CrawlCompanyList(site.SearchUrl("空"), empty));
    EXPECT_TRUE(empty.rows.empty());
    EXPECT_TRUE(empty.messages.empty());
}

TEST(SiteData, CompaniesCoverBothLayoutsAndTheTrickyValues) {
    SiteServer site(Options(200));
    const std::vector<SimCompany>& all = site.CompaniesFor("服装");
    ASSERT_EQ(all.size(), 200u);
    std::set<std::string> names;
    std::set<SimContactLayout> contacts;
    std::set<SimProfileLayout> profiles;
    int quotes = 0, unverified = 0, nbsp = 0, no_salutation = 0;
    for (const SimCompany& c : all) {
        names.insert(c.values[mfCompanyName]);
        contacts.insert(c.contact_layout);
        profiles.insert(c.profile_layout);
        quotes += c.values[mfBrand].find('\'') != std::string::npos;
        unverified += c.values[mfMemberType].empty();
        nbsp += c.person_html.find("&nbsp;") != std::string::npos;
        no_salutation += c.values[mfSex].empty();
        EXPECT_EQ(c.values[mfContactLink].rfind(site.BaseUrl(), 0), 0u);
    }
    EXPECT_EQ(names.size(), all.size());
    EXPECT_EQ(contacts.size(), 2u);
    EXPECT_EQ(profiles.size(), 2u);
    EXPECT_GT(quotes, 0);
    EXPECT_GT(unverified, 0);
    EXPECT_GT(nbsp, 0);
    EXPECT_GT(no_salutation, 0);
}

// The links carry the port, so runs are compared on everything else.
std::vector<std::string> Unlinked(const std::vector<SimCompany>& companies) {
    std::vector<std::string> out;
    for (const SimCompany& c : companies)
        for (int f = 0; f < kMemberColumnCount; ++f)
            if (f != mfSendMsgLink && f != mfContactLink && f != mfCmpDetail)
                out.push_back(c.values[f]);
    return out;
}

TEST(SiteData, TheSameSeedGivesTheSameCompanies) {
    SiteServer a(Options(30, 5)), b(Options(30, 5)), c(Options(30, 6));
    EXPECT_EQ(Unlinked(a.CompaniesFor("灯具")), Unlinked(b.CompaniesFor("灯具")));
    EXPECT_NE(Unlinked(a.CompaniesFor("灯具")), Unlinked(c.CompaniesFor("灯具")));
    EXPECT_NE(Unlinked(a.CompaniesFor("灯具")), Unlinked(a.CompaniesFor("服装")));
    EXPECT_EQ(&a.CompaniesFor("灯具"), &a.CompaniesFor("灯具"));
}

TEST(SitePages, PagesAreGbkWithTheCountAndACookie) {
    SiteServer site(Options(45));
    httplib::Client client(site.BaseUrl());
    auto res = client.Get(Path(site.SearchUrl("灯具"), site).c_str());
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=GBK");
    EXPECT_NE(res->get_header_value("Set-Cookie").find("QVSESSION="), std::string::npos);
    EXPECT_GT(res->body.size(), 20'000u);
    const std::string& first_name = site.CompaniesFor("灯具").front().values[mfCompanyName];
    EXPECT_NE(res->body.find(Utf8ToGbk(first_name)), std::string::npos);
    EXPECT_EQ(res->body.find(first_name), std::string::npos);  // not UTF-8
    EXPECT_EQ(ResultCountText(GbkToUtf16(res->body)), u"45");

    auto empty = client.Get(Path(site.SearchUrl("空"), site).c_str());
    ASSERT_TRUE(empty);
    EXPECT_EQ(ResultCountText(GbkToUtf16(empty->body)), u"0");

    EXPECT_EQ(client.Get("/company/nobody/contactinfo.htm?sk=00&n=0")->status, 404);
}

TEST(SitePages, AClientSendsTheSessionCookieBack) {
    SiteServer site(Options(10));
    RecordingHost host(true);
    ASSERT_TRUE(CrawlCompanyList(site.SearchUrl("灯具"), host));
    EXPECT_EQ(site.requests(), 1 + 2 * 10);
    EXPECT_EQ(site.requests_with_session(), site.requests() - 1);
}

TEST(SiteFaults, FailuresAndResetsStopAfterTheFourthAttempt) {
    SiteOptions o = Options(1);
    o.reset_rate = 1.0;
    SiteServer site(o);
    httplib::Client client(site.BaseUrl());
    const std::string path = Path(site.SearchUrl("灯具"), site);
    for (int attempt = 0; attempt < kSimFaultyAttempts; ++attempt)
        EXPECT_FALSE(client.Get(path.c_str())) << "attempt " << attempt;  // no answer at all
    auto res = client.Get(path.c_str());
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);

    SiteOptions f = Options(1);
    f.fail_first = 2;
    SiteServer failing(f);
    httplib::Client second(failing.BaseUrl());
    EXPECT_EQ(second.Get("/")->status, 500);
    EXPECT_EQ(second.Get("/")->status, 500);
    EXPECT_EQ(second.Get("/")->status, 200);
    EXPECT_EQ(failing.failures(), 2);
}

TEST(SiteFaults, ACrawlThroughFaultsStillGetsEveryPage) {
    SiteOptions o = Options(40);
    o.fail_rate = 0.2;
    o.reset_rate = 0.05;
    SiteServer site(o);
    RecordingHost host(true);
    EXPECT_TRUE(CrawlCompanyList(site.SearchUrl("灯具") + "&per=25", host));
    EXPECT_TRUE(host.messages.empty());
    ExpectRows(host.rows, site.CompaniesFor("灯具"), true);
    EXPECT_GT(site.failures(), 0);
}

TEST(SiteFaults, DelayHoldsEveryAnswer) {
    SiteOptions o = Options(1);
    o.delay_ms = 60;
    SiteServer site(o);
    httplib::Client client(site.BaseUrl());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(client.Get("/"));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
}


// Weeks: the same seed gives the same history, and a week's list differs from the last in
// companies gone, new ones, and changed contact and profile facts, each company keeping its
// number and links.
std::map<int, const SimCompany*> ByNumber(const std::vector<SimCompany>& companies) {
    std::map<int, const SimCompany*> out;
    for (const SimCompany& c : companies) out[c.index] = &c;
    return out;
}

TEST(SiteWeeks, AWeekLaterSomeAreGoneSomeNewAndSomeChanged) {
    SiteServer today(Options(160)), also_today(Options(160));
    SiteOptions later_options = Options(160);
    later_options.week = 1;
    SiteServer later(later_options), same_later(later_options);
    also_today.SetWeek(0);
    EXPECT_EQ(Unlinked(today.CompaniesFor("灯具")), Unlinked(also_today.CompaniesFor("灯具")));
    EXPECT_EQ(Unlinked(later.CompaniesFor("灯具")), Unlinked(same_later.CompaniesFor("灯具")));

    const auto before = ByNumber(today.CompaniesFor("灯具"));
    const auto after = ByNumber(later.CompaniesFor("灯具"));
    int gone = 0, added = 0, contact_changed = 0, profile_changed = 0;
    std::set<std::string> member_ids;
    for (const auto& [n, c] : before) {
        gone += !after.contains(n);
        member_ids.insert(c->values[mfMemberID]);
    }
    for (const auto& [n, c] : after) {
        auto old = before.find(n);
        if (old == before.end()) {
            ++added;
            EXPECT_GE(n, 160);
            EXPECT_TRUE(member_ids.insert(c->values[mfMemberID]).second) << "a new company reuses an ID";
            continue;
        }
        const MemberValues& a = old->second->values;
        const MemberValues& b = c->values;
        EXPECT_EQ(Path(a[mfContactLink], today), Path(b[mfContactLink], later));
        EXPECT_EQ(a[mfCompanyName], b[mfCompanyName]);
        bool contact = false, profile = false;
        for (MemberField f : {mfLinkMan, mfMobile, mfPhone, mfFax, mfAddress}) contact |= a[f] != b[f];
        for (int f = mfCompanyContext; f <= mfBankAccount; ++f) profile |= a[f] != b[f];
        contact_changed += contact;
        profile_changed += profile;
    }
    EXPECT_GT(gone, 0);
    EXPECT_GT(added, 0);
    EXPECT_GT(contact_changed, 0);
    EXPECT_GT(profile_changed, 0);
    EXPECT_LT(gone + contact_changed + profile_changed, 80);  // most stay as they were

    // What the pages say is what the week's records say, gone companies' pages are not found.
    RecordingHost host(true);
    EXPECT_TRUE(CrawlCompanyList(later.SearchUrl("灯具"), host));
    ExpectRows(host.rows, later.CompaniesFor("灯具"), true);
    httplib::Client client(later.BaseUrl());
    for (const auto& [n, c] : before)
        if (!after.contains(n)) {
            EXPECT_EQ(client.Get(c->contact_path.c_str())->status, 404);
            break;
        }
    // A server switched to a later week serves it from then on; week 0 stays as it was.
    today.SetWeek(1);
    EXPECT_EQ(Unlinked(today.CompaniesFor("灯具")), Unlinked(later.CompaniesFor("灯具")));
    today.SetWeek(0);
    EXPECT_EQ(Unlinked(today.CompaniesFor("灯具")), Unlinked(also_today.CompaniesFor("灯具")));
}

TEST(SiteFilters, AFilteredSearchListsOnlyTheMatchingCompanies) {
    SiteServer site(Options(150));
    const std::vector<SimCompany>& all = site.CompaniesFor("五金");
    TAddTaskResult search;
    search.Keyword = "五金";
    const auto crawl = [&](const TAddTaskResult& r) {
        RecordingHost host(false);
        const std::string url = BuildSearchUrl(r, site.BaseUrl());
        EXPECT_TRUE(CrawlCompanyList(url, host));
        ExpectRows(host.rows, site.CompaniesForSearch(url), false);
        std::set<std::string> ids;
        for (const MemberValues& row : host.rows) ids.insert(row[mfMemberID]);
        return ids;
    };
    const auto everyone = crawl(search);
    EXPECT_EQ(everyone.size(), all.size());
    const auto narrower = [&](const std::set<std::string>& ids) {
        EXPECT_FALSE(ids.empty());
        EXPECT_LT(ids.size(), all.size());
        for (const std::string& id : ids) EXPECT_TRUE(everyone.contains(id));
    };

    TAddTaskResult province = search;
    province.Province = "浙江";
    const auto zhejiang = crawl(province);
    narrower(zhejiang);
    for (const SimCompany& c : all)
        EXPECT_EQ(zhejiang.contains(c.values[mfMemberID]), c.profile[6].starts_with("浙江省"))
            << c.values[mfCompanyName];
    TAddTaskResult city = province;
    city.City = "杭州";
    const auto hangzhou = crawl(city);
    narrower(hangzhou);
    EXPECT_LT(hangzhou.size(), zhejiang.size());
    for (const SimCompany& c : all)
        EXPECT_EQ(hangzhou.contains(c.values[mfMemberID]), c.profile[6] == "浙江省杭州市");

    TAddTaskResult trust = search;
    trust.onlyAliMember = true;
    const auto members = crawl(trust);
    narrower(members);
    for (const SimCompany& c : all)
        EXPECT_EQ(members.contains(c.values[mfMemberID]), !c.values[mfMemberType].empty());

    TAddTaskResult online = search;
    online.onlyOnlineMember = true;
    narrower(crawl(online));
    TAddTaskResult making = search;
    making.BiztypeCode = FindBiztype("生产型")->code;
    const auto makers = crawl(making);
    narrower(makers);
    for (const SimCompany& c : all)
        EXPECT_EQ(makers.contains(c.values[mfMemberID]), c.profile[4].find("生产加工") != std::string::npos);
    TAddTaskResult government = search;
    government.BiztypeCode = FindBiztype("政府或其他机构")->code;
    EXPECT_TRUE(crawl(government).empty());
}

}  // namespace
}  // namespace qv
