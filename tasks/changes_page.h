#pragma once
// 变化: what the runs of one task found, as its data file's change log holds it. One run
// (the last by default) or all of them, filtered by kind and by field; each row the time,
// the company, the kind, the field (by its grid heading) and the text before and after.
// A double-click asks for the record; 导出到Excel... writes the rows shown.
#include <QString>
#include <QWidget>

#include <string>
#include <vector>

#include "core/change_log.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace qv::tasks {

class ChangesPage : public QWidget {
    Q_OBJECT
public:
    // Reads the file's runs and changes; a file that cannot be read raises DatabaseError.
    ChangesPage(const QString& task_name, const std::string& data_file, QWidget* parent = nullptr);

    const QString& taskName() const { return task_name_; }
    QComboBox* runChooser() const { return runs_; }
    QComboBox* kindChooser() const { return kinds_; }
    QComboBox* fieldChooser() const { return fields_; }
    QTableWidget* grid() const { return grid_; }
    QPushButton* exportButton() const { return export_; }

    // Writes the rows shown to `path` (.xlsx or .csv); raises exporting::ExportError.
    void ExportTo(const QString& path) const;
    // 导出到Excel...: asks for the file, writes it, says how it went.
    void doExport();

signals:
    // The user double-clicked the change of this record.
    void recordChosen(const QString& task_name, qint64 record_id);

private:
    void Fill();

    QString task_name_;
    std::vector<RunRecord> run_rows_;
    std::vector<ChangeRecord> changes_;  // of every run
    QComboBox* runs_;
    QComboBox* kinds_;
    QComboBox* fields_;
    QPushButton* export_;
    QLabel* summary_;
    QTableWidget* grid_;
};

// A run in the drop-down: its start, its kind and its counts.
QString RunChoiceText(const RunRecord& run);
// The grid heading of a DataList column ("Mobile" is 移动电话); the name itself when none.
QString FieldHeading(const std::string& column);

}  // namespace qv::tasks
