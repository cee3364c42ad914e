#pragma once
// The industry tree CategoryTV: a root, the industry groups of table Industry and under each
// its categories from IndustryDetail. Each node carries its record.
#include <QString>
#include <QTreeWidget>

#include <string>
#include <vector>

namespace qv::directory {

// Level of a node: the root, an industry group, a category.
enum IndustryLevel : int { ilRoot = -1, ilGroup = 0, ilCategory = 1 };

struct TIndustry {
    int Level = -1;
    int ParentID = -1;
    int ID = -1;
    QString Name;  // trimmed; empty for the root
    QString URL;   // categories only, as stored
};

// A tree node that owns its record; it goes with the node.
class IndustryItem : public QTreeWidgetItem {
public:
    explicit IndustryItem(TIndustry record) : record_(std::move(record)) {}
    const TIndustry& record() const { return record_; }

private:
    TIndustry record_;
};

// The record of a node, or nullptr for a node without one.
const TIndustry* IndustryOf(const QTreeWidgetItem* item);

// Builds the tree from the project database in one batch update; the root is expanded and
// the groups stay collapsed. A failure raises after ending the batch update, keeping the
// nodes added so far.
void LoadIndustryTree(QTreeWidget* tree);

// The category's data file: 1.<ID>.<Name>.db in the first of `category_dirs` that has it
// (the user's own folder comes before the shipped one).
std::string CategoryFilePath(const std::vector<std::string>& category_dirs, const TIndustry& category);

// Collapses every node, then expands the root again so that the groups stay visible.
void CollapseIndustryTree(QTreeWidget* tree);

}  // namespace qv::directory
