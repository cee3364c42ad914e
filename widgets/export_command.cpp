#include "widgets/export_command.h"

#include <QCheckBox>

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>

#include <algorithm>
#include <QProgressDialog>
#include <cstdint>

#include "core/app_info.h"
#include "export/location_names.h"
#include "widgets/dialog_ex.h"
#include "widgets/member_grid.h"
#include "widgets/save_place.h"

namespace qv::widgets {
namespace {

constexpr int kProgressSteps = 1000;

QString ExtensionOf(ExportFormat format) { return QString::fromUtf8(exporting::FileExtensionOf(format).data()); }

std::optional<ExportChoice> AskFile(QWidget* parent) {
    QFileDialog dialog(parent, QStringLiteral("导出到Excel"));
    dialog.setObjectName(QStringLiteral("ExcelDlg"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(ExportFileTypes());
    dialog.selectNameFilter(ExportFileTypes().front());
    QCheckBox* phones = AddPhoneColumnsBox(dialog);
    OpenAtLastSavePlace(dialog);
    auto follow_type = [&dialog](const QString& type) {
        if (auto format = ExportFormatOfType(type)) dialog.setDefaultSuffix(ExtensionOf(*format));
    };
    follow_type(dialog.selectedNameFilter());
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, follow_type);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    RememberSavePlace(dialog);
    ExportChoice choice = ChooseExport(dialog.selectedFiles().front(), dialog.selectedNameFilter());
    choice.phone_columns = phones->isChecked();
    return choice;
}

}  // namespace

const std::vector<ExportType>& ExportTypes() {
    using exporting::CrmPreset;
    // .xlsx first: it reads right everywhere, while the .xls text is right only where the
    // legacy code page is GBK.
    static const std::vector<ExportType> types{
        {QStringLiteral("Excel 2007 及以上 (*.xlsx)"), ExportFormat::Xlsx, std::nullopt},
        {QStringLiteral("CSV UTF-8 (*.csv)"), ExportFormat::Csv, std::nullopt},
        {QStringLiteral("Excel 97-2003，用于中文 Windows（GBK 编码） (*.xls)"), ExportFormat::Xls, std::nullopt},
        {QStringLiteral("通讯录名片 (*.vcf)"), ExportFormat::Vcf, std::nullopt},
        {QStringLiteral("HubSpot 导入文件 (*.csv)"), ExportFormat::Csv, CrmPreset::HubSpot},
        {QStringLiteral("Salesforce 导入文件 (*.csv)"), ExportFormat::Csv, CrmPreset::Salesforce},
        {QStringLiteral("Zoho CRM 导入文件 (*.csv)"), ExportFormat::Csv, CrmPreset::Zoho},
    };
    return types;
}

QStringList ExportFileTypes() {
    QStringList filters;
    for (const ExportType& type : ExportTypes()) filters << type.filter;
    return filters;
}

std::optional<ExportFormat> ExportFormatOfType(const QString& type) {
    for (const ExportType& t : ExportTypes())
        if (t.filter == type) return t.format;
    return std::nullopt;
}

ExportChoice ChooseExport(const QString& chosen, const QString& type) {
    const auto types = ExportTypes();
    auto it = std::find_if(types.begin(), types.end(), [&](const ExportType& t) { return t.filter == type; });
    const ExportType& picked = it == types.end() ? types.front() : *it;
    ExportChoice choice{ExportFileName(chosen, picked.format), picked.format, picked.crm, false};
    // A typed extension of ours decides; a CRM file may be .csv or .xlsx.
    if (auto typed = exporting::ExportFormatOf(QFile::encodeName(choice.path).toStdString())) {
        choice.format = *typed;
        if (*typed != ExportFormat::Csv && *typed != ExportFormat::Xlsx) choice.crm.reset();
    }
    return choice;
}

QString ExportFileName(const QString& chosen, ExportFormat format) {
    // Only the file's own name counts: a dot in a folder name is no extension, and an
    // extension of no format of ours ("客户.2024") is part of the name.
    if (chosen.isEmpty() || exporting::ExportFormatOf(QFile::encodeName(QFileInfo(chosen).fileName()).toStdString()))
        return chosen;
    return chosen + QLatin1Char('.') + ExtensionOf(format);
}

QCheckBox* AddPhoneColumnsBox(QFileDialog& dialog) {
    // Qt's own dialog, which can take one more widget; the desktop's cannot.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto* box = new QCheckBox(QStringLiteral("附加国际格式电话"), &dialog);
    box->setObjectName(QStringLiteral("PhoneColumnsCB"));
    box->setToolTip(QStringLiteral(
        "在各列之后加上“手机（国际格式）”“电话（国际格式）”“传真（国际格式）”三列，"
        "如 +8675583456789；用于 .xlsx、.csv 和 .xls 文件。"));
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
        grid->addWidget(box, grid->rowCount(), 0, 1, grid->columnCount());
    return box;
}

exporting::ExportOptions ExportOptionsOf(const ExportChoice& choice, const QString& task_name) {
    exporting::ExportOptions options;
    options.phone_columns = choice.phone_columns;
    options.crm = choice.crm;
    options.task_name = task_name.toStdString();
    if (choice.format == ExportFormat::Vcf || choice.crm)
        options.locations = exporting::LocationNames::FromFirstOf({AppInfo->ProjectConnStr});
    return options;
}

std::string CutEnd(const std::string& cut) { return cut.empty() ? cut : "\r\n" + cut; }

QString ExportFailureText(const QString& path, const QString& reason) {
    return QStringLiteral("数据导出失败。\r\n\r\n文件：%1\r\n原因：%2").arg(path, reason);
}

namespace {

// Every record goes out, also those of a file still being walked.
int AllGridRows(const MemberGridView& grid) {
    grid.memberModel()->EnsureAllRecords();
    return grid.memberModel()->GridRowCount();
}

}  // namespace

MemberGridSource::MemberGridSource(const MemberGridView& grid, ExportedRows rows)
    : grid_(grid), rows_(AllGridRows(grid)) {
    const MemberGridOrder& order = *grid.order();
    if (rows == ExportedRows::All || !order.Active()) return;
    in_order_ = false;
    records_.reserve(static_cast<size_t>(order.ShownCount()));
    for (int row = 0; row < order.ShownCount(); ++row) records_.push_back(order.RecordAt(row));
    rows_ = static_cast<int>(records_.size()) + 1 + (records_.empty() ? 1 : 0);
}

int MemberGridSource::ColumnCount() const { return kMemberGridColumns; }

std::string_view MemberGridSource::CellText(int row, int column) const {
    if (column < 0 || column >= ColumnCount() || row < 0 || row >= rows_) return {};
    if (row == 0) return MemberGridLayout()[static_cast<size_t>(column)].heading;
    const MemberGridModel& model = *grid_.memberModel();
    const int record = in_order_ ? row - 1
                                 : (row - 1 < static_cast<int>(records_.size()) ? records_[static_cast<size_t>(row - 1)] : -1);
    if (record < 0 || record >= model.RecordCount()) return {};
    if (column == 0) return buffer_ = std::to_string(record + 1);
    return model.CellView(record, column);
}

int MemberGridSource::ColumnWidth(int column) const {
    return grid_.isColumnHidden(column) ? 0 : grid_.columnWidth(column);
}

void doExportToExcel(QWidget* parent, MemberGridView& grid, const QString& task_name, int progress_after_ms) {
    ExportedRows rows = ExportedRows::Shown;
    if (grid.order()->Filtered()) {
        const int shown = grid.order()->ShownCount(), all = grid.memberModel()->RecordCount();
        const int answer = AskChoice(
            QStringLiteral("筛选后显示 %1 条记录（共 %2 条）。要导出哪些记录？").arg(shown).arg(all),
            {QStringLiteral("显示的 %1 条").arg(shown), QStringLiteral("全部 %1 条").arg(all), QStringLiteral("取消")});
        if (answer == 2) return;
        rows = answer == 0 ? ExportedRows::Shown : ExportedRows::All;
    }
    std::optional<ExportChoice> choice = AskFile(parent);
    if (!choice) return;
    // Every record goes out: a page still counting them finishes first, or is cancelled.
    if (!WaitForAllRecords(*grid.memberModel(), parent)) return;

    QProgressDialog progress(QStringLiteral("正在导出数据……"), QStringLiteral("取消"), 0,
                             kProgressSteps, parent);
    progress.setObjectName(QStringLiteral("ExportProgress"));
    progress.setWindowTitle(ApplicationTitle());
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(progress_after_ms);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.setValue(0);

    MemberGridModel& model = *grid.memberModel();
    model.HoldRows(true);
    QString failure;
    bool cancelled = false;
    exporting::ExportSummary summary;
    try {
        summary = ExportGrid(MemberGridSource(grid, rows), QFile::encodeName(choice->path).toStdString(),
                   choice->format, ExportOptionsOf(*choice, task_name), [&progress](std::int64_t done, std::int64_t total) {
                       if (progress.wasCanceled()) {
                           // The box is gone; until the writer stops, the window is drawn
                           // but takes no input.
                           QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
                           return false;
                       }
                       progress.setValue(total == 0
                                             ? kProgressSteps
                                             : static_cast<int>(done * kProgressSteps / total));
                       return !progress.wasCanceled();
                   });
    } catch (const ExportCancelled&) {
        cancelled = true;
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    }
    progress.close();
    model.HoldRows(false);

    if (cancelled) return;
    if (failure.isEmpty())
        ShowInfo(QStringLiteral("数据成功导出到文件：") + choice->path +
                 QString::fromStdString(CutEnd(exporting::CutCellsText(summary, choice->format))));
    else
        DetailMessageDlg(ExportFailureText(choice->path, failure), failure,
                                  MsgDlgType::mtWarning, mbOK | mbDetails);
}

}  // namespace qv::widgets
