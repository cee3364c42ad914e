#pragma once
#include <QWidget>

#include <initializer_list>

class QAction;

namespace qv::widgets {

// The small borderless bar of "<", ">" and "X" that sits at the right of a page
// control's tab row: 61 by 21 pixels, bold buttons of 20 by 19, each hinted by its caption.
QWidget* NewTabBar(QWidget* parent, std::initializer_list<QAction*> actions);

}  // namespace qv::widgets
