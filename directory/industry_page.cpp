#include "directory/industry_page.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QSplitter>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "core/app_info.h"
#include "directory/category_pages.h"
#include "directory/detail_panes.h"
#include "directory/industry_tree.h"
#include "directory/record_search.h"
#include "widgets/dialog_ex.h"
#include "widgets/guarded.h"
#include "widgets/member_grid.h"
#include "widgets/tab_bar.h"

namespace qv::directory {
namespace {

constexpr int kTreeWidth = 233;
constexpr int kPanesHeight = 328;

QAction* BarAction(const char* caption, const char* name, QObject* owner) {
    auto* action = new QAction(QString::fromUtf8(caption), owner);
    action->setObjectName(QString::fromUtf8(name));
    return action;
}

// The panes below a category's records keep the height they were given (or dragged to)
// while the page has room, and give way down to half of it when it has not: with the
// panes fixed, a window of 800 by 600 left the records two rows.
class PanesAtMostHalf : public QObject {
public:
    PanesAtMostHalf(QSplitter* splitter, int wanted) : QObject(splitter), splitter_(splitter), wanted_(wanted) {
        splitter->installEventFilter(this);
        connect(splitter, &QSplitter::splitterMoved, this, [this] { wanted_ = splitter_->sizes().value(1); });
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        // After the splitter has shared out the new height itself.
        if (watched == splitter_ && event->type() == QEvent::Resize)
            QMetaObject::invokeMethod(this, [this] { Fit(); }, Qt::QueuedConnection);
        return false;
    }

private:
    void Fit() {
        const QList<int> sizes = splitter_->sizes();
        const int total = sizes.value(0) + sizes.value(1);
        const int panes = std::min(wanted_, total / 2);
        if (sizes.size() == 2 && total > 0 && sizes[1] != panes) splitter_->setSizes({total - panes, panes});
    }

    QSplitter* splitter_;
    int wanted_;
};

}  // namespace

IndustryPage::IndustryPage(const StatusOutput& status, QWidget* parent) : QWidget(parent) {
    CategoryTV = new QTreeWidget(this);
    CategoryTV->setObjectName(QStringLiteral("CategoryTV"));
    CategoryTV->setHeaderHidden(true);
    CategoryTV->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CategoryTV->setMouseTracking(true);  // hot tracking
    CategoryTV->viewport()->setCursor(Qt::PointingHandCursor);
    CategoryTV->setContextMenuPolicy(Qt::CustomContextMenu);
    CategoryPM = new QMenu(this);
    CategoryPM->setObjectName(QStringLiteral("CategoryPM"));
    CategoryPM->addAction(QStringLiteral("收起所有节点"), this, &IndustryPage::doCollapse);
    CategoryPM->addAction(QStringLiteral("展开所有节点"), this, &IndustryPage::doExpand);
    connect(CategoryTV, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { CategoryPM->popup(CategoryTV->viewport()->mapToGlobal(at)); });
    connect(CategoryTV, &QTreeWidget::itemDoubleClicked, this, &IndustryPage::CategoryTVDblClick);

    CategoryDataPG = new QTabWidget;
    CategoryDataPG->setObjectName(QStringLiteral("CategoryDataPG"));
    CategoryDataPG->setDocumentMode(true);
    CategoryBar bar{BarAction("<", "actPrevBar", this), BarAction(">", "actNextBar", this),
                    BarAction("X", "actCloseTabsheetBar", this)};
    CategoryBarPL = widgets::NewTabBar(CategoryDataPG, {bar.actPrevBar, bar.actNextBar, bar.actCloseTabsheetBar});
    CategoryBarPL->setObjectName(QStringLiteral("CategoryBarPL"));
    CategoryDataPG->setCornerWidget(CategoryBarPL, Qt::TopRightCorner);

    panes_ = new DetailPanes;
    pages_ = new CategoryPages(CategoryDataPG, bar, panes_, status);
    search_ = new RecordSearch(*pages_, status.flash);
    // Ctrl+F anywhere on this page goes to the search box.
    addAction(pages_->actFind);
    connect(pages_->actFind, &QAction::triggered, search_, &RecordSearch::FocusSearchBox);
    pages_->SetPagesExistHandler([this](bool exist) { search_->SetCommandsEnabled(exist); });

    auto* records = new QSplitter(Qt::Vertical);
    records->setChildrenCollapsible(false);
    records->addWidget(CategoryDataPG);
    records->addWidget(panes_);
    records->setStretchFactor(0, 1);
    records->setSizes({300, kPanesHeight});
    new PanesAtMostHalf(records, kPanesHeight);
    auto* right = new QWidget;
    auto* right_layout = new QVBoxLayout(right);
    right_layout->setContentsMargins(0, 0, 0, 0);
    right_layout->setSpacing(0);
    right_layout->addWidget(search_);
    right_layout->addWidget(records, 1);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(CategoryTV);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({kTreeWidth, 800});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    UpdateCategoryBarState();
}

IndustryPage::~IndustryPage() = default;

void IndustryPage::LoadIndustryTree() { directory::LoadIndustryTree(CategoryTV); }
void IndustryPage::InitContactGrid() { panes_->InitContactGrid(); }
void IndustryPage::InitCompanyGrid() { panes_->InitCompanyGrid(); }
void IndustryPage::LoadSearchHistory() { search_->LoadSearchHistory(); }
void IndustryPage::UpdateCategoryBarState() { pages_->UpdateCategoryBarState(); }
void IndustryPage::FitDetailGrids() { panes_->FitDetailGrids(); }

void IndustryPage::CategoryTVDblClick() {
    widgets::Guarded([this] { OpenSelectedCategory(); });
}

void IndustryPage::OpenSelectedCategory() {
    const TIndustry* category = IndustryOf(CategoryTV->currentItem());
    if (!category || category->Level != ilCategory) return;
    std::string path = CategoryFilePath(AppInfo->profile.CategoryDirs(), *category);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        widgets::ShowWarning(QStringLiteral("没有相应的行业数据。请和软件开发商联系获取。"));
        return;
    }
    search_->UntickOnlyMember();
    if (int open = pages_->FindCategoryPage(category->Name); open >= 0) {
        pages_->ShowPage(open);
        pages_->UpdateCategoryBarState();
        widgets::ShowError(QStringLiteral("数据已经被打开。"));
        return;
    }
    try {
        pages_->OpenCategoryPage(category->Name, path);
    } catch (const std::exception& e) {
        throw std::runtime_error("无法读取行业数据 " + category->Name.toStdString() + "：" + e.what());
    }
}

void IndustryPage::doCollapse() { CollapseIndustryTree(CategoryTV); }

void IndustryPage::doExpand() { CategoryTV->expandAll(); }

void IndustryPage::MainPageShown() {
    // The status panel follows the shown page: a task page's counts never stay here.
    pages_->ShowShownCounter();
    panes_->FitDetailGrids();
}

void IndustryPage::CloseAllCategoryPages() { pages_->CloseAllPages(); }

}  // namespace qv::directory
