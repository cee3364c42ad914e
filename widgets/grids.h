#pragma once
// The look the program's string grids share, and the small message grid of run pages.
#include <QStyledItemDelegate>

class QTableView;
class QTableWidget;

namespace qv::widgets {

inline constexpr int kGridRowHeight = 16;

// Draws only vertical lines between cells, as the program's grids do.
class VerticalLinesDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

// Row height, vertical lines only, resizable columns, both scroll bars.
void ApplyGridLook(QTableView* grid);

// Two columns, one row when new; column 0 holds the message number.
void InitLogGrid(QTableWidget* grid);
// Column 0 is 20 pixels wide, column 1 takes the rest of the grid.
void ResizeLogGrid(QTableWidget* grid);
// Fills the last row when it is still blank, otherwise adds one; numbers from 1.
void AppendLogMessage(QTableWidget* grid, const QString& message);

// Trimmed text of a cell of a QTableWidget; "" when the cell is empty.
QString CellText(const QTableWidget* grid, int row, int column);
void SetCellText(QTableWidget* grid, int row, int column, const QString& text);

}  // namespace qv::widgets
