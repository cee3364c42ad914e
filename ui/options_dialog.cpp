#include "ui/options_dialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QSpinBox>
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
    auto* interval_label = new QLabel(QStringLiteral("请求间隔："), general);
    interval_label->setGeometry(11, 48, 70, 21);
    IntervalSPN = new QSpinBox(general);
    IntervalSPN->setObjectName(QStringLiteral("IntervalSPN"));
    IntervalSPN->setGeometry(81, 48, 110, 21);
    IntervalSPN->setRange(settings::kRequestInterval.min_value, settings::kRequestInterval.max_value);
    IntervalSPN->setSingleStep(100);
    IntervalSPN->setSuffix(QStringLiteral(" 毫秒"));
    IntervalSPN->setToolTip(QStringLiteral("同一个任务两次请求开始之间至少间隔的时间，0 表示不间隔"));
    interval_label->setBuddy(IntervalSPN);
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
    IntervalSPN->setValue(ReadSetting(AppInfo->SettingsFile, settings::kRequestInterval));
}

void TOptionsFrm::OkBTNClick() {
    WriteSetting(AppInfo->SettingsFile, settings::kCollectCompanyDetail, DetailCHK->isChecked());
    WriteSetting(AppInfo->SettingsFile, settings::kRequestInterval, IntervalSPN->value());
    accept();
}

int ShowOptionsDialog(QWidget* owner) {
    TOptionsFrm dialog(owner);
    return dialog.exec();
}

}  // namespace qv::ui
