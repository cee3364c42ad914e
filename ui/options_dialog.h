#pragma once
#include <QDialog>

#include <memory>
#include <vector>

#include "engine/proxy.h"

class QCheckBox;
class QPlainTextEdit;
class QProgressDialog;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace qv::ui {

class ProxyTester;

// "选项...": whether collecting also reads every member's company profile, the least
// time between two requests of one task, over how many connections each task reads
// its companies' pages, and the proxies tasks send their requests through.
class TOptionsFrm : public QDialog {
    Q_OBJECT
public:
    explicit TOptionsFrm(QWidget* owner);
    ~TOptionsFrm() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* GeneralPage();
    QWidget* ProxyPage();
    void OkBTNClick();
    void TestProxyBTNClick();
    void TestEnded();
    // The proxies of the box, or none after a warning that names the bad line.
    bool ReadProxyBox(std::vector<Proxy>& proxies);
    QCheckBox* DetailCHK;
    QSpinBox* IntervalSPN;
    QSpinBox* ConnectionsSPN;
    QPlainTextEdit* ProxiesMEM;
    QPushButton* TestProxyBTN;
    QTableWidget* ProxyResultsSG;
    QProgressDialog* progress_ = nullptr;
    std::unique_ptr<ProxyTester> tester_;
    std::vector<Proxy> saved_proxies_;  // what the box's *** stand for
};

int ShowOptionsDialog(QWidget* owner);

}  // namespace qv::ui
