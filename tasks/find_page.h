#pragma once
// 任务 → 在所有任务中查找...: a text in a field of every task's records, with the hits listed
// by task as they are found. The search runs off the GUI thread and can be stopped; a
// double-click on a hit asks for that task's page at that record.
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "core/task_file.h"
#include "widgets/grid_filter_bar.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTimer;

namespace qv::tasks {

class TaskCommands;
class TaskPages;

// At most this many hits are listed; a search that finds more stops there.
inline constexpr int kMaxListedHits = 10000;

class FindPage : public QWidget {
    Q_OBJECT
public:
    // `tasks` gives the task list of the moment each search starts.
    explicit FindPage(std::function<std::vector<TaskFile>()> tasks, QWidget* parent = nullptr);
    ~FindPage() override;

    QLineEdit* textBox() const { return text_box_; }
    QComboBox* fieldBox() const { return field_box_; }
    QTableWidget* results() const { return results_; }
    QLabel* statusLabel() const { return status_; }
    widgets::GridFilterBar* filterBar() const { return filter_bar_; }
    bool Searching() const { return worker_.joinable(); }
    // The count for the window's status bar while this page is shown: the hits, and under
    // a filter how many of them are shown.
    QString CountText() const;
    // Sorts the hits by a column as a click on its heading does.
    void SortResults(int column, Qt::SortOrder order);
    // Shows only the hits `filter` takes.
    void ApplyFilter(const widgets::RecordFilter& filter);

    // 查找: clears the list and searches every task that has a data file.
    void StartSearch();
    // 停止: ends a running search; its hits so far stay listed.
    void StopSearch();
    // Puts the cursor in the text box, its text selected.
    void FocusText();

signals:
    void recordChosen(const QString& task, qint64 id);
    // CountText changed.
    void countChanged(const QString& text);

private:
    struct Found;
    // Moves what the search has found into the list; ends the search when it is done.
    void TakeFound();
    void Finish(bool stopped);
    void ShowStatus(bool running);
    // Hides the rows from `first` on that the filter does not take.
    void FilterRows(int first);
    std::vector<int> PlacesBelow(int parent) const;

    std::function<std::vector<TaskFile>()> tasks_of_list_;
    QLineEdit* text_box_ = nullptr;
    QComboBox* field_box_ = nullptr;
    QPushButton* find_button_ = nullptr;
    QPushButton* stop_button_ = nullptr;
    QTableWidget* results_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* timer_ = nullptr;
    widgets::GridFilterBar* filter_bar_ = nullptr;
    widgets::RecordFilter filter_;
    int sort_column_ = -1;
    Qt::SortOrder sort_order_ = Qt::AscendingOrder;

    std::vector<TaskFile> searched_;
    std::shared_ptr<Found> found_;
    std::atomic<bool> stop_{false};
    std::thread worker_;
    int tasks_done_ = 0;
    QStringList failures_;
    bool capped_ = false;
};

// Shows the page of task `name` (opening a viewing page when none is open) with record
// `id` current, and selects the task in the list. Warns when the file or the record is
// gone; a file that cannot be read raises.
void ShowTaskRecord(TaskCommands& commands, TaskPages& pages, const QString& name, std::int64_t id);

}  // namespace qv::tasks
