#pragma once
// 下载会员详细信息...: completes the selected records of the shown task data page with the
// company details of their profile pages. Pages are fetched off the GUI thread, one
// record after the other, behind a progress box that can cancel; each result is written
// through the page's own connection and shown in its grid row.
#include <QObject>

namespace qv::tasks {

class TaskPages;

class DetailDownloadCommand : public QObject {
    Q_OBJECT
public:
    DetailDownloadCommand(TaskPages& pages, QObject* parent);

    void doGetCompDetail();

private:
    TaskPages& pages_;
    bool running_ = false;
};

}  // namespace qv::tasks
