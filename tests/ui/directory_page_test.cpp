#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QUrl>

#include <filesystem>
#include <fstream>

#include "core/app_info.h"
#include "core/data_files.h"
#include "core/data_module.h"
#include "core/database.h"
#include "core/ini_file.h"
#include "directory/category_pages.h"
#include "directory/detail_panes.h"
#include "directory/industry_page.h"
#include "directory/industry_tree.h"
#include "directory/record_search.h"
#include "tests/ui/gui_fixture.h"
#include "ui/main_window.h"
#include "widgets/grids.h"
#include "widgets/member_grid.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

// Takes the place of the system browser for the schemes it is registered for.
class BrowserStandIn : public QObject {
    Q_OBJECT
public:
    BrowserStandIn() {
        for (const char* scheme : {"http", "https", "file"})
            QDesktopServices::setUrlHandler(QString::fromUtf8(scheme), this, "open");
    }
    ~BrowserStandIn() override {
        for (const char* scheme : {"http", "https", "file"})
            QDesktopServices::unsetUrlHandler(QString::fromUtf8(scheme));
    }
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};

MemberValues Member(const std::string& company, const std::string& link_man = "",
                    const std::string& type = "诚信通会员") {
    MemberValues v{};
    v[mfCompanyName] = company;
    v[mfLinkMan] = link_man;
    v[mfMemberType] = type;
    return v;
}

// The real window over a project database with two extra tree rows: a second category named
// 粮食 in a group of its own, and a category whose group does not exist.
class DirectoryTest : public ProgramFixture {
protected:
    DirectoryTest() {
        fs::create_directories(AppInfo->CategoryDir);
        MiddleObj->ExecuteSQL("INSERT INTO Industry VALUES (90, '  测试组 ')");
        MiddleObj->ExecuteSQL("INSERT INTO IndustryDetail VALUES (9001, 90, '粮食', 'http://x/9001')");
        MiddleObj->ExecuteSQL("INSERT INTO IndustryDetail VALUES (9901, 99, '无组', 'http://x/9901')");
        window = std::make_unique<ui::TMainFrm>();
        window->show();
        window->mainPages()->setCurrentIndex(1);
        QApplication::processEvents();
    }
    ~DirectoryTest() override { window.reset(); }

    directory::IndustryPage& Page() { return window->industryPage(); }
    directory::CategoryPages& Pages() { return Page().pages(); }
    directory::RecordSearch& Search() { return Page().search(); }

    std::string CategoryFile(int id, const std::string& name) {
        return AppInfo->CategoryDir + "1." + std::to_string(id) + "." + name + ".db";
    }

    std::string MakeCategoryFile(int id, const std::string& name, const std::vector<MemberValues>& records) {
        std::string path = CategoryFile(id, name);
        CreateDatabaseFile(path, true);
        ExecuteOnDatabaseFile(path, kCreateDataListSql);
        Connection db(path, DatabaseKind::Project);
        db.Query("PRAGMA journal_mode=DELETE");  // as supplied files come
        for (const MemberValues& v : records) db.Execute(BuildInsertStatement(v));
        return path;
    }

    QTreeWidgetItem* Node(int id, int level = directory::ilCategory) {
        for (QTreeWidgetItemIterator it(Page().tree()); *it; ++it)
            if (auto* r = directory::IndustryOf(*it); r && r->ID == id && r->Level == level) return *it;
        return nullptr;
    }

    void DoubleClick(QTreeWidgetItem* item) {
        ASSERT_TRUE(item);
        Page().tree()->setCurrentItem(item);
        emit Page().tree()->itemDoubleClicked(item, 0);
    }
    void Open(int id) { DoubleClick(Node(id)); }

    widgets::MemberGridView* ShownGrid() {
        directory::CategoryPage* page = Pages().ShownPage();
        return page ? page->record().MemberGrid : nullptr;
    }
    widgets::MemberGridModel& Shown() { return *ShownGrid()->memberModel(); }
    QString ShownCaption() {
        QTabWidget* pg = Page().categoryPages();
        return pg->currentIndex() < 0 ? QString() : pg->tabText(pg->currentIndex());
    }
    QString ShownCompany(int record) { return Shown().Cell(record, 1); }
    void SelectGridRow(int row) { ShownGrid()->setCurrentIndex(Shown().index(row - 1, 1)); }

    QString ContactValue(int row) { return widgets::CellText(Page().panes().contactGrid(), row, 1); }
    QString CompanyValue(int row) { return widgets::CellText(Page().panes().companyGrid(), row, 1); }
    QString StatusText() const { return window->statusPanel(1)->text(); }
    bool BarEnabled(const char* name) { return Page().findChild<QAction*>(QString::fromUtf8(name))->isEnabled(); }
    void TriggerBar(const char* name) { Page().findChild<QAction*>(QString::fromUtf8(name))->trigger(); }

    void SearchFor(const QString& text, int field) {
        Search().searchBox()->setEditText(text);
        Search().fieldList()->setCurrentIndex(field);
        Search().searchButton()->click();
    }
    std::string History(const char* key) {
        return TIniFileEx::ReadString(AppInfo->SettingsFile, "Searchs", key, "");
    }
    QStringList SearchItems() {
        QStringList items;
        for (int i = 0; i < Search().searchBox()->count(); ++i) items << Search().searchBox()->itemText(i);
        return items;
    }

    std::unique_ptr<ui::TMainFrm> window;
};

TEST_F(DirectoryTest, TreeHoldsTheGroupsWithTheirCategoriesAndOnlyCategoriesOpen) {
    QTreeWidget* tree = Page().tree();
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree->topLevelItem(0);
    EXPECT_EQ(root->text(0), QStringLiteral("阿里巴巴公司黄页库"));
    EXPECT_EQ(directory::IndustryOf(root)->Level, directory::ilRoot);
    EXPECT_TRUE(root->isExpanded());
    auto groups = MiddleObj->QueryRecords("SELECT COUNT(*) AS n FROM Industry")->Integer(0, "n");
    ASSERT_EQ(root->childCount(), groups);
    QTreeWidgetItem* farming = root->child(0);
    EXPECT_EQ(farming->text(0), QStringLiteral("农业"));
    EXPECT_FALSE(farming->isExpanded());
    ASSERT_GE(farming->childCount(), 2);
    EXPECT_EQ(farming->child(0)->text(0), QStringLiteral("粮食"));
    EXPECT_EQ(farming->child(1)->text(0), QStringLiteral("蔬菜"));
    const directory::TIndustry* grain = directory::IndustryOf(farming->child(0));
    EXPECT_EQ(grain->ID, 101);
    EXPECT_EQ(grain->ParentID, 1);
    EXPECT_EQ(grain->URL, QStringLiteral("http://china.alibaba.com/category/101.html"));
    QTreeWidgetItem* test_group = Node(90, directory::ilGroup);
    ASSERT_TRUE(test_group);
    EXPECT_EQ(test_group->text(0), QStringLiteral("测试组")) << "names are trimmed";
    ASSERT_EQ(test_group->childCount(), 1);
    EXPECT_EQ(Node(9901), nullptr) << "a category of no group is not in the tree";

    Page().doExpand();
    EXPECT_TRUE(farming->isExpanded());
    Page().doCollapse();
    EXPECT_TRUE(root->isExpanded());
    EXPECT_FALSE(farming->isExpanded());

    // The root and the groups open nothing and say nothing, even with a file at hand.
    MakeCategoryFile(1, "农业", {Member("甲")});
    DoubleClick(root);
    DoubleClick(farming);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(Pages().PageCount(), 0);
    EXPECT_FALSE(BarEnabled("actCloseTabsheetBar"));
    EXPECT_FALSE(Search().searchButton()->isEnabled());
    EXPECT_FALSE(Search().onlyMemberBox()->isEnabled());
}

TEST_F(DirectoryTest, OpeningACategoryShowsItsRecordsAndTheFirstOneInThePanes) {
    MemberValues first = Member("杭州甲公司", "张三");
    first[mfMemberID] = "zhangsan88";
    first[mfPhone] = "0571-1234567";
    first[mfAddress] = "  杭州市西湖区  ";
    first[mfProduct] = "茶叶 ";
    first[mfBank] = "中国银行";
    first[mfCompanyContext] = "  本公司专营茶叶。";
    first[mfCmpDetail] = " http://a.example/detail ";
    std::string path = MakeCategoryFile(101, "粮食", {first, Member("乙公司", "李四", "普通会员"), Member("丙公司")});
    {
        // One damaged cipher cell: shown as stored, blanks and all, and the page still opens.
        Connection db(path, DatabaseKind::Project);
        db.Execute("UPDATE DataList SET Phone=' 不是密文ZZ ' WHERE ID=2");
    }
    Open(101);
    ASSERT_EQ(Pages().PageCount(), 1);
    EXPECT_EQ(ShownCaption(), QStringLiteral("粮食"));
    EXPECT_EQ(Pages().ShownPage()->record().PageKey, QStringLiteral("粮食"));
    EXPECT_TRUE(IsPathOpen(path)) << "the file stays open while its page exists";
    EXPECT_EQ(Connection(path, DatabaseKind::Project).Query("PRAGMA journal_mode").rows[0][0], "delete")
        << "reading leaves the supplied file as it is";
    ASSERT_EQ(Shown().RecordCount(), 3);
    EXPECT_EQ(Shown().Cell(0, 0), QStringLiteral("1"));
    EXPECT_EQ(Shown().Cell(2, 0), QStringLiteral("3"));
    EXPECT_EQ(ShownCompany(0), QStringLiteral("杭州甲公司"));
    EXPECT_EQ(Shown().Cell(0, 9), QStringLiteral("0571-1234567"));
    EXPECT_EQ(Shown().Cell(0, 11), QStringLiteral("  杭州市西湖区  ")) << "plain values are not trimmed";
    EXPECT_EQ(Shown().Cell(0, 15), QStringLiteral("茶叶 "));
    EXPECT_EQ(Shown().Cell(0, 30), QStringLiteral(" http://a.example/detail "));
    EXPECT_EQ(Shown().Cell(1, 9), QStringLiteral(" 不是密文ZZ "));

    // Row 1 in both panes.
    EXPECT_EQ(ContactValue(0), QStringLiteral("zhangsan88"));
    EXPECT_EQ(ContactValue(1), QStringLiteral("诚信通会员"));
    EXPECT_EQ(ContactValue(3), QStringLiteral("张三"));
    EXPECT_EQ(ContactValue(7), QStringLiteral("0571-1234567"));
    EXPECT_EQ(widgets::CellText(Page().panes().contactGrid(), 9, 0), QStringLiteral("地址"));
    EXPECT_EQ(CompanyValue(0), QStringLiteral("杭州甲公司"));
    EXPECT_EQ(CompanyValue(2), QStringLiteral("茶叶"));
    EXPECT_EQ(CompanyValue(14), QStringLiteral("中国银行"));
    EXPECT_EQ(Page().panes().introduction()->toPlainText(), QStringLiteral("  本公司专营茶叶。"));
    EXPECT_EQ(StatusText(), QStringLiteral("合计：3 条，当前第 1 条"));
    EXPECT_FALSE(BarEnabled("actPrevBar"));
    EXPECT_FALSE(BarEnabled("actNextBar"));
    EXPECT_TRUE(BarEnabled("actCloseTabsheetBar"));
    EXPECT_TRUE(Search().searchButton()->isEnabled());
    EXPECT_TRUE(Search().onlyMemberBox()->isEnabled());

    SelectGridRow(2);
    EXPECT_EQ(ContactValue(3), QStringLiteral("李四"));
    EXPECT_EQ(ContactValue(1), QStringLiteral("普通会员"));
    EXPECT_EQ(CompanyValue(0), QStringLiteral("乙公司"));
    EXPECT_TRUE(Page().panes().introduction()->toPlainText().isEmpty());
    EXPECT_EQ(StatusText(), QStringLiteral("合计：3 条，当前第 2 条"));

    // Back on the task page the counter is the task page's; the directory page brings its own.
    window->mainPages()->setCurrentIndex(0);
    window->SetStatusText(QStringLiteral("其他"));
    window->mainPages()->setCurrentIndex(1);
    EXPECT_EQ(StatusText(), QStringLiteral("合计：3 条，当前第 2 条"));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(DirectoryTest, MissingEmptyAndAlreadyOpenCategories) {
    // No file: the warning, and nothing changes, the ticked filter box included.
    MakeCategoryFile(102, "蔬菜", {Member("菜一"), Member("菜二")});
    Open(102);
    Search().onlyMemberBox()->click();
    Open(103);
    EXPECT_EQ(messages.Last(), "没有相应的行业数据。请和软件开发商联系获取。");
    EXPECT_EQ(messages.shown.back().kind, widgets::MsgDlgType::mtWarning);
    EXPECT_EQ(Pages().PageCount(), 1);
    EXPECT_TRUE(Search().onlyMemberBox()->isChecked());
    Search().onlyMemberBox()->click();

    // An empty file: a blank row, empty panes.
    MakeCategoryFile(101, "粮食", {});
    Open(101);
    ASSERT_EQ(Pages().PageCount(), 2);
    EXPECT_EQ(Shown().RecordCount(), 0);
    EXPECT_EQ(Shown().GridRowCount(), 2);
    EXPECT_TRUE(ContactValue(0).isEmpty());
    EXPECT_TRUE(CompanyValue(0).isEmpty());
    EXPECT_EQ(StatusText(), QStringLiteral("合计：0 条，当前第 1 条"));
    EXPECT_TRUE(BarEnabled("actPrevBar"));

    // Opening it again shows the page that is open, with the error; so does a category of
    // the same name in another group.
    Pages().doPrevBar();
    EXPECT_EQ(ShownCaption(), QStringLiteral("蔬菜"));
    messages.Clear();
    Open(101);
    EXPECT_EQ(messages.Last(), "数据已经被打开。");
    EXPECT_EQ(messages.shown.back().kind, widgets::MsgDlgType::mtError);
    EXPECT_EQ(ShownCaption(), QStringLiteral("粮食"));
    EXPECT_EQ(Pages().PageCount(), 2);
    EXPECT_FALSE(BarEnabled("actNextBar"));
    Pages().doPrevBar();
    MakeCategoryFile(9001, "粮食", {Member("别组")});
    messages.Clear();
    Open(9001);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"数据已经被打开。"});
    EXPECT_EQ(Pages().PageCount(), 2);
    EXPECT_EQ(Shown().RecordCount(), 0) << "the open page is the one shown";
}

TEST_F(DirectoryTest, FilesThatCannotBeReadShowAnErrorAndAddNoPage) {
    std::ofstream(CategoryFile(101, "粮食"), std::ios::binary) << "this is not a database";
    MakeCategoryFile(103, "水果", {});
    ExecuteOnDatabaseFile(CategoryFile(103, "水果"), "DROP TABLE DataList");
    ExecuteOnDatabaseFile(CategoryFile(103, "水果"), "CREATE TABLE Other (x TEXT)");
    MakeCategoryFile(102, "蔬菜", {Member("菜一")});
    Open(102);

    for (int id : {101, 103}) {
        messages.Clear();
        Open(id);
        ASSERT_EQ(messages.shown.size(), 1u) << id;
        EXPECT_EQ(messages.shown[0].kind, widgets::MsgDlgType::mtError);
        EXPECT_NE(messages.Last().find("无法读取行业数据"), std::string::npos) << messages.Last();
        EXPECT_EQ(Pages().PageCount(), 1);
        EXPECT_EQ(ShownCaption(), QStringLiteral("蔬菜"));
    }
    EXPECT_NE(messages.Last().find("DataList"), std::string::npos) << "the reason is named";
    EXPECT_FALSE(IsPathOpen(CategoryFile(103, "水果")));

    // The filter's statement fails on a file that changed under the page: the error, and
    // the grid keeps its rows.
    ExecuteOnDatabaseFile(CategoryFile(102, "蔬菜"), "DROP TABLE DataList");
    messages.Clear();
    Search().onlyMemberBox()->click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, widgets::MsgDlgType::mtError);
    EXPECT_EQ(Shown().RecordCount(), 1);
    EXPECT_EQ(ShownCompany(0), QStringLiteral("菜一"));
}

TEST_F(DirectoryTest, PageBarMovesAndClosesPagesAfterAsking) {
    MakeCategoryFile(101, "粮食", {Member("甲")});
    MakeCategoryFile(102, "蔬菜", {Member("乙"), Member("丙")});
    MakeCategoryFile(103, "水果", {Member("丁")});
    for (int id : {101, 102, 103}) Open(id);
    ASSERT_EQ(Pages().PageCount(), 3);
    EXPECT_TRUE(BarEnabled("actPrevBar"));
    EXPECT_FALSE(BarEnabled("actNextBar"));
    TriggerBar("actPrevBar");
    TriggerBar("actPrevBar");
    EXPECT_EQ(ShownCaption(), QStringLiteral("粮食"));
    EXPECT_FALSE(BarEnabled("actPrevBar"));
    EXPECT_TRUE(BarEnabled("actNextBar"));
    TriggerBar("actNextBar");
    EXPECT_EQ(ShownCaption(), QStringLiteral("蔬菜"));

    messages.answers.push_back(widgets::mrNo);
    TriggerBar("actCloseTabsheetBar");
    EXPECT_EQ(messages.Last(), "确认要关闭这个页面吗？");
    EXPECT_EQ(Pages().PageCount(), 3);
    std::string path = CategoryFile(102, "蔬菜");
    TriggerBar("actCloseTabsheetBar");
    EXPECT_EQ(Pages().PageCount(), 2);
    EXPECT_FALSE(IsPathOpen(path)) << "closing releases the connection";
    EXPECT_EQ(ShownCaption(), QStringLiteral("水果")) << "the page after the closed one";
    EXPECT_TRUE(ContactValue(1).isEmpty()) << "closing empties the panes";
    TriggerBar("actCloseTabsheetBar");
    EXPECT_EQ(ShownCaption(), QStringLiteral("粮食")) << "the first page after the last";
    TriggerBar("actCloseTabsheetBar");
    EXPECT_EQ(Pages().PageCount(), 0);
    EXPECT_FALSE(BarEnabled("actCloseTabsheetBar"));
    EXPECT_FALSE(Search().searchButton()->isEnabled());
    EXPECT_FALSE(Search().onlyMemberBox()->isEnabled());
    EXPECT_TRUE(CompanyValue(0).isEmpty());
    EXPECT_TRUE(Page().panes().introduction()->toPlainText().isEmpty());

    // Disabled, and a click that gets through anyway does nothing.
    messages.Clear();
    Search().searchBTNClick();
    Search().onlyMemberCBClick();
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(DirectoryTest, SearchWalksFromHitToHitThenReportsAndStartsAtTheTop) {
    MemberValues led = Member("深圳LED灯厂", "王五");
    led[mfProduct] = "LED灯、筒灯";
    MakeCategoryFile(101, "粮食", {Member("甲", "张三"), Member("乙", "李四"), Member("丙", "张三丰"), led,
                                   Member("中文公司", "")});
    Open(101);
    SearchFor(QStringLiteral("张三"), 0);
    EXPECT_EQ(ShownGrid()->CurrentGridRow(), 1);
    EXPECT_EQ(Search().LastFoundRow(), 1);
    Search().searchButton()->click();
    EXPECT_EQ(ShownGrid()->CurrentGridRow(), 3);
    EXPECT_EQ(ContactValue(3), QStringLiteral("张三丰")) << "a hit shows in the panes";
    EXPECT_EQ(StatusText(), QStringLiteral("合计：5 条，当前第 3 条"));
    EXPECT_TRUE(messages.shown.empty());
    // Past the last hit the walk goes on from the top and says so in the status bar.
    Search().searchButton()->click();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(window->statusBar()->currentMessage(), QStringLiteral("已从头开始查找"));
    EXPECT_EQ(Search().LastFoundRow(), 1);
    EXPECT_EQ(ShownGrid()->CurrentGridRow(), 1);

    // Trimmed, case-sensitive, on characters: 形 is the middle two bytes of 中文 in GBK.
    messages.Clear();
    SearchFor(QStringLiteral("  李四 "), 0);
    EXPECT_EQ(Search().LastFoundRow(), 2);
    EXPECT_EQ(History("2"), "李四");
    SearchFor(QStringLiteral("led"), 2);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"未找到符合搜索文字的记录"});
    EXPECT_EQ(messages.shown.back().kind, widgets::MsgDlgType::mtInformation);
    EXPECT_EQ(Search().LastFoundRow(), -1);
    EXPECT_EQ(ShownGrid()->CurrentGridRow(), 1);
    SearchFor(QStringLiteral("LED"), 2);
    EXPECT_EQ(Search().LastFoundRow(), 4);
    SearchFor(QStringLiteral("形"), 1);
    EXPECT_EQ(Search().LastFoundRow(), -1);
    SearchFor(QStringLiteral("文公"), 1);
    EXPECT_EQ(Search().LastFoundRow(), 5);

    // Another page is a new search, from its top, however far the last walk went.
    MakeCategoryFile(102, "蔬菜", {Member("菜", "张三")});
    Open(102);
    messages.Clear();
    SearchFor(QStringLiteral("张三"), 0);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(Search().LastFoundRow(), 1);
}

TEST_F(DirectoryTest, SearchRefusesMissingInputWithoutTouchingHistoryOrTheWalk) {
    MakeCategoryFile(101, "粮食", {Member("甲", "张三"), Member("乙", "张三")});
    Open(101);
    SearchFor(QStringLiteral("张三"), 0);
    ASSERT_EQ(Search().LastFoundRow(), 1);
    messages.Clear();
    SearchFor(QStringLiteral("   "), 0);
    SearchFor(QStringLiteral(" ---------- "), 0);
    SearchFor(QStringLiteral("清空列表"), 0);
    SearchFor(QStringLiteral("李四"), -1);
    EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"请输入需要搜索的文字", "需要搜索的文字无效",
                                                          "需要搜索的文字无效", "请选择要搜索的字段"}));
    for (const auto& m : messages.shown) EXPECT_EQ(m.kind, widgets::MsgDlgType::mtWarning);
    EXPECT_EQ(Search().LastFoundRow(), 1);
    EXPECT_EQ(History("1"), "张三");
    EXPECT_EQ(History("2"), "");
}

TEST_F(DirectoryTest, HistoryKeepsFiveTextsAndTheClearItemEmptiesIt) {
    MakeCategoryFile(101, "粮食", {Member("甲")});
    Open(101);
    for (const char* text : {"一", "二", "三", "四", "五", "六", "二"}) SearchFor(QString::fromUtf8(text), 1);
    EXPECT_EQ(History("1"), "一");
    EXPECT_EQ(History("4"), "四");
    EXPECT_EQ(History("5"), "六") << "the sixth text replaces the fifth";
    EXPECT_EQ(SearchItems(), (QStringList{QStringLiteral("一"), QStringLiteral("二"), QStringLiteral("三"),
                                          QStringLiteral("四"), QStringLiteral("六"),
                                          QStringLiteral("----------"), QStringLiteral("清空列表")}))
        << "the list shows a new text at once";

    // A free slot among the first four is taken first.
    TIniFileEx::WriteString(AppInfo->SettingsFile, "Searchs", "3", "  ");
    SearchFor(QStringLiteral("七"), 1);
    EXPECT_EQ(History("3"), "七");

    Search().LoadSearchHistory();
    QStringList expected{QStringLiteral("一"), QStringLiteral("二"), QStringLiteral("七"),
                         QStringLiteral("四"), QStringLiteral("六"), QStringLiteral("----------"),
                         QStringLiteral("清空列表")};
    EXPECT_EQ(SearchItems(), expected);

    QComboBox* box = Search().searchBox();
    box->setCurrentIndex(1);
    emit box->activated(1);
    EXPECT_EQ(box->currentText(), QStringLiteral("二")) << "an earlier text is simply taken";
    box->setCurrentIndex(5);
    emit box->activated(5);
    EXPECT_TRUE(box->currentText().isEmpty());
    EXPECT_EQ(SearchItems(), expected);
    box->setCurrentIndex(6);
    emit box->activated(6);
    EXPECT_TRUE(box->currentText().isEmpty());
    EXPECT_EQ(SearchItems(), QStringList{} << QStringLiteral("----------") << QStringLiteral("清空列表"));
    for (const char* key : {"1", "2", "3", "4", "5"}) EXPECT_EQ(History(key), "") << key;
}

TEST_F(DirectoryTest, FilterShowsOnlyTrustPassMembersAndOpeningAnotherCategoryUnticksIt) {
    MakeCategoryFile(101, "粮食", {Member("甲"), Member("乙", "", "普通会员"), Member("丙"),
                                   Member("丁", "", "普通会员")});
    MakeCategoryFile(102, "蔬菜", {Member("菜一", "", "普通会员")});
    Open(101);
    SelectGridRow(4);
    QCheckBox* box = Search().onlyMemberBox();
    box->click();
    ASSERT_EQ(Shown().RecordCount(), 2);
    EXPECT_EQ(ShownCompany(0), QStringLiteral("甲"));
    EXPECT_EQ(ShownCompany(1), QStringLiteral("丙"));
    EXPECT_EQ(Shown().Cell(1, 0), QStringLiteral("2"));
    EXPECT_EQ(ShownGrid()->CurrentGridRow(), 1);
    EXPECT_EQ(CompanyValue(0), QStringLiteral("甲"));
    EXPECT_EQ(StatusText(), QStringLiteral("合计：2 条，当前第 1 条"));
    box->click();
    ASSERT_EQ(Shown().RecordCount(), 4);
    EXPECT_EQ(ShownCompany(1), QStringLiteral("乙"));

    // Opening a category while the box is ticked: the shown page gets all its records back,
    // the new page opens unfiltered and the box stays unticked.
    box->click();
    ASSERT_EQ(Shown().RecordCount(), 2);
    Open(102);
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(Shown().RecordCount(), 1);
    Pages().doPrevBar();
    EXPECT_EQ(Shown().RecordCount(), 4);

    // No TrustPass member at all: the grid empties rather than keep the other members.
    Pages().doNextBar();
    box->click();
    EXPECT_EQ(Shown().RecordCount(), 0);
    EXPECT_EQ(Shown().GridRowCount(), 2);
    EXPECT_TRUE(CompanyValue(0).isEmpty());
    EXPECT_EQ(StatusText(), QStringLiteral("合计：0 条，当前第 1 条"));
    box->click();
    EXPECT_EQ(Shown().RecordCount(), 1);
}

TEST_F(DirectoryTest, GridMenuOpensTheDetailAndMessageLinksAndRefusesOthers) {
    BrowserStandIn browser;
    MemberValues a = Member("甲"), b = Member("乙");
    a[mfSendMsgLink] = "http://msg.example/send?id=a";
    a[mfCmpDetail] = "https://detail.example/a.html";
    b[mfCmpDetail] = "file:///etc/passwd";
    MakeCategoryFile(101, "粮食", {a, b});
    Open(101);
    QMenu* menu = Pages().gridMenu();
    ASSERT_EQ(menu->actions().size(), 8);
    EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("查看会员详细信息"));
    EXPECT_TRUE(menu->actions()[1]->isSeparator());
    EXPECT_EQ(menu->actions()[2]->text(), QStringLiteral("发送留言"));
    EXPECT_EQ(menu->actions()[4]->text(), QStringLiteral("复制"));
    EXPECT_EQ(menu->actions()[5]->text(), QStringLiteral("导出到Excel..."));
    EXPECT_EQ(menu->actions()[7]->text(), QStringLiteral("查找..."));

    Pages().actMemberDetail->trigger();
    Pages().actMemberSendMsg->trigger();
    ASSERT_EQ(browser.opened.size(), 2);
    EXPECT_EQ(browser.opened[0], QUrl(QStringLiteral("https://detail.example/a.html")));
    EXPECT_EQ(browser.opened[1], QUrl(QStringLiteral("http://msg.example/send?id=a")));
    EXPECT_TRUE(window->statusBar()->currentMessage().isEmpty());

    SelectGridRow(2);
    Pages().actMemberDetail->trigger();
    Pages().actMemberSendMsg->trigger();
    EXPECT_EQ(browser.opened.size(), 2) << "neither a file: link nor an empty one is handed on";
    EXPECT_EQ(window->statusBar()->currentMessage(), QStringLiteral("链接无效"));
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace qv::test

#include "directory_page_test.moc"
