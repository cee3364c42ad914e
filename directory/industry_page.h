#pragma once
// The directory page "阿里巴巴注册会员黄页库": the industry tree CategoryTV on the left; on
// the right the search bar, the category pages with their own small tab bar, and the
// detail panes of the selected record.
#include <QWidget>

class QAction;
class QMenu;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace qv::directory {

class CategoryPages;
class DetailPanes;
class RecordSearch;
struct StatusOutput;

class IndustryPage : public QWidget {
    Q_OBJECT
public:
    IndustryPage(const StatusOutput& status, QWidget* parent = nullptr);
    ~IndustryPage() override;

    QTreeWidget* tree() const { return CategoryTV; }
    QMenu* treeMenu() const { return CategoryPM; }
    QTabWidget* categoryPages() const { return CategoryDataPG; }
    QWidget* categoryBar() const { return CategoryBarPL; }
    CategoryPages& pages() const { return *pages_; }
    RecordSearch& search() const { return *search_; }
    DetailPanes& panes() const { return *panes_; }

    // What the window does when it is first shown.
    void LoadIndustryTree();
    void InitContactGrid();
    void InitCompanyGrid();
    void LoadSearchHistory();
    void UpdateCategoryBarState();
    void FitDetailGrids();

    // Opens the tree's selected category as a page; the root and groups open nothing.
    void CategoryTVDblClick();
    void doCollapse();
    void doExpand();
    // The directory page became the shown main page.
    void MainPageShown();
    // What destroying the window does: every category page closes, the last first.
    void CloseAllCategoryPages();

private:
    void OpenSelectedCategory();

    QTreeWidget* CategoryTV;
    QMenu* CategoryPM;
    QTabWidget* CategoryDataPG;
    QWidget* CategoryBarPL;
    DetailPanes* panes_;
    CategoryPages* pages_;
    RecordSearch* search_;
};

}  // namespace qv::directory
