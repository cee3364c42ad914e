#include "tasks/add_task_dialog.h"

#include <QCheckBox>
#include <algorithm>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

#include "core/data_module.h"
#include "widgets/dialog_buttons.h"
#include "core/text.h"
#include "widgets/dialog_ex.h"

namespace qv::tasks {
namespace {

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string S(const QString& s) { return s.toStdString(); }

QComboBox* NewList(QWidget* parent, const char* name) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QString::fromUtf8(name));
    list->setMaxVisibleItems(20);
    return list;
}

DataPacket Locations(const std::string& sql) {
    return MiddleObj ? MiddleObj->QueryRecords(sql).value_or(DataPacket{}) : DataPacket{};
}

}  // namespace

TfrmAddTask::TfrmAddTask(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("添加采集任务"));
    setFixedSize(436, 279);
    pages_ = new QTabWidget(this);
    pages_->setObjectName(QStringLiteral("PageControl"));
    pages_->addTab(BuildKeywordTab(), QStringLiteral("A.按关键词搜索"));
    pages_->addTab(BuildCategoryTab(), QStringLiteral("B.按行业分类搜索"));
    QDialogButtonBox* buttons = widgets::NewOkCancelButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);
    layout->addWidget(buttons);
    LoadProvinces();
}

QWidget* TfrmAddTask::BuildKeywordTab() {
    auto* tab = new QWidget;
    keyword_ = new QLineEdit(tab);
    keyword_->setObjectName(QStringLiteral("KeywordEdit"));
    province_ = NewList(tab, "ProvinceCB");
    city_ = NewList(tab, "CityCB");
    biztype_ = NewList(tab, "BiztypeCB");
    for (const auto& item : BiztypeList()) biztype_->addItem(Q(item.caption), item.code);
    year_ = NewList(tab, "YearCB");
    for (const auto& item : EstablishedYearList()) year_->addItem(Q(item.caption), Q(item.code));
    only_ali_ = new QCheckBox(QStringLiteral("只采集诚信通会员信息"), tab);
    only_ali_->setObjectName(QStringLiteral("onlyAliMemberCHK"));
    only_online_ = new QCheckBox(QStringLiteral("只采集贸易通在线会员信息"), tab);
    only_online_->setObjectName(QStringLiteral("onlyOnlineMemberCHK"));
    connect(province_, &QComboBox::currentIndexChanged, this, [this](int index) {
        LoadCities(index < 0 ? -1 : province_->itemData(index).toInt());
    });

    auto* keyword_row = new QHBoxLayout;
    keyword_row->addWidget(new QLabel(QStringLiteral("输入关键词："), tab));
    keyword_row->addWidget(keyword_, 1);
    auto* group = new QGroupBox(QStringLiteral("搜索条件"), tab);
    auto* form = new QFormLayout(group);
    auto* places = new QHBoxLayout;
    places->addWidget(province_, 1);
    places->addWidget(city_, 1);
    form->addRow(QStringLiteral("省份城市："), places);
    form->addRow(QStringLiteral("经营模式："), biztype_);
    form->addRow(QStringLiteral("注册年份："), year_);
    auto* layout = new QVBoxLayout(tab);
    layout->addLayout(keyword_row);
    layout->addWidget(group);
    layout->addWidget(only_ali_);
    layout->addWidget(only_online_);
    layout->addStretch();
    return tab;
}

QWidget* TfrmAddTask::BuildCategoryTab() {
    auto* tab = new QWidget;
    category_ = NewList(tab, "CategoryCB");
    for (const auto& item : CategoryList()) category_->addItem(Q(item.caption), item.id);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("请选择分类："), tab));
    row->addWidget(category_, 1);
    auto* picture = new QLabel(tab);
    picture->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    picture->setAlignment(Qt::AlignTop);
    auto* note = new QLabel(QStringLiteral(
        "提示：请选择上面的行业分类，选择好后，按确定按钮，即可按\n照行业分类搜索。\n\n"
        "注意：分类搜索不能输入关键词，如果需要输入关键词，请选择\nA方法。"), tab);
    note->setObjectName(QStringLiteral("CategoryNote"));
    note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    note->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    auto* note_row = new QHBoxLayout;
    note_row->addWidget(picture);
    note_row->addWidget(note, 1);
    auto* layout = new QVBoxLayout(tab);
    layout->addLayout(row);
    layout->addLayout(note_row);
    layout->addStretch();
    return tab;
}

void TfrmAddTask::LoadProvinces() {
    province_->blockSignals(true);
    province_->clear();
    province_->addItem(Q(kAllProvinces), -1);
    DataPacket rows = Locations("SELECT * FROM LocationList WHERE ParentID=0 ORDER BY FID");
    for (size_t r = 0; r < rows.rows.size(); ++r)
        province_->addItem(Q(Trim(rows.Text(r, "LocationName"))),
                           static_cast<int>(rows.Integer(r, "FID")));
    province_->blockSignals(false);
}

void TfrmAddTask::LoadCities(int code) {
    city_->clear();
    city_->addItem(Q(kAllCities));
    DataPacket rows = Locations("SELECT * FROM LocationList WHERE ParentID=" + IntToStr(code) +
                                " ORDER BY FID");
    for (size_t r = 0; r < rows.rows.size(); ++r)
        city_->addItem(Q(Trim(rows.Text(r, "LocationName"))));
    city_->setCurrentIndex(0);
}

void TfrmAddTask::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (shown_search_)
        ShowInput(*shown_search_);
    else
        ClearInput();
}

void TfrmAddTask::ClearInput() {
    keyword_->clear();
    province_->blockSignals(true);
    province_->setCurrentIndex(0);
    province_->blockSignals(false);
    LoadCities(-1);
    biztype_->setCurrentIndex(0);
    year_->setCurrentIndex(0);
    category_->setCurrentIndex(-1);
    only_ali_->setChecked(false);
    only_online_->setChecked(false);
    pages_->setCurrentIndex(0);
    keyword_->setFocus();
}

void TfrmAddTask::ShowInput(const TAddTaskResult& search) {
    ClearInput();
    if (search.SearchKind == 1) {
        category_->setCurrentIndex(category_->findData(search.CategoryId));
        pages_->setCurrentIndex(1);
        category_->setFocus();
        return;
    }
    keyword_->setText(Q(search.Keyword));
    // A caption the list does not hold leaves the list at its first entry.
    auto pick = [](QComboBox* list, int index) { list->setCurrentIndex(std::max(0, index)); };
    pick(province_, province_->findText(Q(search.Province)));
    pick(city_, city_->findText(Q(search.City)));
    pick(biztype_, biztype_->findData(search.BiztypeCode));
    pick(year_, year_->findData(Q(search.EstablishedYearCode)));
    only_ali_->setChecked(search.onlyAliMember);
    only_online_->setChecked(search.onlyOnlineMember);
    keyword_->selectAll();
}

bool TfrmAddTask::TakeKeywordSearch() {
    std::string keyword = Trim(S(keyword_->text()));
    if (keyword.empty()) {
        widgets::ShowWarning(QStringLiteral("关键词必须输入。"));
        keyword_->setFocus();
        return false;
    }
    result_ = TAddTaskResult{};
    result_.SearchKind = 0;
    result_.Keyword = keyword;
    result_.Province = Trim(S(province_->currentText()));
    result_.City = Trim(S(city_->currentText()));
    result_.BiztypeCode = biztype_->currentData().toInt();
    result_.BiztypeName = Trim(S(biztype_->currentText()));
    result_.EstablishedYearCode = Trim(S(year_->currentData().toString()));
    result_.EstablishedYearName = Trim(S(year_->currentText()));
    result_.onlyAliMember = only_ali_->isChecked();
    result_.onlyOnlineMember = only_online_->isChecked();
    return true;
}

bool TfrmAddTask::TakeCategorySearch() {
    if (category_->currentIndex() < 0) {
        widgets::ShowWarning(QStringLiteral("行业分类必须要选择。"));
        category_->setFocus();
        return false;
    }
    result_ = TAddTaskResult{};
    result_.SearchKind = 1;
    result_.CategoryId = category_->currentData().toInt();
    result_.CategoryLargeName = Trim(S(category_->currentText()));
    return true;
}

void TfrmAddTask::accept() {
    bool taken = pages_->currentIndex() == 0 ? TakeKeywordSearch() : TakeCategorySearch();
    if (taken) QDialog::accept();
}

int ShowAddTaskDialog(QWidget* owner, TAddTaskResult& result, bool again) {
    TfrmAddTask dialog(owner);
    if (again) dialog.ShowSearch(result);
    if (dialog.exec() != QDialog::Accepted) return widgets::mrCancel;
    result = dialog.result();
    return widgets::mrOk;
}

}  // namespace qv::tasks
