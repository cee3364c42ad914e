#pragma once
// The add-task dialog: one marketplace search, by keyword and filters or by category.
#include <QDialog>

#include <optional>

#include "tasks/search_url.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QTabWidget;

namespace qv::tasks {

class TfrmAddTask : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAddTask(QWidget* owner);
    // Shows `search` instead of an empty dialog: the search a failed count fetch came
    // from, so that the user changes or retries it without entering it again.
    void ShowSearch(const TAddTaskResult& search) { shown_search_ = search; }
    const TAddTaskResult& result() const { return result_; }
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* BuildKeywordTab();
    QWidget* BuildCategoryTab();
    void LoadProvinces();
    void LoadCities(int code);
    bool TakeKeywordSearch();
    bool TakeCategorySearch();
    void ClearInput();
    void ShowInput(const TAddTaskResult& search);

    QTabWidget* pages_;
    QLineEdit* keyword_;
    QComboBox* province_;
    QComboBox* city_;
    QComboBox* biztype_;
    QComboBox* year_;
    QCheckBox* only_ali_;
    QCheckBox* only_online_;
    QComboBox* category_;
    TAddTaskResult result_;
    std::optional<TAddTaskResult> shown_search_;
};

// Shows the dialog modally, empty or, with `again`, showing `result`; on OK (1) `result`
// holds the search.
int ShowAddTaskDialog(QWidget* owner, TAddTaskResult& result, bool again = false);

}  // namespace qv::tasks
