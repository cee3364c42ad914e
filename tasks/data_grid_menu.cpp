#include "tasks/data_grid_menu.h"

#include <QAction>
#include <QMenu>

#include "widgets/grid_copy.h"
#include "widgets/member_grid.h"

namespace qv::tasks {

DataGridMenu::DataGridMenu(QWidget* window) : QObject(window), DataGridPM(new QMenu(window)) {
    DataGridPM->setObjectName(QStringLiteral("DataGridPM"));
    auto add = [this](const char* caption, const char* name) {
        QAction* action = DataGridPM->addAction(QString::fromUtf8(caption));
        action->setObjectName(QString::fromUtf8(name));
        return action;
    };
    actMemberDetailDataGrid = add("查看会员详细信息", "actMemberDetailDataGrid");
    DataGridPM->addSeparator();
    actMemberSendMsgDataGrid = add("发送留言", "actMemberSendMsgDataGrid");
    DataGridPM->addSeparator();
    actCopy = widgets::NewCopyAction(this);
    DataGridPM->addAction(actCopy);
    actExport = add("导出到Excel...", "actExport");
    DataGridPM->addSeparator();
    actSendMsgGroup = add("群发留言(&G)", "actSendMsgGroup");
    actSendMsgGroup->setVisible(false);
    actGetCompDetail = add("下载会员详细信息...", "actGetCompDetail");
}

void DataGridMenu::Attach(widgets::MemberGridView* grid) {
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid, &QWidget::customContextMenuRequested, DataGridPM, [this, grid](const QPoint& at) {
        DataGridPM->popup(grid->viewport()->mapToGlobal(at));
    });
}

}  // namespace qv::tasks
