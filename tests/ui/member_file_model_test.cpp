// The member grid over a data file read on demand: pages larger than the first screen
// the grid reads at once, so that the file walk, the block reads and the cache all work.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include "core/data_files.h"
#include "core/database.h"
#include "core/member_file_rows.h"
#include "directory/category_pages.h"
#include "widgets/export_command.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/gui_fixture.h"
#include "widgets/member_grid.h"

namespace qv::test {
namespace {

using namespace std::chrono_literals;
using widgets::MemberGridModel;

constexpr int kRecords = 3000;  // three times what a page reads before it shows

// Record n (from 1): the name and contact stored enciphered, a padded address, every tenth a TrustPass
// member, every seventh with the brand 鑫源 and every 700th with the brand ABC.
MemberValues Member(int n) {
    MemberValues v{};
    v[mfCompanyName] = "公司" + std::to_string(n);
    v[mfLinkMan] = "王" + std::to_string(n);
    v[mfMemberType] = n % 10 == 0 ? "诚信通会员" : "普通会员";
    v[mfAddress] = "  杭州" + std::to_string(n) + "  ";
    v[mfBrand] = n % 700 == 0 ? "ABC" : n % 7 == 0 ? "鑫源" : "其他";
    v[mfCmpDetail] = "http://detail/" + std::to_string(n);
    return v;
}

std::string MakeDataFile(const TempDir& dir, int records) {
    std::string file = dir.file("big.db");
    CreateDatabaseFile(file, true);
    ExecuteOnDatabaseFile(file, kCreateDataListSql);
    Connection db(file, DatabaseKind::DataFile);
    db.Execute("BEGIN");
    for (int n = 1; n <= records; ++n) db.Execute(BuildInsertStatement(Member(n)));
    db.Execute("COMMIT");
    return file;
}

class MemberFileModel : public ::testing::Test {
protected:
    void Open(std::string_view statement = kSelectAllMembers,
              CellShowing showing = CellShowing::Trimmed) {
        model.OpenDataFile(file, statement, showing);
    }
    bool Walked(int records) {
        return RunUntil([&] { return model.RecordCount() == records; }, 20s);
    }

    TempDir dir;
    std::string file = MakeDataFile(dir, kRecords);
    MemberGridModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(MemberFileModel, ShowsTheFirstRecordsAtOnceAndEveryRecordOnceWalked) {
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    Open();
    EXPECT_GE(model.RecordCount(), 1000) << "a screenful and more before the walk";
    EXPECT_EQ(model.Cell(0, 0), QStringLiteral("1"));
    EXPECT_EQ(model.Cell(0, 1), QStringLiteral("公司1"));
    ASSERT_TRUE(Walked(kRecords));
    EXPECT_GE(inserted.count(), 1) << "the view hears of the records as they are found";
    EXPECT_EQ(model.GridRowCount(), kRecords + 1);
    // Far down, on block edges and in the last, short block.
    for (int record : {999, 1000, 1023, 1024, 2047, 2500, kRecords - 1}) {
        int n = record + 1;
        EXPECT_EQ(model.Cell(record, 0), QString::number(n));
        EXPECT_EQ(model.Cell(record, 1), QStringLiteral("公司%1").arg(n)) << "deciphered";
        EXPECT_EQ(model.Cell(record, 5), QStringLiteral("王%1").arg(n));
        EXPECT_EQ(model.Cell(record, 11), QStringLiteral("杭州%1").arg(n)) << "trimmed";
        EXPECT_EQ(model.Cell(record, 30), QStringLiteral("http://detail/%1").arg(n));
    }
    EXPECT_EQ(model.Cell(kRecords, 1), QString()) << "beyond the records";
    // Back to the top after the far rows: the cache gives the same text.
    EXPECT_EQ(model.Cell(5, 5), QStringLiteral("王6"));
}

TEST_F(MemberFileModel, CategoryPagesKeepTheStoredBlanks) {
    Open(kSelectAllMembers, CellShowing::AsStored);
    ASSERT_TRUE(Walked(kRecords));
    EXPECT_EQ(model.Cell(2900, 11), QStringLiteral("  杭州2901  "));
    EXPECT_EQ(model.Cell(2900, 5), QStringLiteral("王2901"));
}

TEST_F(MemberFileModel, FindWalksHitsInOrderOnCharactersAndCaseSensitively) {
    Open();
    // Searched before the walk ends: it waits for every record.
    EXPECT_EQ(model.FindRecord(26, "鑫源", 0), 6);
    EXPECT_EQ(model.FindRecord(26, "鑫源", 7), 13);
    EXPECT_EQ(model.FindRecord(26, "ABC", 0), 699);
    EXPECT_EQ(model.FindRecord(26, "ABC", 700), 1399);
    EXPECT_EQ(model.FindRecord(26, "abc", 0), -1) << "case-sensitive";
    EXPECT_EQ(model.FindRecord(26, "ABC", 2800), -1) << "no hit after the last";
    EXPECT_EQ(model.RecordCount(), kRecords);
    EXPECT_EQ(model.FindRecord(5, "王2999", 0), 2998) << "an enciphered column, deciphered";
    EXPECT_EQ(model.FindRecord(1, "公司30", 2000), 2999) << "公司3000";
    EXPECT_EQ(model.FindRecord(11, "杭州2500", 0), 2499) << "a column the walk does not keep";
}

TEST_F(MemberFileModel, ChangedCellsAreShownAndSearchedAsChanged) {
    Open();
    ASSERT_TRUE(Walked(kRecords));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    // Record 2603 (公司2604) had the brand 鑫源.
    model.SetCell(2603, 26, "新品牌");
    model.SetCell(2603, 14, "机械");
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(model.Cell(2603, 26), QStringLiteral("新品牌"));
    EXPECT_EQ(model.Cell(2603, 14), QStringLiteral("机械"));
    EXPECT_EQ(model.Cell(2603, 1), QStringLiteral("公司2604")) << "the row's other cells stay";
    EXPECT_EQ(model.FindRecord(26, "新品牌", 0), 2603);
    EXPECT_EQ(model.FindRecord(26, "鑫源", 2600), 2610) << "the changed row no longer hits";
}

TEST_F(MemberFileModel, AFilterShowsOnlyItsRecordsNumberedFromOne) {
    Open(directory::kSelectTrustPassMembers);
    ASSERT_TRUE(Walked(kRecords / 10));
    EXPECT_EQ(model.Cell(0, 0), QStringLiteral("1"));
    EXPECT_EQ(model.Cell(0, 1), QStringLiteral("公司10"));
    EXPECT_EQ(model.Cell(299, 1), QStringLiteral("公司3000"));
    EXPECT_EQ(model.FindRecord(26, "ABC", 0), 69) << "record 700, the 70th member";

    // A statement the reader cannot window raises, and the rows stay.
    EXPECT_THROW(model.OpenDataFile(file, "SELECT * FROM DataList ORDER BY CompanyName"),
                 DatabaseError);
    EXPECT_EQ(model.RecordCount(), kRecords / 10);
    EXPECT_THROW(model.OpenDataFile(dir.file("missing.db")), DatabaseError);
    EXPECT_EQ(model.Cell(299, 1), QStringLiteral("公司3000"));
}

TEST_F(MemberFileModel, RecordsThatLeaveTheFileBehindThePageShowEmpty) {
    Open();
    ASSERT_TRUE(Walked(kRecords));
    {
        Connection other(file, DatabaseKind::DataFile);
        other.Execute("DELETE FROM DataList WHERE ID BETWEEN 2001 AND 2010");
        other.Execute(BuildInsertStatement(Member(9999)));
    }
    EXPECT_EQ(model.Cell(2000, 0), QStringLiteral("2001")) << "the page is not refreshed";
    EXPECT_EQ(model.Cell(2000, 1), QString());
    EXPECT_EQ(model.Cell(2009, 1), QString());
    EXPECT_EQ(model.Cell(1999, 1), QStringLiteral("公司2000"));
    EXPECT_EQ(model.Cell(2010, 1), QStringLiteral("公司2011"));
    EXPECT_EQ(model.RecordCount(), kRecords);
}

TEST_F(MemberFileModel, ClosingWhileTheFileIsWalkedStopsTheWalk) {
    auto early = std::make_unique<MemberGridModel>();
    early->OpenDataFile(file);
    early.reset();  // joins the loader; nothing arrives after
    Open();
    ASSERT_TRUE(Walked(kRecords));
    // Opening again replaces the rows: the in-memory reader and the file reader alike.
    Connection db(file, DatabaseKind::Project);
    model.LoadDataList(db, directory::kSelectTrustPassMembers);
    EXPECT_EQ(model.RecordCount(), kRecords / 10);
    EXPECT_EQ(model.Cell(0, 1), QStringLiteral("公司10"));
}

TEST_F(MemberFileModel, TheExportSourceHoldsEveryRecordEvenDuringTheWalk) {
    widgets::MemberGridView view;
    view.memberModel()->OpenDataFile(file);
    widgets::MemberGridSource source(view);
    EXPECT_EQ(source.RowCount(), kRecords + 1);
    EXPECT_EQ(source.CellText(kRecords, 0), std::to_string(kRecords));
    EXPECT_EQ(source.CellText(kRecords, 1), "公司" + std::to_string(kRecords));
    EXPECT_EQ(source.CellText(1500, 5), "王1500");
}

TEST_F(MemberFileModel, TheCurrentCellStaysWhileTheWalkAddsRecords) {
    widgets::MemberGridView view;
    auto* shown = view.memberModel();
    shown->OpenDataFile(file);
    view.setCurrentIndex(shown->index(5, 2));
    ASSERT_TRUE(widgets::WaitForAllRecords(*shown, &view));
    EXPECT_EQ(shown->RecordCount(), kRecords);
    EXPECT_EQ(view.CurrentGridRow(), 6) << "records are inserted, the view is not reset";
    EXPECT_TRUE(widgets::WaitForAllRecords(*shown, &view)) << "nothing to wait for";
}

TEST(DataListCondition, TakesTheConditionOfTheShownStatementsOnly) {
    EXPECT_EQ(DataListCondition(kSelectAllMembers), "1");
    EXPECT_EQ(DataListCondition(directory::kSelectTrustPassMembers), "memberType='诚信通会员'");
    EXPECT_EQ(DataListCondition("select * from datalist where ID > 5 order by id"), "ID > 5");
    EXPECT_FALSE(DataListCondition("SELECT ID FROM DataList ORDER BY ID"));
    EXPECT_FALSE(DataListCondition("SELECT * FROM DataList ORDER BY CompanyName"));
    EXPECT_FALSE(DataListCondition("SELECT * FROM DataList LIMIT 5 ORDER BY ID"));
}

}  // namespace
}  // namespace qv::test
