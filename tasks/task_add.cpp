// Adding a task: the search, the count read from its first result page, the name and
// remark, the saved row and the task's data file.
#include <QApplication>
#include <QProgressDialog>
#include <QString>

#include <atomic>
#include <chrono>
#include <future>
#include <optional>
#include <string>

#include "core/app_info.h"
#include "core/data_files.h"
#include "core/data_module.h"
#include "core/saved_tasks.h"
#include "core/text.h"
#include "engine/fetcher.h"
#include "engine/markup.h"
#include "tasks/add_task_dialog.h"
#include "tasks/command_client.h"
#include "tasks/search_host.h"
#include "tasks/search_url.h"
#include "tasks/task_commands.h"
#include "tasks/task_property_dialog.h"
#include "widgets/dialog_ex.h"
#include "widgets/fetch_causes.h"

namespace qv::tasks {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// The first result page is read off the GUI thread so the window keeps painting while a
// slow marketplace answers; a progress box lets the user give up on one that hangs.
// nullopt when the user cancelled.
std::optional<FetchResult> FetchFirstPage(QWidget* owner, const std::string& url) {
    std::atomic<bool> stop{false};
    auto pending = std::async(std::launch::async, [url, &stop] {
        CommandClient client(&stop);
        return FetchPage(url, client.client());
    });
    QProgressDialog progress(QStringLiteral("正在读取满足条件的搜索结果……"), QStringLiteral("取消"), 0, 0, owner);
    progress.setWindowTitle(widgets::ApplicationTitle());
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    // Shown only when the answer is slow, so a quick fetch does not flash a box.
    auto shown_after = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    while (pending.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
        if (!progress.isVisible() && !stop && std::chrono::steady_clock::now() > shown_after)
            progress.show();
        QApplication::processEvents();
        if (progress.wasCanceled()) stop = true;
    }
    FetchResult page = pending.get();
    if (stop) return std::nullopt;
    return page;
}

std::string InsertTaskStatementFor(const QString& name, const QString& remark,
                                   const TAddTaskResult& r, const std::string& url) {
    return InsertTaskStatement(TaskRow{S(name), r.Province, r.City, r.BiztypeName, r.EstablishedYearName,
                                       r.CategoryLargeName, r.onlyAliMember, r.onlyOnlineMember, url,
                                       S(remark)});
}

}  // namespace

void TaskCommands::doAddTask() {
    TAddTaskResult search;
    // After a failed count fetch the dialog comes back with what was entered.
    for (bool again = false;; again = true) {
        if (ShowAddTaskDialog(window_, search, again) != widgets::mrOk) break;
        std::string url = BuildSearchUrl(search, SearchHost(AppInfo->SettingsFile));
        std::optional<FetchResult> fetched = FetchFirstPage(window_, url);
        if (!fetched) break;
        const FetchResult& page = *fetched;
        if (!Trim(page.error).empty()) {
            QString why = Q(page.error);
            if (!page.cause.empty()) why += QStringLiteral("：") + widgets::ShownCause(page.cause);
            widgets::ShowErrorDetail(
                QStringLiteral("抓取满足条件的任务数据时产生错误，错误信息如下：\r\n") + why,
                widgets::FailedFetchDetail(Q(url), page.cause));
            continue;
        }
        QString count = QString::fromStdU16String(Trim(ResultCountText(DecodeAndNormalize(page.body))));
        QString name, remark;
        if (ShowTaskPropertyDialog(window_, count, search, name, remark) == widgets::mrOk) {
            MiddleObj->ExecuteSQL(InsertTaskStatementFor(name, remark, search, url));
            LoadTasks();
            FillTaskListGrid();
            SelectTaskRow(name);
            if (!CreateTaskDataFile(name)) return;
        }
        break;
    }
    UpdateTaskActions(SelectedNumber());
    UpdateCommandActions();
}

}  // namespace qv::tasks
