#pragma once
// 查看会员详细信息 and 发送留言 of the task data grids' pop-up menu: open the member's
// introduction page (column 30) or leave-a-message page (column 29) of the shown page's
// current row in the system browser.
#include <QObject>
#include <QString>

namespace qv::tasks {

class TaskPages;

class MemberLinkCommands : public QObject {
    Q_OBJECT
public:
    MemberLinkCommands(TaskPages& pages, QObject* parent);

    void doMemberDetailDataGrid();
    void doMemberSendMsgDataGrid();

private:
    void Open(int column);
    // A few seconds in the main window's status bar.
    void ShowStatus(const QString& text);

    TaskPages& pages_;
};

}  // namespace qv::tasks
