// Sorting and filtering the member grids and the search-across-tasks results, and the
// commands that must then work on the rows as shown.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include "core/app_info.h"
#include "tasks/find_page.h"
#include "tasks/task_commands.h"
#include "tasks/task_pages.h"
#include "tests/ui/gui_fixture.h"
#include "ui/main_window.h"
#include "widgets/export_command.h"
#include "widgets/grid_copy.h"
#include "widgets/grid_filter_bar.h"
#include "widgets/location_index.h"
#include "widgets/member_grid.h"
#include "widgets/member_links.h"
#include "widgets/sort_ranks.h"

namespace qv::test {
namespace {

using widgets::MemberGridView;
using widgets::RecordFilter;

struct Company {
    const char* name;
    const char* index;  // 诚信通指数
    const char* address;
};

MemberValues Values(const Company& c, int n) {
    MemberValues v{};
    v[mfCompanyName] = c.name;
    v[mfGoodIndex] = c.index;
    v[mfAddress] = c.address;
    v[mfMemberID] = "m" + std::to_string(n);
    v[mfCmpDetail] = "http://detail/" + std::to_string(n);
    return v;
}

// 张, 李, 阿 and 北 in pinyin: a(阿) b(北) l(李) z(张); the indexes as numbers: 9 < 10 < 100.
const Company kCompanies[] = {
    {"张记五金", "10", "广东省深圳市福田区华强北路 1 号"},
    {"李氏灯具", "9", "浙江省杭州市西湖区文一路 2 号"},
    {"阿里照明ABC", "100", "深圳市南山区科技园 3 号"},
    {"北方机械", "", "北京市朝阳区建国路 4 号"},
};

QStringList Texts(std::initializer_list<const char*> texts) {
    QStringList list;
    for (const char* t : texts) list << QString::fromUtf8(t);
    return list;
}

QStringList Column(const QAbstractItemModel& model, int column) {
    QStringList texts;
    for (int r = 0; r < model.rowCount(); ++r) texts << model.index(r, column).data().toString();
    return texts;
}

void ClickHeading(MemberGridView& grid, int column) {
    QHeaderView* header = grid.horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
}

class GridOrder : public ProgramFixture {
protected:
    void SetUp() override {
        grid.resize(900, 400);
        panel = widgets::WithFilterBar(&grid);
        widgets::InitMemberGrid(&grid);
        panel->show();
        for (int i = 0; i < 4; ++i) grid.memberModel()->QueueMember(Values(kCompanies[i], i + 1));
        grid.memberModel()->FlushQueued();
    }
    void TearDown() override {
        grid.setParent(nullptr);
        delete panel;
    }
    int Fid(QComboBox* box, const QString& name) {
        const int at = box->findText(name);
        return at < 0 ? -1 : box->itemData(at).toInt();
    }

    MemberGridView grid;
    QWidget* panel = nullptr;
};

TEST_F(GridOrder, AClickSortsNumbersAsNumbersAndChineseByPinyinAndAnotherReversesIt) {
    QAbstractItemModelTester tester(grid.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    grid.setCurrentIndex(grid.model()->index(1, 2));  // 李氏灯具
    ClickHeading(grid, 1);
    EXPECT_EQ(Column(*grid.model(), 1),
              Texts({"阿里照明ABC", "北方机械", "李氏灯具", "张记五金"}));
    EXPECT_EQ(Column(*grid.model(), 0), Texts({"3", "4", "2", "1"})) << "each keeps its own number";
    EXPECT_EQ(grid.CurrentRecord(), 1) << "the current cell stays on its record";
    EXPECT_EQ(grid.currentIndex().row(), 2);
    EXPECT_EQ(grid.horizontalHeader()->sortIndicatorSection(), 1);
    ClickHeading(grid, 1);
    EXPECT_EQ(Column(*grid.model(), 1),
              Texts({"张记五金", "李氏灯具", "北方机械", "阿里照明ABC"}));

    // Numbers by value; the empty cell last whichever way.
    ClickHeading(grid, 4);
    EXPECT_EQ(Column(*grid.model(), 4), Texts({"9", "10", "100", ""}));
    ClickHeading(grid, 4);
    EXPECT_EQ(Column(*grid.model(), 4), Texts({"100", "10", "9", ""}));
    // 序号 gives the records' own order back, and reversed.
    ClickHeading(grid, 0);
    EXPECT_EQ(Column(*grid.model(), 0), Texts({"1", "2", "3", "4"}));
    ClickHeading(grid, 0);
    EXPECT_EQ(Column(*grid.model(), 0), Texts({"4", "3", "2", "1"}));

    EXPECT_LT(widgets::CompareCells("公司9", "公司10"), 0) << "digits in a text by value";
    EXPECT_LT(widgets::CompareCells("12", "阿"), 0) << "numbers before texts";
    EXPECT_GT(widgets::CompareCells("", "阿"), 0);
}

TEST_F(GridOrder, TheFilterRowNarrowsByTextOfAnyCaseAndByTheAddresssProvinceAndCity) {
    widgets::GridFilterBar* bar = widgets::FilterBarOf(&grid);
    ASSERT_TRUE(bar);
    bar->textBox()->setText(QStringLiteral("abc"));
    QTest::keyClick(bar->textBox(), Qt::Key_Return);
    EXPECT_EQ(Column(*grid.model(), 1), Texts({"阿里照明ABC"}));
    EXPECT_EQ(widgets::RecordCounterText(grid, 1), QStringLiteral("显示 1 条，共 4 条，当前第 1 条"));
    // Typing applies itself after a pause.
    bar->textBox()->setText(QStringLiteral("文一路"));
    ASSERT_TRUE(RunUntil([&] { return grid.order()->ShownCount() == 1 && grid.CurrentRecord() == 1; }));
    bar->textBox()->setText(QStringLiteral("没有的文字"));
    QTest::keyClick(bar->textBox(), Qt::Key_Return);
    EXPECT_EQ(grid.model()->rowCount(), 1) << "one blank row, as an empty grid";
    EXPECT_EQ(grid.RecordAt(0), -1);
    EXPECT_TRUE(grid.SelectedRecords().empty());

    // The lists hold only the places the addresses name; 深圳 with or without 广东省 first.
    bar->textBox()->clear();
    bar->FillProvinces();
    QStringList provinces;
    for (int i = 0; i < bar->provinceBox()->count(); ++i) provinces << bar->provinceBox()->itemText(i);
    EXPECT_EQ(provinces, Texts({"全部省份", "北京", "浙江", "广东"}));
    bar->provinceBox()->setCurrentIndex(bar->provinceBox()->findText(QStringLiteral("广东")));
    emit bar->provinceBox()->activated(bar->provinceBox()->currentIndex());
    EXPECT_EQ(Column(*grid.model(), 1), Texts({"张记五金", "阿里照明ABC"}));
    bar->cityBox()->showPopup();
    bar->cityBox()->hidePopup();
    ASSERT_EQ(bar->cityBox()->count(), 2);
    EXPECT_EQ(bar->cityBox()->itemText(1), QStringLiteral("深圳"));
    bar->textBox()->setText(QStringLiteral("华强"));
    QTest::keyClick(bar->textBox(), Qt::Key_Return);
    EXPECT_EQ(Column(*grid.model(), 1), Texts({"张记五金"})) << "text and province together";

    const widgets::LocationIndex& places = widgets::LocationIndex::Shared();
    const widgets::Place beijing = places.Locate("  北京市朝阳区建国路");
    EXPECT_EQ(places.Name(beijing.province), QStringLiteral("北京"));
    EXPECT_EQ(places.Name(beijing.city), QStringLiteral("朝阳"));
    EXPECT_EQ(places.Locate("中国浙江杭州").city, places.Locate("浙江省杭州市").city);
    EXPECT_EQ(places.Locate("某某路 5 号").province, 0);

    bar->ClearAll();
    EXPECT_EQ(grid.model()->rowCount(), 4);
    EXPECT_EQ(widgets::RecordCounterText(grid, 2), QStringLiteral("合计：4 条，当前第 2 条"));
}

TEST_F(GridOrder, LiveRowsUnderASortAndAFilterGoWhereTheOrderPutsThem) {
    QAbstractItemModelTester tester(grid.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_TRUE(grid.SortByColumn(4, Qt::AscendingOrder));
    grid.memberModel()->QueueMember(Values({"新到一", "50", "广东省广州市"}, 5));
    grid.memberModel()->QueueMember(Values({"新到二", "", "广东省广州市"}, 6));
    grid.memberModel()->QueueMember(Values({"新到三", "1", "广东省广州市"}, 7));
    grid.memberModel()->FlushQueued();
    EXPECT_EQ(Column(*grid.model(), 4), Texts({"1", "9", "10", "50", "100", "", ""}));
    EXPECT_EQ(Column(*grid.model(), 1).last(), QStringLiteral("新到二")) << "empty cells in arrival order";

    RecordFilter filter;
    filter.text = QStringLiteral("新到");
    ASSERT_TRUE(grid.ApplyFilter(filter));
    grid.memberModel()->QueueMember(Values({"新到四", "5", ""}, 8));
    grid.memberModel()->QueueMember(Values({"不相干", "2", ""}, 9));
    grid.memberModel()->FlushQueued();
    EXPECT_EQ(Column(*grid.model(), 1), Texts({"新到三", "新到四", "新到一", "新到二"}));
    EXPECT_EQ(grid.order()->ShownCount(), 4);
    EXPECT_EQ(grid.memberModel()->RecordCount(), 9);

    // A changed cell is shown at once in its row.
    grid.memberModel()->SetCell(7, 15, "新产品");
    EXPECT_EQ(grid.model()->index(1, 15).data().toString(), QStringLiteral("新产品"));
}

TEST_F(GridOrder, ADataFileIsSortedAndFilteredOverEveryRecordAndSearchedAsShown) {
    const std::string path = (dir.path() / "大文件.db").string();
    // More records than the page reads at once, so the walk of the file is needed.
    WriteDataFile(path, 2500, [](int i, MemberValues& v) {
        v[mfCompanyName] = "公司" + std::to_string(i);
        v[mfGoodIndex] = std::to_string(i % 7);
        v[mfLinkMan] = i % 2 ? "张三" : "李四";
        v[mfMobile] = "139" + std::to_string(10000000 + i);
        v[mfAddress] = i % 5 == 0 ? "浙江省宁波市" : "广东省东莞市";
    });
    MemberGridView file_grid;
    widgets::InitMemberGrid(&file_grid);
    file_grid.memberModel()->OpenDataFile(path);
    ASSERT_TRUE(file_grid.SortByColumn(4, Qt::DescendingOrder));  // read from the file
    EXPECT_EQ(file_grid.model()->rowCount(), 2500);
    EXPECT_EQ(file_grid.model()->index(0, 4).data().toString(), QStringLiteral("6"));
    EXPECT_EQ(file_grid.model()->index(0, 0).data().toString(), QStringLiteral("6")) << "6 % 7 first, stable";
    EXPECT_EQ(file_grid.model()->index(2499, 4).data().toString(), QStringLiteral("0"));

    RecordFilter filter;
    filter.text = QStringLiteral("139100024");  // the enciphered mobile, as shown
    // The first text filter reads the columns under a progress box; stopped there, the
    // rows stay sorted and unfiltered, and the next try reads them anew.
    int asked = 0;
    EXPECT_FALSE(file_grid.order()->PrepareFilter(filter, [&](int, int total) {
        ++asked;
        EXPECT_EQ(total, 2500);
        return false;
    }));
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(file_grid.order()->Filtered());
    EXPECT_EQ(file_grid.model()->rowCount(), 2500);
    EXPECT_EQ(file_grid.model()->index(0, 4).data().toString(), QStringLiteral("6"));
    ASSERT_TRUE(file_grid.ApplyFilter(filter));
    EXPECT_EQ(file_grid.order()->ShownCount(), 100) << "records 2400 to 2499";
    filter.text.clear();
    filter.province = widgets::LocationIndex::Shared().Locate("浙江").province;
    ASSERT_TRUE(file_grid.ApplyFilter(filter));
    EXPECT_EQ(file_grid.order()->ShownCount(), 500);

    // The search walks the rows as shown: the first 李四 below row 1 of the sorted page.
    const int found = file_grid.FindShownRow(5, "李四", 0);
    ASSERT_GE(found, 0);
    EXPECT_EQ(file_grid.model()->index(found, 5).data().toString(), QStringLiteral("李四"));
    EXPECT_EQ(found, 0) << "record 20: index 6, 李四, 宁波";
    EXPECT_EQ(file_grid.RecordAt(found), 19);
}

class GridCommandsAsShown : public MainWindowFixture {
protected:
    MemberGridView* OpenSortedPage() {
        InsertTask("灯具", site.SearchUrl("灯具"));
        WriteDataFile(DataFile("灯具"), 4, [](int i, MemberValues& v) { v = Values(kCompanies[i - 1], i); });
        window->commands().LoadTasks();
        window->commands().FillTaskListGrid();
        window->pages().OpenViewPage(QStringLiteral("灯具"), DataFile("灯具"));
        MemberGridView* grid = window->pages().ShownPage()->record().MemberGrid;
        grid->SortByColumn(1, Qt::AscendingOrder);  // 阿里, 北方, 李氏, 张记
        return grid;
    }
};

TEST_F(GridCommandsAsShown, LinksCopyExportAndTheCounterUseTheRecordsOfTheShownRows) {
    MemberGridView* grid = OpenSortedPage();
    std::vector<QUrl> opened;
    widgets::UrlOpener previous = widgets::SetUrlOpener([&](const QUrl& url) {
        opened.push_back(url);
        return true;
    });
    grid->setCurrentIndex(grid->model()->index(0, 1));
    window->pages().gridMenu().actMemberDetailDataGrid->trigger();
    widgets::SetUrlOpener(previous);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toString(), QStringLiteral("http://detail/3")) << "阿里照明 is record 3";

    grid->selectionModel()->select(QItemSelection(grid->model()->index(0, 1), grid->model()->index(1, 1)),
                                   QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(widgets::SelectedCellsText(*grid), QStringLiteral("阿里照明ABC\n北方机械"));
    EXPECT_EQ(grid->SelectedRecords(), std::vector<int>({2, 3}));

    RecordFilter filter;
    filter.text = QStringLiteral("照明");
    grid->ApplyFilter(filter);
    EXPECT_EQ(StatusText(), QStringLiteral("显示 1 条，共 4 条，当前第 1 条"));
    widgets::MemberGridSource shown(*grid);
    ASSERT_EQ(shown.RowCount(), 2);
    EXPECT_EQ(shown.CellText(1, 0), "3");
    EXPECT_EQ(shown.CellText(1, 1), "阿里照明ABC");
    widgets::MemberGridSource all(*grid, widgets::ExportedRows::All);
    ASSERT_EQ(all.RowCount(), 5);
    EXPECT_EQ(all.CellText(1, 1), "张记五金");

    // The export asks which records go out; cancelling asks for no file.
    messages.Clear();
    messages.answers = {2};
    widgets::doExportToExcel(window.get(), *grid, {}, 0);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.Last(), "筛选后显示 1 条记录（共 4 条）。要导出哪些记录？");
}

TEST_F(GridCommandsAsShown, TheSearchAcrossTasksSortsFiltersAndCountsItsHitsInTheStatusBar) {
    MemberGridView* grid = OpenSortedPage();
    RecordFilter hide_all;
    hide_all.text = QStringLiteral("没有的");
    grid->ApplyFilter(hide_all);
    tasks::FindPage& page = window->findPage();
    window->mainPages()->setCurrentWidget(&page);
    page.textBox()->setText(QStringLiteral("号"));
    page.StartSearch();
    ASSERT_TRUE(RunUntil([&] { return !page.Searching(); }));
    ASSERT_EQ(page.results()->rowCount(), 4);
    EXPECT_EQ(StatusText(), QStringLiteral("找到 4 条记录"));

    QHeaderView* header = page.results()->horizontalHeader();
    emit header->sectionClicked(1);
    auto names = [&] {
        QStringList texts;
        for (int r = 0; r < page.results()->rowCount(); ++r)
            if (!page.results()->isRowHidden(r)) texts << page.results()->item(r, 1)->text();
        return texts;
    };
    EXPECT_EQ(names(), Texts({"阿里照明ABC", "北方机械", "李氏灯具", "张记五金"}));
    emit header->sectionClicked(1);
    EXPECT_EQ(names(), Texts({"张记五金", "李氏灯具", "北方机械", "阿里照明ABC"}));

    page.filterBar()->textBox()->setText(QStringLiteral("深圳"));
    QTest::keyClick(page.filterBar()->textBox(), Qt::Key_Return);
    EXPECT_EQ(names(), Texts({"张记五金", "阿里照明ABC"}));
    EXPECT_EQ(StatusText(), QStringLiteral("显示 2 条，共 4 条"));

    // A double-click opens the record even where the page's own filter hid it.
    int row = 0;
    while (page.results()->isRowHidden(row) || page.results()->item(row, 1)->text() != QStringLiteral("阿里照明ABC")) ++row;
    emit page.results()->cellDoubleClicked(row, 1);
    EXPECT_FALSE(grid->order()->Filtered());
    EXPECT_EQ(grid->CurrentRecord(), 2);
}

}  // namespace
}  // namespace qv::test
