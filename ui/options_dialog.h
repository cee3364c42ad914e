#pragma once
#include <QDialog>

class QCheckBox;
class QSpinBox;

namespace qv::ui {

// "选项...": whether collecting also reads every member's company profile, and the least
// time between two requests of one task.
class TOptionsFrm : public QDialog {
    Q_OBJECT
public:
    explicit TOptionsFrm(QWidget* owner);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OkBTNClick();
    QCheckBox* DetailCHK;
    QSpinBox* IntervalSPN;
};

int ShowOptionsDialog(QWidget* owner);

}  // namespace qv::ui
