#pragma once
// What a task's member grid marks of its file's last run: the records it added (bold) and
// the cells it changed (a background colour). Records are known by their MemberID, or by
// their company name when they have none, so the marks follow the rows however the grid
// orders or filters them.
#include <QColor>
#include <QString>
#include <QVariant>

#include <map>
#include <set>
#include <string>
#include <string_view>

namespace qv::widgets {

class ChangeMarks {
public:
    // The marks of the last run of the data file at `path`; none when it has no run that
    // added to or changed what it held (a first full run adds every record: nothing to mark).
    static ChangeMarks OfLastRun(const std::string& path);

    bool empty() const { return added_.empty() && changed_.empty(); }
    int AddedCount() const { return static_cast<int>(added_.size()); }
    int ChangedCount() const { return changed_cells_; }
    // A record's key from its shown MemberID and company name.
    static std::string KeyOf(std::string_view member_id, std::string_view company_name);
    void MarkAdded(const std::string& key) { added_.insert(key); }
    void MarkChanged(const std::string& key, int grid_column);

    // The font or background role of a cell (column 0 .. 31), or an empty QVariant.
    QVariant Data(std::string_view member_id, std::string_view company_name, int grid_column, int role) const;
    // The one line under the grid that says what the marks mean.
    QString Legend() const;

    static QColor ChangedColour() { return QColor(255, 236, 170); }

private:
    std::set<std::string> added_;
    std::map<std::string, std::set<int>> changed_;
    int changed_cells_ = 0;
};

}  // namespace qv::widgets
