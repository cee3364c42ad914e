#include "export/merge.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/run_lock.h"
#include "tests/export/grid_fixtures.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/member_files.h"
#include "tests/support/temp_dir.h"

namespace qv::test {
namespace {

using exporting::DedupRule;
using exporting::ExportFormat;
using exporting::MergeOptions;
using exporting::MergeSummary;
using exporting::MergeTasks;
using Rows = std::vector<std::vector<std::string>>;

// Column numbers of the merged file: the task names first, then the member grid's.
constexpr int kSources = 0, kNumber = 1, kName = 2, kMemberId = 3, kLinkMan = 6, kPhone = 10,
              kAddress = 12;

class MergeTest : public ::testing::Test {
protected:
    TaskFile Task(const std::string& name, const std::vector<MemberValues>& records) {
        TaskFile task{name, dir.file(name + ".db")};
        MakeDataFile(task.path, records);
        return task;
    }
    Rows MergeToCsv(const std::vector<TaskFile>& tasks, DedupRule rule, MergeSummary* summary = nullptr) {
        MergeOptions options;
        options.rule = rule;
        MergeSummary s = MergeTasks(tasks, out, ExportFormat::Csv, options);
        if (summary) *summary = s;
        return ReadCsv(ReadFileBytes(out));
    }
    // Only the old file at `out` and the task files: nothing half-written beside them.
    void ExpectOldFileOnly(size_t task_files) {
        EXPECT_EQ(ReadFileBytes(out), "old");
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            files.push_back(entry.path().filename().string());
        EXPECT_EQ(files.size(), task_files + 1) << ::testing::PrintToString(files);
    }

    TempDir dir;
    std::string out = dir.file("合并.csv");
};

TEST_F(MergeTest, ByMemberIdKeepsTheFullestRecordWhereTheCompanyFirstAppearsAndNamesEveryTask) {
    const auto tasks = std::vector<TaskFile>{
        Task("灯具", {Member("甲灯具厂", "m1", {{mfPhone, "0571-1"}}), Member("乙照明", "m2")}),
        Task("灯饰", {Member("丙电器", "m3"),
                      Member("甲灯具厂", "m1", {{mfPhone, "0571-1"}, {mfLinkMan, "王一"}, {mfAddress, "杭州"}})}),
        Task("照明", {Member("甲灯具厂", "m1", {{mfMobile, "139"}}),
                      // No MemberID: matched by name, also with a company that has one.
                      Member("乙照明", ""), Member("戊光电", ""),
                      Member("戊光电", "", {{mfPhone, "0571-5"}})}),
    };
    MergeSummary summary;
    Rows rows = MergeToCsv(tasks, DedupRule::ByMemberId, &summary);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0][kSources], "来源任务");
    EXPECT_EQ(rows[0][kNumber], "序号");
    EXPECT_EQ(rows[0][kName], "公司名称");
    EXPECT_EQ(rows[0].size(), 33u);

    // In task order, then ID order, each company where it first appears.
    EXPECT_EQ(rows[1][kName], "甲灯具厂");
    EXPECT_EQ(rows[1][kSources], "灯具;灯饰;照明");
    EXPECT_EQ(rows[1][kLinkMan], "王一") << "the fullest record, from 灯饰";
    EXPECT_EQ(rows[1][kAddress], "杭州");
    EXPECT_EQ(rows[1][kMemberId], "m1") << "deciphered";
    EXPECT_EQ(rows[2][kName], "乙照明");
    EXPECT_EQ(rows[2][kSources], "灯具;照明");
    EXPECT_EQ(rows[2][kMemberId], "m2") << "the record with a MemberID is the fuller one";
    EXPECT_EQ(rows[3][kName], "丙电器");
    EXPECT_EQ(rows[3][kSources], "灯饰");
    EXPECT_EQ(rows[4][kName], "戊光电");
    EXPECT_EQ(rows[4][kSources], "照明");
    EXPECT_EQ(rows[4][kPhone], "0571-5");
    for (size_t r = 1; r < rows.size(); ++r) EXPECT_EQ(rows[r][kNumber], std::to_string(r));

    EXPECT_EQ(summary.records, 4);
    EXPECT_EQ(summary.tasks, 3);
    EXPECT_EQ(summary.duplicates, 4);
    EXPECT_EQ(exporting::MergeSummaryText(summary), "共 4 条记录，来自 3 个任务，合并了 4 条重复记录。");
}

TEST_F(MergeTest, AnEquallyFullRecordOfALaterTaskWinsAndTheOtherRulesGroupByNameOrNotAtAll) {
    const auto tasks = std::vector<TaskFile>{
        Task("一", {Member("甲", "m1", {{mfAddress, "旧址"}}), Member("乙", "m2")}),
        Task("二", {Member("甲", "m1", {{mfAddress, "新址"}}), Member("乙", "m9")}),
    };
    Rows by_member = MergeToCsv(tasks, DedupRule::ByMemberId);
    ASSERT_EQ(by_member.size(), 4u);
    EXPECT_EQ(by_member[1][kAddress], "新址") << "a tie goes to the latest task";
    EXPECT_EQ(by_member[2][kMemberId], "m2");
    EXPECT_EQ(by_member[3][kMemberId], "m9") << "another MemberID is another company";

    Rows by_name = MergeToCsv(tasks, DedupRule::ByCompanyName);
    ASSERT_EQ(by_name.size(), 3u);
    EXPECT_EQ(by_name[2][kName], "乙");
    EXPECT_EQ(by_name[2][kSources], "一;二");
    EXPECT_EQ(by_name[2][kMemberId], "m9");

    MergeSummary summary;
    Rows all = MergeToCsv(tasks, DedupRule::None, &summary);
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[1][kSources], "一");
    EXPECT_EQ(all[3][kSources], "二");
    EXPECT_EQ(all[3][kAddress], "新址");
    EXPECT_EQ(summary.duplicates, 0);
}

TEST_F(MergeTest, XlsxAndXlsHoldTheSameRowsAndXlsRefusesMoreRowsThanItTakes) {
    const auto tasks = std::vector<TaskFile>{
        Task("灯具", {Member("甲灯具厂", "m1")}),
        Task("灯饰", {Member("甲灯具厂", "m1", {{mfPhone, "0571-1"}}), Member("乙照明", "m2")}),
    };
    MergeTasks(tasks, dir.file("m.xlsx"), ExportFormat::Xlsx, {});
    std::string sheet = ReadZipMember(ReadFileBytes(dir.file("m.xlsx")), "xl/worksheets/sheet1.xml");
    EXPECT_NE(sheet.find("<t>来源任务</t>"), std::string::npos);
    EXPECT_NE(sheet.find("<t>灯具;灯饰</t>"), std::string::npos);
    EXPECT_NE(sheet.find("<t>0571-1</t>"), std::string::npos);

    MergeTasks(tasks, dir.file("m.xls"), ExportFormat::Xls, {});
    BiffCells cells = ReadBiff(ReadFileBytes(dir.file("m.xls")));
    EXPECT_EQ(cells.order.size(), 3u * 33);
    EXPECT_EQ((cells.text[{0, kSources}]), "来源任务");
    EXPECT_EQ((cells.text[{1, kSources}]), "灯具;灯饰");
    EXPECT_EQ((cells.text[{1, kPhone}]), "0571-1");
    EXPECT_EQ((cells.text[{2, kName}]), "乙照明");

    // 65,536 records and the header row are one row more than .xls holds.
    TaskFile big = Task("大", {});
    ExecuteOnDatabaseFile(big.path,
                          "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 65536) "
                          "INSERT INTO DataList (MemberID) SELECT 'm' || i FROM n");
    try {
        MergeTasks({big}, dir.file("big.xls"), ExportFormat::Xls, {});
        FAIL() << "65,537 rows written as .xls";
    } catch (const exporting::ExportError& e) {
        EXPECT_NE(std::string(e.what()).find(".xlsx"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("big.xls")));
}

TEST_F(MergeTest, ABadOrCollectedFileFailsTheMergeByNameUnlessSkipped) {
    TaskFile good = Task("灯具", {Member("甲灯具厂", "m1")});
    TaskFile text{"笔记", dir.file("笔记.db")};
    WriteFileBytes(text.path, std::string(8192, 'x'));
    TaskFile no_list{"空库", dir.file("空库.db")};
    ASSERT_TRUE(CreateDatabaseFile(no_list.path, true));
    // A file whose pages after the first are overwritten: its records cannot be read.
    std::vector<MemberValues> many(300, Member("乙照明", "m2", {{mfCompanyContext, std::string(500, 'z')}}));
    TaskFile damaged = Task("损坏", many);
    {
        std::string bytes = ReadFileBytes(damaged.path);
        ASSERT_GT(bytes.size(), 40000u);
        std::fill(bytes.begin() + 8192, bytes.begin() + 40000, '\xA5');
        WriteFileBytes(damaged.path, bytes);
    }
    TaskFile collected = Task("采集中", {Member("丙电器", "m3")});
    DataFileRunLock run = DataFileRunLock::TryAcquire(collected.path);
    ASSERT_TRUE(run.held());

    WriteFileBytes(out, "old");
    for (const TaskFile& bad : {text, no_list, damaged, collected}) {
        try {
            MergeTasks({good, bad}, out, ExportFormat::Csv, {});
            ADD_FAILURE() << bad.name << " merged";
        } catch (const exporting::ExportError& e) {
            EXPECT_NE(std::string(e.what()).find("任务“" + bad.name + "”"), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(bad.path), std::string::npos) << e.what();
        }
        EXPECT_EQ(ReadFileBytes(out), "old") << bad.name;
    }
    EXPECT_FALSE(IsBeingCollected(good.path)) << "a failed merge lets go of the files it read";

    MergeOptions skip;
    skip.skip_bad = true;
    MergeSummary summary = MergeTasks({text, good, no_list, damaged, collected}, out, ExportFormat::Csv, skip);
    EXPECT_EQ(summary.tasks, 1);
    EXPECT_EQ(summary.records, 1);
    ASSERT_EQ(summary.skipped.size(), 4u);
    EXPECT_EQ(summary.skipped[0].first, "笔记");
    EXPECT_EQ(summary.skipped[3].first, "采集中");
    EXPECT_NE(summary.skipped[3].second.find("抓取"), std::string::npos) << summary.skipped[3].second;
    Rows rows = ReadCsv(ReadFileBytes(out));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][kSources], "灯具");
    EXPECT_TRUE(run.held()) << "the run keeps its lock";
}

TEST_F(MergeTest, CancellingOrAFullDiskLeavesTheOldFileAndNothingElse) {
    std::vector<MemberValues> records;
    for (int i = 0; i < 600; ++i)
        records.push_back(Member("公司" + std::to_string(i), "m" + std::to_string(i),
                                 {{mfAddress, "文三路" + std::to_string(i * 7919)},
                                  {mfPhone, std::to_string(i * 104729 + 1000003)}}));
    const auto tasks = std::vector<TaskFile>{Task("一", records), Task("二", records), Task("三", records)};
    WriteFileBytes(out, "old");

    // Cancelled while the files are read, and while the merged file is written.
    for (std::int64_t stop_at : {0, 1001}) {
        EXPECT_THROW(MergeTasks(tasks, out, ExportFormat::Csv, {},
                                [&](std::int64_t done, std::int64_t) { return done < stop_at; }),
                     exporting::ExportCancelled);
        ExpectOldFileOnly(tasks.size());
    }

    {
        // Room for the 32 KB index SQLite keeps beside a file it reads, not for the output.
        FileSizeLimit full_disk(40 * 1024);
        for (auto format : {ExportFormat::Csv, ExportFormat::Xlsx, ExportFormat::Xls})
            EXPECT_THROW(MergeTasks(tasks, out, format, {}), exporting::ExportError)
                << static_cast<int>(format);
    }
    ExpectOldFileOnly(tasks.size());
}

TEST_F(MergeTest, AKeptRecordGoneFromItsFileAfterItWasReadFailsTheMerge) {
    std::vector<MemberValues> fuller, plainer;
    for (int i = 0; i < 600; ++i) {
        plainer.push_back(Member("公司" + std::to_string(i), "m" + std::to_string(i)));
        fuller.push_back(Member("公司" + std::to_string(i), "m" + std::to_string(i), {{mfPhone, "0571"}}));
    }
    // Every company keeps its record of 一, the fullest.
    const auto tasks = std::vector<TaskFile>{Task("一", fuller), Task("二", plainer), Task("三", plainer)};
    WriteFileBytes(out, "old");
    bool deleted = false;
    try {
        // Progress past the start comes once 一 is read, before anything is written.
        MergeTasks(tasks, out, ExportFormat::Csv, {}, [&](std::int64_t done, std::int64_t) {
            if (done > 0 && !deleted) {
                ExecuteOnDatabaseFile(tasks[0].path, "DELETE FROM DataList WHERE ID = 300");
                deleted = true;
            }
            return true;
        });
        FAIL() << "merged a file that changed";
    } catch (const exporting::ExportError& e) {
        EXPECT_TRUE(deleted);
        EXPECT_NE(std::string(e.what()).find("任务“一”"), std::string::npos) << e.what();
    }
    ExpectOldFileOnly(tasks.size());
}

TEST_F(MergeTest, AFileNamedTwiceIsRefusedAndFilesWithoutRecordsGiveTheHeaderRow) {
    TaskFile empty = Task("空", {});
    EXPECT_THROW(MergeTasks({empty, {"again", empty.path}}, out, ExportFormat::Csv, {}),
                 exporting::ExportError);
    MergeSummary summary;
    Rows rows = MergeToCsv({empty}, DedupRule::ByMemberId, &summary);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][kSources], "来源任务");
    EXPECT_EQ(summary.records, 0);
    EXPECT_EQ(summary.tasks, 1);
}

TEST_F(MergeTest, AFileWithEmptyOrTextIdsIsMergedWholeAndSaidToBeOdd) {
    // Another program's DataList: its ID a plain column, empty or text in some rows.
    TaskFile other{"其他", dir.file("其他.db")};
    ASSERT_TRUE(CreateDatabaseFile(other.path, true));
    std::string create(kCreateDataListSql);
    create.replace(create.find("Counter"), 7, "");
    ExecuteOnDatabaseFile(other.path, create);
    for (const MemberValues& v : {Member("甲", "m1", {{mfPhone, "0571-1"}}), Member("乙", "m2"), Member("丙", "m3")})
        ExecuteOnDatabaseFile(other.path, BuildInsertStatement(v));
    ExecuteOnDatabaseFile(other.path, "UPDATE DataList SET ID = 'x7' WHERE rowid = 2");
    ExecuteOnDatabaseFile(other.path, "UPDATE DataList SET ID = 3 WHERE rowid = 3");
    const auto tasks = std::vector<TaskFile>{Task("灯具", {Member("甲", "m1")}), other};
    MergeSummary summary;
    Rows rows = MergeToCsv(tasks, DedupRule::ByMemberId, &summary);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1][kName], "甲");
    EXPECT_EQ(rows[1][kSources], "灯具;其他");
    EXPECT_EQ(rows[1][kPhone], "0571-1") << "the fuller record, read by its place in the file";
    EXPECT_EQ(rows[2][kName], "乙");
    EXPECT_EQ(rows[3][kName], "丙");
    ASSERT_EQ(summary.notes.size(), 1u);
    EXPECT_NE(summary.notes[0].find(other.path), std::string::npos) << summary.notes[0];
    EXPECT_NE(summary.notes[0].find("2 条记录的 ID 为空或不是整数"), std::string::npos) << summary.notes[0];
    EXPECT_EQ(summary.notes[0].find("修改"), std::string::npos) << "nothing was modified";
}

TEST_F(MergeTest, WritesEachCrmsLeadsAndThePhoneColumnsAfterTheSourceTasks) {
    const auto tasks = std::vector<TaskFile>{
        Task("灯具", {Member("甲", "m1", {{mfLinkMan, "王小明"}, {mfMobile, "13955875697"}})}),
        Task("照明", {Member("甲", "m1"), Member("乙", "m2", {{mfPhone, "0755-83456789"}})})};
    for (auto crm : {exporting::CrmPreset::HubSpot, exporting::CrmPreset::Salesforce, exporting::CrmPreset::Zoho}) {
        MergeOptions options;
        options.output.crm = crm;
        MergeTasks(tasks, out, ExportFormat::Csv, options);
        Rows rows = ReadCsv(ReadFileBytes(out));
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[0][0], "来源任务");
        EXPECT_EQ(rows[0][1], "First Name");
        EXPECT_EQ(rows[1][0], "灯具;照明");
        EXPECT_EQ(rows[1][1], "小明");
        EXPECT_EQ(rows[1][2], "王");
        EXPECT_EQ(rows[2][2], "乙") << "Last Name: the company when there is no person";
        EXPECT_EQ(rows[1][6], "+8613955875697");
        EXPECT_EQ(rows[2][5], "+8675583456789");
        EXPECT_EQ(rows[1].back(), "m1");
        if (crm != exporting::CrmPreset::HubSpot) {
            EXPECT_EQ(rows[2][rows[2].size() - 2], "照明") << "Lead Source";
        }
    }
    MergeOptions phones;
    phones.output.phone_columns = true;
    for (auto format : {ExportFormat::Csv, ExportFormat::Xls}) {
        const std::string file = dir.file(format == ExportFormat::Csv ? "p.csv" : "p.xls");
        MergeTasks(tasks, file, format, phones);
        if (format == ExportFormat::Csv) {
            Rows rows = ReadCsv(ReadFileBytes(file));
            ASSERT_EQ(rows[0].size(), 36u);
            EXPECT_EQ(rows[0][33], "手机（国际格式）");
            EXPECT_EQ(rows[1][33], "+8613955875697");
            EXPECT_EQ(rows[2][34], "+8675583456789");
        } else {
            BiffCells cells = ReadBiff(ReadFileBytes(file));
            EXPECT_EQ((cells.text[{0, 35}]), "传真（国际格式）");
            EXPECT_EQ((cells.text[{2, 34}]), "+8675583456789");
        }
    }
}

}  // namespace
}  // namespace qv::test
