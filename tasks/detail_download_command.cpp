#include "tasks/detail_download_command.h"

#include <QAction>
#include <QApplication>
#include <QPointer>
#include <QProgressDialog>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <exception>
#include <future>
#include <limits>
#include <optional>

#include "core/database.h"
#include "core/gbk.h"
#include "core/text.h"
#include "engine/detail_download.h"
#include "tasks/command_client.h"
#include "tasks/task_pages.h"
#include "widgets/dialog_ex.h"
#include "widgets/fetch_causes.h"
#include "widgets/member_grid.h"

namespace qv::tasks {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCompanyNameColumn = 1;
constexpr int kProfileLinkColumn = 30;
constexpr auto kProgressDelay = std::chrono::milliseconds(400);

// The grid column that shows profile value i: the introduction in 31, the fifteen facts
// in 14 to 28.
int GridColumnOf(int value_index) { return value_index == 0 ? 31 : 13 + value_index; }

struct Job {
    int record;
    std::string company;  // as shown, trimmed
    std::string url;      // as stored
};

enum class Outcome { Stored, Failed, NothingFound };

struct Report {
    Outcome outcome;
    QString message;  // what went wrong, for the user
    QString detail;
};

// The progress box of one run, shown only once the run takes a while so that a quick
// download does not flash a box.
class Progress {
public:
    Progress(QWidget* owner, int total)
        : box_(QString(), QStringLiteral("取消"), 0, total > 1 ? total : 0, owner), total_(total) {
        box_.setWindowTitle(widgets::ApplicationTitle());
        box_.setWindowModality(Qt::ApplicationModal);
        box_.setAutoReset(false);
        box_.setAutoClose(false);
        // Shown by Await, not by the box's own estimate.
        box_.setMinimumDuration(std::numeric_limits<int>::max());
    }

    void Step(int done) {
        box_.setLabelText(total_ > 1
                              ? QStringLiteral("正在下载会员详细信息（第 %1 条，共 %2 条）……")
                                    .arg(done + 1)
                                    .arg(total_)
                              : QStringLiteral("正在下载会员详细信息……"));
        if (total_ > 1) box_.setValue(done);
    }

    const std::string& proxy() const { return client_.proxy(); }

    // Waits for the fetch while the window goes on; nullopt when the user cancelled.
    std::optional<DetailDownloadResult> Await(const std::string& url) {
        auto pending = std::async(std::launch::async,
                                  [this, url] { return FetchCompanyDetail(url, client_.client()); });
        while (pending.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
            if (!box_.isVisible() && !stop_ && Clock::now() > shown_after_) box_.show();
            QApplication::processEvents();
            if (box_.wasCanceled()) stop_ = true;
        }
        DetailDownloadResult result = pending.get();
        if (stop_) return std::nullopt;
        return result;
    }

private:
    QProgressDialog box_;
    int total_;
    Clock::time_point shown_after_ = Clock::now() + kProgressDelay;
    std::atomic<bool> stop_{false};
    // One client for the whole run: its pages keep the request interval between them.
    CommandClient client_{&stop_};
};

std::vector<Job> JobsOf(const widgets::MemberGridView& grid) {
    const widgets::MemberGridModel& model = *grid.memberModel();
    std::vector<Job> jobs;
    for (int record : grid.SelectedRecords())
        jobs.push_back({record, Trim(model.Cell(record, kCompanyNameColumn).toStdString()),
                        model.Cell(record, kProfileLinkColumn).toStdString()});
    return jobs;
}

// Writes what the page gave into the file and, once stored, into the grid row.
Report Store(TTaskTab& tab, const Job& job, const DetailDownloadResult& result, const std::string& proxy) {
    const QString url = QString::fromStdString(job.url);
    if (!result.ok)
        return {Outcome::Failed, QString::fromStdString(result.error),
                widgets::FailedFetchDetail(url, result.cause, proxy)};
    if (!result.Found())
        return {Outcome::NothingFound,
                QStringLiteral("公司介绍网页中没有找到会员详细信息，未作任何修改。"), url};
    try {
        if (!tab.DbConnection) throw std::runtime_error("这个页面没有打开数据文件。");
        StoreCompanyDetail(*tab.DbConnection, job.company, result.values);
    } catch (const std::exception& e) {
        return {Outcome::Failed, QStringLiteral("保存会员详细信息时产生错误。"),
                QString::fromStdString(e.what())};
    }
    widgets::MemberGridModel& model = *tab.MemberGrid->memberModel();
    for (int i = 0; i < kProfileValueCount; ++i)
        model.SetCell(job.record, GridColumnOf(i),
                      Utf16ToUtf8(result.values[static_cast<size_t>(i)]));
    return {Outcome::Stored, {}, {}};
}

void ShowOne(const Report& report) {
    switch (report.outcome) {
        case Outcome::Stored:
            widgets::ShowInfo(QStringLiteral("会员详细信息下载成功"));
            break;
        case Outcome::Failed:
            widgets::ShowErrorDetail(report.message, report.detail);
            break;
        case Outcome::NothingFound:
            widgets::ShowWarning(report.message);
            break;
    }
}

// One message for a run over several records: the counts, and the records that failed
// with their causes folded out.
void ShowSummary(const std::vector<Job>& jobs, const std::vector<Report>& reports, bool cancelled) {
    int stored = 0, failed = 0, nothing = 0;
    QStringList failures;
    for (size_t i = 0; i < reports.size(); ++i) {
        switch (reports[i].outcome) {
            case Outcome::Stored:
                ++stored;
                break;
            case Outcome::NothingFound:
                ++nothing;
                break;
            case Outcome::Failed:
                ++failed;
                failures << QStringLiteral("%1：%2 %3")
                                .arg(QString::fromStdString(jobs[i].company), reports[i].message,
                                     QString(reports[i].detail).replace(QStringLiteral("\r\n"),
                                                                        QStringLiteral("，")));
                break;
        }
    }
    QString text = cancelled ? QStringLiteral("会员详细信息下载已取消。")
                             : QStringLiteral("会员详细信息下载完成。");
    text += QStringLiteral("成功 %1 条，失败 %2 条，未找到信息 %3 条")
                .arg(stored)
                .arg(failed)
                .arg(nothing);
    if (cancelled) text += QStringLiteral("，未下载 %1 条").arg(jobs.size() - reports.size());
    text += QStringLiteral("。");
    if (failed > 0)
        widgets::DetailMessageDlg(text, failures.join(QStringLiteral("\r\n")),
                                  widgets::MsgDlgType::mtWarning,
                                  widgets::mbOK | widgets::mbDetails);
    else if (nothing > 0 || cancelled)
        widgets::ShowWarning(text);
    else
        widgets::ShowInfo(text);
}

}  // namespace

DetailDownloadCommand::DetailDownloadCommand(TaskPages& pages, QObject* parent)
    : QObject(parent), pages_(pages) {
    connect(pages_.gridMenu().actGetCompDetail, &QAction::triggered, this,
            &DetailDownloadCommand::doGetCompDetail);
}

void DetailDownloadCommand::doGetCompDetail() {
    // The window goes on while pages are fetched, so the command could be asked again.
    if (running_) return;
    QPointer<TaskDataPage> page = pages_.ShownPage();
    if (!page) return;
    const std::vector<Job> jobs = JobsOf(*page->record().MemberGrid);
    if (jobs.empty()) {
        widgets::ShowWarning(QStringLiteral("请先选择要下载详细信息的会员记录。"));
        return;
    }
    running_ = true;
    std::vector<Report> reports;
    bool cancelled = false;
    {
        Progress progress(pages_.pageControl()->window(), static_cast<int>(jobs.size()));
        for (const Job& job : jobs) {
            progress.Step(static_cast<int>(reports.size()));
            std::optional<DetailDownloadResult> result = progress.Await(job.url);
            // A page closed meanwhile took its grid and connection with it.
            if (!result || !page) {
                cancelled = true;
                break;
            }
            reports.push_back(Store(page->record(), job, *result, progress.proxy()));
        }
    }
    running_ = false;
    if (jobs.size() == 1) {
        if (!reports.empty()) ShowOne(reports.front());
        return;
    }
    ShowSummary(jobs, reports, cancelled);
}

}  // namespace qv::tasks
