#include "directory/detail_panes.h"

#include <QEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include <array>

#include "widgets/grids.h"
#include "widgets/member_grid.h"

namespace qv::directory {
namespace {

constexpr int kLabelWidth = 100;
constexpr int kPaneRowHeight = 18;
constexpr int kIntroductionHeight = 81;

struct PaneRow {
    const char* label;
    int grid_column;  // member grid column shown in the row
};

constexpr std::array<PaneRow, 12> kContactRows{{
    {"会员帐号", 2}, {"会员类型", 3}, {"诚信通指数", 4}, {"联系人", 5}, {"称呼", 6},
    {"职务", 7}, {"移动电话", 8}, {"电话", 9}, {"传真", 10}, {"地址", 11}, {"邮编", 12},
    {"公司网址", 13},
}};

constexpr std::array<PaneRow, 16> kCompanyRows{{
    {"公司名称", 1}, {"主营行业", 14}, {"主营产品或服务", 15}, {"企业类型", 16}, {"经营模式", 17},
    {"注册资本", 18}, {"公司注册地", 19}, {"员工人数", 20}, {"公司成立时间", 21},
    {"法定代表人/负责人", 22}, {"主要客户", 23}, {"年营业额", 24}, {"主要经营地点", 25},
    {"经营品牌", 26}, {"开户银行", 27}, {"银行帐号", 28},
}};

constexpr int kIntroductionColumn = 31;

// Value cells are parted by vertical lines only, the label cells by horizontal ones too.
class PaneGridDelegate : public widgets::VerticalLinesDelegate {
public:
    using VerticalLinesDelegate::VerticalLinesDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        VerticalLinesDelegate::paint(painter, option, index);
        if (index.column() != 0) return;
        painter->save();
        painter->setPen(option.palette.color(QPalette::Mid));
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->restore();
    }
};

QTableWidget* NewPaneGrid(const char* name, int rows, QWidget* parent) {
    auto* grid = new QTableWidget(rows, 2, parent);
    grid->setObjectName(QString::fromUtf8(name));
    widgets::ApplyGridLook(grid);
    grid->setItemDelegate(new PaneGridDelegate(grid));
    grid->verticalHeader()->setMinimumSectionSize(kPaneRowHeight);
    grid->verticalHeader()->setDefaultSectionSize(kPaneRowHeight);
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setColumnWidth(0, kLabelWidth);
    return grid;
}

template <size_t N>
void InitPaneGrid(QTableWidget* grid, const std::array<PaneRow, N>& rows) {
    grid->setRowCount(static_cast<int>(N));
    for (int r = 0; r < static_cast<int>(N); ++r) {
        // The label column is fixed: drawn like a heading and never selected.
        auto* label = new QTableWidgetItem(QString::fromUtf8(rows[static_cast<size_t>(r)].label));
        label->setFlags(Qt::ItemIsEnabled);
        label->setBackground(grid->palette().button());
        grid->setItem(r, 0, label);
        widgets::SetCellText(grid, r, 1, QString());
    }
    // A label longer than the column's 100 pixels (法定代表人/负责人 in a larger font) widens it.
    grid->resizeColumnToContents(0);
    grid->setColumnWidth(0, std::max(kLabelWidth, grid->columnWidth(0)));
}

void ClearValues(QTableWidget* grid) {
    for (int r = 0; r < grid->rowCount(); ++r) widgets::SetCellText(grid, r, 1, QString());
}

template <size_t N>
void ShowValues(QTableWidget* grid, const std::array<PaneRow, N>& rows,
                const widgets::MemberGridModel& model, int record) {
    for (int r = 0; r < static_cast<int>(N); ++r)
        widgets::SetCellText(grid, r, 1, model.Cell(record, rows[static_cast<size_t>(r)].grid_column));
}

QGroupBox* Banner(const char* title, QWidget* content) {
    auto* box = new QGroupBox(QString::fromUtf8(title));
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(content);
    return box;
}

}  // namespace

DetailPanes::DetailPanes(QWidget* parent) : QTabWidget(parent) {
    setObjectName(QStringLiteral("ContactPG"));
    ContactSG = NewPaneGrid("ContactSG", static_cast<int>(kContactRows.size()), this);
    addTab(ContactSG, QStringLiteral("联系方式"));

    ComDetailMEM = new QPlainTextEdit;
    ComDetailMEM->setObjectName(QStringLiteral("ComDetailMEM"));
    ComDetailMEM->setReadOnly(true);
    ComDetailMEM->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ComDetailMEM->setMinimumHeight(kIntroductionHeight / 2);
    CompanySG = NewPaneGrid("CompanySG", static_cast<int>(kCompanyRows.size()), nullptr);
    auto* company = new QSplitter(Qt::Vertical);
    company->setChildrenCollapsible(false);
    company->addWidget(Banner("公司介绍", ComDetailMEM));
    company->addWidget(Banner("详细信息", CompanySG));
    company->setStretchFactor(1, 1);
    company->setSizes({kIntroductionHeight + 24, 200});
    addTab(company, QStringLiteral("公司介绍"));

    // ContactPGChange: the shown grid takes its width anew.
    connect(this, &QTabWidget::currentChanged, this, &DetailPanes::FitDetailGrids);
    ContactSG->viewport()->installEventFilter(this);
    CompanySG->viewport()->installEventFilter(this);
}

void DetailPanes::InitContactGrid() { InitPaneGrid(ContactSG, kContactRows); }

void DetailPanes::InitCompanyGrid() {
    InitPaneGrid(CompanySG, kCompanyRows);
    ComDetailMEM->clear();
}

void DetailPanes::FitDetailGrid(QTableWidget* grid) {
    grid->setColumnWidth(1, std::max(20, grid->viewport()->width() - grid->columnWidth(0)));
}

void DetailPanes::FitDetailGrids() {
    FitDetailGrid(ContactSG);
    FitDetailGrid(CompanySG);
}

bool DetailPanes::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize) {
        if (watched == ContactSG->viewport()) FitDetailGrid(ContactSG);
        if (watched == CompanySG->viewport()) FitDetailGrid(CompanySG);
    }
    return QTabWidget::eventFilter(watched, event);
}

void DetailPanes::ShowRecord(const widgets::MemberGridModel& model, int record) {
    ComDetailMEM->clear();
    ShowValues(ContactSG, kContactRows, model, record);
    ShowValues(CompanySG, kCompanyRows, model, record);
    ComDetailMEM->setPlainText(model.Cell(record, kIntroductionColumn));
}

void DetailPanes::Clear() {
    ClearValues(ContactSG);
    ClearValues(CompanySG);
    ComDetailMEM->clear();
}

}  // namespace qv::directory
