#include "ui/main_window.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include "core/app_info.h"
#include "core/ini_file.h"
#include "core/version.h"
#include "directory/category_pages.h"
#include "widgets/export_command.h"
#include "directory/industry_page.h"
#include "tasks/merge_command.h"
#include "widgets/grid_copy.h"
#include "widgets/member_links.h"
#include "widgets/tab_bar.h"
#include "tasks/find_page.h"
#include "tasks/task_commands.h"
#include "tasks/task_pages.h"
#include "ui/about_dialog.h"
#include "ui/help_window.h"
#include "ui/application.h"
#include "widgets/dialog_ex.h"
#include "ui/options_dialog.h"
#include "ui/start_page.h"

namespace qv::ui {
namespace {

constexpr int kTaskListHeight = 137;
constexpr int kSplitterHeight = 4;
// How long a passing notice ("链接无效") stays in the status bar.
constexpr int kFlashMessageMs = 4000;

struct ActionSpec {
    const char* name;
    const char* caption;
    QStyle::StandardPixmap icon;
};

constexpr ActionSpec kActions[] = {
    {"actAddTask", "添加任务", QStyle::SP_FileDialogNewFolder},
    {"actDelTask", "删除任务", QStyle::SP_TrashIcon},
    {"actStart", "开始抓取", QStyle::SP_MediaPlay},
    {"actPause", "暂停当前任务", QStyle::SP_MediaPause},
    {"actPauseAll", "暂停所有任务", QStyle::SP_MediaPause},
    {"actCancel", "中止所有任务", QStyle::SP_MediaStop},
    {"actViewData", "查看任务数据", QStyle::SP_FileDialogContentsView},
    {"actRetryFailed", "重新抓取失败的公司", QStyle::SP_BrowserReload},
    {"actViewChanges", "查看变化", QStyle::SP_FileDialogInfoView},
    {"actMergeExport", "合并导出...", QStyle::SP_DialogSaveButton},
    {"actFindInTasks", "在所有任务中查找...", QStyle::SP_FileDialogContentsView},
    {"actOptions", "选项", QStyle::SP_FileDialogDetailedView},
    {"actHelp", "帮助", QStyle::SP_DialogHelpButton},
    {"actResponse", "意见反馈", QStyle::SP_MessageBoxQuestion},
    {"actAbout", "关于", QStyle::SP_MessageBoxInformation},
    {"actContact", "联系信息", QStyle::SP_MessageBoxInformation},
    {"actShowToolbar", "显示工具栏(&T)", QStyle::SP_CustomBase},
    {"actShowStatusbar", "显示状态栏(&S)", QStyle::SP_CustomBase},
    {"actOpenDataFolder", "打开数据文件夹", QStyle::SP_DirOpenIcon},
    {"actClose", "退出", QStyle::SP_DialogCloseButton},
    {"actPrev", "<", QStyle::SP_CustomBase},
    {"actNext", ">", QStyle::SP_CustomBase},
    {"actCloseTabsheet", "X", QStyle::SP_CustomBase},
};

// A command that raises shows its error and the window goes on.
template <typename Fn>
void Guarded(Fn&& fn) {
    try {
        fn();
    } catch (const std::exception& e) {
        widgets::ShowError(QString::fromUtf8(e.what()));
    }
}

// A menu or tool bar entry with a caption of its own that runs `action` and follows its
// enabled state.
QAction* Entry(QObject* owner, QAction* action, const QString& caption) {
    auto* entry = new QAction(action->icon(), caption, owner);
    QObject::connect(entry, &QAction::triggered, action, &QAction::trigger);
    QObject::connect(action, &QAction::changed, entry,
                     [entry, action] { entry->setEnabled(action->isEnabled()); });
    entry->setEnabled(action->isEnabled());
    return entry;
}

void OpenWebPage(const QUrl& url) {
    if (url.scheme() == QStringLiteral("http") || url.scheme() == QStringLiteral("https"))
        widgets::OpenWebAddress(url);
}

}  // namespace

QString WindowCaption() { return QStringLiteral("Quorvane v") + QString::fromUtf8(ProgramVersion()); }

void OpenDataFolder() {
    // The folder of the user's writable files: Data/, database/ and the own category/.
    const QString folder = QString::fromStdString(AppInfo->profile.data_dir);
    if (widgets::OpenUrl(QUrl::fromLocalFile(folder))) return;
    QGuiApplication::clipboard()->setText(folder);
    widgets::ShowInfo(QStringLiteral("没有找到可以打开文件夹的文件管理器。数据文件夹的位置已经复制到剪贴板：\r\n") + folder);
}

TMainFrm::TMainFrm(QWidget* parent)
    : QMainWindow(parent), help_page_(QString::fromStdString(FindHelpPage(ExecutableDir()))) {
    resize(800, 600);
    setWindowIcon(ProgramIcon());
    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    MainPagePG = new QTabWidget(this);
    MainPagePG->setObjectName(QStringLiteral("MainPagePG"));
    MainPagePG->addTab(CreateTaskPage(), QStringLiteral("采集任务管理"));
    directory::StatusOutput status{
        [this](const QString& text) { SetStatusText(text); },
        [this](const QString& text) { statusBar()->showMessage(text, kFlashMessageMs); }};
    industry_page_ = new directory::IndustryPage(status, MainPagePG);
    MainPagePG->addTab(industry_page_, QStringLiteral("阿里巴巴注册会员黄页库"));
    setCentralWidget(MainPagePG);
    // Tab walks the parts of a page (grids leave on Tab instead of walking their cells); the
    // part that has the focus wears the highlight colour, so a keyboard user sees where it is.
    MainPagePG->setStyleSheet(QStringLiteral(
        "QAbstractItemView, QTextBrowser { border: 2px solid palette(midlight); }"
        "QAbstractItemView:focus, QTextBrowser:focus { border: 2px solid palette(highlight); }"));
    ConnectCommands();
    find_page_ = new tasks::FindPage([c = commands_] { return c->TaskFiles(); }, MainPagePG);
    MainPagePG->addTab(find_page_, QStringLiteral("在所有任务中查找"));
    connect(find_page_, &tasks::FindPage::recordChosen, this, [this](const QString& task, qint64 id) {
        MainPagePG->setCurrentIndex(0);
        Guarded([&] { tasks::ShowTaskRecord(*commands_, *pages_, task, id); });
    });
    // The search page counts its own hits in the status bar while it is shown.
    connect(find_page_, &tasks::FindPage::countChanged, this, [this](const QString& text) {
        if (MainPagePG->currentWidget() == find_page_) SetStatusText(text);
    });
    connect(MainPagePG, &QTabWidget::currentChanged, this, [this] { Guarded([this] { MainPagePGChange(); }); });
}

TMainFrm::~TMainFrm() {
    // The pages go first, then the scheduler empties; its messages change nothing on a
    // window that no longer shows.
    hide();
    industry_page_->CloseAllCategoryPages();
    commands_->Shutdown();
}

QAction* TMainFrm::action(const char* name) const {
    return findChild<QAction*>(QString::fromUtf8(name), Qt::FindDirectChildrenOnly);
}

void TMainFrm::CreateActions() {
    for (const ActionSpec& spec : kActions) {
        auto* a = new QAction(QString::fromUtf8(spec.caption), this);
        a->setObjectName(QString::fromUtf8(spec.name));
        if (spec.icon != QStyle::SP_CustomBase) a->setIcon(style()->standardIcon(spec.icon));
    }
    action("actShowToolbar")->setCheckable(true);
    action("actShowStatusbar")->setCheckable(true);
    action("actFindInTasks")->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+F")));
    action("actAddTask")->setShortcut(Qt::Key_Insert);
    action("actStart")->setShortcut(Qt::Key_F5);
    action("actPause")->setShortcut(QKeySequence(QStringLiteral("Ctrl+P")));
    action("actPauseAll")->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+P")));
    action("actCancel")->setShortcut(QKeySequence(QStringLiteral("Shift+F5")));
    action("actClose")->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
    // Delete deletes a task only from the task list (see CreateTaskPage), never while the
    // user works in a grid or a text box.
    action("actDelTask")->setShortcut(QKeySequence::Delete);
    action("actDelTask")->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    // The tool bar may be hidden: the window itself carries the actions, so their keys work.
    for (const ActionSpec& spec : kActions)
        if (action(spec.name) != action("actDelTask")) addAction(action(spec.name));
}

void TMainFrm::CreateMenus() {
    // Entries that only menus show carry a mnemonic; those of the tool bar keep its
    // captions (they change with the state) and have keys instead.
    QMenu* file = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    file->addAction(Entry(this, action("actOpenDataFolder"), QStringLiteral("打开数据文件夹(&D)")));
    file->addSeparator();
    file->addAction(action("actClose"));
    QMenu* tasks = menuBar()->addMenu(QStringLiteral("任务(&T)"));
    tasks->addAction(action("actAddTask"));
    tasks->addAction(action("actStart"));
    tasks->addAction(action("actPause"));
    tasks->addAction(action("actPauseAll"));
    tasks->addAction(action("actCancel"));
    tasks->addAction(action("actDelTask"));
    tasks->addSeparator();
    tasks->addAction(Entry(this, action("actViewData"), QStringLiteral("查看任务数据(&V)...")));
    tasks->addAction(Entry(this, action("actRetryFailed"), QStringLiteral("重新抓取失败的公司(&R)")));
    tasks->addAction(Entry(this, action("actViewChanges"), QStringLiteral("查看变化(&H)...")));
    tasks->addSeparator();
    tasks->addAction(Entry(this, action("actMergeExport"), QStringLiteral("合并导出(&M)...")));
    tasks->addAction(action("actFindInTasks"));
    // Every option is about how tasks collect; the hidden tools menu keeps its place.
    tasks->addSeparator();
    tasks->addAction(Entry(this, action("actOptions"), QStringLiteral("选项(&O)...")));
    QMenu* view = menuBar()->addMenu(QStringLiteral("视图(&V)"));
    view->addAction(action("actShowToolbar"));
    view->addAction(action("actShowStatusbar"));
    QMenu* tools = menuBar()->addMenu(QStringLiteral("工具(&O)"));
    tools->addAction(action("actOptions"));
    tools->menuAction()->setVisible(false);
    QMenu* help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
    QAction* guide = Entry(this, action("actHelp"), QStringLiteral("使用说明"));
    guide->setObjectName(QStringLiteral("actHelpEntry"));
    guide->setShortcut(QKeySequence::HelpContents);
    help->addAction(guide);
    help->addAction(Entry(this, action("actResponse"), QStringLiteral("意见反馈(&V)...")));
    help->addSeparator();
    help->addAction(Entry(this, action("actAbout"), QStringLiteral("关于(&A)...")));
}

void TMainFrm::CreateToolBar() {
    MainTB = addToolBar(QStringLiteral("MainTB"));
    MainTB->setObjectName(QStringLiteral("MainTB"));
    MainTB->setMovable(false);
    MainTB->setFixedHeight(44);
    MainTB->setIconSize(QSize(16, 16));
    MainTB->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    auto add = [this](QAction* a, int width) {
        MainTB->addAction(a);
        MainTB->widgetForAction(a)->setFixedSize(width, 40);
    };
    add(action("actAddTask"), 60);
    MainTB->addSeparator();
    add(action("actStart"), 60);
    add(action("actPause"), 80);
    add(action("actPauseAll"), 80);
    add(action("actCancel"), 80);
    MainTB->addSeparator();
    add(action("actOptions"), 60);
    add(action("actContact"), 60);
    add(action("actClose"), 60);
}

void TMainFrm::CreateStatusBar() {
    notice_panel_ = new QLabel(QStringLiteral("欢迎使用 Quorvane"), this);
    notice_panel_->setFixedWidth(130);
    text_panel_ = new QLabel(this);
    statusBar()->addWidget(notice_panel_);
    statusBar()->addWidget(text_panel_, 1);
}

QWidget* TMainFrm::CreateTaskPage() {
    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->setHandleWidth(kSplitterHeight);
    splitter->setChildrenCollapsible(false);
    taskListSG = new QTableWidget(splitter);
    taskListSG->setObjectName(QStringLiteral("taskListSG"));
    // The viewport's own resize: the list's comes before its viewport has the new width, and
    // a list on a page not shown is resized only when the page comes back.
    taskListSG->viewport()->installEventFilter(this);
    taskListSG->setTabKeyNavigation(false);
    taskListSG->addAction(action("actDelTask"));
    widgets::EnableGridCopy(taskListSG);
    BottomPagePG = new QTabWidget(splitter);
    BottomPagePG->setObjectName(QStringLiteral("BottomPagePG"));
    BottomPagePG->setDocumentMode(true);
    MainWB = new QTextBrowser(BottomPagePG);
    MainWB->setObjectName(QStringLiteral("MainWB"));
    MainWB->setOpenLinks(false);
    connect(MainWB, &QTextBrowser::anchorClicked, this,
            [](const QUrl& url) { OpenWebPage(url); });
    BottomPagePG->addTab(MainWB, QStringLiteral("起始页面"));
    TabBarPL = widgets::NewTabBar(BottomPagePG, {action("actPrev"), action("actNext"),
                                               action("actCloseTabsheet")});
    TabBarPL->setObjectName(QStringLiteral("TabBarPL"));
    BottomPagePG->setCornerWidget(TabBarPL, Qt::TopRightCorner);
    splitter->addWidget(taskListSG);
    splitter->addWidget(BottomPagePG);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({kTaskListHeight, 400});
    return splitter;
}

void TMainFrm::ConnectCommands() {
    pages_ = new tasks::TaskPages(
        BottomPagePG,
        {action("actPrev"), action("actNext"), action("actCloseTabsheet")},
        [this](const QString& text) { SetStatusText(text); });
    tasks::TaskActions acts{action("actAddTask"), action("actStart"), action("actPause"),
                            action("actPauseAll"), action("actCancel"), action("actDelTask"),
                            action("actViewData"),
                            {action("actOptions"), action("actHelp"), action("actResponse"),
                             action("actAbout"), action("actContact"), action("actShowToolbar"),
                             action("actShowStatusbar")},
                            action("actRetryFailed")};
    commands_ = new tasks::TaskCommands(this, taskListSG, *pages_, acts,
                                        [this](const QString& text) { SetStatusText(text); });
    auto bind = [this](const char* name, auto fn) {
        connect(action(name), &QAction::triggered, this, [fn] { Guarded(fn); });
    };
    tasks::TaskCommands* c = commands_;
    bind("actAddTask", [c] { c->doAddTask(); });
    bind("actStart", [c] { c->doStartTask(); });
    bind("actPause", [c] { c->doPauseTask(); });
    bind("actPauseAll", [c] { c->doPauseAllTask(); });
    bind("actCancel", [c] { c->doCancelTask(); });
    bind("actDelTask", [c] { c->doDelTask(); });
    bind("actViewData", [c] { c->doViewData(); });
    bind("actRetryFailed", [c] { c->doRetryFailed(); });
    bind("actViewChanges", [c] { c->doViewChanges(); });
    bind("actMergeExport", [this] { tasks::doMergeExport(this, commands_->TaskFiles()); });
    bind("actFindInTasks", [this] {
        MainPagePG->setCurrentWidget(find_page_);
        find_page_->FocusText();
    });
    bind("actOptions", [this] { ShowOptionsDialog(this); });
    bind("actHelp", [this] { ShowHelp(QString()); });
    bind("actResponse", [this] { ShowHelp(QStringLiteral("feedback")); });
    bind("actAbout", [this] { ShowAboutBox(this); });
    bind("actContact", [this] { ShowAboutBox(this, true); });
    bind("actShowToolbar", [this] { doShowToolbar(); });
    bind("actShowStatusbar", [this] { doShowStatusbar(); });
    bind("actOpenDataFolder", [] { OpenDataFolder(); });
    bind("actClose", [this] { close(); });
    connect(pages_->gridMenu().actExport, &QAction::triggered, this, [this] {
        Guarded([this] {
            if (tasks::TaskDataPage* page = pages_->ShownPage())
                widgets::doExportToExcel(this, *page->record().MemberGrid, page->record().PageKey);
        });
    });
    connect(commands_, &tasks::TaskCommands::allTasksEnded, this, &TMainFrm::NotifyTasksEnded);
}

void TMainFrm::ShowHelp(const QString& part) {
    if (help_page_.isEmpty()) {
        widgets::ShowWarning(QStringLiteral("找不到使用说明（help/index.html），请重新安装程序。"));
        return;
    }
    if (!help_) help_ = new THelpFrm(help_page_, this);
    help_->ShowPart(part);
    help_->show();
    help_->raise();
    help_->activateWindow();
}

THelpFrm* TMainFrm::helpWindow() const { return help_; }

void TMainFrm::SetHelpPage(const QString& page) {
    help_page_ = page;
    delete help_;
}

void TMainFrm::NotifyTasksEnded(const QString& name, const QString& outcome) {
    if (isActiveWindow()) return;
    QApplication::alert(this);
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    if (!tray_) {
        tray_ = new QSystemTrayIcon(windowIcon(), this);
        tray_->setToolTip(WindowCaption());
        connect(tray_, &QSystemTrayIcon::messageClicked, this, [this] {
            showNormal();
            activateWindow();
        });
    }
    tray_->show();
    tray_->showMessage(QStringLiteral("采集任务已全部结束"), name + QStringLiteral("：") + outcome,
                       windowIcon());
}

void TMainFrm::BringForward() {
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
    // Where the window manager refuses to hand over the focus, the task bar flashes.
    QApplication::alert(this);
}

void TMainFrm::SetStatusText(const QString& text) {
    text_panel_->setText(text);
    text_panel_->repaint();
}

void TMainFrm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_once_) return;
    shown_once_ = true;
    Guarded([this] { FormShow(); });
}

void TMainFrm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // Tasks added or deleted on the command line meanwhile show when the user comes back.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && shown_once_ && commands_)
        Guarded([this] { commands_->ReloadTasksIfChanged(); });
}

void TMainFrm::FormShow() {
    MainWB->setHtml(StartPageHtml());
    const std::string& settings = AppInfo->SettingsFile;
    action("actShowToolbar")->setChecked(ReadSetting(settings, settings::kShowToolbar));
    action("actShowStatusbar")->setChecked(ReadSetting(settings, settings::kShowStatusbar));
    MainTB->setVisible(action("actShowToolbar")->isChecked());
    statusBar()->setVisible(action("actShowStatusbar")->isChecked());
    MainPagePG->setCurrentIndex(0);
    setWindowTitle(WindowCaption());
    commands_->InitTaskListGrid();
    industry_page_->InitContactGrid();
    industry_page_->InitCompanyGrid();
    commands_->LoadTasks();
    commands_->FillTaskListGrid();
    commands_->TellRunsNotStartedHere();
    // A tree that fails to load keeps what it has; the rest of the window still comes up.
    Guarded([this] { industry_page_->LoadIndustryTree(); });
    industry_page_->LoadSearchHistory();
    commands_->UpdateTaskActions(commands_->SelectedNumber());
    commands_->UpdateCommandActions();
    pages_->UpdatePageButtons();
    industry_page_->UpdateCategoryBarState();
    FormResize();
}

void TMainFrm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

bool TMainFrm::eventFilter(QObject* watched, QEvent* event) {
    // The task list's remark column follows the list's own width.
    if (watched == taskListSG->viewport() && event->type() == QEvent::Resize && commands_)
        commands_->ResizeTaskListGrid();
    return QMainWindow::eventFilter(watched, event);
}

void TMainFrm::FormResize() {
    // The tab bars are corner widgets of their page controls, so Qt keeps them at the
    // right end of the tab row.
    if (!commands_) return;
    commands_->ResizeTaskListGrid();
    pages_->ResizeShownLogGrid();
    industry_page_->FitDetailGrids();
}

void TMainFrm::MainPagePGChange() {
    if (MainPagePG->currentIndex() == 0) {
        commands_->ShowStatusOfShownPage();
    } else if (MainPagePG->currentWidget() == industry_page_) {
        industry_page_->MainPageShown();
    } else if (MainPagePG->currentWidget() == find_page_) {
        SetStatusText(find_page_->CountText());
    }
}

void TMainFrm::closeEvent(QCloseEvent* event) {
    bool may_close = true;
    Guarded([&] { may_close = commands_->CloseQuery(); });
    if (may_close)
        event->accept();
    else
        event->ignore();
}

void TMainFrm::doShowToolbar() {
    bool shown = action("actShowToolbar")->isChecked();
    WriteSetting(AppInfo->SettingsFile, settings::kShowToolbar, shown);
    MainTB->setVisible(shown);
}

void TMainFrm::doShowStatusbar() {
    bool shown = action("actShowStatusbar")->isChecked();
    WriteSetting(AppInfo->SettingsFile, settings::kShowStatusbar, shown);
    statusBar()->setVisible(shown);
}

}  // namespace qv::ui
