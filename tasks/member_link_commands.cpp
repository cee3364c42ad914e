#include "tasks/member_link_commands.h"

#include <QAction>
#include <QMainWindow>
#include <QStatusBar>
#include <QTabWidget>

#include "tasks/task_pages.h"
#include "widgets/member_links.h"

namespace qv::tasks {
namespace {

constexpr int kStatusMessageMs = 4000;

}  // namespace

MemberLinkCommands::MemberLinkCommands(TaskPages& pages, QObject* parent)
    : QObject(parent), pages_(pages) {
    DataGridMenu& menu = pages_.gridMenu();
    connect(menu.actMemberDetailDataGrid, &QAction::triggered, this,
            &MemberLinkCommands::doMemberDetailDataGrid);
    connect(menu.actMemberSendMsgDataGrid, &QAction::triggered, this,
            &MemberLinkCommands::doMemberSendMsgDataGrid);
}

void MemberLinkCommands::doMemberDetailDataGrid() { Open(widgets::kCmpDetailLinkColumn); }

void MemberLinkCommands::doMemberSendMsgDataGrid() { Open(widgets::kSendMsgLinkColumn); }

void MemberLinkCommands::Open(int column) {
    TaskDataPage* page = pages_.ShownPage();
    if (!page || !page->record().MemberGrid) return;
    widgets::OpenMemberLink(*page->record().MemberGrid, column,
                            [this](const QString& text) { ShowStatus(text); });
}

void MemberLinkCommands::ShowStatus(const QString& text) {
    if (auto* window = qobject_cast<QMainWindow*>(pages_.pageControl()->window()))
        window->statusBar()->showMessage(text, kStatusMessageMs);
}

}  // namespace qv::tasks
