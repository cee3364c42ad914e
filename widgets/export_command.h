#pragma once
// "导出到Excel...": the shown task page's member grid to a spreadsheet file that the user
// names. The writers do the work; this only asks for the name, shows progress and says
// how it went.
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "export/export_file.h"
#include "export/string_grid.h"

class QWidget;

namespace qv::widgets {

class MemberGridView;

// The writers' names, as this command and its callers use them.
using exporting::ExportCancelled;
using exporting::ExportError;
using exporting::ExportFormat;
using exporting::ExportGrid;
using exporting::StringGrid;

// The save dialog's file types; the first is the default.
QStringList ExportFileTypes();
// The format of a file type of ExportFileTypes.
std::optional<ExportFormat> ExportFormatOfType(const QString& type);
// The failure message: the file and why it could not be written.
QString ExportFailureText(const QString& path, const QString& reason);
// The chosen name, with the type's extension added when the file name has none.
QString ExportFileName(const QString& chosen, ExportFormat format);

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
// path or the warning "数据导出失败。" with the file and the reason. Live rows wait while the
// grid is written and are shown after. An export still running after `progress_after_ms`
// shows its progress with a cancel button; a cancelled export says nothing.
inline constexpr int kExportProgressAfterMs = 500;
void doExportToExcel(QWidget* parent, MemberGridView& grid,
                     int progress_after_ms = kExportProgressAfterMs);

}  // namespace qv::widgets
