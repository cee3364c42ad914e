// Collection that keeps its place: killed and continued crawls, Ctrl-C, collecting only
// new companies, and the failure list, through the real quorvane-cli.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fcntl.h>
#include <map>
#include <sstream>
#include <thread>

#include "cli/commands.h"
#include "core/database.h"
#include "core/field_cipher.h"
#include "core/run_journal.h"
#include "sim/site_server.h"
#include "tests/cli/cli_runner.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_http_server.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

using test::CliProcess;
using test::RunCli;
long long StoredRows(const std::string& file) {
    if (!std::filesystem::exists(file)) return 0;
    try {
        Connection db(file, DatabaseKind::DataFile);
        return db.Query("SELECT COUNT(*) AS n FROM DataList").Integer(0, "n");
    } catch (const DatabaseError&) {
        return 0;  // not made yet
    }
}

// Waits until the child has stored at least `rows` rows (or ended); true when it still runs.
bool WaitForRows(CliProcess& child, const std::string& file, long long rows) {
    auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (child.Exited()) return false;
        if (StoredRows(file) >= rows) return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

std::vector<MemberValues> ReadRows(const std::string& file) {
    Connection db(file, DatabaseKind::DataFile);
    DataPacket p = db.Query("SELECT * FROM DataList ORDER BY ID");
    std::vector<MemberValues> rows(p.rows.size());
    for (size_t r = 0; r < p.rows.size(); ++r)
        for (int c = 0; c < kMemberColumnCount; ++c) {
            std::string v = p.Text(r, kMemberColumns[c].name);
            rows[r][c] = kMemberColumns[c].enciphered && !v.empty() ? DecipherTextHex(v, FieldCipherKey) : v;
        }
    return rows;
}

void ExpectAllCompaniesInOrder(const std::string& file, const std::vector<SimCompany>& expected) {
    std::vector<MemberValues> rows = ReadRows(file);
    ASSERT_EQ(rows.size(), expected.size());
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i], expected[i].ValuesWithoutDetail()) << "row " << i;
}

struct Sim {
    explicit Sim(int companies, int delay_ms = 0) : site(Options(companies, delay_ms)) {}
    static SiteOptions Options(int companies, int delay_ms) {
        SiteOptions o;
        o.companies = companies;
        o.delay_ms = delay_ms;
        return o;
    }
    // Seven companies a result page, so a run crosses many pages.
    std::string Url(const std::string& keyword) { return site.SearchUrl(keyword) + "&per=7"; }
    long ContactFetches(const SimCompany& c) { return site.RequestsFor(c.contact_path); }
    SiteServer site;
};

// Killed (SIGKILL) at many points and continued each time, the crawl ends with exactly
// the records of one uninterrupted crawl, in order, and never reads a stored company's
// page again.
TEST(CrawlContinuity, KilledAtManyPointsAndContinuedGivesTheUninterruptedRecords) {
    Sim sim(60, 5);
    test::TempDir dir;
    const std::string out = dir.path().string(), file = dir.file("灯具.db");
    const std::string task = "灯具=" + sim.Url("灯具");
    const auto& expected = sim.site.CompaniesFor("灯具");
    std::map<size_t, long> fetched_when_stored;  // company -> its contact fetches by then
    int kills = 0;
    for (long long target : {1, 4, 9, 15, 22, 30, 38, 45, 52}) {
        CliProcess child(kills == 0 ? std::vector<std::string>{"crawl", "--out", out, task}
                                    : std::vector<std::string>{"crawl", "--resume", "--out", out, task});
        ASSERT_TRUE(child.started());
        if (!WaitForRows(child, file, target)) break;
        child.Signal(SIGKILL);
        child.Wait();
        ++kills;
        long long stored = StoredRows(file);
        for (size_t i = 0; i < static_cast<size_t>(stored); ++i)
            fetched_when_stored.emplace(i, sim.ContactFetches(expected[i]));
        Connection db(file, DatabaseKind::DataFile);
        SavedRun saved = ReadSavedRun(db);
        ASSERT_TRUE(saved.Unfinished()) << "after kill " << kills;  // rows and position agree
    }
    RecordProperty("kills", kills);
    EXPECT_GE(kills, 5);
    std::string o, e;
    ASSERT_EQ(RunCli({"crawl", "--resume", "--out", out, task}, o, e), 0) << o << e;
    EXPECT_NE(o.find("继续上次的抓取"), std::string::npos);
    ExpectAllCompaniesInOrder(file, expected);
    for (auto [i, fetches] : fetched_when_stored)
        EXPECT_EQ(sim.ContactFetches(expected[i]), fetches) << "company " << i << " read again";
}

TEST(CrawlContinuity, CtrlCKeepsThePositionAndResumeFinishesTheRun) {
    Sim sim(40, 5);
    test::TempDir dir;
    const std::string out = dir.path().string(), file = dir.file("阀门.db");
    const std::string task = "阀门=" + sim.Url("阀门");
    CliProcess child({"crawl", "--out", out, task});
    ASSERT_TRUE(WaitForRows(child, file, 10));
    child.Signal(SIGINT);
    int status = child.Wait();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    {
        Connection db(file, DatabaseKind::DataFile);
        EXPECT_TRUE(ReadSavedRun(db).Unfinished());
    }
    std::string o, e;
    ASSERT_EQ(RunCli({"crawl", "--resume", "--out", out, task}, o, e), 0) << o << e;
    ExpectAllCompaniesInOrder(file, sim.site.CompaniesFor("阀门"));
}

TEST(CrawlContinuity, ResumingAFinishedFileFetchesNothingAndSucceeds) {
    Sim sim(10);
    test::TempDir dir;
    const std::string task = "纸箱=" + sim.Url("纸箱"), out = dir.path().string();
    std::string o, e;
    ASSERT_EQ(RunCli({"crawl", "--out", out, task}, o, e), 0) << e;
    const long before = sim.site.requests();
    EXPECT_EQ(RunCli({"crawl", "--resume", "--out", out, task}, o, e), 0) << e;
    EXPECT_EQ(sim.site.requests(), before);
    EXPECT_NE(o.find("纸箱\t纸箱：上次的抓取已经完成"), std::string::npos) << o;
    EXPECT_EQ(StoredRows(dir.file("纸箱.db")), 10);

    // No file yet: --resume makes a fresh run.
    EXPECT_EQ(RunCli({"crawl", "--resume", "--out", out, "新=" + sim.Url("纸箱")}, o, e), 0) << e;
    EXPECT_EQ(StoredRows(dir.file("新.db")), 10);
}

TEST(CrawlContinuity, NewOnlyAppendsExactlyTheDeletedCompaniesAndReadsNoKeptOne) {
    Sim sim(30);
    test::TempDir dir;
    const std::string out = dir.path().string(), file = dir.file("五金.db");
    const std::string task = "五金=" + sim.Url("五金");
    const auto& expected = sim.site.CompaniesFor("五金");
    std::string o, e;
    ASSERT_EQ(RunCli({"crawl", "--out", out, task}, o, e), 0) << e;
    {
        Connection db(file, DatabaseKind::DataFile);
        db.Execute("DELETE FROM DataList WHERE ID IN (3, 11, 12, 30)");
    }
    std::vector<long> before;
    for (const SimCompany& c : expected) before.push_back(sim.ContactFetches(c));
    ASSERT_EQ(RunCli({"crawl", "--new-only", "--out", out, task}, o, e), 0) << e;

    std::vector<MemberValues> rows = ReadRows(file);
    ASSERT_EQ(rows.size(), expected.size());
    const std::vector<size_t> deleted{2, 10, 11, 29};
    for (size_t k = 0; k < deleted.size(); ++k)
        EXPECT_EQ(rows[rows.size() - deleted.size() + k], expected[deleted[k]].ValuesWithoutDetail());
    for (size_t i = 0; i < expected.size(); ++i) {
        bool was_deleted = std::find(deleted.begin(), deleted.end(), i) != deleted.end();
        EXPECT_EQ(sim.ContactFetches(expected[i]), before[i] + (was_deleted ? 1 : 0)) << i;
    }
    // Run again: nothing new, nothing read but the result pages.
    ASSERT_EQ(RunCli({"crawl", "--new-only", "--out", out, task}, o, e), 0) << e;
    EXPECT_EQ(StoredRows(file), 30);
}

// A killed new-only run continues as a new-only run: the kept companies are still passed
// over, and the missing ones end up appended once each, in the order of the search.
TEST(CrawlContinuity, AKilledNewOnlyRunContinuesAsOne) {
    Sim sim(40, 5);
    test::TempDir dir;
    const std::string out = dir.path().string(), file = dir.file("轴承.db");
    const std::string task = "轴承=" + sim.Url("轴承");
    const auto& expected = sim.site.CompaniesFor("轴承");
    std::string o, e;
    ASSERT_EQ(RunCli({"crawl", "--out", out, task}, o, e), 0) << e;
    {
        Connection db(file, DatabaseKind::DataFile);
        db.Execute("DELETE FROM DataList WHERE ID > 10");
    }
    CliProcess child({"crawl", "--new-only", "--out", out, task});
    ASSERT_TRUE(WaitForRows(child, file, 15));
    child.Signal(SIGKILL);
    child.Wait();
    ASSERT_EQ(RunCli({"crawl", "--resume", "--out", out, task}, o, e), 0) << o << e;
    ExpectAllCompaniesInOrder(file, expected);  // rows 11.. were deleted from the end
    for (size_t i = 0; i < 10; ++i) EXPECT_EQ(sim.ContactFetches(expected[i]), 1) << i;
}

// A file made before these tables existed: it opens, dumps, has no failures, is refused
// by --resume without being changed, and is collected into by --new-only.
TEST(CrawlContinuity, AnOlderDataFileWorksAsBefore) {
    Sim sim(12);
    test::TempDir dir;
    const std::string out = dir.path().string(), file = dir.file("旧.db");
    const std::string task = "旧=" + sim.Url("旧");
    const auto& expected = sim.site.CompaniesFor("旧");
    ASSERT_TRUE(CreateDatabaseFile(file, false));
    ExecuteOnDatabaseFile(file, kCreateDataListSql);
    for (int i = 0; i < 5; ++i)
        ExecuteOnDatabaseFile(file, BuildInsertStatement(expected[i].ValuesWithoutDetail()));

    std::string o, e;
    EXPECT_EQ(RunCli({"dump", file}, o, e), 0);
    EXPECT_EQ(std::count(o.begin(), o.end(), '\n'), 5);
    EXPECT_EQ(RunCli({"failures", file}, o, e), 0);
    EXPECT_EQ(o, "");

    const long before = sim.site.requests();
    EXPECT_EQ(RunCli({"crawl", "--resume", "--out", out, task}, o, e), 1);
    EXPECT_NE(o.find("旧\t旧：这个任务没有可以继续的抓取"), std::string::npos) << o;
    EXPECT_EQ(sim.site.requests(), before);
    EXPECT_EQ(StoredRows(file), 5);

    EXPECT_EQ(RunCli({"crawl", "--new-only", "--out", out, task}, o, e), 0) << e;
    ExpectAllCompaniesInOrder(file, expected);
}

// A marketplace whose contact pages fail in chosen ways.
class FailingSite {
public:
    FailingSite() {
        server_.server().Get("/search", [this](const httplib::Request&, httplib::Response& res) {
            std::string html = "<form id=\"batchForm\">";
            for (const char* c : {"ok", "gone", "broken", "loop", "blank", "noprofile"}) {
                std::string link = std::string(c) == "blank" ? "" : server_.Url("/c/" + std::string(c));
                html += "<li class=\"comparecheck\"><a memberId=\"" + std::string(c) +
                        "\"><span>公司" + c + "</span></a><i class=\"feedback_phone\"><a href=\"" +
                        link + "\">联系</a></i></li>";
            }
            res.set_content(html + "</form>", "text/html");
        });
        server_.server().Get("/c/ok", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content("<div>供应产品</div><input onclick=\"location.href='" + server_.Url("/p/ok") +
                                "';\"><div class=\"mp_r\"><div>王 先生</div></div>",
                            "text/html");
        });
        server_.server().Get("/p/ok", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><table class=\"typelist\"></table></html>", "text/html");
        });
        // No profile link: with the detail option the blank link is fetched, and fails.
        server_.server().Get("/c/noprofile", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<div class=\"mp_r\"><div>李 女士</div></div>", "text/html");
        });
        server_.server().Get("/c/gone", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("no", "text/html");
        });
        server_.server().Get("/c/broken", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content("no", "text/html");
        });
        server_.server().Get(R"(/c/loop(\d*))", [](const httplib::Request& req, httplib::Response& res) {
            int n = req.matches[1].str().empty() ? 0 : std::stoi(req.matches[1]);
            res.set_redirect("/c/loop" + std::to_string(n + 1));
        });
        server_.Start();
    }
    std::string Url(const std::string& path) const { return server_.Url(path); }

private:
    test::TestHttpServer server_;
};

TEST(FailuresCommand, ListsEachFailedPageWithItsCauseInOrder) {
    FailingSite site;
    test::TempDir dir;
    std::string o, e;
    ASSERT_EQ(RunCli({"crawl", "--detail", "--out", dir.path().string(), "坏=" + site.Url("/search")}, o, e),
              0)
        << e;
    EXPECT_EQ(StoredRows(dir.file("坏.db")), 1);
    EXPECT_EQ(RunCli({"failures", dir.file("坏.db")}, o, e), 0) << e;
    EXPECT_EQ(o, site.Url("/c/gone") + "\tHTTP 404\n" + site.Url("/c/broken") + "\tHTTP 500\n" +
                     site.Url("/c/loop") + "\ttoo many redirects\n" + "\tmalformed URL\n");

    // Nothing failed: nothing printed.
    Sim fine(3);
    ASSERT_EQ(RunCli({"crawl", "--out", dir.path().string(), "好=" + fine.Url("好")}, o, e), 0) << e;
    EXPECT_EQ(RunCli({"failures", dir.file("好.db")}, o, e), 0) << e;
    EXPECT_EQ(o, "");

    EXPECT_EQ(RunCli({"failures", dir.file("missing.db")}, o, e), 1);
    EXPECT_NE(e.find("missing.db"), std::string::npos);
}

}  // namespace
}  // namespace qv
