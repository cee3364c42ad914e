#pragma once
// The pop-up menu of every task data grid. Its entries are plain actions: the commands
// that carry them (links, detail download, export) connect to them and work on the page
// whose grid carries the menu, which is the shown page.
#include <QObject>

class QAction;
class QMenu;
class QWidget;

namespace qv::widgets {
class MemberGridView;
}

namespace qv::tasks {

class DataGridMenu : public QObject {
    Q_OBJECT
public:
    explicit DataGridMenu(QWidget* window);

    QMenu* menu() const { return DataGridPM; }
    // Gives `grid` this menu on a right click.
    void Attach(widgets::MemberGridView* grid);

    QAction* actMemberDetailDataGrid;  // 查看会员详细信息
    QAction* actMemberSendMsgDataGrid;  // 发送留言
    QAction* actCopy;                   // 复制 (Ctrl+C)
    QAction* actExport;                 // 导出到Excel...
    QAction* actSendMsgGroup;           // 群发留言: reserved, hidden, does nothing
    QAction* actGetCompDetail;          // 下载会员详细信息...

private:
    QMenu* DataGridPM;
};

}  // namespace qv::tasks
