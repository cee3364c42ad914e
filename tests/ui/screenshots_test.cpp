// Pictures of the program for the README. Runs only when QUORVANE_SCREENSHOT_DIR names a
// folder (scripts/screenshots.sh sets it and runs this under Xvfb).
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>

#include "tasks/add_task_dialog.h"
#include "widgets/member_grid.h"
#include "tasks/task_commands.h"
#include "tasks/task_pages.h"
#include "tasks/task_property_dialog.h"
#include "tests/ui/gui_fixture.h"
#include "widgets/dialog_ex.h"
#include "ui/about_dialog.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"

namespace qv::test {
namespace {

using namespace std::chrono_literals;

QString ShotFile(const char* name) {
    return qEnvironmentVariable("QUORVANE_SCREENSHOT_DIR") + u'/' + QString::fromUtf8(name);
}

bool Save(QWidget* widget, const char* name) {
    QApplication::processEvents();
    return widget->grab().save(ShotFile(name));
}

class Screenshots : public MainWindowFixture {
protected:
    Screenshots() : MainWindowFixture(SiteWith(200, 40)) {}
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QUORVANE_SCREENSHOT_DIR")) GTEST_SKIP() << "no screenshot folder";
    }
};

TEST_F(Screenshots, MainWindowAddTaskDialogAndErrorDetails) {
    window->resize(1100, 680);
    window->move(0, 0);
    bool saved_dialog = false;
    WhenShown<tasks::TfrmAddTask>([&](tasks::TfrmAddTask* d) {
        d->findChild<QLineEdit*>(QStringLiteral("KeywordEdit"))->setText(QStringLiteral("LED灯"));
        saved_dialog = Save(d, "add-task-dialog.png");
        d->findChild<QPushButton*>(QStringLiteral("OkBTN"))->click();
    });
    WhenShown<tasks::TfrmTaskProperty>([&](tasks::TfrmTaskProperty* d) {
        Save(d, "task-properties-dialog.png");
        d->findChild<QPushButton*>(QStringLiteral("OkBTN"))->click();
    });
    Trigger("actAddTask");
    AddTaskThroughDialogs("五金", "五金工具");
    SelectTask("LED灯");
    Trigger("actStart");
    SelectTask("五金工具");
    Trigger("actStart");
    SelectTask("LED灯");
    ASSERT_TRUE(RunUntil([&] { return PageRecords("LED灯") >= 25; }));
    ProcessFor(100ms);
    EXPECT_TRUE(saved_dialog);
    EXPECT_TRUE(Save(window.get(), "main-window.png"));

    auto form = widgets::CreateDetailMessageDialog(
        QStringLiteral("抓取满足条件的任务数据时产生错误，错误信息如下："),
        QStringLiteral("连接失败\n\n网址：http://search.china.alibaba.com/search/company_search.htm?"
                       "filt=y&categoryId=0&keywords=%B5%C6%BE%DF\n已经尝试 6 次，服务器没有应答。"),
        widgets::MsgDlgType::mtError, widgets::mbOK | widgets::mbDetails);
    form->show();
    form->toggleDetails();
    EXPECT_TRUE(Save(form.get(), "error-details.png"));

    Trigger("actCancel");
    SelectTask("五金工具");
    WhenShown<ui::TOptionsFrm>([](ui::TOptionsFrm* d) {
        Save(d, "options-dialog.png");
        d->reject();
    });
    window->action("actOptions")->trigger();
    WhenShown<ui::TAboutFrm>([](ui::TAboutFrm* d) {
        Save(d, "about-box.png");
        d->reject();
    });
    window->action("actAbout")->trigger();
}

}  // namespace
}  // namespace qv::test
