#include "core/change_log.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/database.h"
#include "core/field_cipher.h"
#include "core/run_journal.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

MemberValues Company(const std::string& name, const std::string& member_id, const std::string& mobile = "13900000000") {
    MemberValues v;
    v[mfCompanyName] = name;
    v[mfMemberID] = member_id;
    v[mfContactLink] = "http://m/" + member_id + "/contact";
    v[mfLinkMan] = "王伟";
    v[mfMobile] = mobile;
    v[mfAddress] = "杭州市文三路1号";
    v[mfRegCapital] = "100万元人民币";
    return v;
}

class ChangeLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.file("t.db");
        CreateDatabaseFile(path_, true);
        ExecuteOnDatabaseFile(path_, kCreateDataListSql);
        db_.emplace(path_, DatabaseKind::DataFile);
    }

    // A full run that stores the companies and finishes.
    void FullRun(const std::vector<MemberValues>& companies) { Run(RunMode::Fresh, companies); }

    void Run(RunMode mode, const std::vector<MemberValues>& companies, bool profile_read = true, bool finish = true) {
        BeginRun(*db_, "http://m/search", mode);
        RunStep listed;
        for (const MemberValues& c : companies) listed.listed.emplace_back(c[mfMemberID], c[mfCompanyName]);
        CommitRunStep(*db_, listed);
        int done = 0;
        for (const MemberValues& c : companies) {
            RunStep step;
            step.row = c;
            step.profile_read = profile_read;
            step.position.emplace();
            step.position->entries_done = ++done;
            CommitRunStep(*db_, step);
        }
        if (!finish) return;
        RunStep end;
        end.position.emplace();
        end.position->finished = true;
        CommitRunStep(*db_, end);
        RecordRunEnd(path_, RunOutcome::Finished);
    }

    std::string Cell(long long id, const std::string& column) {
        return db_->Query("SELECT " + column + " FROM DataList WHERE ID=" + std::to_string(id)).Text(0, column);
    }
    long long Rows() { return db_->Query("SELECT COUNT(*) AS n FROM DataList").Integer(0, "n"); }

    test::TempDir dir_;
    std::string path_;
    std::optional<Connection> db_;
};

TEST_F(ChangeLogTest, ARefreshUpdatesMatchedRecordsInPlaceAndLogsEachChangedField) {
    MemberValues unnamed = Company("无帐号公司", "");
    FullRun({Company("甲公司", "a"), Company("乙公司", "b"), unnamed});
    ASSERT_EQ(Rows(), 3);

    MemberValues a = Company("甲公司", "a", "13911112222");  // new mobile
    a[mfContactLink] = "http://m2/a/contact";                 // a link: kept current, no change
    MemberValues b = Company("乙公司新名", "b");               // renamed, matched by its MemberID
    b[mfAddress] = "  杭州市文三路1号 ";                       // the same once trimmed
    MemberValues u = unnamed;
    u[mfLinkMan] = "李娜";                                     // matched by its name
    MemberValues c = Company("丙公司", "c");                   // not stored yet
    Run(RunMode::Refresh, {a, b, u, c});

    EXPECT_EQ(Rows(), 4);
    EXPECT_EQ(ShownValue(mfMobile, Cell(1, "Mobile")), "13911112222");
    EXPECT_EQ(Cell(1, "Mobile"), EncipherTextHex("13911112222", FieldCipherKey));
    EXPECT_EQ(Cell(1, "ContactLink"), "http://m2/a/contact");
    EXPECT_EQ(ShownValue(mfCompanyName, Cell(2, "CompanyName")), "乙公司新名");
    EXPECT_EQ(ShownValue(mfLinkMan, Cell(3, "LinkMan")), "李娜");
    EXPECT_EQ(ShownValue(mfMemberID, Cell(4, "MemberID")), "c");

    const std::optional<RunRecord> run = LastRun(*db_);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->kind, kRunRefresh);
    EXPECT_EQ(run->outcome, "finished");
    EXPECT_FALSE(run->ended_at.empty());
    EXPECT_EQ(RunCountsText(*run), "新增 1 · 变更 3 · 消失 0");

    const std::vector<ChangeRecord> changes = ReadChanges(*db_, run->id);
    ASSERT_EQ(changes.size(), 4u);
    EXPECT_EQ(changes[0].record_id, 1);
    EXPECT_EQ(changes[0].field, "Mobile");
    EXPECT_EQ(changes[0].before, "13900000000");
    EXPECT_EQ(changes[0].after, "13911112222");
    EXPECT_EQ(changes[1].field, "CompanyName");
    EXPECT_EQ(changes[1].before, "乙公司");
    EXPECT_EQ(changes[1].company_name, "乙公司新名");
    EXPECT_EQ(changes[2].record_id, 3);
    EXPECT_EQ(changes[2].field, "LinkMan");
    EXPECT_EQ(changes[2].after, "李娜");
    EXPECT_EQ(changes[3].kind, kChangeAdded);
    EXPECT_EQ(changes[3].record_id, 4);
    EXPECT_EQ(changes[3].member_id, "c");

    // The table keeps the enciphered columns' values enciphered, as DataList does.
    DataPacket raw = db_->Query("SELECT Before, After, MemberID FROM Changes WHERE Field='Mobile'");
    EXPECT_EQ(raw.Text(0, "Before"), EncipherTextHex("13900000000", FieldCipherKey));
    EXPECT_EQ(raw.Text(0, "MemberID"), EncipherTextHex("a", FieldCipherKey));
}

TEST_F(ChangeLogTest, FieldsNotReadAreNeverBlankedAndTheSameValuesChangeNothing) {
    FullRun({Company("甲公司", "a")});
    MemberValues without_profile = Company("甲公司", "a");
    without_profile[mfRegCapital].clear();  // detail off: the profile was not read
    Run(RunMode::Refresh, {without_profile}, /*profile_read=*/false);
    EXPECT_EQ(Cell(1, "RegCapital"), "100万元人民币");
    EXPECT_TRUE(ReadChanges(*db_, LastRun(*db_)->id).empty());

    MemberValues read = Company("甲公司", "a");
    read[mfRegCapital] = "200万元人民币";
    Run(RunMode::Refresh, {read});
    const std::vector<ChangeRecord> changes = ReadChanges(*db_, LastRun(*db_)->id);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].field, "RegCapital");
    EXPECT_EQ(Rows(), 1);
}

TEST_F(ChangeLogTest, CompaniesNoLongerListedAreGoneOnceTheSearchWasReadToItsEnd) {
    FullRun({Company("甲公司", "a"), Company("乙公司", "b"), Company("丙公司", "c")});
    // Stopped before its end: nothing is gone yet.
    Run(RunMode::Refresh, {Company("甲公司", "a")}, true, /*finish=*/false);
    EXPECT_EQ(LastRun(*db_)->gone, 0);

    Run(RunMode::Refresh, {Company("甲公司", "a"), Company("丁公司", "d")});
    const RunRecord run = *LastRun(*db_);
    EXPECT_EQ(RunCountsText(run), "新增 1 · 变更 0 · 消失 2");
    std::vector<ChangeRecord> gone;
    for (const ChangeRecord& c : ReadChanges(*db_, run.id))
        if (c.kind == kChangeGone) gone.push_back(c);
    ASSERT_EQ(gone.size(), 2u);
    EXPECT_EQ(gone[0].company_name, "乙公司");
    EXPECT_EQ(gone[1].member_id, "c");
    EXPECT_EQ(Rows(), 4);  // the gone records stay
    EXPECT_EQ(ShownValue(mfCompanyName, Cell(2, "CompanyName")), "乙公司");

    // Still gone a week later: already said.
    Run(RunMode::Refresh, {Company("甲公司", "a"), Company("丁公司", "d")});
    EXPECT_EQ(LastRun(*db_)->gone, 0);
    EXPECT_EQ(ReadRuns(*db_).size(), 4u);
}

TEST_F(ChangeLogTest, EveryRunKindWritesItsRunRow) {
    FullRun({Company("甲公司", "a"), Company("乙公司", "b")});
    Run(RunMode::NewOnly, {Company("丙公司", "c")});
    BeginFurtherRun(*db_, kRunContinue);
    BeginFurtherRun(*db_, kRunRetry);
    RunStep retried;
    retried.row = Company("丁公司", "d");
    CommitRunStep(*db_, retried);
    RecordRunEnd(path_, RunOutcome::Stopped);

    const std::vector<RunRecord> runs = ReadRuns(*db_);
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0].kind, kRunFull);
    EXPECT_EQ(runs[0].added, 2);
    EXPECT_EQ(runs[1].kind, kRunNewOnly);
    EXPECT_EQ(runs[1].added, 1);
    EXPECT_EQ(runs[2].kind, kRunContinue);
    EXPECT_TRUE(runs[2].ended_at.empty());
    EXPECT_EQ(runs[3].kind, kRunRetry);
    EXPECT_EQ(runs[3].added, 1);
    EXPECT_EQ(runs[3].outcome, "stopped");
    EXPECT_EQ(RunKindText(kRunRefresh), "更新已有公司");
    EXPECT_EQ(ChangeKindText(kChangeGone), "消失");

    // A file without the tables has no runs, and reading it makes none.
    test::TempDir other;
    const std::string bare = other.file("bare.db");
    CreateDatabaseFile(bare, true);
    ExecuteOnDatabaseFile(bare, kCreateDataListSql);
    Connection plain(bare, DatabaseKind::DataFile);
    EXPECT_TRUE(ReadRuns(plain).empty());
    EXPECT_TRUE(ReadChanges(plain).empty());
    EXPECT_EQ(plain.Query("SELECT name FROM sqlite_master WHERE name<>'DataList'").rows.size(), 0u);
}

TEST_F(ChangeLogTest, RunsTheWindowHasNotShownAreUnseenUntilMarked) {
    FullRun({Company("甲公司", "a")});
    MarkRunsSeen(path_);
    EXPECT_TRUE(UnseenRuns(*db_).empty());
    Run(RunMode::Refresh, {Company("甲公司", "a", "13911112222"), Company("乙公司", "b")});
    Run(RunMode::Refresh, {Company("乙公司", "b")}, true, /*finish=*/false);  // still running: not told yet
    const std::vector<RunRecord> unseen = UnseenRuns(*db_);
    ASSERT_EQ(unseen.size(), 1u);
    EXPECT_EQ(UnseenRunsText(1, unseen[0].added, unseen[0].changed, unseen[0].gone),
              "定时更新：1 个任务，新增 1，变更 1，消失 0");
    MarkRunsSeen(path_);
    EXPECT_TRUE(UnseenRuns(*db_).empty());
}

// Killed between the update and the position: the record, its change rows and the counts
// go together, so doing the step again logs each change once.
TEST_F(ChangeLogTest, AKillInARefreshStepLosesTheUpdateAndItsChangesTogether) {
    FullRun({Company("甲公司", "a")});
    BeginRun(*db_, "http://m/search", RunMode::Refresh);
    RunStep step;
    step.row = Company("甲公司", "a", "13922223333");
    step.position.emplace();
    step.position->entries_done = 1;
    db_.reset();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Connection db(path_, DatabaseKind::DataFile);
        CommitRunStep(db, step, [] { raise(SIGKILL); });
        _exit(0);  // not reached
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    db_.emplace(path_, DatabaseKind::DataFile);
    EXPECT_EQ(ShownValue(mfMobile, Cell(1, "Mobile")), "13900000000");
    EXPECT_TRUE(ReadChanges(*db_, LastRun(*db_)->id).empty());
    CommitRunStep(*db_, step);
    CommitRunStep(*db_, step);  // read again after a continue: nothing new
    EXPECT_EQ(ReadChanges(*db_, LastRun(*db_)->id).size(), 1u);
    EXPECT_EQ(LastRun(*db_)->changed, 1);
    EXPECT_TRUE(ReadSavedRun(*db_).position);  // the row count still agrees
}

}  // namespace
}  // namespace qv
