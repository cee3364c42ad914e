#include "core/run_journal.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "core/database.h"
#include "core/field_cipher.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

MemberValues Member(const std::string& name, const std::string& member_id) {
    MemberValues v;
    v[mfCompanyName] = name;
    v[mfMemberID] = member_id;
    return v;
}

std::string NewDataFile(const test::TempDir& dir, const std::string& name = "t.db") {
    std::string path = dir.file(name);
    CreateDatabaseFile(path, true);
    ExecuteOnDatabaseFile(path, kCreateDataListSql);
    return path;
}

long long Count(Connection& db, const std::string& table) {
    return db.Query("SELECT COUNT(*) AS n FROM " + table).Integer(0, "n");
}

RunPosition At(int done, bool finished = false) {
    RunPosition p;
    p.page_url = "http://m/p1";
    p.entries_done = done;
    p.finished = finished;
    return p;
}

FailedPage Failure(const std::string& url, const std::string& cause, const std::string& company) {
    FailedPage f;
    f.url = url;
    f.cause = cause;
    f.kind = company.empty() ? kFailedResultPage : kFailedContactPage;
    f.company_name = company;
    f.member_id = company.empty() ? "" : "id-" + company;
    f.contact_link = company.empty() ? "" : url;
    return f;
}

RunStep StoreStep(const std::string& name, int done) {
    RunStep step;
    step.row = Member(name, "id-" + name);
    step.position = At(done);
    return step;
}

TEST(RunJournal, AFileWithoutTheTablesHasNoSavedRunAndIsLeftAsItWas) {
    test::TempDir dir;
    std::string path = NewDataFile(dir);
    Connection db(path, DatabaseKind::DataFile);
    db.Execute(BuildInsertStatement(Member("甲", "a")));
    SavedRun saved = ReadSavedRun(db);
    EXPECT_EQ(saved.rows, 1);
    EXPECT_FALSE(saved.position);
    EXPECT_TRUE(ReadFailedPages(db).empty());
    EXPECT_EQ(db.Query("SELECT name FROM sqlite_master WHERE name<>'DataList'").rows.size(), 0u);
}

TEST(RunJournal, StepsMoveThePositionWithTheRowsAndFinish) {
    test::TempDir dir;
    std::string path = NewDataFile(dir);
    Connection db(path, DatabaseKind::DataFile);
    BeginRun(db, "http://m/search", RunMode::NewOnly);
    SavedRun saved = ReadSavedRun(db);
    ASSERT_TRUE(saved.Unfinished());
    EXPECT_EQ(saved.position->page_url, "http://m/search");
    EXPECT_EQ(saved.position->mode, RunMode::NewOnly);

    CommitRunStep(db, StoreStep("甲", 1));
    RunStep skipped;  // a company skipped for a failed page: no row, a failure
    skipped.failure = Failure("http://m/c2", "HTTP 503", "乙");
    skipped.position = At(2);
    CommitRunStep(db, skipped);
    saved = ReadSavedRun(db);
    ASSERT_TRUE(saved.Unfinished());
    EXPECT_EQ(saved.rows, 1);
    EXPECT_EQ(saved.position->stored_rows, 1);
    EXPECT_EQ(saved.position->entries_done, 2);
    EXPECT_EQ(saved.position->search_url, "http://m/search");

    std::vector<FailedPage> failures = ReadFailedPages(db);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].cause, "HTTP 503");
    EXPECT_EQ(failures[0].company_name, "乙");
    EXPECT_EQ(failures[0].member_id, "id-乙");
    EXPECT_EQ(failures[0].failed_at.size(), 19u);
    // The company is kept enciphered, as DataList keeps it.
    EXPECT_EQ(db.Query("SELECT MemberID FROM FailedPages").Text(0, "MemberID"),
              EncipherTextHex("id-乙", FieldCipherKey));

    // A retried company that now answers replaces its failure; the position stays.
    RunStep retried;
    retried.row = Member("乙", "id-乙");
    retried.retried_failure = failures[0].id;
    CommitRunStep(db, retried);
    EXPECT_TRUE(ReadFailedPages(db).empty());
    saved = ReadSavedRun(db);
    ASSERT_TRUE(saved.position);
    EXPECT_EQ(saved.position->stored_rows, 2);
    EXPECT_EQ(saved.position->entries_done, 2);

    RunStep finish;
    finish.position = At(2, true);
    CommitRunStep(db, finish);
    EXPECT_TRUE(ReadSavedRun(db).position->finished);

    // A new run forgets the old failures and counts the rows it keeps.
    RunStep list_failed;
    list_failed.failure = Failure("http://m/p2", "timeout", "");
    CommitRunStep(db, list_failed);
    BeginRun(db, "http://m/search2", RunMode::Fresh);
    EXPECT_TRUE(ReadFailedPages(db).empty());
    EXPECT_EQ(ReadSavedRun(db).position->stored_rows, 2);
}

TEST(RunJournal, APageThatALaterStepReadsIsNoLongerAFailure) {
    test::TempDir dir;
    std::string path = NewDataFile(dir);
    Connection db(path, DatabaseKind::DataFile);
    BeginRun(db, "http://m/search", RunMode::Fresh);
    CommitRunStep(db, StoreStep("甲", 1));
    RunStep skipped;
    skipped.failure = Failure("http://m/c2", "timeout", "乙");
    skipped.position = At(2);
    CommitRunStep(db, skipped);
    RunStep next_page;  // page 2 is where the run stands, and it fails
    next_page.position = RunPosition{};
    next_page.position->page_url = "http://m/p2";
    next_page.position->page_number = 2;
    CommitRunStep(db, next_page);
    RunStep list_failed;
    list_failed.failure = Failure("http://m/p2", "HTTP 500", "");
    CommitRunStep(db, list_failed);
    ASSERT_EQ(ReadFailedPages(db).size(), 2u);

    // A continue reads page 2 and stores its first company: the page failed no more.
    RunStep continued = StoreStep("丙", 1);
    continued.position->page_url = "http://m/p2";
    continued.position->page_number = 2;
    CommitRunStep(db, continued);
    std::vector<FailedPage> left = ReadFailedPages(db);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].url, "http://m/c2");

    // The company whose contact page failed is stored by a later run: nothing is left.
    RunStep stored = StoreStep("乙", 2);
    stored.row->at(mfContactLink) = "http://m/c2";
    stored.position->page_url = "http://m/p2";
    CommitRunStep(db, stored);
    EXPECT_TRUE(ReadFailedPages(db).empty());
}

TEST(RunJournal, AFailureWithADamagedValueIsReadWithTheDamageNamed) {
    test::TempDir dir;
    std::string path = NewDataFile(dir);
    Connection db(path, DatabaseKind::DataFile);
    BeginRun(db, "http://m/search", RunMode::Fresh);
    RunStep skipped;
    skipped.failure = Failure("http://m/c2", "timeout", "乙");
    CommitRunStep(db, skipped);
    // Another tool wrote a value that is no enciphered text.
    db.Execute("UPDATE FailedPages SET CompanyName='not hex at all'");
    std::vector<FailedPage> failures = ReadFailedPages(db);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].url, "http://m/c2");
    EXPECT_EQ(failures[0].damaged, "CompanyName");
    EXPECT_EQ(failures[0].company_name, "");
    EXPECT_EQ(failures[0].member_id, "id-乙");
}

TEST(RunJournal, RowsChangedBehindItsBackMakeThePositionStale) {
    test::TempDir dir;
    std::string path = NewDataFile(dir);
    Connection db(path, DatabaseKind::DataFile);
    BeginRun(db, "http://m/search", RunMode::Fresh);
    CommitRunStep(db, StoreStep("甲", 1));
    db.Execute("DELETE FROM DataList");  // as an older version's fresh start does
    SavedRun saved = ReadSavedRun(db);
    EXPECT_EQ(saved.rows, 0);
    EXPECT_FALSE(saved.position);
}

TEST(RunJournal, AFailedStepLeavesNeitherRowNorPosition) {
    test::TempDir dir;
    std::string path = NewDataFile(dir);
    Connection db(path, DatabaseKind::DataFile);
    BeginRun(db, "http://m/search", RunMode::Fresh);
    EXPECT_THROW(CommitRunStep(db, StoreStep("甲", 1), [] { throw std::runtime_error("disk"); }),
                 std::runtime_error);
    EXPECT_EQ(Count(db, "DataList"), 0);
    SavedRun saved = ReadSavedRun(db);
    ASSERT_TRUE(saved.position);
    EXPECT_EQ(saved.position->entries_done, 0);
    CommitRunStep(db, StoreStep("甲", 1));  // the connection is usable afterwards
    EXPECT_EQ(Count(db, "DataList"), 1);
}

// The process is killed after the row's INSERT and before the position's UPDATE, in a
// child: the file must show neither, since both belong to one transaction.
TEST(RunJournal, AKillBetweenRowAndPositionLosesBothTogether) {
    test::TempDir dir;
    std::string path = NewDataFile(dir);
    {
        Connection db(path, DatabaseKind::DataFile);
        BeginRun(db, "http://m/search", RunMode::Fresh);
        CommitRunStep(db, StoreStep("甲", 1));
    }
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Connection db(path, DatabaseKind::DataFile);
        CommitRunStep(db, StoreStep("乙", 2), [] { raise(SIGKILL); });
        _exit(0);  // not reached
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);

    Connection db(path, DatabaseKind::DataFile);
    EXPECT_EQ(db.Query("PRAGMA integrity_check").rows[0][0], "ok");
    SavedRun saved = ReadSavedRun(db);
    EXPECT_EQ(saved.rows, 1);
    ASSERT_TRUE(saved.position);
    EXPECT_EQ(saved.position->entries_done, 1);
}

TEST(KnownCompaniesTest, MatchesByMemberIdOrByNameWhenThereIsNone) {
    test::TempDir dir;
    std::string path = NewDataFile(dir);
    Connection db(path, DatabaseKind::DataFile);
    db.Execute(BuildInsertStatement(Member("甲公司", "jia")));
    db.Execute(BuildInsertStatement(Member("乙公司", "")));
    KnownCompanies known = KnownCompanies::Load(db);
    EXPECT_TRUE(known.Contains("jia", "another name"));
    EXPECT_FALSE(known.Contains("yi", "乙公司"));  // a member ID decides when there is one
    EXPECT_TRUE(known.Contains("", "乙公司"));
    EXPECT_FALSE(known.Contains("", "甲公司"));     // stored with an ID: not known by name
    EXPECT_FALSE(known.Contains("", ""));
    known.Add("bing", "丙公司");
    EXPECT_TRUE(known.Contains("bing", ""));
}

}  // namespace
}  // namespace qv
