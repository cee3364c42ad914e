#include "directory/industry_tree.h"

#include <QApplication>
#include <QIcon>
#include <QStyle>

#include <map>
#include <optional>
#include <vector>

#include "core/data_module.h"
#include "core/database.h"
#include "core/profile.h"
#include "core/text.h"

namespace qv::directory {
namespace {

QIcon NodeIcon(QStyle::StandardPixmap normal, QStyle::StandardPixmap selected) {
    QStyle* style = QApplication::style();
    QIcon icon;
    icon.addPixmap(style->standardPixmap(normal), QIcon::Normal);
    icon.addPixmap(style->standardPixmap(selected), QIcon::Selected);
    return icon;
}

QString TrimmedName(const DataPacket& packet, size_t row) {
    return QString::fromStdString(Trim(packet.Text(row, "Name")));
}

// Ends the tree's batch update however the loading ends.
class BatchUpdate {
public:
    explicit BatchUpdate(QTreeWidget* tree) : tree_(tree) { tree_->setUpdatesEnabled(false); }
    ~BatchUpdate() { tree_->setUpdatesEnabled(true); }
    BatchUpdate(const BatchUpdate&) = delete;
    BatchUpdate& operator=(const BatchUpdate&) = delete;

private:
    QTreeWidget* tree_;
};

}  // namespace

const TIndustry* IndustryOf(const QTreeWidgetItem* item) {
    auto* node = dynamic_cast<const IndustryItem*>(item);
    return node ? &node->record() : nullptr;
}

void LoadIndustryTree(QTreeWidget* tree) {
    auto* root = new IndustryItem(TIndustry{});
    root->setText(0, QStringLiteral("阿里巴巴公司黄页库"));
    root->setIcon(0, NodeIcon(QStyle::SP_DriveNetIcon, QStyle::SP_DriveNetIcon));
    tree->addTopLevelItem(root);
    {
        BatchUpdate batch(tree);
        const QIcon group_icon = NodeIcon(QStyle::SP_DirClosedIcon, QStyle::SP_DirOpenIcon);
        const QIcon category_icon = NodeIcon(QStyle::SP_FileIcon, QStyle::SP_FileLinkIcon);
        // A failed query reads as no rows, as the facade hands back no packet.
        DataPacket groups = MiddleObj->QueryRecords("SELECT * FROM Industry ORDER BY ID").value_or(DataPacket{});
        std::multimap<long long, IndustryItem*> groups_by_id;
        for (size_t r = 0; r < groups.rows.size(); ++r) {
            TIndustry record;
            record.Level = ilGroup;
            record.ID = static_cast<int>(groups.Integer(r, "ID"));
            record.Name = TrimmedName(groups, r);
            auto* group = new IndustryItem(record);
            group->setText(0, record.Name);
            group->setIcon(0, group_icon);
            root->addChild(group);
            groups_by_id.emplace(record.ID, group);
        }
        DataPacket categories =
            MiddleObj->QueryRecords("SELECT * FROM IndustryDetail ORDER BY ParentID,ID").value_or(DataPacket{});
        for (size_t r = 0; r < categories.rows.size(); ++r) {
            TIndustry record;
            record.Level = ilCategory;
            record.ParentID = static_cast<int>(categories.Integer(r, "ParentID"));
            record.ID = static_cast<int>(categories.Integer(r, "ID"));
            record.Name = TrimmedName(categories, r);
            record.URL = QString::fromStdString(categories.Text(r, "URL"));
            // Every group of that ID gets the category; a row of no group adds nothing.
            auto [first, last] = groups_by_id.equal_range(record.ParentID);
            for (auto it = first; it != last; ++it) {
                auto* category = new IndustryItem(record);
                category->setText(0, record.Name);
                category->setIcon(0, category_icon);
                it->second->addChild(category);
            }
        }
    }
    root->setExpanded(true);
}

std::string CategoryFilePath(const std::vector<std::string>& category_dirs, const TIndustry& category) {
    return FindCategoryFile(category_dirs,
                            "1." + std::to_string(category.ID) + "." + category.Name.toStdString() + ".db");
}

void CollapseIndustryTree(QTreeWidget* tree) {
    tree->collapseAll();
    if (QTreeWidgetItem* root = tree->topLevelItem(0)) root->setExpanded(true);
}

}  // namespace qv::directory
