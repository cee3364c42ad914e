#pragma once
// The task properties dialog: how many companies the search found, and the new task's
// name and remark. It stores nothing; the add command does.
#include <QDialog>

#include "tasks/search_url.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace qv::tasks {

class TfrmTaskProperty : public QDialog {
    Q_OBJECT
public:
    TfrmTaskProperty(QWidget* owner, const QString& count, const TAddTaskResult& search);
    QString taskName() const { return name_; }
    QString remark() const { return remark_; }
    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QLabel* total_;
    QLineEdit* name_edit_;
    QPlainTextEdit* remark_edit_;
    QString name_;
    QString remark_;
};

// On OK (1) `name` is the trimmed task name and `remark` the remark box's whole text.
int ShowTaskPropertyDialog(QWidget* owner, const QString& count, const TAddTaskResult& search,
                           QString& name, QString& remark);

}  // namespace qv::tasks
