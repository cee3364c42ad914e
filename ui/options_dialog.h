#pragma once
#include <QDialog>

class QCheckBox;

namespace qv::ui {

// "选项...": whether collecting also reads every member's company profile.
class TOptionsFrm : public QDialog {
    Q_OBJECT
public:
    explicit TOptionsFrm(QWidget* owner);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OkBTNClick();
    QCheckBox* DetailCHK;
};

int ShowOptionsDialog(QWidget* owner);

}  // namespace qv::ui
