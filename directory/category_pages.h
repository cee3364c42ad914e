#pragma once
// The category pages of the directory page (CategoryDataPG): one page per opened category
// file with its member grid, the small page bar "<", ">", "X", the grid's pop-up menu
// CategoryGridPM, and the record counter while the directory page is shown.
#include <QObject>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QAction;
class QMenu;
class QTabWidget;

namespace qv {
class Connection;
}
namespace qv::widgets {
class MemberGridView;
}

namespace qv::directory {

class DetailPanes;

inline constexpr std::string_view kSelectTrustPassMembers =
    "SELECT * FROM DataList WHERE memberType='诚信通会员' ORDER BY ID";

// The page record of a category page.
struct TCategoryTab {
    QString PageKey;  // the category's name; also the page's caption
    QWidget* Page = nullptr;
    widgets::MemberGridView* MemberGrid = nullptr;
    // Open for the page's whole life, so the file stays open while the page exists.
    std::unique_ptr<Connection> DbConnection;
    // The statement whose result the grid shows (all records, or the TrustPass members).
    std::string Statement;
};

class CategoryPage : public QWidget {
    Q_OBJECT
public:
    explicit CategoryPage(QWidget* parent = nullptr);
    ~CategoryPage() override;
    TCategoryTab& record() { return record_; }

private:
    TCategoryTab record_;
};

struct CategoryBar {
    QAction* actPrevBar = nullptr;
    QAction* actNextBar = nullptr;
    QAction* actCloseTabsheetBar = nullptr;
};

// Where the directory page writes in the status bar.
struct StatusOutput {
    std::function<void(const QString&)> set_counter;  // the second panel
    std::function<void(const QString&)> flash;        // a message that goes after a while
};

class CategoryPages : public QObject {
    Q_OBJECT
public:
    CategoryPages(QTabWidget* pages, CategoryBar bar, DetailPanes* panes, StatusOutput status);

    QTabWidget* pageControl() const { return pages_; }
    QMenu* gridMenu() const { return CategoryGridPM; }
    QAction* actMemberDetail = nullptr;   // 查看会员详细信息: link column 30
    QAction* actMemberSendMsg = nullptr;  // 发送留言: link column 29
    QAction* actCopy = nullptr;           // 复制 (Ctrl+C)
    QAction* actExport = nullptr;         // 导出到Excel...
    QAction* actFind = nullptr;           // 查找 (Ctrl+F): the search box; connected by the page

    int PageCount() const;
    CategoryPage* PageAt(int index) const;
    CategoryPage* ShownPage() const;
    // Index of the page whose key is `name` exactly, or -1.
    int FindCategoryPage(const QString& name) const;
    // Shows a page without the page-change steps.
    void ShowPage(int index);

    // Opens `path` as a new, shown page `name` and shows its first record. Database errors
    // raise before any page is added.
    TCategoryTab& OpenCategoryPage(const QString& name, const std::string& path);
    // Reads the page's file with `statement` into its grid; a failure raises and the grid
    // keeps its rows.
    void FillCategoryGrid(TCategoryTab& tab, std::string_view statement);
    // Makes grid row `row` (1 = first record) of the shown page current.
    void SelectRow(int row, int column = 1);
    void ShowCategoryRecord(int row);
    void CategoryDataSGSelectCell(int column, int row);
    void CategoryDataPGChange();
    void UpdateCategoryBarState();
    void ShowRecordCounter(int row);
    // The counter of the shown page at its current row; empty without a page.
    void ShowShownCounter();

    void doPrevBar();
    void doNextBar();
    void doCloseTabsheetBar();
    void CloseCategoryPage(int index);
    // Closes every page, the last first.
    void CloseAllPages();

    void doMemberDetail();
    void doMemberSendMsg();

    // Called with whether any page exists, whenever the bar's state is updated.
    void SetPagesExistHandler(std::function<void(bool)> handler) { pages_exist_ = std::move(handler); }

private:
    void OpenShownLink(int column);

    QTabWidget* pages_;
    CategoryBar bar_;
    DetailPanes* panes_;
    StatusOutput status_;
    QMenu* CategoryGridPM;
    std::function<void(bool)> pages_exist_;
    bool changing_page_ = false;
};

}  // namespace qv::directory
