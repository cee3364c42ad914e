#include "widgets/export_command.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressDialog>
#include <cstdint>

#include "widgets/dialog_ex.h"
#include "widgets/member_grid.h"
#include "widgets/save_place.h"

namespace qv::widgets {
namespace {

constexpr int kProgressSteps = 1000;

QString ExtensionOf(ExportFormat format) {
    switch (format) {
        case ExportFormat::Xls:
            return QStringLiteral("xls");
        case ExportFormat::Xlsx:
            return QStringLiteral("xlsx");
        case ExportFormat::Csv:
            return QStringLiteral("csv");
    }
    return {};
}

struct Choice {
    QString path;
    ExportFormat format = ExportFormat::Xls;
};

std::optional<Choice> AskFile(QWidget* parent) {
    QFileDialog dialog(parent, QStringLiteral("导出到Excel"));
    dialog.setObjectName(QStringLiteral("ExcelDlg"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(ExportFileTypes());
    dialog.selectNameFilter(ExportFileTypes().front());
    OpenAtLastSavePlace(dialog);
    auto follow_type = [&dialog](const QString& type) {
        if (auto format = ExportFormatOfType(type)) dialog.setDefaultSuffix(ExtensionOf(*format));
    };
    follow_type(dialog.selectedNameFilter());
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, follow_type);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    RememberSavePlace(dialog);
    auto format = ExportFormatOfType(dialog.selectedNameFilter()).value_or(ExportFormat::Xlsx);
    return Choice{ExportFileName(dialog.selectedFiles().front(), format), format};
}

}  // namespace

QStringList ExportFileTypes() {
    // .xlsx first: it reads right everywhere, while the .xls text is right only where the
    // legacy code page is GBK.
    return {QStringLiteral("Excel 2007 及以上 (*.xlsx)"), QStringLiteral("CSV UTF-8 (*.csv)"),
            QStringLiteral("Excel 97-2003 (*.xls)")};
}

std::optional<ExportFormat> ExportFormatOfType(const QString& type) {
    const QStringList types = ExportFileTypes();
    if (type == types[0]) return ExportFormat::Xlsx;
    if (type == types[1]) return ExportFormat::Csv;
    if (type == types[2]) return ExportFormat::Xls;
    return std::nullopt;
}

QString ExportFileName(const QString& chosen, ExportFormat format) {
    // Only the file's own name counts: a dot in a folder name is no extension.
    if (chosen.isEmpty() || QFileInfo(chosen).fileName().contains(QLatin1Char('.'))) return chosen;
    return chosen + QLatin1Char('.') + ExtensionOf(format);
}

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

void doExportToExcel(QWidget* parent, MemberGridView& grid, int progress_after_ms) {
    ExportedRows rows = ExportedRows::Shown;
    if (grid.order()->Filtered()) {
        const int shown = grid.order()->ShownCount(), all = grid.memberModel()->RecordCount();
        const int answer = AskChoice(
            QStringLiteral("筛选后显示 %1 条记录（共 %2 条）。要导出哪些记录？").arg(shown).arg(all),
            {QStringLiteral("显示的 %1 条").arg(shown), QStringLiteral("全部 %1 条").arg(all), QStringLiteral("取消")});
        if (answer == 2) return;
        rows = answer == 0 ? ExportedRows::Shown : ExportedRows::All;
    }
    std::optional<Choice> choice = AskFile(parent);
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
    try {
        ExportGrid(MemberGridSource(grid, rows), QFile::encodeName(choice->path).toStdString(),
                   choice->format, [&progress](std::int64_t done, std::int64_t total) {
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
        ShowInfo(QStringLiteral("数据成功导出到文件：") + choice->path);
    else
        DetailMessageDlg(ExportFailureText(choice->path, failure), failure,
                                  MsgDlgType::mtWarning, mbOK | mbDetails);
}

}  // namespace qv::widgets
