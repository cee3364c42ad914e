#include "tasks/changes_page.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "core/data_files.h"
#include "core/database.h"
#include "core/member_grid_layout.h"
#include "export/export_file.h"
#include "export/string_grid.h"
#include "widgets/dialog_ex.h"
#include "widgets/grids.h"
#include "widgets/save_place.h"

namespace qv::tasks {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

constexpr int kAllRuns = -1;
const QStringList kHeadings = {QStringLiteral("时间"),   QStringLiteral("公司名称"), QStringLiteral("类别"),
                               QStringLiteral("字段"),   QStringLiteral("变化前"),   QStringLiteral("变化后")};

// The shown rows as the spreadsheet writers read them, header first.
class ShownChanges : public exporting::StringGrid {
public:
    explicit ShownChanges(const QTableWidget& grid) : grid_(grid) {}
    int RowCount() const override { return grid_.rowCount() + 1; }
    int ColumnCount() const override { return grid_.columnCount(); }
    std::string_view CellText(int row, int column) const override {
        const QTableWidgetItem* item = row == 0 ? grid_.horizontalHeaderItem(column) : grid_.item(row - 1, column);
        buffer_ = item ? item->text().toStdString() : std::string();
        return buffer_;
    }
    int ColumnWidth(int column) const override { return grid_.columnWidth(column); }

private:
    const QTableWidget& grid_;
    mutable std::string buffer_;
};

QTableWidgetItem* Item(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

}  // namespace

QString RunChoiceText(const RunRecord& run) {
    return QStringLiteral("%1 %2（%3）").arg(Q(run.started_at), Q(RunKindText(run.kind)), Q(RunCountsText(run)));
}

QString FieldHeading(const std::string& column) {
    for (const MemberColumn& c : kMemberColumns)
        if (c.name == column && !c.grid_label.empty()) return Q(std::string(c.grid_label));
    return Q(column);
}

ChangesPage::ChangesPage(const QString& task_name, const std::string& data_file, QWidget* parent)
    : QWidget(parent), task_name_(task_name) {
    {
        Connection db(data_file, DatabaseKind::ReadOnly);
        run_rows_ = ReadRuns(db);
        changes_ = ReadChanges(db);
    }
    setObjectName(QStringLiteral("ChangesPage"));
    runs_ = new QComboBox(this);
    runs_->setObjectName(QStringLiteral("runChooser"));
    // The newest run first, so the default is the first item.
    for (auto it = run_rows_.rbegin(); it != run_rows_.rend(); ++it)
        runs_->addItem(RunChoiceText(*it), QVariant::fromValue<qlonglong>(it->id));
    runs_->addItem(QStringLiteral("所有运行"), QVariant::fromValue<qlonglong>(kAllRuns));
    kinds_ = new QComboBox(this);
    kinds_->setObjectName(QStringLiteral("kindChooser"));
    kinds_->addItem(QStringLiteral("所有类别"), QString());
    for (const char* kind : {kChangeAdded, kChangeChanged, kChangeGone})
        kinds_->addItem(Q(ChangeKindText(kind)), QString::fromLatin1(kind));
    fields_ = new QComboBox(this);
    fields_->setObjectName(QStringLiteral("fieldChooser"));
    fields_->addItem(QStringLiteral("所有字段"), QString());
    for (int column = 1; column < kMemberGridColumns; ++column) {
        const int field = MemberGridLayout()[static_cast<size_t>(column)].field;
        if (field == mfSendMsgLink || field == mfCmpDetail) continue;  // links are never a change
        fields_->addItem(QString::fromUtf8(MemberGridLayout()[static_cast<size_t>(column)].heading),
                         Q(std::string(kMemberColumns[static_cast<size_t>(field)].name)));
    }
    export_ = new QPushButton(QStringLiteral("导出到Excel..."), this);
    summary_ = new QLabel(this);

    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(QStringLiteral("运行："), this));
    bar->addWidget(runs_, 1);
    bar->addWidget(new QLabel(QStringLiteral("类别："), this));
    bar->addWidget(kinds_);
    bar->addWidget(new QLabel(QStringLiteral("字段："), this));
    bar->addWidget(fields_);
    bar->addWidget(export_);

    grid_ = new QTableWidget(this);
    grid_->setObjectName(QStringLiteral("changesGrid"));
    widgets::ApplyGridLook(grid_);
    grid_->setColumnCount(static_cast<int>(kHeadings.size()));
    grid_->setHorizontalHeaderLabels(kHeadings);
    grid_->verticalHeader()->hide();
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->horizontalHeader()->setStretchLastSection(true);
    for (int c = 0; c < grid_->columnCount(); ++c) grid_->setColumnWidth(c, c == 1 ? 220 : c >= 4 ? 200 : 120);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(bar);
    layout->addWidget(grid_, 1);
    layout->addWidget(summary_);

    for (QComboBox* box : {runs_, kinds_, fields_})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { Fill(); });
    connect(export_, &QPushButton::clicked, this, &ChangesPage::doExport);
    connect(grid_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (const QTableWidgetItem* item = grid_->item(row, 0))
            emit recordChosen(task_name_, item->data(Qt::UserRole).toLongLong());
    });
    Fill();
}

void ChangesPage::Fill() {
    const qlonglong run = runs_->currentData().toLongLong();
    const QString kind = kinds_->currentData().toString();
    const QString field = fields_->currentData().toString();
    grid_->setRowCount(0);
    for (const ChangeRecord& c : changes_) {
        if (run != kAllRuns && c.run != run) continue;
        if (!kind.isEmpty() && Q(c.kind) != kind) continue;
        if (!field.isEmpty() && Q(c.field) != field) continue;
        const int row = grid_->rowCount();
        grid_->insertRow(row);
        QTableWidgetItem* time = Item(Q(c.at));
        time->setData(Qt::UserRole, QVariant::fromValue<qlonglong>(c.record_id));
        grid_->setItem(row, 0, time);
        grid_->setItem(row, 1, Item(Q(c.company_name)));
        grid_->setItem(row, 2, Item(Q(ChangeKindText(c.kind))));
        grid_->setItem(row, 3, Item(c.field.empty() ? QString() : FieldHeading(c.field)));
        grid_->setItem(row, 4, Item(Q(c.before)));
        grid_->setItem(row, 5, Item(c.kind == kChangeChanged ? QStringLiteral("→ ") + Q(c.after) : QString()));
    }
    summary_->setText(run_rows_.empty() ? QStringLiteral("这个任务还没有记录变化的运行")
                                        : QStringLiteral("共 %1 条变化").arg(grid_->rowCount()));
    export_->setEnabled(grid_->rowCount() > 0);
}

void ChangesPage::ExportTo(const QString& path) const {
    const std::optional<exporting::ExportFormat> format = exporting::ExportFormatOf(path.toStdString());
    if (!format || *format == exporting::ExportFormat::Xls)
        throw exporting::ExportError("只能导出为 .xlsx 或 .csv 文件：" + path.toStdString());
    exporting::ExportGrid(ShownChanges(*grid_), path.toStdString(), *format);
}

void ChangesPage::doExport() {
    QFileDialog dialog(this, QStringLiteral("导出到Excel"));
    dialog.setObjectName(QStringLiteral("ChangesExcelDlg"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList types{QStringLiteral("Excel 2007 及以上 (*.xlsx)"), QStringLiteral("CSV UTF-8 (*.csv)")};
    dialog.setNameFilters(types);
    widgets::OpenAtLastSavePlace(dialog);
    dialog.setDefaultSuffix(dialog.selectedNameFilter() == types[1] ? QStringLiteral("csv") : QStringLiteral("xlsx"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, types](const QString& type) {
        dialog.setDefaultSuffix(type == types[1] ? QStringLiteral("csv") : QStringLiteral("xlsx"));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    widgets::RememberSavePlace(dialog);
    QString path = dialog.selectedFiles().front();
    if (!QFileInfo(path).fileName().contains(QLatin1Char('.')))
        path += dialog.selectedNameFilter() == types[1] ? QStringLiteral(".csv") : QStringLiteral(".xlsx");
    try {
        ExportTo(path);
    } catch (const exporting::ExportError& e) {
        widgets::ShowWarning(QStringLiteral("数据导出失败。\r\n\r\n文件：%1\r\n原因：%2").arg(path, Q(e.what())));
        return;
    }
    widgets::ShowInfo(QStringLiteral("数据成功导出到文件：") + path);
}

}  // namespace qv::tasks
