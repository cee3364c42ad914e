// A refresh against the simulator a week on: the records kept current in place, the
// change log equal to the differences between the two weeks, through stops, kills and
// blocks; and the changes and runs commands that print the log.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <random>
#include <thread>
#include <tuple>

#include "core/change_log.h"
#include "core/database.h"
#include "core/text.h"
#include "sim/site_server.h"
#include "tests/cli/cli_runner.h"
#include "tests/support/data_file_rows.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using test::RunCli;

using Change = std::tuple<std::string, std::string, std::string, std::string, std::string>;

SiteOptions Week0(int companies, int delay_ms = 0) {
    SiteOptions o;
    o.seed = 11;
    o.companies = companies;
    o.delay_ms = delay_ms;
    return o;
}

bool IsLink(int f) { return f == mfSendMsgLink || f == mfContactLink || f == mfCmpDetail; }

// What a refresh of week 1 after a crawl of week 0 must leave: the records in ID order
// (the week-0 companies, kept current or as they were when gone, then the new ones) and the
// changes (kind, MemberID, field, before, after).
struct Expected {
    test::FileRows records;
    std::vector<Change> changes;
};

Expected ExpectedRefresh(const std::vector<SimCompany>& week0, const std::vector<SimCompany>& week1, bool detail) {
    auto values = [detail](const SimCompany& c) { return detail ? c.values : c.ValuesWithoutDetail(); };
    std::map<int, const SimCompany*> later;
    for (const SimCompany& c : week1) later[c.index] = &c;
    std::map<int, bool> earlier;
    Expected e;
    std::vector<SimCompany> file;
    for (const SimCompany& c : week0) {
        earlier[c.index] = true;
        auto it = later.find(c.index);
        if (it == later.end()) {
            file.push_back(c);
            e.changes.emplace_back(kChangeGone, c.values[mfMemberID], "", "", "");
            continue;
        }
        file.push_back(*it->second);
        const MemberValues a = values(c), b = values(*it->second);
        for (int f = 0; f < kMemberColumnCount; ++f)
            if (!IsLink(f) && Trim(a[f]) != Trim(b[f]))
                e.changes.emplace_back(kChangeChanged, b[mfMemberID], std::string(kMemberColumns[f].name), Trim(a[f]),
                                       Trim(b[f]));
    }
    for (const SimCompany& c : week1)
        if (!earlier.contains(c.index)) {
            file.push_back(c);
            e.changes.emplace_back(kChangeAdded, c.values[mfMemberID], "", "", "");
        }
    // The gone companies are kept as week 0 stored them.
    test::TempDir dir;
    const std::string path = test::NewDataFile(dir.path().string(), "expected");
    {
        Connection db(path, DatabaseKind::DataFile);
        for (const SimCompany& c : file) db.Execute(BuildInsertStatement(values(c)));
    }
    e.records = test::FileRecords(path);
    std::sort(e.changes.begin(), e.changes.end());
    return e;
}

// The changes logged by the runs after the first crawl (run 1): the refresh and the runs
// that continued it.
std::vector<Change> LoggedChanges(const std::string& file) {
    Connection db(file, DatabaseKind::ReadOnly);
    std::vector<Change> out;
    for (const ChangeRecord& c : ReadChanges(db))
        if (c.run > 1) out.emplace_back(c.kind, c.member_id, c.field, c.before, c.after);
    std::sort(out.begin(), out.end());
    return out;
}

class RefreshTest : public ::testing::Test {
protected:
    std::string Crawl(SiteServer& site, std::vector<std::string> extra) {
        std::vector<std::string> args{"crawl", "--quiet", "--out", dir_.path().string(), "灯具=" + Url(site)};
        args.insert(args.end(), extra.begin(), extra.end());
        std::string out, err;
        last_code_ = RunCli(args, out, err);
        return out + err;
    }
    std::string Url(SiteServer& site) { return site.SearchUrl("灯具") + "&per=9"; }
    std::string File() const { return dir_.file("灯具.db"); }

    test::TempDir dir_;
    int last_code_ = -1;
};

TEST_F(RefreshTest, ARefreshAWeekOnKeepsRecordsCurrentAndLogsEachDifferenceOnce) {
    for (bool detail : {false, true})
        for (int connections : {1, 4, 8}) {
            SCOPED_TRACE("detail " + std::to_string(detail) + ", connections " + std::to_string(connections));
            std::filesystem::remove_all(dir_.path());
            std::filesystem::create_directories(dir_.path());
            SiteServer site(Week0(70));
            std::vector<std::string> options{"--connections", std::to_string(connections)};
            if (detail) options.push_back("--detail");
            Crawl(site, options);
            ASSERT_EQ(last_code_, 0);
            const std::vector<SimCompany> week0 = site.CompaniesFor("灯具");
            site.SetWeek(1);
            options.push_back("--refresh");
            const std::string said = Crawl(site, options);
            ASSERT_EQ(last_code_, 0) << said;

            const Expected expected = ExpectedRefresh(week0, site.CompaniesFor("灯具"), detail);
            EXPECT_TRUE(test::SameRecords(test::FileRecords(File()), expected.records));
            EXPECT_EQ(LoggedChanges(File()), expected.changes);
            Connection db(File(), DatabaseKind::ReadOnly);
            const RunRecord run = *LastRun(db);
            EXPECT_EQ(run.kind, kRunRefresh);
            EXPECT_GT(run.added, 0);
            EXPECT_GT(run.changed, 0);
            EXPECT_GT(run.gone, 0);
        }
}

TEST_F(RefreshTest, KilledAtRandomMomentsAndContinuedItLogsTheSameChanges) {
    SiteServer site(Week0(60, 3));
    Crawl(site, {"--detail"});
    ASSERT_EQ(last_code_, 0);
    const std::vector<SimCompany> week0 = site.CompaniesFor("灯具");
    site.SetWeek(1);
    const Expected expected = ExpectedRefresh(week0, site.CompaniesFor("灯具"), true);

    std::mt19937 random(25);
    bool first = true;
    for (int kill = 0; kill < 4; ++kill) {
        test::CliProcess child({"crawl", "--quiet", "--detail", "--connections", "4", "--out", dir_.path().string(),
                                first ? "--refresh" : "--resume", "灯具=" + Url(site)});
        ASSERT_TRUE(child.started());
        if (first) {
            // Killed only once the refresh has begun, so there is one to continue.
            for (auto until = std::chrono::steady_clock::now() + 30s; std::chrono::steady_clock::now() < until;) {
                Connection db(File(), DatabaseKind::ReadOnly);
                if (ReadRuns(db).size() >= 2) break;
                std::this_thread::sleep_for(2ms);
            }
            first = false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(20, 250)(random)));
        child.Signal(SIGKILL);
        child.Wait();
    }
    for (int round = 0; round < 3; ++round) {
        const std::string said = Crawl(site, {"--detail", "--resume"});
        ASSERT_EQ(last_code_, 0) << said;
    }
    EXPECT_TRUE(test::SameRecords(test::FileRecords(File()), expected.records));
    EXPECT_EQ(LoggedChanges(File()), expected.changes);
}

TEST_F(RefreshTest, ABlockedRefreshKeepsItsPlaceAndLogsNothingFromTheBlockPages) {
    SiteServer site(Week0(50));
    Crawl(site, {});
    ASSERT_EQ(last_code_, 0);
    const std::vector<SimCompany> week0 = site.CompaniesFor("灯具");
    site.SetWeek(1);
    site.SetBlockAfter(site.requests() + 25);
    const std::string said = Crawl(site, {"--refresh"});
    EXPECT_EQ(last_code_, 1);
    EXPECT_NE(said.find("网站可能拦截了采集"), std::string::npos) << said;
    // Nothing read from a block page is a change: no field was blanked, nothing is gone.
    for (const Change& c : LoggedChanges(File())) {
        EXPECT_NE(std::get<0>(c), kChangeGone);
        EXPECT_FALSE(std::get<4>(c).empty() && !std::get<3>(c).empty()) << std::get<2>(c);
    }
    site.SetBlockAfter(-1);
    const std::string again = Crawl(site, {"--resume"});
    ASSERT_EQ(last_code_, 0) << again;
    const Expected expected = ExpectedRefresh(week0, site.CompaniesFor("灯具"), false);
    EXPECT_TRUE(test::SameRecords(test::FileRecords(File()), expected.records));
    EXPECT_EQ(LoggedChanges(File()), expected.changes);
}

TEST_F(RefreshTest, AFailedProfilePageChangesNothingOfItsCompany) {
    auto site = std::make_unique<SiteServer>(Week0(30));
    Crawl(*site, {"--detail"});
    ASSERT_EQ(last_code_, 0);
    const std::vector<SimCompany> week0 = site->CompaniesFor("灯具");
    // Week 1, at the same address (so the stored links stay the same), where the profile
    // page of one company whose contact person changed never answers.
    SiteOptions later = Week0(30);
    later.week = 1;
    later.port = site->port();
    site->SetWeek(1);
    std::string member_id;
    for (const SimCompany& c : site->CompaniesFor("灯具"))
        for (const SimCompany& old : week0)
            if (old.index == c.index && old.values[mfLinkMan] != c.values[mfLinkMan]) {
                member_id = c.values[mfMemberID];
                later.fail_matching = c.profile_path;
            }
    ASSERT_FALSE(member_id.empty());
    site.reset();
    site = std::make_unique<SiteServer>(later);
    const std::string said = Crawl(*site, {"--detail", "--refresh"});
    EXPECT_NE(said.find("抓取公司介绍网页时产生错误"), std::string::npos) << said;
    // No change of it is logged, and it is listed, so not gone either.
    for (const Change& c : LoggedChanges(File())) EXPECT_NE(std::get<1>(c), member_id) << std::get<2>(c);
    size_t at = 0;
    while (at < week0.size() && week0[at].values[mfMemberID] != member_id) ++at;
    ASSERT_LT(at, week0.size());
    Connection db(File(), DatabaseKind::ReadOnly);
    const std::string stored =
        db.Query("SELECT LinkMan FROM DataList WHERE ID=" + std::to_string(at + 1)).Text(0, "LinkMan");
    EXPECT_EQ(ShownValue(mfLinkMan, stored), week0[at].values[mfLinkMan]);
}

TEST_F(RefreshTest, ChangesAndRunsPrintTheLogAsJsonLines) {
    SiteServer site(Week0(40));
    Crawl(site, {});
    site.SetWeek(1);
    Crawl(site, {"--refresh"});
    ASSERT_EQ(last_code_, 0);

    std::string out, err;
    ASSERT_EQ(RunCli({"runs", File()}, out, err), 0) << err;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2);
    EXPECT_NE(out.find("\"kind\":\"full\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"kind\":\"refresh\""), std::string::npos);
    EXPECT_NE(out.find("\"outcome\":\"finished\""), std::string::npos);

    ASSERT_EQ(RunCli({"changes", File(), "--kind", "changed"}, out, err), 0) << err;
    ASSERT_FALSE(out.empty());
    const std::string line = out.substr(0, out.find('\n'));
    for (const char* key : {"\"time\":", "\"run\":2", "\"kind\":\"changed\"", "\"ID\":", "\"MemberID\":",
                            "\"CompanyName\":", "\"field\":", "\"before\":", "\"after\":"})
        EXPECT_NE(line.find(key), std::string::npos) << key << " in " << line;
    EXPECT_EQ(out.find("\"kind\":\"added\""), std::string::npos);
    const long changed_lines = std::count(out.begin(), out.end(), '\n');

    ASSERT_EQ(RunCli({"changes", File(), "--kind", "added,gone"}, out, err), 0);
    const long other_lines = std::count(out.begin(), out.end(), '\n');
    EXPECT_EQ(out.find("\"field\""), std::string::npos);
    ASSERT_EQ(RunCli({"changes", File(), "--run", "all"}, out, err), 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 40 + changed_lines + other_lines);  // the crawl's 40 additions
    ASSERT_EQ(RunCli({"changes", File(), "--run", "1"}, out, err), 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 40);
    EXPECT_EQ(RunCli({"changes", File(), "--kind", "moved"}, out, err), 2);

    // A damaged file is named, and left as it was.
    const std::string broken = dir_.file("坏.db");
    test::WriteFileBytes(broken, std::string(3000, 'x'));
    EXPECT_EQ(RunCli({"changes", broken}, out, err), 1);
    EXPECT_NE(err.find(broken), std::string::npos);
    EXPECT_NE(err.find("不是可以读取的数据文件"), std::string::npos) << err;
    EXPECT_EQ(test::ReadFileBytes(broken), std::string(3000, 'x'));
    EXPECT_FALSE(std::filesystem::exists(broken + "-wal"));
    EXPECT_EQ(RunCli({"runs"}, out, err), 2);
}

}  // namespace
}  // namespace qv
