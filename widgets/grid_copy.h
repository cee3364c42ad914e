#pragma once
// Copying a grid's selected cells so that they paste into a spreadsheet: Ctrl+C in the
// grid, or the 复制 entry of its menu.
#include <QString>

class QAction;
class QObject;
class QTableView;

namespace qv::widgets {

// More rows than this are not copied: the export writes them without holding them all.
inline constexpr int kMaxCopiedRows = 50'000;

// The selected cells as tab-separated lines parted by "\n" (none after the last), as shown: the selection's rows in order, its
// shown columns in order (a cell outside the selection is empty), and the column headings
// first when whole rows are selected. A cell holding a tab, a line break or a quote is
// quoted, its quotes doubled. Only the current cell when nothing is selected.
QString SelectedCellsText(const QTableView& view);

// Puts the selected cells on the clipboard; more than kMaxCopiedRows rows get a warning
// instead.
void CopySelectedCells(const QTableView& view);

// Ctrl+C in `view` copies its selected cells.
void EnableGridCopy(QTableView* view);

// The 复制 entry of a grid's menu, showing its shortcut; the caller connects it.
QAction* NewCopyAction(QObject* owner);

}  // namespace qv::widgets
