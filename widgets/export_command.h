#pragma once
// "导出到Excel...": the shown task page's member grid to a spreadsheet file that the user
// names. The writers do the work; this only asks for the name, shows progress and says
// how it went.
#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

#include "export/export_file.h"
#include "export/string_grid.h"

class QCheckBox;
class QFileDialog;
class QWidget;

namespace qv::widgets {

class MemberGridView;

// The writers' names, as this command and its callers use them.
using exporting::ExportCancelled;
using exporting::ExportError;
using exporting::ExportFormat;
using exporting::ExportGrid;
using exporting::StringGrid;

// A file type of the save dialogs: its name filter, the format it writes and the CRM whose
// lead import file it is.
struct ExportType {
    QString filter;
    ExportFormat format;
    std::optional<exporting::CrmPreset> crm;
};
// The save dialog's file types; the first is the default.
const std::vector<ExportType>& ExportTypes();
QStringList ExportFileTypes();
// The format of a file type of ExportFileTypes.
std::optional<ExportFormat> ExportFormatOfType(const QString& type);
// The failure message: the file and why it could not be written.
QString ExportFailureText(const QString& path, const QString& reason);
// The chosen name, with the type's extension added when the file name has none of the
// formats written.
QString ExportFileName(const QString& chosen, ExportFormat format);

// What an answer of a save dialog writes.
struct ExportChoice {
    QString path;
    ExportFormat format = ExportFormat::Xlsx;
    std::optional<exporting::CrmPreset> crm;
    bool phone_columns = false;
};
// The file chosen under `type`: a typed extension of a format written decides the format
// (a CRM type keeps its CRM in .csv and .xlsx); a name without one gets the type's.
ExportChoice ChooseExport(const QString& chosen, const QString& type);
// The options of a choice; `task_name` names the records' task (the cards' category).
exporting::ExportOptions ExportOptionsOf(const ExportChoice& choice, const QString& task_name);
// The check box 附加国际格式电话 under a save dialog's fields (Qt's own dialog for it).
QCheckBox* AddPhoneColumnsBox(QFileDialog& dialog);
// "\r\n" and the text of cut cells; empty when none was cut.
std::string CutEnd(const std::string& cut);

// Which records an export writes: the rows as shown (sorted, filtered), or every record
// in the file's order.
enum class ExportedRows { Shown, All };

// The member grid as the writers read it: header row, the records (one empty row when
// there is none), hidden columns included, widths as the view has them; 序号 is each
// record's own number, as the grid shows it. Reads the model's rows in place; the model
// must not change while it is in use.
class MemberGridSource : public StringGrid {
public:
    explicit MemberGridSource(const MemberGridView& grid, ExportedRows rows = ExportedRows::Shown);
    int RowCount() const override { return rows_; }
    int ColumnCount() const override;
    std::string_view CellText(int row, int column) const override;
    int ColumnWidth(int column) const override;

private:
    const MemberGridView& grid_;
    std::vector<int> records_;  // the records in the order written; empty: the model's order
    bool in_order_ = true;
    int rows_;
    mutable std::string buffer_;
};

// doExportToExcel: under a filter first asks whether the shown rows or every record go
// out; then asks for the file, writes the grid, shows "数据成功导出到文件：" with the
// path (and how many cells were cut) or the warning "数据导出失败。" with the file and the
// reason. `task_name` is the grid's task, the category of contact cards. Live rows wait while the
// grid is written and are shown after. An export still running after `progress_after_ms`
// shows its progress with a cancel button; a cancelled export says nothing.
inline constexpr int kExportProgressAfterMs = 500;
void doExportToExcel(QWidget* parent, MemberGridView& grid, const QString& task_name = {},
                     int progress_after_ms = kExportProgressAfterMs);

}  // namespace qv::widgets
