#pragma once
// The directory page "阿里巴巴注册会员黄页库": the industry tree on the left, the category
// pages on the right with their own small tab bar.
#include <QWidget>

class QAction;
class QTabWidget;
class QTreeWidget;

namespace qv::directory {

class IndustryPage : public QWidget {
    Q_OBJECT
public:
    explicit IndustryPage(QWidget* parent = nullptr);
    QTabWidget* categoryPages() const { return CategoryPG; }
    QWidget* categoryBar() const { return CategoryBarPL; }
    // Enabled state of the category bar's buttons.
    void UpdateCategoryBarState();

private:
    QTreeWidget* IndustryTV;
    QTabWidget* CategoryPG;
    QWidget* CategoryBarPL;
    QAction* actPrevBar;
    QAction* actNextBar;
    QAction* actCloseTabsheetBar;
};

}  // namespace qv::directory
