#include "widgets/grid_copy.h"

#include <QAction>
#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTableView>

#include <set>
#include <vector>

#include "widgets/dialog_ex.h"

namespace qv::widgets {
namespace {

QString Field(QString text) {
    if (!text.contains(u'\t') && !text.contains(u'\n') && !text.contains(u'\r') && !text.contains(u'"'))
        return text;
    text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + text + u'"';
}

struct Cells {
    std::vector<int> rows;
    std::vector<int> columns;  // shown columns only
    bool whole_rows = false;
};

// The rows and shown columns the selection covers, from its ranges: a selection of a
// whole large file stays cheap to measure.
Cells SelectedCells(const QTableView& view) {
    const QAbstractItemModel& model = *view.model();
    std::set<int> rows, columns;
    const QItemSelection selection = view.selectionModel()->selection();
    for (const QItemSelectionRange& range : selection) {
        if (rows.size() > static_cast<size_t>(kMaxCopiedRows)) break;
        for (int r = range.top(); r <= range.bottom(); ++r) rows.insert(r);
        for (int c = range.left(); c <= range.right(); ++c)
            if (!view.isColumnHidden(c)) columns.insert(c);
    }
    if (rows.empty() && view.currentIndex().isValid()) {
        rows.insert(view.currentIndex().row());
        columns.insert(view.currentIndex().column());
    }
    Cells cells{{rows.begin(), rows.end()}, {columns.begin(), columns.end()}};
    int shown = 0;
    for (int c = 0; c < model.columnCount(); ++c) shown += view.isColumnHidden(c) ? 0 : 1;
    cells.whole_rows = !selection.isEmpty() && static_cast<int>(cells.columns.size()) == shown;
    if (cells.whole_rows)
        for (const QItemSelectionRange& range : selection)
            for (int c : cells.columns)
                if (c < range.left() || c > range.right()) cells.whole_rows = false;
    return cells;
}

class CopyKeyFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        const bool key = event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride;
        if (!key || !static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) return false;
        // Taken before any window shortcut, and handled when it arrives as a key press.
        event->accept();
        if (event->type() == QEvent::KeyPress) CopySelectedCells(*static_cast<QTableView*>(watched));
        return true;
    }
};

}  // namespace

QString SelectedCellsText(const QTableView& view) {
    const Cells cells = SelectedCells(view);
    const QAbstractItemModel& model = *view.model();
    const QItemSelectionModel& selected = *view.selectionModel();
    QStringList lines;
    if (cells.whole_rows) {
        QStringList heading;
        for (int c : cells.columns) heading << Field(model.headerData(c, Qt::Horizontal).toString());
        lines << heading.join(u'\t');
    }
    const bool only_current = selected.selection().isEmpty();
    for (int r : cells.rows) {
        QStringList line;
        for (int c : cells.columns) {
            const QModelIndex index = model.index(r, c);
            line << (only_current || selected.isSelected(index) ? Field(model.data(index).toString()) : QString());
        }
        lines << line.join(u'\t');
    }
    // As a spreadsheet copies: no line end after the last line, so one cell pastes into a
    // text field as the cell alone.
    return lines.join(u'\n');
}

void CopySelectedCells(const QTableView& view) {
    if (!view.model() || !view.selectionModel()) return;
    int rows = 0;
    for (const QItemSelectionRange& range : view.selectionModel()->selection()) rows += range.height();
    if (rows > kMaxCopiedRows) {
        ShowWarning(QStringLiteral("选中的记录太多（%1 条），最多可以复制 %2 条。请用“导出到Excel...”保存全部记录。")
                        .arg(rows)
                        .arg(kMaxCopiedRows));
        return;
    }
    QGuiApplication::clipboard()->setText(SelectedCellsText(view));
}

void EnableGridCopy(QTableView* view) { view->installEventFilter(new CopyKeyFilter(view)); }

QAction* NewCopyAction(QObject* owner) {
    auto* action = new QAction(QStringLiteral("复制"), owner);
    action->setObjectName(QStringLiteral("actCopy"));
    // Shown in the menu; the grid itself answers the key (EnableGridCopy).
    action->setShortcut(QKeySequence::Copy);
    action->setShortcutContext(Qt::WidgetShortcut);
    return action;
}

}  // namespace qv::widgets
