#include "widgets/grids.h"

#include <QHeaderView>
#include <QPainter>
#include <QTableWidget>

namespace qv::widgets {

void VerticalLinesDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    painter->save();
    painter->setPen(option.palette.color(QPalette::Mid));
    painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
    painter->restore();
}

void ApplyGridLook(QTableView* grid) {
    grid->setShowGrid(false);
    grid->setItemDelegate(new VerticalLinesDelegate(grid));
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // The style's minimum is taller than the grids' row height, so it goes first.
    grid->verticalHeader()->setMinimumSectionSize(kGridRowHeight);
    grid->verticalHeader()->setDefaultSectionSize(kGridRowHeight);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    grid->horizontalHeader()->setHighlightSections(false);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    grid->setWordWrap(false);
}

void InitLogGrid(QTableWidget* grid) {
    ApplyGridLook(grid);
    grid->setColumnCount(2);
    grid->setRowCount(1);
    grid->horizontalHeader()->hide();
    // The message column keeps the grid's width as the page is laid out or resized.
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->verticalHeader()->hide();
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ResizeLogGrid(grid);
}

void ResizeLogGrid(QTableWidget* grid) {
    if (!grid) return;
    grid->setColumnWidth(0, 20);
    grid->setColumnWidth(1, std::max(0, grid->viewport()->width() - 20));
}

void AppendLogMessage(QTableWidget* grid, const QString& message) {
    int last = grid->rowCount() - 1;
    if (last < 0 || !CellText(grid, last, 0).isEmpty()) {
        grid->insertRow(grid->rowCount());
        last = grid->rowCount() - 1;
    }
    SetCellText(grid, last, 0, QString::number(grid->rowCount()));
    SetCellText(grid, last, 1, message);
    grid->scrollToBottom();
}

QString CellText(const QTableWidget* grid, int row, int column) {
    const QTableWidgetItem* item = grid->item(row, column);
    return item ? item->text().trimmed() : QString();
}

void SetCellText(QTableWidget* grid, int row, int column, const QString& text) {
    if (QTableWidgetItem* item = grid->item(row, column)) {
        item->setText(text);
        return;
    }
    grid->setItem(row, column, new QTableWidgetItem(text));
}

}  // namespace qv::widgets
