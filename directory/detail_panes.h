#pragma once
// The detail panes below the category pages: ContactPG with the tabs "联系方式" (ContactSG)
// and "公司介绍" (the introduction ComDetailMEM above the details CompanySG).
#include <QTabWidget>

class QPlainTextEdit;
class QTableWidget;

namespace qv::widgets {
class MemberGridModel;
}

namespace qv::directory {

class DetailPanes : public QTabWidget {
    Q_OBJECT
public:
    explicit DetailPanes(QWidget* parent = nullptr);

    QTableWidget* contactGrid() const { return ContactSG; }
    QTableWidget* companyGrid() const { return CompanySG; }
    QPlainTextEdit* introduction() const { return ComDetailMEM; }

    // Row labels in column 0, empty values in column 1; the company grid also empties the memo.
    void InitContactGrid();
    void InitCompanyGrid();
    // Column 1 takes what column 0 leaves of the grid's width.
    static void FitDetailGrid(QTableWidget* grid);
    void FitDetailGrids();
    // Shows one record (from 0) of `model`; a row without a record shows empty values.
    void ShowRecord(const widgets::MemberGridModel& model, int record);
    // Empties the value columns and the memo.
    void Clear();

protected:
    // A pane grid that changes size (window, splitter) fits its value column again.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTableWidget* ContactSG;
    QTableWidget* CompanySG;
    QPlainTextEdit* ComDetailMEM;
};

}  // namespace qv::directory
