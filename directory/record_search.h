#pragma once
// The search bar above the category pages: the search box SearchCB with its history in
// config.ini, the field list FieldsCB, the button 搜索 (searchBTN) and the TrustPass-only
// box onlyMemberCB. Both commands work on the shown category page.
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QCheckBox;
class QComboBox;
class QPushButton;

namespace qv::directory {

class CategoryPages;

inline constexpr const char* kSeparatorItem = "----------";
inline constexpr const char* kClearListItem = "清空列表";

class RecordSearch : public QWidget {
    Q_OBJECT
public:
    // `status` shows a passing note in the status bar.
    RecordSearch(CategoryPages& pages, std::function<void(const QString&)> status,
                 QWidget* parent = nullptr);

    QComboBox* searchBox() const { return SearchCB; }
    QComboBox* fieldList() const { return FieldsCB; }
    QPushButton* searchButton() const { return searchBTN; }
    QCheckBox* onlyMemberBox() const { return onlyMemberCB; }
    int LastFoundRow() const { return last_found_row_; }

    // The drop-down list from the settings: the stored texts, then the two fixed items.
    void LoadSearchHistory();
    // The button and the box work only while a category page exists.
    void SetCommandsEnabled(bool enabled);

    void SearchCBChange();
    void searchBTNClick();
    void onlyMemberCBClick();
    // Unticks the box; when it was ticked, the shown page gets all its records back first.
    void UntickOnlyMember();
    // Ctrl+F: the search box takes the focus with its text selected.
    void FocusSearchBox();

private:
    void RememberSearchText(const std::string& text);
    void ResetSearchBox();

    // What the last search looked for; another one starts from the top.
    struct SearchWalk {
        QString text;
        int field = -1;
        QPointer<QWidget> page;
        bool operator==(const SearchWalk& other) const {
            return text == other.text && field == other.field && page == other.page;
        }
    };

    CategoryPages& pages_;
    std::function<void(const QString&)> status_;
    SearchWalk walk_;
    QComboBox* SearchCB;
    QComboBox* FieldsCB;
    QPushButton* searchBTN;
    QCheckBox* onlyMemberCB;
    // The grid row of the last hit, -1 for none; one for the whole window.
    int last_found_row_ = -1;
};

}  // namespace qv::directory
