#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "core/gbk.h"
#include "engine/crawl.h"
#include "engine/fetcher.h"
#include "engine/markup.h"
#include "sim/site_server.h"

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

}  // namespace
}  // namespace qv
