#include "tasks/find_page.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <mutex>

#include "core/database.h"
#include "core/find_in_tasks.h"
#include "core/text.h"
#include "tasks/task_commands.h"
#include "tasks/task_pages.h"
#include "widgets/dialog_ex.h"
#include "widgets/grids.h"
#include "widgets/member_grid.h"
#include "widgets/sort_ranks.h"

namespace qv::tasks {
namespace {

constexpr int kTakeEveryMs = 50;

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

// The list's columns: the task, then the record's fields a user tells companies by.
struct ResultColumn {
    const char* heading;
    int field;  // kMemberColumns index; -1 for the task, -2 for the field that held the text
    int width;
};
constexpr ResultColumn kResultColumns[] = {
    {"任务", -1, 100},           {"公司名称", mfCompanyName, 200}, {"会员帐号", mfMemberID, 100},
    {"联系人", mfLinkMan, 60},   {"移动电话", mfMobile, 100},     {"电话", mfPhone, 100},
    {"传真", mfFax, 100},        {"地址", mfAddress, 180},        {"找到的字段", -2, 80},
};
constexpr int kResultColumnCount = static_cast<int>(std::size(kResultColumns));
constexpr int kAddressResultColumn = 7;

// The name of the search field that covers a grid column.
QString FieldNameOf(int grid_column) {
    for (const FindField& f : FindFields())
        for (int c : f.grid_columns)
            if (c == grid_column) return Q(f.name);
    return {};
}

}  // namespace

// What the search thread hands over; taken on the GUI thread.
struct FindPage::Found {
    struct Hit {
        size_t task;
        FindHit hit;
    };
    std::mutex mutex;
    std::vector<Hit> hits;
    std::vector<std::pair<size_t, std::string>> failures;
    int hits_found = 0;
    int tasks_done = 0;
    bool capped = false;  // more hits than the list takes: the search stopped
    bool finished = false;
};

FindPage::FindPage(std::function<std::vector<TaskFile>()> tasks, QWidget* parent)
    : QWidget(parent), tasks_of_list_(std::move(tasks)) {
    setObjectName(QStringLiteral("FindPage"));
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(QStringLiteral("查找："), this));
    text_box_ = new QLineEdit(this);
    text_box_->setObjectName(QStringLiteral("FindTextED"));
    text_box_->setPlaceholderText(QStringLiteral("公司名称、电话、联系人……的一部分"));
    bar->addWidget(text_box_, 1);
    bar->addWidget(new QLabel(QStringLiteral("指定字段："), this));
    field_box_ = new QComboBox(this);
    field_box_->setObjectName(QStringLiteral("FindFieldCB"));
    field_box_->addItem(QStringLiteral("全部字段"));
    for (const FindField& f : FindFields()) field_box_->addItem(Q(f.name));
    bar->addWidget(field_box_);
    find_button_ = new QPushButton(QStringLiteral("查找"), this);
    find_button_->setObjectName(QStringLiteral("FindBTN"));
    stop_button_ = new QPushButton(QStringLiteral("停止"), this);
    stop_button_->setObjectName(QStringLiteral("StopFindBTN"));
    stop_button_->setEnabled(false);
    bar->addWidget(find_button_);
    bar->addWidget(stop_button_);
    layout->addLayout(bar);

    results_ = new QTableWidget(0, kResultColumnCount, this);
    results_->setObjectName(QStringLiteral("FindResultsSG"));
    widgets::ApplyGridLook(results_);
    QStringList headings;
    for (const ResultColumn& c : kResultColumns) headings << QString::fromUtf8(c.heading);
    results_->setHorizontalHeaderLabels(headings);
    for (int c = 0; c < kResultColumnCount; ++c) results_->setColumnWidth(c, kResultColumns[c].width);
    results_->setSelectionBehavior(QAbstractItemView::SelectRows);
    results_->setSelectionMode(QAbstractItemView::SingleSelection);
    results_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    results_->setToolTip(QStringLiteral("双击打开任务页面中的这条记录；单击列标题排序"));
    results_->horizontalHeader()->setSectionsClickable(true);
    results_->horizontalHeader()->setSortIndicatorShown(true);
    results_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    filter_bar_ = new widgets::GridFilterBar(this);
    filter_bar_->SetPlaces([this](int parent) { return PlacesBelow(parent); });
    layout->addWidget(filter_bar_);
    layout->addWidget(results_, 1);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("FindStatusLB"));
    layout->addWidget(status_);

    timer_ = new QTimer(this);
    timer_->setInterval(kTakeEveryMs);
    connect(timer_, &QTimer::timeout, this, &FindPage::TakeFound);
    connect(find_button_, &QPushButton::clicked, this, &FindPage::StartSearch);
    connect(text_box_, &QLineEdit::returnPressed, this, &FindPage::StartSearch);
    connect(stop_button_, &QPushButton::clicked, this, &FindPage::StopSearch);
    connect(results_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        SortResults(column, sort_column_ == column && sort_order_ == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                                           : Qt::AscendingOrder);
    });
    connect(filter_bar_, &widgets::GridFilterBar::filterChanged, this, &FindPage::ApplyFilter);
    connect(results_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        const QTableWidgetItem* task = results_->item(row, 0);
        if (task) emit recordChosen(task->text(), task->data(Qt::UserRole).toLongLong());
    });
}

FindPage::~FindPage() {
    stop_ = true;
    if (worker_.joinable()) worker_.join();
}

void FindPage::FocusText() {
    text_box_->setFocus();
    text_box_->selectAll();
}

void FindPage::StartSearch() {
    const std::string text = Trim(text_box_->text().toStdString());
    if (text.empty()) {
        widgets::ShowWarning(QStringLiteral("请输入需要查找的文字"));
        FocusText();
        return;
    }
    if (Searching()) {
        stop_ = true;
        worker_.join();
    }
    FindQuery query;
    query.text = text;
    if (field_box_->currentIndex() > 0) query.fields.push_back(static_cast<size_t>(field_box_->currentIndex() - 1));
    // A task that never ran has no file to search.
    searched_.clear();
    for (TaskFile& task : tasks_of_list_()) {
        std::error_code ec;
        if (!task.path.empty() && std::filesystem::is_regular_file(task.path, ec))
            searched_.push_back(std::move(task));
    }
    results_->setRowCount(0);
    results_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    sort_column_ = -1;
    failures_.clear();
    tasks_done_ = 0;
    capped_ = false;
    stop_ = false;
    found_ = std::make_shared<Found>();
    worker_ = std::thread([this, query, found = found_, tasks = searched_] {
        FindReport report;
        report.hit = [&](size_t task, FindHit&& hit) {
            std::lock_guard lock(found->mutex);
            if (found->hits_found == kMaxListedHits) {
                found->capped = true;
                stop_ = true;
                return;
            }
            ++found->hits_found;
            found->hits.push_back({task, std::move(hit)});
        };
        report.failed = [&](size_t task, const std::string& reason) {
            std::lock_guard lock(found->mutex);
            found->failures.emplace_back(task, reason);
        };
        report.done = [&](size_t) {
            std::lock_guard lock(found->mutex);
            ++found->tasks_done;
        };
        FindInTasks(tasks, query, report, &stop_);
        std::lock_guard lock(found->mutex);
        found->finished = true;
    });
    find_button_->setEnabled(false);
    stop_button_->setEnabled(true);
    ShowStatus(true);
    timer_->start();
}

void FindPage::StopSearch() {
    if (!Searching()) return;
    stop_ = true;
    worker_.join();
    TakeFound();
    Finish(true);
}

void FindPage::TakeFound() {
    if (!found_) return;
    std::vector<Found::Hit> hits;
    bool finished;
    {
        std::lock_guard lock(found_->mutex);
        hits.swap(found_->hits);
        for (const auto& [task, reason] : found_->failures)
            failures_ << Q(searched_[task].name) + QStringLiteral("：") + Q(reason);
        found_->failures.clear();
        tasks_done_ = found_->tasks_done;
        capped_ = found_->capped;
        finished = found_->finished;
    }
    int row = results_->rowCount();
    results_->setRowCount(row + static_cast<int>(hits.size()));
    for (const Found::Hit& h : hits) {
        for (int c = 0; c < kResultColumnCount; ++c) {
            const ResultColumn& column = kResultColumns[c];
            QString text = column.field == -1   ? Q(searched_[h.task].name)
                           : column.field == -2 ? FieldNameOf(h.hit.grid_column)
                                                : Q(h.hit.record[static_cast<size_t>(column.field)]);
            auto* item = new QTableWidgetItem(text);
            if (c == 0) item->setData(Qt::UserRole, static_cast<qlonglong>(h.hit.id));
            results_->setItem(row, c, item);
        }
        ++row;
    }
    FilterRows(row - static_cast<int>(hits.size()));
    if (finished && Searching()) {
        worker_.join();
        Finish(capped_);
        return;
    }
    if (Searching()) ShowStatus(true);
}

void FindPage::Finish(bool stopped) {
    timer_->stop();
    found_.reset();
    // Hits that came in under a sort join its order.
    if (sort_column_ >= 0) SortResults(sort_column_, sort_order_);
    find_button_->setEnabled(true);
    stop_button_->setEnabled(false);
    ShowStatus(false);
    if (stopped && !capped_)
        status_->setText(QStringLiteral("查找已停止：") + status_->text());
}

void FindPage::ShowStatus(bool running) {
    const int total = static_cast<int>(searched_.size());
    const int hits = results_->rowCount();
    QString text;
    if (running) {
        text = QStringLiteral("正在查找……已查 %1/%2 个任务，找到 %3 条记录").arg(tasks_done_).arg(total).arg(hits);
    } else if (capped_) {
        text = QStringLiteral("找到的记录超过 %1 条，只列出了前 %1 条；请输入更确切的文字或指定字段。")
                   .arg(kMaxListedHits);
    } else {
        text = QStringLiteral("已查 %1/%2 个任务，找到 %3 条记录。").arg(tasks_done_).arg(total).arg(hits);
    }
    if (!failures_.isEmpty())
        text += QStringLiteral("  %1 个任务的数据文件无法读取。").arg(failures_.size());
    status_->setText(text);
    status_->setToolTip(failures_.join(QLatin1Char('\n')));
    emit countChanged(CountText());
}

QString FindPage::CountText() const {
    const int hits = results_->rowCount();
    if (filter_.Empty()) return QStringLiteral("找到 %1 条记录").arg(hits);
    int shown = 0;
    for (int r = 0; r < hits; ++r) shown += results_->isRowHidden(r) ? 0 : 1;
    return QStringLiteral("显示 %1 条，共 %2 条").arg(shown).arg(hits);
}

void FindPage::SortResults(int column, Qt::SortOrder order) {
    if (column < 0 || column >= kResultColumnCount) return;
    const int rows = results_->rowCount();
    widgets::SortRanks ranks;
    std::vector<std::uint32_t> values(static_cast<size_t>(rows));
    for (int r = 0; r < rows; ++r) {
        const QTableWidgetItem* item = results_->item(r, column);
        values[static_cast<size_t>(r)] = ranks.Add(item ? item->text().toStdString() : std::string());
    }
    ranks.Finish();
    const std::vector<int> sorted = widgets::OrderByRanks(ranks, values, order == Qt::DescendingOrder);
    // The rows' items move with them, and with them the task and record a double-click opens.
    std::vector<std::vector<QTableWidgetItem*>> taken(static_cast<size_t>(rows));
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < kResultColumnCount; ++c) taken[static_cast<size_t>(r)].push_back(results_->takeItem(r, c));
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < kResultColumnCount; ++c)
            results_->setItem(r, c, taken[static_cast<size_t>(sorted[static_cast<size_t>(r)])][static_cast<size_t>(c)]);
    sort_column_ = column;
    sort_order_ = order;
    results_->horizontalHeader()->setSortIndicator(column, order);
    FilterRows(0);
}

void FindPage::ApplyFilter(const widgets::RecordFilter& filter) {
    filter_ = filter;
    FilterRows(0);
    emit countChanged(CountText());
}

void FindPage::FilterRows(int first) {
    const std::string needle = widgets::FilterText::Folded(filter_.text.trimmed().toStdString());
    const widgets::LocationIndex& locations = widgets::LocationIndex::Shared();
    for (int r = std::max(0, first); r < results_->rowCount(); ++r) {
        bool shown = true;
        if (filter_.province != 0 || filter_.city != 0) {
            const QTableWidgetItem* address = results_->item(r, kAddressResultColumn);
            const widgets::Place place = locations.Locate(address ? address->text().toStdString() : std::string());
            shown = (filter_.province == 0 || place.province == filter_.province) &&
                    (filter_.city == 0 || place.city == filter_.city);
        }
        if (shown && !needle.empty()) {
            shown = false;
            // The task's name and the fields the list shows; 找到的字段 names a field, not data.
            for (int c = 0; c + 1 < kResultColumnCount && !shown; ++c)
                if (const QTableWidgetItem* item = results_->item(r, c))
                    shown = widgets::FilterText::Folded(item->text().toStdString()).find(needle) != std::string::npos;
        }
        results_->setRowHidden(r, !shown);
    }
}

std::vector<int> FindPage::PlacesBelow(int parent) const {
    const widgets::LocationIndex& locations = widgets::LocationIndex::Shared();
    std::vector<int> found;
    for (int r = 0; r < results_->rowCount(); ++r) {
        const QTableWidgetItem* address = results_->item(r, kAddressResultColumn);
        const widgets::Place place = locations.Locate(address ? address->text().toStdString() : std::string());
        const int fid = parent == 0 ? place.province : (place.province == parent ? place.city : 0);
        if (fid != 0 && std::find(found.begin(), found.end(), fid) == found.end()) found.push_back(fid);
    }
    std::sort(found.begin(), found.end(), [&](int a, int b) { return locations.Position(a) < locations.Position(b); });
    return found;
}

void ShowTaskRecord(TaskCommands& commands, TaskPages& pages, const QString& name, std::int64_t id) {
    int index = pages.FindTaskPage(name);
    if (index < 0) {
        std::string path = TaskFilePath(name);
        if (!std::filesystem::exists(path)) {
            widgets::ShowWarning(QStringLiteral("任务“%1”的数据文件已经不存在。").arg(name));
            return;
        }
        pages.OpenViewPage(name, path);
        index = pages.FindTaskPage(name);
    }
    commands.SelectTaskRow(name);
    pages.ShowPage(index);
    pages.UpdatePageButtons();
    TTaskTab& tab = pages.PageAt(index)->record();
    // The page shows the records in ID order, so the record's row is the count before it.
    const std::string n = std::to_string(id);
    DataPacket place = tab.DbConnection->Query(
        "SELECT (SELECT COUNT(*) FROM DataList WHERE ID < " + n +
        ") AS Before, (SELECT COUNT(*) FROM DataList WHERE ID = " + n + ") AS Here");
    const int row = static_cast<int>(place.Integer(0, "Before"));
    widgets::MemberGridModel& model = *tab.MemberGrid->memberModel();
    if (place.Integer(0, "Here") == 0) {
        widgets::ShowWarning(QStringLiteral("这条记录已经不在任务“%1”的数据文件中。").arg(name));
        return;
    }
    // A large file's rows far down are known once its walk gets there.
    if (row >= model.RecordCount() && !widgets::WaitForAllRecords(model, tab.Page)) return;
    if (row >= model.RecordCount()) return;
    // The record's row as shown; a filter that hides it gives way.
    tab.MemberGrid->ShowRecordAt(row, 1, QAbstractItemView::PositionAtCenter);
    tab.MemberGrid->setFocus();
}

}  // namespace qv::tasks
