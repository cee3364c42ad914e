#include "widgets/change_marks.h"

#include <QBrush>
#include <QFont>

#include <exception>

#include "core/change_log.h"
#include "core/data_files.h"
#include "core/database.h"

namespace qv::widgets {

ChangeMarks ChangeMarks::OfLastRun(const std::string& path) {
    ChangeMarks marks;
    try {
        Connection db(path, DatabaseKind::ReadOnly);
        const std::optional<RunRecord> run = LastRun(db);
        if (!run || run->kind == kRunFull) return marks;
        for (const ChangeRecord& c : ReadChanges(db, run->id)) {
            const std::string key = KeyOf(c.member_id, c.company_name);
            if (c.kind == kChangeAdded) marks.MarkAdded(key);
            if (c.kind != kChangeChanged) continue;
            for (const MemberColumn& column : kMemberColumns)
                if (column.name == c.field && column.grid_column > 0) marks.MarkChanged(key, column.grid_column);
        }
    } catch (const std::exception&) {
        // A file the marks cannot be read from is shown without them.
        return {};
    }
    return marks;
}

std::string ChangeMarks::KeyOf(std::string_view member_id, std::string_view company_name) {
    return member_id.empty() ? "n:" + std::string(company_name) : "m:" + std::string(member_id);
}

void ChangeMarks::MarkChanged(const std::string& key, int grid_column) {
    if (changed_[key].insert(grid_column).second) ++changed_cells_;
}

QVariant ChangeMarks::Data(std::string_view member_id, std::string_view company_name, int grid_column,
                           int role) const {
    if (empty() || (role != Qt::FontRole && role != Qt::BackgroundRole)) return {};
    const std::string key = KeyOf(member_id, company_name);
    if (role == Qt::FontRole) {
        if (!added_.contains(key)) return {};
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    auto it = changed_.find(key);
    if (it == changed_.end() || !it->second.contains(grid_column)) return {};
    return QBrush(ChangedColour());
}

QString ChangeMarks::Legend() const {
    return QStringLiteral("上次运行：粗体为新增的 %1 家公司，底色为变更的 %2 个字段（任务 → 查看变化... 可看变化前后）")
        .arg(AddedCount())
        .arg(ChangedCount());
}

}  // namespace qv::widgets
