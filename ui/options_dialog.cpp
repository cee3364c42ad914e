#include "ui/options_dialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include "core/app_info.h"
#include "core/ini_file.h"
#include "tasks/proxy_setting.h"
#include "tasks/search_host.h"
#include "tasks/search_url.h"
#include "ui/proxy_tester.h"
#include "widgets/dialog_ex.h"
#include "widgets/grids.h"

namespace qv::ui {

TOptionsFrm::TOptionsFrm(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("选项"));
    setObjectName(QStringLiteral("TOptionsFrm"));
    // Layouts, so the dialog can grow to show a long proxy list and its results in full.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    auto* pages = new QTabWidget(this);
    pages->addTab(GeneralPage(), QStringLiteral("常规选项"));
    pages->addTab(ProxyPage(), QStringLiteral("代理服务器"));
    layout->addWidget(pages, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("OkBTN"));
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("CancelBTN"));
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &TOptionsFrm::OkBTNClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    resize(460, 340);
}

TOptionsFrm::~TOptionsFrm() = default;

QWidget* TOptionsFrm::GeneralPage() {
    auto* general = new QWidget;
    auto* form = new QFormLayout(general);
    DetailCHK = new QCheckBox(QStringLiteral("采集数据时同时采集会员的详细信息（会影响采集速度）(&D)"), general);
    DetailCHK->setObjectName(QStringLiteral("DetailCHK"));
    form->addRow(DetailCHK);
    IntervalSPN = new QSpinBox(general);
    IntervalSPN->setObjectName(QStringLiteral("IntervalSPN"));
    IntervalSPN->setRange(settings::kRequestInterval.min_value, settings::kRequestInterval.max_value);
    IntervalSPN->setSingleStep(100);
    IntervalSPN->setSuffix(QStringLiteral(" 毫秒"));
    IntervalSPN->setToolTip(QStringLiteral("同一个任务两次请求开始之间至少间隔的时间，0 表示不间隔"));
    form->addRow(QStringLiteral("请求间隔(&I)："), IntervalSPN);
    ConnectionsSPN = new QSpinBox(general);
    ConnectionsSPN->setObjectName(QStringLiteral("ConnectionsSPN"));
    ConnectionsSPN->setRange(settings::kConnectionsPerTask.min_value,
                             settings::kConnectionsPerTask.max_value);
    ConnectionsSPN->setToolTip(
        QStringLiteral("同一个任务同时读取公司网页所用的连接数，对任务开始后生效；1 表示逐个读取"));
    form->addRow(QStringLiteral("每个任务的连接数(&C)："), ConnectionsSPN);
    return general;
}

QWidget* TOptionsFrm::ProxyPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* label = new QLabel(QStringLiteral("每行一个，如 http://用户名:密码@主机:端口 或 socks5://主机:端口，"
                                            "# 之后是注释；任务轮流使用，被网站拦截或连接不上时换用下一个(&P)"),
                             page);
    label->setWordWrap(true);
    layout->addWidget(label);
    ProxiesMEM = new QPlainTextEdit(page);
    ProxiesMEM->setObjectName(QStringLiteral("ProxiesMEM"));
    ProxiesMEM->setLineWrapMode(QPlainTextEdit::NoWrap);
    ProxiesMEM->setTabChangesFocus(true);
    label->setBuddy(ProxiesMEM);
    layout->addWidget(ProxiesMEM, 1);
    auto* test_row = new QHBoxLayout;
    TestProxyBTN = new QPushButton(QStringLiteral("测试代理(&T)"), page);
    TestProxyBTN->setObjectName(QStringLiteral("TestProxyBTN"));
    test_row->addWidget(TestProxyBTN);
    test_row->addWidget(new QLabel(QStringLiteral("不设代理时，按 http_proxy 等环境变量连接"), page), 1);
    layout->addLayout(test_row);
    ProxyResultsSG = new QTableWidget(0, 2, page);
    ProxyResultsSG->setObjectName(QStringLiteral("ProxyResultsSG"));
    ProxyResultsSG->setHorizontalHeaderLabels({QStringLiteral("代理"), QStringLiteral("测试结果")});
    ProxyResultsSG->verticalHeader()->hide();
    ProxyResultsSG->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ProxyResultsSG->setColumnWidth(0, 190);
    ProxyResultsSG->horizontalHeader()->setStretchLastSection(true);
    widgets::ApplyGridLook(ProxyResultsSG);
    layout->addWidget(ProxyResultsSG, 1);
    connect(TestProxyBTN, &QPushButton::clicked, this, &TOptionsFrm::TestProxyBTNClick);
    return page;
}

void TOptionsFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    findChild<QPushButton*>(QStringLiteral("OkBTN"))->setDefault(true);
    DetailCHK->setChecked(ReadSetting(AppInfo->SettingsFile, settings::kCollectCompanyDetail));
    ConnectionsSPN->setValue(ReadSetting(AppInfo->SettingsFile, settings::kConnectionsPerTask));
    IntervalSPN->setValue(ReadSetting(AppInfo->SettingsFile, settings::kRequestInterval));
    ProxiesMEM->setPlainText(tasks::ProxyBoxText(AppInfo->SettingsFile));
    try {
        saved_proxies_ = tasks::ReadProxySetting(AppInfo->SettingsFile);
    } catch (const ProxyError&) {
        saved_proxies_.clear();  // the box shows the bad line; OK names it
    }
}

bool TOptionsFrm::ReadProxyBox(std::vector<Proxy>& proxies) {
    try {
        proxies = tasks::ProxiesOfBox(ProxiesMEM->toPlainText(), saved_proxies_);
        return true;
    } catch (const ProxyError& e) {
        widgets::ShowWarning(tasks::ProxyFaultMessage(e.line(), e.fault()));
        // Put the cursor on the line, so the user sees what to mend.
        QTextCursor at(ProxiesMEM->document()->findBlockByNumber(e.line() - 1));
        at.select(QTextCursor::LineUnderCursor);
        ProxiesMEM->setTextCursor(at);
        ProxiesMEM->setFocus();
        return false;
    }
}

void TOptionsFrm::OkBTNClick() {
    std::vector<Proxy> proxies;
    if (!ReadProxyBox(proxies)) return;
    WriteSetting(AppInfo->SettingsFile, settings::kCollectCompanyDetail, DetailCHK->isChecked());
    WriteSetting(AppInfo->SettingsFile, settings::kConnectionsPerTask, ConnectionsSPN->value());
    WriteSetting(AppInfo->SettingsFile, settings::kRequestInterval, IntervalSPN->value());
    tasks::WriteProxyBox(AppInfo->SettingsFile, ProxiesMEM->toPlainText(), proxies);
    accept();
}

void TOptionsFrm::TestProxyBTNClick() {
    std::vector<Proxy> proxies;
    if (!ReadProxyBox(proxies)) return;
    if (proxies.empty()) {
        widgets::ShowWarning(QStringLiteral("请先填写要测试的代理服务器。"));
        return;
    }
    ProxyResultsSG->setRowCount(static_cast<int>(proxies.size()));
    for (int i = 0; i < static_cast<int>(proxies.size()); ++i) {
        ProxyResultsSG->setItem(i, 0, new QTableWidgetItem(QString::fromStdString(proxies[i].Shown())));
        ProxyResultsSG->setItem(i, 1, new QTableWidgetItem(QStringLiteral("正在测试……")));
    }
    TestProxyBTN->setEnabled(false);
    progress_ = new QProgressDialog(QStringLiteral("正在测试代理服务器……"), QStringLiteral("取消"), 0,
                                    static_cast<int>(proxies.size()), this);
    progress_->setWindowTitle(widgets::ApplicationTitle());
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setMinimumDuration(400);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setValue(0);
    const std::string url = BuildSearchUrl(TAddTaskResult{}, SearchHost(AppInfo->SettingsFile));
    const int interval = ReadSetting(AppInfo->SettingsFile, settings::kRequestInterval);
    tester_ = std::make_unique<ProxyTester>(
        std::move(proxies), url, interval,
        [this](int index, const ProxyCheck& check) {
            ProxyResultsSG->item(index, 1)->setText(ProxyCheckText(check));
            progress_->setValue(progress_->value() + 1);
        },
        [this] { TestEnded(); });
    connect(progress_, &QProgressDialog::canceled, this, [this] {
        if (tester_) tester_->Cancel();
    });
}

void TOptionsFrm::TestEnded() {
    const bool cancelled = progress_->wasCanceled();
    progress_->deleteLater();
    progress_ = nullptr;
    // This runs inside the tester's own report: it goes once the report is over.
    tester_.release()->deleteLater();
    TestProxyBTN->setEnabled(true);
    if (!cancelled) return;
    for (int row = 0; row < ProxyResultsSG->rowCount(); ++row)
        if (ProxyResultsSG->item(row, 1)->text() == QStringLiteral("正在测试……"))
            ProxyResultsSG->item(row, 1)->setText(QStringLiteral("已取消"));
}

int ShowOptionsDialog(QWidget* owner) {
    TOptionsFrm dialog(owner);
    return dialog.exec();
}

}  // namespace qv::ui
