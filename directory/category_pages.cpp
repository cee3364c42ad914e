#include "directory/category_pages.h"

#include <QAction>
#include <QMenu>
#include <QTabWidget>
#include <QVBoxLayout>

#include "core/database.h"
#include "directory/detail_panes.h"
#include "widgets/export_command.h"
#include "widgets/dialog_ex.h"
#include "widgets/grid_copy.h"
#include "widgets/guarded.h"
#include "widgets/member_grid.h"
#include "widgets/member_links.h"

namespace qv::directory {

CategoryPage::CategoryPage(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

// The grid goes with the page's children, the connection with the record.
CategoryPage::~CategoryPage() = default;

CategoryPages::CategoryPages(QTabWidget* pages, CategoryBar bar, DetailPanes* panes,
                             StatusOutput status)
    : QObject(pages),
      pages_(pages),
      bar_(bar),
      panes_(panes),
      status_(std::move(status)),
      CategoryGridPM(new QMenu(pages)) {
    CategoryGridPM->setObjectName(QStringLiteral("CategoryGridPM"));
    actMemberDetail = CategoryGridPM->addAction(QStringLiteral("查看会员详细信息"));
    actMemberDetail->setObjectName(QStringLiteral("actMemberDetail"));
    CategoryGridPM->addSeparator();
    actMemberSendMsg = CategoryGridPM->addAction(QStringLiteral("发送留言"));
    actMemberSendMsg->setObjectName(QStringLiteral("actMemberSendMsg"));
    CategoryGridPM->addSeparator();
    actCopy = widgets::NewCopyAction(this);
    CategoryGridPM->addAction(actCopy);
    actExport = CategoryGridPM->addAction(QStringLiteral("导出到Excel..."));
    actExport->setObjectName(QStringLiteral("actExportBar"));
    CategoryGridPM->addSeparator();
    actFind = CategoryGridPM->addAction(QStringLiteral("查找..."));
    actFind->setObjectName(QStringLiteral("actFind"));
    actFind->setShortcut(QKeySequence::Find);
    actFind->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(actCopy, &QAction::triggered, this, [this] {
        if (CategoryPage* page = ShownPage()) widgets::CopySelectedCells(*page->record().MemberGrid);
    });
    connect(actExport, &QAction::triggered, this, [this] {
        widgets::Guarded([this] {
            if (CategoryPage* page = ShownPage()) widgets::doExportToExcel(pages_->window(), *page->record().MemberGrid);
        });
    });
    connect(actMemberDetail, &QAction::triggered, this, &CategoryPages::doMemberDetail);
    connect(actMemberSendMsg, &QAction::triggered, this, &CategoryPages::doMemberSendMsg);

    connect(pages_, &QTabWidget::currentChanged, this, [this] {
        if (!changing_page_) CategoryDataPGChange();
    });
    connect(bar_.actPrevBar, &QAction::triggered, this, &CategoryPages::doPrevBar);
    connect(bar_.actNextBar, &QAction::triggered, this, &CategoryPages::doNextBar);
    connect(bar_.actCloseTabsheetBar, &QAction::triggered, this,
            [this] { widgets::Guarded([this] { doCloseTabsheetBar(); }); });
}

int CategoryPages::PageCount() const { return pages_->count(); }

CategoryPage* CategoryPages::PageAt(int index) const {
    return qobject_cast<CategoryPage*>(pages_->widget(index));
}

CategoryPage* CategoryPages::ShownPage() const { return PageAt(pages_->currentIndex()); }

int CategoryPages::FindCategoryPage(const QString& name) const {
    for (int i = 0; i < pages_->count(); ++i)
        if (CategoryPage* page = PageAt(i); page && page->record().PageKey == name) return i;
    return -1;
}

void CategoryPages::ShowPage(int index) {
    changing_page_ = true;
    pages_->setCurrentIndex(index);
    changing_page_ = false;
}

TCategoryTab& CategoryPages::OpenCategoryPage(const QString& name, const std::string& path) {
    // The page only reads, and a shipped category file may sit in a folder nobody writes.
    auto db = std::make_unique<Connection>(path, DatabaseKind::ReadOnly);
    // Read before the page exists, so a file that cannot be read adds no page.
    auto* grid = new widgets::MemberGridView;
    std::unique_ptr<widgets::MemberGridView> owned(grid);
    widgets::InitMemberGrid(grid);
    // The first records show at once; the rest are read as they come into view.
    grid->memberModel()->OpenDataFile(path, widgets::kSelectAllMembers, widgets::CellShowing::AsStored);

    auto* page = new CategoryPage(pages_);
    TCategoryTab& tab = page->record();
    tab.PageKey = name;
    tab.Page = page;
    tab.MemberGrid = owned.release();
    tab.DbConnection = std::move(db);
    tab.Statement = std::string(widgets::kSelectAllMembers);
    grid->setParent(page);
    page->layout()->addWidget(grid);
    connect(grid, &widgets::MemberGridView::cellSelected, this, &CategoryPages::CategoryDataSGSelectCell);
    // The total grows while the file is walked.
    connect(grid->memberModel(), &QAbstractItemModel::rowsInserted, page, [this, page, grid] {
        if (ShownPage() == page) ShowRecordCounter(grid->CurrentGridRow());
    });
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid, &QWidget::customContextMenuRequested, this, [this, grid](const QPoint& at) {
        // The entries work on the row under the pointer, as a click there would make it.
        QModelIndex index = grid->indexAt(at);
        if (index.isValid()) grid->setCurrentIndex(index);
        CategoryGridPM->popup(grid->viewport()->mapToGlobal(at));
    });

    changing_page_ = true;
    pages_->addTab(page, name);
    pages_->setCurrentWidget(page);
    changing_page_ = false;
    SelectRow(1);
    ShowCategoryRecord(1);
    CategoryDataPGChange();
    return tab;
}

void CategoryPages::FillCategoryGrid(TCategoryTab& tab, std::string_view statement) {
    tab.MemberGrid->memberModel()->OpenDataFile(tab.DbConnection->path(), statement,
                                                widgets::CellShowing::AsStored);
    tab.Statement = std::string(statement);
}

void CategoryPages::SelectRow(int row, int column) {
    CategoryPage* page = ShownPage();
    if (!page) return;
    widgets::MemberGridView* grid = page->record().MemberGrid;
    QModelIndex index = grid->model()->index(row - 1, column);
    grid->setCurrentIndex(index);
    grid->scrollTo(index);
}

void CategoryPages::ShowCategoryRecord(int row) {
    CategoryPage* page = ShownPage();
    if (!page) return;
    panes_->ShowRecord(*page->record().MemberGrid->memberModel(), row - 1);
}

void CategoryPages::CategoryDataSGSelectCell(int, int row) {
    ShowCategoryRecord(row);
    ShowRecordCounter(row);
}

void CategoryPages::CategoryDataPGChange() {
    UpdateCategoryBarState();
    if (CategoryPage* page = ShownPage()) ShowRecordCounter(page->record().MemberGrid->CurrentGridRow());
}

void CategoryPages::UpdateCategoryBarState() {
    int i = pages_->currentIndex(), n = pages_->count();
    bar_.actPrevBar->setEnabled(i > 0);
    bar_.actNextBar->setEnabled(i >= 0 && i < n - 1);
    bar_.actCloseTabsheetBar->setEnabled(i >= 0);
    if (pages_exist_) pages_exist_(n > 0);
}

void CategoryPages::ShowRecordCounter(int row) {
    CategoryPage* page = ShownPage();
    if (!page) {
        status_.set_counter(QString());
        return;
    }
    // As on the task pages: the records, not the grid's rows.
    int records = page->record().MemberGrid->memberModel()->RecordCount();
    status_.set_counter(QStringLiteral("合计：%1 条，当前第 %2 条").arg(records).arg(row));
}

void CategoryPages::doPrevBar() {
    if (pages_->currentIndex() > 0) ShowPage(pages_->currentIndex() - 1);
    UpdateCategoryBarState();
    ShowShownCounter();
}

void CategoryPages::doNextBar() {
    if (pages_->currentIndex() < pages_->count() - 1) ShowPage(pages_->currentIndex() + 1);
    UpdateCategoryBarState();
    ShowShownCounter();
}

void CategoryPages::ShowShownCounter() {
    CategoryPage* page = ShownPage();
    ShowRecordCounter(page ? page->record().MemberGrid->CurrentGridRow() : 0);
}

void CategoryPages::doCloseTabsheetBar() {
    if (widgets::AskConfirm(QStringLiteral("确认要关闭这个页面吗？")) != widgets::mrYes) return;
    int index = pages_->currentIndex();
    if (!PageAt(index)) return;
    CloseCategoryPage(index);
    if (pages_->count() > 0) ShowPage(index < pages_->count() ? index : 0);
    UpdateCategoryBarState();
    panes_->Clear();
    ShowShownCounter();
}

void CategoryPages::CloseCategoryPage(int index) {
    CategoryPage* page = PageAt(index);
    if (!page) return;
    changing_page_ = true;
    pages_->removeTab(index);
    changing_page_ = false;
    delete page;
}

void CategoryPages::CloseAllPages() {
    for (int i = pages_->count() - 1; i >= 0; --i) CloseCategoryPage(i);
}

void CategoryPages::doMemberDetail() { OpenShownLink(widgets::kCmpDetailLinkColumn); }

void CategoryPages::doMemberSendMsg() { OpenShownLink(widgets::kSendMsgLinkColumn); }

void CategoryPages::OpenShownLink(int column) {
    if (CategoryPage* page = ShownPage())
        widgets::OpenMemberLink(*page->record().MemberGrid, column, status_.flash);
}

}  // namespace qv::directory
