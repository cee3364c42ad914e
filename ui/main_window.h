#pragma once
// The main window: menus, tool bar, status bar, the task page (task list above, task data
// pages below) and the directory page. Commands live in the task and directory classes;
// this window only wires them up.
#include <QMainWindow>
#include <QPointer>

#include <memory>

class QAction;
class QLabel;
class QTabWidget;
class QTableWidget;
class QSystemTrayIcon;
class QTextBrowser;
class QToolBar;

namespace qv::directory {
class IndustryPage;
}
namespace qv::tasks {
class FindPage;
class TaskCommands;
class TaskPages;
}

namespace qv::ui {

class THelpFrm;

// The title and the tray's tip: the name and the build's version.
QString WindowCaption();

// 文件 → 打开数据文件夹: the profile's folder of writable files in the file manager.
void OpenDataFolder();

class TMainFrm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainFrm(QWidget* parent = nullptr);
    ~TMainFrm() override;

    tasks::TaskCommands& commands() { return *commands_; }
    tasks::TaskPages& pages() { return *pages_; }
    QAction* action(const char* name) const;
    QToolBar* toolBar() const { return MainTB; }
    QLabel* statusPanel(int index) const { return index == 0 ? notice_panel_ : text_panel_; }
    QTabWidget* bottomPages() const { return BottomPagePG; }
    QWidget* tabBar() const { return TabBarPL; }
    QTabWidget* mainPages() const { return MainPagePG; }
    directory::IndustryPage& industryPage() const { return *industry_page_; }
    tasks::FindPage& findPage() const { return *find_page_; }
    // The second status panel's text, redrawn at once.
    void SetStatusText(const QString& text);
    // Another start of the program asked for this window: shown, raised and activated.
    void BringForward();
    // 使用说明 at the part `part` names ("" for the top); a warning when no guide was found.
    void ShowHelp(const QString& part);
    // The guide the window shows; FindHelpPage's when the window is made.
    void SetHelpPage(const QString& page);
    THelpFrm* helpWindow() const;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    QWidget* CreateTaskPage();
    void ConnectCommands();
    void FormShow();
    void FormResize();
    void MainPagePGChange();
    void doShowToolbar();
    void doShowStatusbar();
    // When the last running task ends while the window is not active, the desktop says so.
    void NotifyTasksEnded(const QString& name, const QString& outcome);

    QToolBar* MainTB = nullptr;
    QTabWidget* MainPagePG = nullptr;
    QTableWidget* taskListSG = nullptr;
    QTabWidget* BottomPagePG = nullptr;
    QTextBrowser* MainWB = nullptr;
    QWidget* TabBarPL = nullptr;
    directory::IndustryPage* industry_page_ = nullptr;
    tasks::FindPage* find_page_ = nullptr;
    QLabel* notice_panel_ = nullptr;
    QLabel* text_panel_ = nullptr;
    tasks::TaskPages* pages_ = nullptr;
    tasks::TaskCommands* commands_ = nullptr;
    QString help_page_;
    QPointer<THelpFrm> help_;  // made when first asked for
    QSystemTrayIcon* tray_ = nullptr;  // made for the first notice, where a tray exists
    bool shown_once_ = false;
};

}  // namespace qv::ui
