#include "directory/industry_page.h"

#include <QAction>
#include <QHBoxLayout>
#include <QSplitter>
#include <QTabWidget>
#include <QTreeWidget>

#include "widgets/tab_bar.h"

namespace qv::directory {

IndustryPage::IndustryPage(QWidget* parent) : QWidget(parent) {
    IndustryTV = new QTreeWidget(this);
    IndustryTV->setObjectName(QStringLiteral("IndustryTV"));
    IndustryTV->setHeaderLabel(QStringLiteral("行业分类"));
    CategoryPG = new QTabWidget(this);
    CategoryPG->setObjectName(QStringLiteral("CategoryPG"));
    CategoryPG->setDocumentMode(true);
    actPrevBar = new QAction(QStringLiteral("<"), this);
    actNextBar = new QAction(QStringLiteral(">"), this);
    actCloseTabsheetBar = new QAction(QStringLiteral("X"), this);
    CategoryBarPL = widgets::NewTabBar(this, {actPrevBar, actNextBar, actCloseTabsheetBar});
    CategoryBarPL->setObjectName(QStringLiteral("CategoryBarPL"));
    CategoryPG->setCornerWidget(CategoryBarPL, Qt::TopRightCorner);
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(IndustryTV);
    splitter->addWidget(CategoryPG);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 600});
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    UpdateCategoryBarState();
}

void IndustryPage::UpdateCategoryBarState() {
    int i = CategoryPG->currentIndex(), n = CategoryPG->count();
    actPrevBar->setEnabled(i > 0);
    actNextBar->setEnabled(i >= 0 && i < n - 1);
    actCloseTabsheetBar->setEnabled(i >= 0);
}

}  // namespace qv::directory
