#include "tests/ui/gui_fixture.h"

#include <QAction>
#include <QLabel>
#include <QTableWidget>

#include <filesystem>
#include <thread>

#include "core/app_info.h"
#include "core/data_files.h"
#include "core/data_module.h"
#include "core/database.h"
#include "core/ini_file.h"
#include "core/text.h"
#include "tasks/add_task_dialog.h"
#include "widgets/grids.h"
#include "widgets/member_grid.h"
#include "tasks/task_commands.h"
#include "tasks/task_pages.h"
#include "tasks/task_property_dialog.h"
#include "tests/support/project_database.h"
#include "ui/main_window.h"

#include <QLineEdit>
#include <QPushButton>

namespace qv::test {

MessageRecorder::MessageRecorder() {
    previous_ = widgets::SetMessageHandler([this](const widgets::ShownMessage& m) {
        shown.push_back(m);
        if (!answers.empty()) {
            int answer = answers.front();
            answers.pop_front();
            return answer;
        }
        if (m.box == widgets::ShownMessage::Box::Choice) return 0;
        return (m.buttons & widgets::mbOK) ? int(widgets::mrOk) : int(widgets::mrYes);
    });
}

MessageRecorder::~MessageRecorder() { widgets::SetMessageHandler(previous_); }

std::vector<std::string> MessageRecorder::Texts() const {
    std::vector<std::string> texts;
    for (const auto& m : shown) texts.push_back(m.message.toStdString());
    return texts;
}

std::string MessageRecorder::Last() const {
    return shown.empty() ? std::string() : shown.back().message.toStdString();
}

bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void ProcessFor(std::chrono::milliseconds time) {
    auto until = std::chrono::steady_clock::now() + time;
    RunUntil([&] { return std::chrono::steady_clock::now() >= until; }, time * 2);
}

void WriteDataFile(const std::string& path, int records,
                   const std::function<void(int, MemberValues&)>& fill) {
    CreateDatabaseFile(path, true);
    ExecuteOnDatabaseFile(path, kCreateDataListSql);
    Connection db(path, DatabaseKind::DataFile);
    db.Execute("BEGIN");
    for (int i = 1; i <= records; ++i) {
        MemberValues v{};
        fill(i, v);
        db.Execute(BuildInsertStatement(v));
    }
    db.Execute("COMMIT");
}

ProgramFixture::ProgramFixture() {
    namespace fs = std::filesystem;
    fs::create_directories(dir.path() / "database");
    fs::create_directories(dir.path() / "Data");
    test::MakeProjectDatabase(dir.path() / "database" / "DefaultProject.db");
    TSysInitialization::StartUp(dir.path().string() + "/");
}

ProgramFixture::~ProgramFixture() { TSysInitialization::ShutDown(); }

std::string ProgramFixture::DataFile(const std::string& task_name) const {
    return TaskDataFilePath(AppInfo->DataDir, task_name);
}

int ProgramFixture::InsertTask(const std::string& name, const std::string& url,
                               const std::string& remark) {
    MiddleObj->ExecuteSQL("INSERT INTO Tasks(TaskName,searchURL,Remark) VALUES(" + QuotedStr(name) +
                          "," + QuotedStr(url) + "," + QuotedStr(remark) + ")");
    auto rows = MiddleObj->QueryRecords("SELECT ID FROM Tasks WHERE TaskName=" + QuotedStr(name));
    return static_cast<int>(rows->Integer(0, "ID"));
}

SiteOptions MainWindowFixture::SiteWith(int companies, int delay_ms) {
    SiteOptions options;
    options.companies = companies;
    options.delay_ms = delay_ms;
    return options;
}

SiteOptions MainWindowFixture::DefaultSite() { return SiteWith(12, 0); }

MainWindowFixture::MainWindowFixture(SiteOptions site_options) : site(site_options) {
    WriteSetting(AppInfo->SettingsFile, settings::kSearchHost, site.BaseUrl());
    window = std::make_unique<ui::TMainFrm>();
    window->show();
    QApplication::processEvents();
}

MainWindowFixture::~MainWindowFixture() { window.reset(); }

void MainWindowFixture::AddTaskThroughDialogs(const std::string& keyword, const std::string& name) {
    WhenShown<tasks::TfrmAddTask>([keyword](tasks::TfrmAddTask* d) {
        d->findChild<QLineEdit*>(QStringLiteral("KeywordEdit"))->setText(QString::fromStdString(keyword));
        d->findChild<QPushButton*>(QStringLiteral("OkBTN"))->click();
    });
    WhenShown<tasks::TfrmTaskProperty>([name](tasks::TfrmTaskProperty* d) {
        if (!name.empty())
            d->findChild<QLineEdit*>(QStringLiteral("edtTaskName"))->setText(QString::fromStdString(name));
        d->findChild<QPushButton*>(QStringLiteral("OkBTN"))->click();
    });
    Trigger("actAddTask");
}

void MainWindowFixture::SelectTask(const std::string& name) {
    QTableWidget* list = window->commands().taskList();
    for (int r = 0; r < list->rowCount(); ++r)
        if (widgets::CellText(list, r, 1) == QString::fromStdString(name)) {
            list->setCurrentCell(r, 1);
            return;
        }
    ADD_FAILURE() << "no task row " << name;
}

void MainWindowFixture::AddTaskRow(const std::string& name, const std::string& url) {
    InsertTask(name, url);
    CreateDatabaseFile(DataFile(name), true);
    ExecuteOnDatabaseFile(DataFile(name), kCreateDataListSql);
    ReloadTaskList();
}

void MainWindowFixture::ReloadTaskList() {
    window->commands().LoadTasks();
    window->commands().FillTaskListGrid();
    window->commands().UpdateTaskActions(window->commands().SelectedNumber());
    window->commands().UpdateCommandActions();
}

int MainWindowFixture::TaskListRow(const std::string& name) const {
    QTableWidget* list = window->commands().taskList();
    for (int r = 0; r < list->rowCount(); ++r)
        if (widgets::CellText(list, r, 1) == QString::fromStdString(name)) return r;
    return -1;
}

QString MainWindowFixture::TaskListCell(const std::string& name, int column) const {
    return widgets::CellText(window->commands().taskList(), TaskListRow(name), column);
}

void MainWindowFixture::Trigger(const char* action) {
    QAction* a = window->action(action);
    ASSERT_TRUE(a) << action;
    ASSERT_TRUE(a->isEnabled()) << action << " is disabled";
    a->trigger();
}

QString MainWindowFixture::Caption(const char* action) const { return window->action(action)->text(); }
bool MainWindowFixture::Enabled(const char* action) const { return window->action(action)->isEnabled(); }
QString MainWindowFixture::StatusText() const { return window->statusPanel(1)->text(); }

std::vector<std::string> MainWindowFixture::PageMessages(const std::string& name) const {
    std::vector<std::string> texts;
    auto& pages = window->pages();
    tasks::TaskDataPage* page = pages.PageAt(pages.FindTaskPage(QString::fromStdString(name)));
    if (!page || !page->record().LogGrid) return texts;
    QTableWidget* log = page->record().LogGrid;
    for (int r = 0; r < log->rowCount(); ++r)
        if (!widgets::CellText(log, r, 0).isEmpty()) texts.push_back(widgets::CellText(log, r, 1).toStdString());
    return texts;
}

int MainWindowFixture::PageRecords(const std::string& name) const {
    auto& pages = window->pages();
    tasks::TaskDataPage* page = pages.PageAt(pages.FindTaskPage(QString::fromStdString(name)));
    if (!page) return -1;
    auto* model = page->record().MemberGrid->memberModel();
    model->FlushQueued();
    return model->RecordCount();
}

bool MainWindowFixture::TaskEnded(const std::string& name) const {
    auto texts = PageMessages(name);
    return !texts.empty() && (texts.back() == name + "：数据抓取完成" || texts.back() == "抓取失败");
}

}  // namespace qv::test
