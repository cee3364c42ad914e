#include "tasks/task_pages.h"

#include <QAction>
#include <QLabel>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/database.h"
#include "engine/fetcher.h"
#include "tasks/detail_download_command.h"
#include "tasks/member_link_commands.h"
#include "widgets/fetch_causes.h"
#include "widgets/grid_copy.h"
#include "widgets/grid_filter_bar.h"
#include "widgets/grids.h"
#include "tasks/changes_page.h"
#include "widgets/change_marks.h"
#include "widgets/member_grid.h"
#include "widgets/dialog_ex.h"

namespace qv::tasks {
namespace {

constexpr int kLogGridHeight = 60;
constexpr int kSplitterHeight = 4;

widgets::MemberGridView* NewMemberGrid(QWidget* parent, TaskPages* pages) {
    auto* grid = new widgets::MemberGridView(parent);
    widgets::InitMemberGrid(grid);
    grid->setTabKeyNavigation(false);  // Tab goes on to the page's next part
    QObject::connect(grid, &widgets::MemberGridView::cellSelected, pages,
                     [pages](int, int row) { pages->ShowRecordCounter(row); });
    QObject::connect(grid, &widgets::MemberGridView::shownRowsChanged, pages, [pages, grid] {
        TaskDataPage* page = pages->ShownPage();
        if (page && page->record().MemberGrid == grid) pages->ShowRecordCounter(grid->CurrentGridRow());
    });
    pages->gridMenu().Attach(grid);
    return grid;
}

}  // namespace

RunPageSink::RunPageSink(widgets::MemberGridView* members, QTableWidget* log)
    : members_(members), log_(log) {}

void RunPageSink::AppendMessage(const std::string& text) {
    if (log_) widgets::AppendLogMessage(log_, QString::fromStdString(text));
}

void RunPageSink::AppendMemberRow(const MemberValues& values) {
    if (members_) members_->memberModel()->QueueMember(values);
}

void RunPageSink::RepaintMembers() {}

void RunPageSink::ShowMessageCause(const std::string& cause, const std::string& proxy) {
    if (!log_ || log_->rowCount() == 0) return;
    const int row = log_->rowCount() - 1;
    const QString shown = widgets::ShownCause(cause, proxy);
    if (QTableWidgetItem* message = log_->item(row, 1)) {
        // "连接失败" alone reads as the marketplace's fault; the line says what failed.
        QString text = message->text();
        const QString failed = QString::fromUtf8(kFetchFailed);
        if (const int at = text.indexOf(failed); at >= 0) {
            text.insert(at + failed.size(), QStringLiteral("（") + shown + QStringLiteral("）"));
            message->setText(text);
        }
    }
    const QString tip = QStringLiteral("原因：") + shown;
    for (int column = 0; column < log_->columnCount(); ++column)
        if (QTableWidgetItem* item = log_->item(row, column)) item->setToolTip(tip);
}

TaskDataPage::TaskDataPage(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

// The grids go with the page's children; the connection with the record.
TaskDataPage::~TaskDataPage() = default;

TaskPages::TaskPages(QTabWidget* bottom, PageButtons buttons,
                     std::function<void(const QString&)> set_status)
    : QObject(bottom),
      bottom_(bottom),
      grid_menu_(new DataGridMenu(bottom)),
      buttons_(buttons),
      set_status_(std::move(set_status)) {
    connect(bottom_, &QTabWidget::currentChanged, this, [this] {
        if (!changing_page_) BottomPagePGChange();
    });
    connect(buttons_.actPrev, &QAction::triggered, this, &TaskPages::doPrev);
    connect(buttons_.actNext, &QAction::triggered, this, &TaskPages::doNext);
    connect(buttons_.actCloseTabsheet, &QAction::triggered, this, &TaskPages::doCloseTabsheet);
    // The commands of the grids' pop-up menu work on the shown page.
    connect(grid_menu_->actCopy, &QAction::triggered, this, [this] {
        if (TaskDataPage* page = ShownPage()) widgets::CopySelectedCells(*page->record().MemberGrid);
    });
    new MemberLinkCommands(*this, this);
    new DetailDownloadCommand(*this, this);
}

int TaskPages::PageCount() const { return bottom_->count(); }

TaskDataPage* TaskPages::PageAt(int index) const {
    return index >= 1 ? qobject_cast<TaskDataPage*>(bottom_->widget(index)) : nullptr;
}

TaskDataPage* TaskPages::ShownPage() const { return PageAt(bottom_->currentIndex()); }

int TaskPages::FindTaskPage(const QString& name) const {
    for (int i = 1; i < bottom_->count(); ++i)
        if (TaskDataPage* page = PageAt(i); page && page->record().PageKey == name) return i;
    return -1;
}

void TaskPages::ShowPage(int index) {
    changing_page_ = true;
    bottom_->setCurrentIndex(index);
    changing_page_ = false;
}

TaskDataPage* TaskPages::AddPage(const QString& name) {
    auto* page = new TaskDataPage(bottom_);
    page->record().PageKey = name;
    page->record().Page = page;
    changing_page_ = true;
    bottom_->addTab(page, name);
    changing_page_ = false;
    return page;
}

TTaskTab& TaskPages::OpenRunPage(const QString& name, const std::string& data_file,
                                 bool show_stored) {
    auto db = std::make_unique<Connection>(data_file, DatabaseKind::DataFile);
    TaskDataPage* page = AddPage(name);
    TTaskTab& tab = page->record();
    tab.Splitter = new QSplitter(Qt::Vertical, page);
    tab.Splitter->setHandleWidth(kSplitterHeight);
    tab.Splitter->setChildrenCollapsible(false);
    tab.MemberGrid = NewMemberGrid(tab.Splitter, this);
    if (show_stored) tab.MemberGrid->memberModel()->LoadDataList(*db);
    QWidget* panel = widgets::WithFilterBar(tab.MemberGrid, tab.Splitter);
    tab.LogGrid = new QTableWidget(tab.Splitter);
    widgets::InitLogGrid(tab.LogGrid);
    tab.LogGrid->setTabKeyNavigation(false);
    tab.Splitter->addWidget(panel);
    tab.Splitter->addWidget(tab.LogGrid);
    tab.Splitter->setStretchFactor(0, 1);
    tab.Splitter->setStretchFactor(1, 0);
    tab.Splitter->setSizes({std::max(1, bottom_->height() - kLogGridHeight), kLogGridHeight});
    page->layout()->addWidget(tab.Splitter);
    tab.DbConnection = std::move(db);
    tab.Sink = std::make_shared<RunPageSink>(tab.MemberGrid, tab.LogGrid);
    ShowPage(bottom_->indexOf(page));
    return tab;
}

TTaskTab& TaskPages::OpenViewPage(const QString& name, const std::string& data_file) {
    // Viewing changes nothing of the file (not its journal mode), and a file the user may
    // only read is opened read-only; a detail download writes through it where it may.
    auto db = std::make_unique<Connection>(data_file, DatabaseKind::Project);
    // Read before the page exists, so a broken file adds no page.
    auto* grid = NewMemberGrid(nullptr, this);
    // The first records show at once; the rest are read as they come into view.
    grid->memberModel()->OpenDataFile(data_file);
    auto marks = std::make_shared<widgets::ChangeMarks>(widgets::ChangeMarks::OfLastRun(data_file));
    TaskDataPage* page = AddPage(name);
    // The total grows while the file is walked.
    connect(grid->memberModel(), &QAbstractItemModel::rowsInserted, page, [this, page] {
        if (ShownPage() == page) ShowRecordCounter(page->record().MemberGrid->CurrentGridRow());
    });
    TTaskTab& tab = page->record();
    tab.MemberGrid = grid;
    page->layout()->addWidget(widgets::WithFilterBar(grid, page));
    if (!marks->empty()) {
        // What the last run added and changed, and one line that says how it is marked.
        grid->memberModel()->SetChangeMarks(marks);
        auto* legend = new QLabel(marks->Legend(), page);
        legend->setObjectName(QStringLiteral("changeLegend"));
        legend->setContentsMargins(4, 2, 4, 2);
        page->layout()->addWidget(legend);
    }
    tab.DbConnection = std::move(db);
    ShowPage(bottom_->indexOf(page));
    BottomPagePGChange();
    return tab;
}

void TaskPages::CloseTaskPage(int index) {
    // A task data page or a 变化 page: every page but the start page.
    QWidget* page = index >= 1 ? bottom_->widget(index) : nullptr;
    if (!page) return;
    changing_page_ = true;
    bottom_->removeTab(index);
    changing_page_ = false;
    delete page;
}

ChangesPage* TaskPages::OpenChangesPage(const QString& name, const std::string& data_file) {
    for (int i = 1; i < bottom_->count(); ++i)
        if (auto* shown = qobject_cast<ChangesPage*>(bottom_->widget(i)); shown && shown->taskName() == name) {
            ShowPage(i);
            UpdatePageButtons();
            return shown;
        }
    // Read before the page is added, so a broken file adds no page.
    auto page = std::make_unique<ChangesPage>(name, data_file);
    changing_page_ = true;
    bottom_->addTab(page.get(), QStringLiteral("变化：") + name);
    changing_page_ = false;
    ChangesPage* added = page.release();
    ShowPage(bottom_->indexOf(added));
    UpdatePageButtons();
    set_status_(QString());
    return added;
}

void TaskPages::CloseAllPages() {
    for (int i = bottom_->count() - 1; i >= 1; --i) CloseTaskPage(i);
}

void TaskPages::doCloseTabsheet() {
    int index = bottom_->currentIndex();
    TaskDataPage* page = PageAt(index);
    if (!page && index >= 1 && widgets::AskConfirm(QStringLiteral("确认要关闭这个页面吗？")) == widgets::mrYes) {
        CloseTaskPage(index);
        ShowPage(index < bottom_->count() ? index : 0);
        UpdatePageButtons();
        ShowShownCounter();
    }
    if (!page) return;
    if (close_guard_) {
        if (!close_guard_(page->record())) return;
    } else if (widgets::AskConfirm(QStringLiteral("确认要关闭这个页面吗？")) != widgets::mrYes) {
        return;
    }
    CloseTaskPage(index);
    ShowPage(index < bottom_->count() ? index : 0);
    UpdatePageButtons();
    ShowShownCounter();
}

void TaskPages::doPrev() {
    if (bottom_->currentIndex() > 0) ShowPage(bottom_->currentIndex() - 1);
    UpdatePageButtons();
    ShowShownCounter();
}

void TaskPages::doNext() {
    if (bottom_->currentIndex() < bottom_->count() - 1) ShowPage(bottom_->currentIndex() + 1);
    UpdatePageButtons();
    ShowShownCounter();
}

void TaskPages::ShowShownCounter() {
    TaskDataPage* page = ShownPage();
    ShowRecordCounter(page ? page->record().MemberGrid->CurrentGridRow() : 0);
}

void TaskPages::UpdatePageButtons() {
    int i = bottom_->currentIndex(), n = bottom_->count();
    buttons_.actPrev->setEnabled(i > 0);
    buttons_.actNext->setEnabled(i < n - 1);
    buttons_.actCloseTabsheet->setEnabled(i > 0);
}

void TaskPages::ShowRecordCounter(int row) {
    TaskDataPage* page = ShownPage();
    if (!page) {
        set_status_(QString());
        counter_records_ = -1;
        return;
    }
    set_status_(widgets::RecordCounterText(*page->record().MemberGrid, row));
    counter_records_ = page->record().MemberGrid->memberModel()->RecordCount();
    counter_shown_ = page->record().MemberGrid->order()->ShownCount();
}

void TaskPages::FollowRecordCounter() {
    TaskDataPage* page = ShownPage();
    // The directory page shares the status panel; while it is shown, its texts stay.
    if (counter_records_ < 0 || !page || !bottom_->isVisible()) return;
    const widgets::MemberGridView& grid = *page->record().MemberGrid;
    if (grid.memberModel()->RecordCount() == counter_records_ && grid.order()->ShownCount() == counter_shown_)
        return;
    ShowRecordCounter(page->record().MemberGrid->CurrentGridRow());
}

void TaskPages::ResizeShownLogGrid() {
    if (TaskDataPage* page = ShownPage()) widgets::ResizeLogGrid(page->record().LogGrid);
}

void TaskPages::BottomPagePGChange() {
    UpdatePageButtons();
    TaskDataPage* page = ShownPage();
    if (!page) return;
    ShowRecordCounter(page->record().MemberGrid->CurrentGridRow());
    emit taskPageChosen(page->record().PageKey);
}

}  // namespace qv::tasks
