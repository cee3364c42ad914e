#include "widgets/tab_bar.h"

#include <QAction>
#include <QHBoxLayout>
#include <QToolButton>

namespace qv::widgets {

QWidget* NewTabBar(QWidget* parent, std::initializer_list<QAction*> actions) {
    auto* bar = new QWidget(parent);
    bar->setFixedSize(61, 21);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 1, 1, 1);
    layout->setSpacing(0);
    for (QAction* action : actions) {
        action->setToolTip(action->text());
        auto* button = new QToolButton(bar);
        button->setDefaultAction(action);
        button->setFixedSize(20, 19);
        button->setAutoRaise(true);
        QFont font = button->font();
        font.setBold(true);
        button->setFont(font);
        layout->addWidget(button);
    }
    return bar;
}

}  // namespace qv::widgets
