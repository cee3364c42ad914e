// The 变化 page with its filters and export, and the marks the member grid puts on what the
// last run added and changed.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFont>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTableWidget>

#include "core/change_log.h"
#include "core/database.h"
#include "core/run_journal.h"
#include "tasks/changes_page.h"
#include "tests/support/temp_dir.h"
#include "widgets/change_marks.h"
#include "widgets/member_grid.h"

namespace qv {
namespace {

MemberValues Company(const std::string& name, const std::string& id, const std::string& mobile) {
    MemberValues v;
    v[mfCompanyName] = name;
    v[mfMemberID] = id;
    v[mfLinkMan] = "王伟";
    v[mfMobile] = mobile;
    return v;
}

void RunOn(Connection& db, RunMode mode, const std::vector<MemberValues>& companies) {
    BeginRun(db, "http://m/search", mode);
    RunStep listed;
    for (const MemberValues& c : companies) listed.listed.emplace_back(c[mfMemberID], c[mfCompanyName]);
    CommitRunStep(db, listed);
    for (const MemberValues& c : companies) {
        RunStep step;
        step.row = c;
        CommitRunStep(db, step);
    }
    RunStep end;
    end.position.emplace();
    end.position->finished = true;
    CommitRunStep(db, end);
}

// A full run of 甲, 乙, 丙, then a refresh: 甲's mobile and contact person changed, 丙 gone,
// 丁 new.
std::string RefreshedFile(const test::TempDir& dir) {
    const std::string path = dir.file("灯具.db");
    CreateDatabaseFile(path, true);
    ExecuteOnDatabaseFile(path, kCreateDataListSql);
    Connection db(path, DatabaseKind::DataFile);
    RunOn(db, RunMode::Fresh, {Company("甲公司", "a", "13900000001"), Company("乙公司", "b", "13900000002"),
                             Company("丙公司", "c", "13900000003")});
    MemberValues a = Company("甲公司", "a", "13911111111");
    a[mfLinkMan] = "李娜";
    RunOn(db, RunMode::Refresh, {a, Company("乙公司", "b", "13900000002"), Company("丁公司", "d", "13900000004")});
    return path;
}

int Select(QComboBox* box, const QString& text) {
    const int i = box->findText(text);
    box->setCurrentIndex(i);
    return i;
}

TEST(ChangesPage, ShowsTheLastRunByDefaultAndFiltersByRunKindAndField) {
    test::TempDir dir;
    tasks::ChangesPage page(QStringLiteral("灯具"), RefreshedFile(dir));
    QTableWidget* grid = page.grid();
    ASSERT_EQ(page.runChooser()->count(), 3);  // two runs and 所有运行
    EXPECT_TRUE(page.runChooser()->currentText().contains(QStringLiteral("更新已有公司")));
    EXPECT_TRUE(page.runChooser()->currentText().contains(QStringLiteral("新增 1 · 变更 1 · 消失 1")));
    ASSERT_EQ(grid->rowCount(), 4);  // two fields of 甲, 丁 added, 丙 gone
    EXPECT_EQ(grid->item(0, 1)->text(), QStringLiteral("甲公司"));
    EXPECT_EQ(grid->item(0, 2)->text(), QStringLiteral("变更"));
    EXPECT_EQ(grid->item(0, 3)->text(), QStringLiteral("联系人"));
    EXPECT_EQ(grid->item(0, 4)->text(), QStringLiteral("王伟"));
    EXPECT_EQ(grid->item(0, 5)->text(), QStringLiteral("→ 李娜"));

    Select(page.kindChooser(), QStringLiteral("变更"));
    EXPECT_EQ(grid->rowCount(), 2);
    ASSERT_GE(Select(page.fieldChooser(), QStringLiteral("移动电话")), 0);
    ASSERT_EQ(grid->rowCount(), 1);
    EXPECT_EQ(grid->item(0, 4)->text(), QStringLiteral("13900000001"));
    Select(page.kindChooser(), QStringLiteral("所有类别"));
    Select(page.fieldChooser(), QStringLiteral("所有字段"));
    Select(page.kindChooser(), QStringLiteral("消失"));
    ASSERT_EQ(grid->rowCount(), 1);
    EXPECT_EQ(grid->item(0, 1)->text(), QStringLiteral("丙公司"));
    Select(page.kindChooser(), QStringLiteral("所有类别"));
    Select(page.runChooser(), QStringLiteral("所有运行"));
    EXPECT_EQ(grid->rowCount(), 3 + 4);  // the full run's three additions too

    // A double-click asks for the record of the change.
    Select(page.runChooser(), page.runChooser()->itemText(0));
    QSignalSpy chosen(&page, &tasks::ChangesPage::recordChosen);
    emit grid->cellDoubleClicked(2, 1);  // 丁 added: the fourth record
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).toString(), QStringLiteral("灯具"));
    EXPECT_EQ(chosen.at(0).at(1).toLongLong(), 4);
}

TEST(ChangesPage, ExportsTheShownRowsAsXlsxOrCsv) {
    test::TempDir dir;
    tasks::ChangesPage page(QStringLiteral("灯具"), RefreshedFile(dir));
    Select(page.kindChooser(), QStringLiteral("变更"));
    const QString csv = QString::fromStdString(dir.file("变化.csv"));
    page.ExportTo(csv);
    const std::string text = test::ReadFileBytes(csv.toStdString());
    EXPECT_NE(text.find("变化前"), std::string::npos);
    EXPECT_NE(text.find("13911111111"), std::string::npos);
    EXPECT_EQ(text.find("丁公司"), std::string::npos);  // not shown, not written
    const QString xlsx = QString::fromStdString(dir.file("变化.xlsx"));
    page.ExportTo(xlsx);
    EXPECT_EQ(test::ReadFileBytes(xlsx.toStdString()).substr(0, 2), "PK");
    EXPECT_THROW(page.ExportTo(QString::fromStdString(dir.file("变化.xls"))), std::exception);
}

TEST(ChangeMarks, TheGridMarksAddedRecordsAndChangedCellsWhereverTheRowsGo) {
    test::TempDir dir;
    const std::string path = RefreshedFile(dir);
    auto marks = std::make_shared<widgets::ChangeMarks>(widgets::ChangeMarks::OfLastRun(path));
    ASSERT_FALSE(marks->empty());
    EXPECT_EQ(marks->AddedCount(), 1);
    EXPECT_EQ(marks->ChangedCount(), 2);
    EXPECT_TRUE(marks->Legend().contains(QStringLiteral("新增的 1 家公司")));

    widgets::MemberGridModel model;
    {
        Connection db(path, DatabaseKind::DataFile);
        model.LoadDataList(db);
    }
    model.SetChangeMarks(marks);
    auto bold = [&](const QAbstractItemModel& m, int row) {
        const QVariant font = m.data(m.index(row, 1), Qt::FontRole);
        return font.isValid() && font.value<QFont>().bold();
    };
    auto coloured = [&](const QAbstractItemModel& m, int row, int column) {
        return m.data(m.index(row, column), Qt::BackgroundRole).isValid();
    };
    // Records in ID order: 甲 (changed), 乙, 丙 (gone), 丁 (added). Grid columns: 5 联系人, 8 移动电话.
    EXPECT_TRUE(bold(model, 3));
    EXPECT_FALSE(bold(model, 0));
    EXPECT_TRUE(coloured(model, 0, 5));
    EXPECT_TRUE(coloured(model, 0, 8));
    EXPECT_FALSE(coloured(model, 0, 9));
    EXPECT_FALSE(coloured(model, 1, 8));

    // Sorted the other way round, the marks stay with their companies.
    QSortFilterProxyModel sorted;
    sorted.setSourceModel(&model);
    sorted.sort(2, Qt::DescendingOrder);  // by 会员帐号: d, c, b, a
    EXPECT_TRUE(bold(sorted, 0));
    EXPECT_TRUE(coloured(sorted, 3, 8));
    EXPECT_FALSE(coloured(sorted, 0, 8));

    // After a first full run there is nothing to mark.
    test::TempDir other;
    const std::string fresh = other.file("新.db");
    CreateDatabaseFile(fresh, true);
    ExecuteOnDatabaseFile(fresh, kCreateDataListSql);
    {
        Connection db(fresh, DatabaseKind::DataFile);
        RunOn(db, RunMode::Fresh, {Company("甲公司", "a", "1")});
    }
    EXPECT_TRUE(widgets::ChangeMarks::OfLastRun(fresh).empty());
}

}  // namespace
}  // namespace qv
