#include "ui/options_dialog.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTabWidget>

#include "core/app_info.h"
#include "core/ini_file.h"

namespace qv::ui {

TOptionsFrm::TOptionsFrm(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("选项..."));
    setFixedSize(359, 219);
    auto* pages = new QTabWidget(this);
    pages->setGeometry(8, 8, 345, 177);
    auto* general = new QWidget;
    pages->addTab(general, QStringLiteral("常规选项"));
    DetailCHK = new QCheckBox(QStringLiteral("采集数据时同时采集会员的详细信息（会影响采集速度）"), general);
    DetailCHK->setObjectName(QStringLiteral("DetailCHK"));
    DetailCHK->setGeometry(11, 16, 329, 17);
    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("OkBTN"));
    ok->setGeometry(192, 192, 75, 21);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("CancelBTN"));
    cancel->setGeometry(272, 192, 75, 21);
    connect(ok, &QPushButton::clicked, this, &TOptionsFrm::OkBTNClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TOptionsFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    findChild<QPushButton*>(QStringLiteral("OkBTN"))->setDefault(true);
    DetailCHK->setChecked(ReadSetting(AppInfo->SettingsFile, settings::kCollectCompanyDetail));
}

void TOptionsFrm::OkBTNClick() {
    WriteSetting(AppInfo->SettingsFile, settings::kCollectCompanyDetail, DetailCHK->isChecked());
    accept();
}

int ShowOptionsDialog(QWidget* owner) {
    TOptionsFrm dialog(owner);
    return dialog.exec();
}

}  // namespace qv::ui
