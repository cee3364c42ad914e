#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QCheckBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>

#include "core/app_info.h"
#include "core/data_files.h"
#include "core/ini_file.h"
#include "tasks/task_commands.h"
#include "tasks/task_pages.h"
#include "tests/ui/gui_fixture.h"
#include "ui/about_dialog.h"
#include "ui/application.h"
#include "widgets/member_links.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"

namespace qv::test {
namespace {

class MainWindowTest : public MainWindowFixture {
protected:
    void AddViewableTask(const std::string& name) {
        InsertTask(name, site.SearchUrl(name));
        CreateDatabaseFile(DataFile(name), true);
        ExecuteOnDatabaseFile(DataFile(name), kCreateDataListSql);
        window->commands().LoadTasks();
        window->commands().FillTaskListGrid();
        window->commands().UpdateCommandActions();
    }
    void Reopen() {
        window.reset();
        window = std::make_unique<ui::TMainFrm>();
        window->show();
        QApplication::processEvents();
    }
    QStringList MenuTitles() const {
        QStringList titles;
        for (QAction* a : window->menuBar()->actions())
            if (a->isVisible()) titles << a->text();
        return titles;
    }
};

TEST_F(MainWindowTest, MenusAndToolBarCarryTheCommandsWithTheirCaptions) {
    EXPECT_EQ(MenuTitles(), (QStringList{QStringLiteral("文件(&F)"), QStringLiteral("任务(&T)"),
                                         QStringLiteral("视图(&V)"), QStringLiteral("帮助(&H)")}))
        << "the tools menu is hidden";
    QStringList captions;
    for (QAction* a : window->toolBar()->actions())
        captions << (a->isSeparator() ? QStringLiteral("|") : a->text());
    EXPECT_EQ(captions, (QStringList{QStringLiteral("添加任务"), QStringLiteral("|"),
                                     QStringLiteral("开始抓取"), QStringLiteral("暂停当前任务"),
                                     QStringLiteral("暂停所有任务"), QStringLiteral("中止所有任务"),
                                     QStringLiteral("|"), QStringLiteral("选项"),
                                     QStringLiteral("联系信息"), QStringLiteral("退出")}));
    EXPECT_EQ(window->toolBar()->widgetForAction(window->action("actAddTask"))->width(), 60);
    EXPECT_EQ(window->toolBar()->widgetForAction(window->action("actPauseAll"))->width(), 80);
    auto* start = qobject_cast<QToolButton*>(window->toolBar()->widgetForAction(window->action("actStart")));
    ASSERT_TRUE(start);
    EXPECT_EQ(start->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    EXPECT_EQ(window->statusPanel(0)->width(), 130);
}

TEST_F(MainWindowTest, ViewMenuChoicesAreKeptForTheNextStart) {
    EXPECT_TRUE(window->toolBar()->isVisible());
    EXPECT_TRUE(window->statusBar()->isVisible());
    window->action("actShowStatusbar")->trigger();
    EXPECT_FALSE(window->statusBar()->isVisible());
    EXPECT_FALSE(ReadSetting(AppInfo->SettingsFile, settings::kShowStatusbar));
    Reopen();
    EXPECT_FALSE(window->statusBar()->isVisible());
    EXPECT_FALSE(window->action("actShowStatusbar")->isChecked());
    EXPECT_TRUE(window->toolBar()->isVisible()) << "the tool bar keeps its own setting";
}

TEST_F(MainWindowTest, OptionsDialogSavesOnlyOnOk) {
    WhenShown<ui::TOptionsFrm>([](ui::TOptionsFrm* d) {
        d->findChild<QCheckBox*>(QStringLiteral("DetailCHK"))->setChecked(true);
        d->findChild<QPushButton*>(QStringLiteral("CancelBTN"))->click();
    });
    window->action("actOptions")->trigger();
    EXPECT_FALSE(ReadSetting(AppInfo->SettingsFile, settings::kCollectCompanyDetail));
    EXPECT_EQ(TIniFileEx::ReadString(AppInfo->SettingsFile, "Options", "CollectCompanyDetail", "none"),
              "none");

    bool shown_state = true;
    WhenShown<ui::TOptionsFrm>([&](ui::TOptionsFrm* d) {
        shown_state = d->findChild<QCheckBox*>(QStringLiteral("DetailCHK"))->isChecked();
        d->findChild<QPushButton*>(QStringLiteral("OkBTN"))->click();
    });
    window->action("actOptions")->trigger();
    EXPECT_FALSE(shown_state);
    EXPECT_EQ(TIniFileEx::ReadString(AppInfo->SettingsFile, "Options", "CollectCompanyDetail", "none"), "0")
        << "OK writes the value again";

    TIniFileEx::WriteString(AppInfo->SettingsFile, "Options", "CollectCompanyDetail", "0x1");
    WhenShown<ui::TOptionsFrm>([&](ui::TOptionsFrm* d) {
        shown_state = d->findChild<QCheckBox*>(QStringLiteral("DetailCHK"))->isChecked();
        d->reject();
    });
    window->action("actOptions")->trigger();
    EXPECT_TRUE(shown_state);
}

TEST_F(MainWindowTest, OptionsDialogKeepsTheConnectionsPerTask) {
    int shown = 0;
    WhenShown<ui::TOptionsFrm>([&](ui::TOptionsFrm* d) {
        auto* spin = d->findChild<QSpinBox*>(QStringLiteral("ConnectionsSPN"));
        shown = spin->value();
        EXPECT_EQ(spin->minimum(), 1);
        EXPECT_EQ(spin->maximum(), 8);
        spin->setValue(4);
        d->findChild<QPushButton*>(QStringLiteral("OkBTN"))->click();
    });
    window->action("actOptions")->trigger();
    EXPECT_EQ(shown, 1) << "one connection unless chosen";
    EXPECT_EQ(TIniFileEx::ReadString(AppInfo->SettingsFile, "Options", "ConnectionsPerTask", ""), "4");

    // A value written by hand outside 1 to 8 reads as the default.
    TIniFileEx::WriteString(AppInfo->SettingsFile, "Options", "ConnectionsPerTask", "12");
    WhenShown<ui::TOptionsFrm>([&](ui::TOptionsFrm* d) {
        shown = d->findChild<QSpinBox*>(QStringLiteral("ConnectionsSPN"))->value();
        d->reject();
    });
    window->action("actOptions")->trigger();
    EXPECT_EQ(shown, 1);
}

TEST_F(MainWindowTest, PageButtonsAndTheTaskListFollowTheShownPage) {
    AddViewableTask("甲");
    AddViewableTask("乙");
    auto& pages = window->pages();
    EXPECT_FALSE(window->action("actPrev")->isEnabled());
    EXPECT_FALSE(window->action("actCloseTabsheet")->isEnabled());
    EXPECT_FALSE(window->action("actNext")->isEnabled());
    SelectTask("甲");
    window->commands().doViewData();
    SelectTask("乙");
    window->commands().doViewData();
    EXPECT_EQ(pages.PageCount(), 3);
    EXPECT_EQ(window->bottomPages()->currentIndex(), 2);
    EXPECT_TRUE(window->action("actPrev")->isEnabled());
    EXPECT_FALSE(window->action("actNext")->isEnabled());

    // "<" changes the page without touching the task list.
    window->action("actPrev")->trigger();
    EXPECT_EQ(window->bottomPages()->currentIndex(), 1);
    EXPECT_EQ(window->commands().SelectedName(), QStringLiteral("乙"));
    // Picking a page by its tab selects its task.
    window->bottomPages()->tabBar()->setCurrentIndex(2);
    window->bottomPages()->tabBar()->setCurrentIndex(1);
    EXPECT_EQ(window->commands().SelectedName(), QStringLiteral("甲"));
    EXPECT_EQ(StatusText(), QStringLiteral("合计：0 条，当前第 1 条"));
    // Selecting a task shows its page, or the start page when it has none.
    SelectTask("乙");
    EXPECT_EQ(window->bottomPages()->currentIndex(), 2);

    // Closing asks; the page that followed is shown, or the first after the last page.
    window->bottomPages()->tabBar()->setCurrentIndex(1);
    messages.answers = {widgets::mrNo};
    window->action("actCloseTabsheet")->trigger();
    EXPECT_EQ(messages.Last(), "确认要关闭这个页面吗？");
    EXPECT_EQ(pages.PageCount(), 3);
    window->action("actCloseTabsheet")->trigger();
    EXPECT_EQ(pages.PageCount(), 2);
    EXPECT_EQ(pages.ShownPage()->record().PageKey, QStringLiteral("乙"));
    window->action("actCloseTabsheet")->trigger();
    EXPECT_EQ(window->bottomPages()->currentIndex(), 0);
    EXPECT_FALSE(window->action("actCloseTabsheet")->isEnabled());
}

TEST_F(MainWindowTest, TabBarSitsAtTheRightOfTheLowerPageControlAfterAResize) {
    for (QSize size : {QSize(800, 600), QSize(1100, 700)}) {
        window->resize(size);
        QApplication::processEvents();
        QWidget* bar = window->tabBar();
        QPoint right = bar->mapTo(window->bottomPages(), QPoint(bar->width(), 0));
        EXPECT_EQ(bar->size(), QSize(61, 21));
        EXPECT_LE(window->bottomPages()->width() - right.x(), 4) << size.width();
        EXPECT_LT(right.y(), window->bottomPages()->tabBar()->height()) << "level with the tabs";
        // The remark takes what the other shown columns leave.
        QTableWidget* list = window->commands().taskList();
        int others = 0;
        for (int c = 0; c < list->columnCount(); ++c)
            if (c != 2 && !list->isColumnHidden(c)) others += list->columnWidth(c);
        EXPECT_EQ(list->columnWidth(2), std::max(60, list->viewport()->width() - others)) << size.width();
    }
}

// A window that grew while another page was shown: the task list's remark still takes
// what the other columns leave once the list is back.
TEST_F(MainWindowTest, TheTaskListRefitsWhenItComesBackLarger) {
    AddViewableTask("灯具");
    window->resize(800, 600);
    QApplication::processEvents();
    window->mainPages()->setCurrentIndex(1);
    QApplication::processEvents();
    window->resize(1300, 800);
    QApplication::processEvents();
    window->mainPages()->setCurrentIndex(0);
    QApplication::processEvents();
    QTableWidget* list = window->commands().taskList();
    int others = 0;
    for (int c = 0; c < list->columnCount(); ++c)
        if (c != 2 && !list->isColumnHidden(c)) others += list->columnWidth(c);
    EXPECT_GT(list->viewport()->width(), 1000);
    EXPECT_EQ(list->columnWidth(2), std::max(60, list->viewport()->width() - others));
}

TEST_F(MainWindowTest, TheWindowCarriesTheProgramsOwnIcon) {
    // Drawn from the SVG built into the program (needs Qt's SVG image plugin).
    const QPixmap drawn = ui::ProgramIcon().pixmap(32, 32);
    ASSERT_FALSE(drawn.isNull());
    const QImage image = drawn.toImage();
    EXPECT_EQ(image.pixelColor(16, 3), QColor(QStringLiteral("#1f6fb2")));
    EXPECT_FALSE(window->windowIcon().isNull());
}

TEST_F(MainWindowTest, ClosingWithNothingRunningAsksNothing) {
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(messages.shown.empty());
}

// ---- the keyboard ---------------------------------------------------------------------

// Every entry of every menu has a mnemonic or a key; the tool bar's commands are all in
// the menus; and the keys work with the tool bar hidden.
TEST_F(MainWindowTest, EveryCommandIsInAMenuWithAKeyOrAMnemonic) {
    QStringList entries;
    for (QAction* m : window->menuBar()->actions()) {
        if (!m->isVisible()) continue;
        EXPECT_TRUE(m->text().contains(QStringLiteral("(&"))) << m->text().toStdString();
        for (QAction* a : m->menu()->actions()) {
            if (a->isSeparator()) continue;
            entries << a->text().remove(QStringLiteral("...")).remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
            EXPECT_TRUE(a->text().contains(QStringLiteral("(&")) || !a->shortcut().isEmpty()) << a->text().toStdString();
        }
    }
    for (const char* name : {"actAddTask", "actStart", "actPause", "actPauseAll", "actCancel", "actOptions", "actClose"})
        EXPECT_TRUE(entries.contains(window->action(name)->text())) << name;
    EXPECT_EQ(window->action("actClose")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    EXPECT_EQ(window->action("actPause")->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
    EXPECT_EQ(window->action("actPauseAll")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+P")));
    EXPECT_EQ(window->action("actCancel")->shortcut(), QKeySequence(QStringLiteral("Shift+F5")));

    window->action("actShowToolbar")->trigger();
    ASSERT_FALSE(window->toolBar()->isVisible());
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QSignalSpy quit(window->action("actClose"), &QAction::triggered);
    QTest::keyClick(window->commands().taskList(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quit.count(), 1) << "Ctrl+Q quits without the tool bar";
}

// Tab leaves the task list for the next part of the page, and the part that has the focus
// is drawn so that one sees it.
TEST_F(MainWindowTest, TabWalksThePartsOfThePageAndTheFocusShows) {
    AddViewableTask("灯具");
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTableWidget* list = window->commands().taskList();
    list->setFocus();
    ASSERT_TRUE(list->hasFocus());
    const QImage focused = list->grab().toImage();
    QTest::keyClick(list, Qt::Key_Tab);
    QWidget* next = QApplication::focusWidget();
    ASSERT_TRUE(next);
    EXPECT_NE(next, list);
    EXPECT_TRUE(window->mainPages()->widget(0)->isAncestorOf(next)) << "still on the task page";
    const QImage unfocused = list->grab().toImage();
    ASSERT_EQ(focused.size(), unfocused.size());
    EXPECT_NE(focused.pixelColor(0, focused.height() / 2), unfocused.pixelColor(0, unfocused.height() / 2))
        << "the frame of the focused part differs";
    QTest::keyClick(next, Qt::Key_Backtab);
    EXPECT_TRUE(list->hasFocus());
}

// ---- what the commands say ------------------------------------------------------------

// Without a file manager, 打开数据文件夹 says where the folder is and puts it on the clipboard.
TEST_F(MainWindowTest, OpenDataFolderWithoutAFileManagerGivesThePath) {
    const QString folder = QString::fromStdString(AppInfo->profile.data_dir);
    QUrl opened;
    widgets::UrlOpener previous = widgets::SetUrlOpener([&](const QUrl& url) {
        opened = url;
        return true;
    });
    Trigger("actOpenDataFolder");
    EXPECT_EQ(opened, QUrl::fromLocalFile(folder));
    EXPECT_TRUE(messages.shown.empty());

    widgets::SetUrlOpener([](const QUrl&) { return false; });
    Trigger("actOpenDataFolder");
    widgets::SetUrlOpener(previous);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].message.endsWith(folder)) << messages.Last();
    EXPECT_EQ(messages.shown[0].caption, QStringLiteral("提示"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), folder);
}

// 联系信息 opens the maker's addresses under that title; 关于 stays the about box.
TEST_F(MainWindowTest, ContactInformationOpensTheContactLines) {
    QString title, focused;
    WhenShown<ui::TAboutFrm>([&](ui::TAboutFrm* d) {
        title = d->windowTitle();
        if (auto* edit = qobject_cast<QLineEdit*>(d->focusWidget())) focused = edit->text();
        d->accept();
    });
    QAction* contact = nullptr;
    for (QAction* a : window->toolBar()->actions())
        if (a->text() == QStringLiteral("联系信息")) contact = a;
    ASSERT_TRUE(contact);
    contact->trigger();
    EXPECT_EQ(title, QStringLiteral("联系信息"));
    EXPECT_EQ(focused, QString::fromUtf8(ui::kMakerName));

    WhenShown<ui::TAboutFrm>([&](ui::TAboutFrm* d) {
        title = d->windowTitle();
        d->accept();
    });
    Trigger("actAbout");
    EXPECT_EQ(title, QStringLiteral("关于"));
}

}  // namespace
}  // namespace qv::test
