#include "directory/record_search.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <array>

#include "core/app_info.h"
#include "core/ini_file.h"
#include "core/text.h"
#include "directory/category_pages.h"
#include "widgets/dialog_ex.h"
#include "widgets/guarded.h"
#include "widgets/member_grid.h"

namespace qv::directory {
namespace {

struct SearchField {
    const char* item;
    int grid_column;
};

constexpr std::array<SearchField, 6> kSearchFields{{
    {"联系人", 5}, {"公司名称", 1}, {"主营产品或服务", 15}, {"经营品牌", 26}, {"电话", 9}, {"地址", 11},
}};
// The field a search uses until the user picks another.
constexpr int kDefaultField = 1;

std::string ReadHistory(const char* key) {
    return Trim(TIniFileEx::ReadString(AppInfo->SettingsFile, settings::kSearchHistorySection, key,
                                       settings::kSearchHistoryDefault));
}

void WriteHistory(const char* key, const std::string& text) {
    TIniFileEx::WriteString(AppInfo->SettingsFile, settings::kSearchHistorySection, key, text);
}

}  // namespace

RecordSearch::RecordSearch(CategoryPages& pages, std::function<void(const QString&)> status,
                           QWidget* parent)
    : QWidget(parent), pages_(pages), status_(std::move(status)) {
    SearchCB = new QComboBox(this);
    SearchCB->setObjectName(QStringLiteral("SearchCB"));
    SearchCB->setEditable(true);
    // The list changes only through the history; typing never adds to it or completes.
    SearchCB->setInsertPolicy(QComboBox::NoInsert);
    SearchCB->setCompleter(nullptr);
    SearchCB->setMinimumWidth(160);
    FieldsCB = new QComboBox(this);
    FieldsCB->setObjectName(QStringLiteral("FieldsCB"));
    for (const SearchField& field : kSearchFields) FieldsCB->addItem(QString::fromUtf8(field.item));
    FieldsCB->setCurrentIndex(kDefaultField);
    searchBTN = new QPushButton(QStringLiteral("搜索"), this);
    searchBTN->setObjectName(QStringLiteral("searchBTN"));
    onlyMemberCB = new QCheckBox(QStringLiteral("只显示诚信通会员"), this);
    onlyMemberCB->setObjectName(QStringLiteral("onlyMemberCB"));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(new QLabel(QStringLiteral("查找："), this));
    layout->addWidget(SearchCB);
    layout->addSpacing(8);
    layout->addWidget(new QLabel(QStringLiteral("指定字段："), this));
    layout->addWidget(FieldsCB);
    layout->addSpacing(8);
    layout->addWidget(searchBTN);
    layout->addSpacing(8);
    layout->addWidget(onlyMemberCB);
    layout->addStretch(1);

    connect(SearchCB, &QComboBox::activated, this, [this] { widgets::Guarded([this] { SearchCBChange(); }); });
    // Enter in the box searches, as the button does.
    connect(SearchCB->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { widgets::Guarded([this] { searchBTNClick(); }); });
    connect(searchBTN, &QPushButton::clicked, this, [this] { widgets::Guarded([this] { searchBTNClick(); }); });
    connect(onlyMemberCB, &QCheckBox::clicked, this,
            [this] { widgets::Guarded([this] { onlyMemberCBClick(); }); });
}

void RecordSearch::LoadSearchHistory() {
    SearchCB->clear();
    for (const char* key : settings::kSearchHistoryKeys)
        if (std::string text = ReadHistory(key); !text.empty())
            SearchCB->addItem(QString::fromStdString(text));
    SearchCB->addItem(QString::fromUtf8(kSeparatorItem));
    SearchCB->addItem(QString::fromUtf8(kClearListItem));
    SearchCB->setCurrentIndex(-1);
    SearchCB->clearEditText();
}

void RecordSearch::SetCommandsEnabled(bool enabled) {
    searchBTN->setEnabled(enabled);
    onlyMemberCB->setEnabled(enabled);
}

void RecordSearch::ResetSearchBox() {
    SearchCB->setCurrentIndex(-1);
    SearchCB->clearEditText();
}

void RecordSearch::SearchCBChange() {
    int index = SearchCB->currentIndex();
    QString item = index >= 0 ? SearchCB->itemText(index).trimmed() : QString();
    if (item == QString::fromUtf8(kSeparatorItem)) {
        ResetSearchBox();
    } else if (item == QString::fromUtf8(kClearListItem)) {
        SearchCB->clear();
        for (const char* key : settings::kSearchHistoryKeys) WriteHistory(key, std::string());
        SearchCB->addItem(QString::fromUtf8(kSeparatorItem));
        SearchCB->addItem(QString::fromUtf8(kClearListItem));
        ResetSearchBox();
    }
}

void RecordSearch::RememberSearchText(const std::string& text) {
    std::array<std::string, settings::kSearchHistoryKeys.size()> stored;
    for (size_t i = 0; i < stored.size(); ++i) {
        stored[i] = ReadHistory(settings::kSearchHistoryKeys[i]);
        if (stored[i] == text) return;
    }
    // The first free one of the first four keys, else the fifth is replaced.
    size_t slot = stored.size() - 1;
    for (size_t i = 0; i + 1 < stored.size(); ++i)
        if (stored[i].empty()) {
            slot = i;
            break;
        }
    WriteHistory(settings::kSearchHistoryKeys[slot], text);
    // The list offers the text at once; the box keeps it.
    const QString typed = SearchCB->currentText();
    LoadSearchHistory();
    SearchCB->setEditText(typed);
}

void RecordSearch::searchBTNClick() {
    CategoryPage* page = pages_.ShownPage();
    if (pages_.PageCount() == 0 || !page) return;
    std::string text = Trim(SearchCB->currentText().toStdString());
    if (text.empty()) {
        widgets::ShowWarning(QStringLiteral("请输入需要搜索的文字"));
        SearchCB->setFocus();
        return;
    }
    if (text == kSeparatorItem || text == kClearListItem) {
        widgets::ShowWarning(QStringLiteral("需要搜索的文字无效"));
        SearchCB->setFocus();
        return;
    }
    int field = FieldsCB->currentIndex();
    if (field < 0) {
        widgets::ShowWarning(QStringLiteral("请选择要搜索的字段"));
        FieldsCB->setFocus();
        return;
    }
    RememberSearchText(text);

    // Both texts are UTF-8, so a hit found on bytes begins and ends on whole characters.
    const int column = kSearchFields[static_cast<size_t>(field)].grid_column;
    widgets::MemberGridModel& model = *page->record().MemberGrid->memberModel();
    // A page just opened may still be counting its records; a cancel leaves all as it was.
    if (!widgets::WaitForAllRecords(model, this)) return;
    // Another text, field or page is a new search, from the top.
    const SearchWalk walk{QString::fromStdString(text), field, page};
    if (!(walk == walk_)) last_found_row_ = -1;
    walk_ = walk;
    // Rows as shown: under a sort or a filter the walk goes down the page as it is seen.
    widgets::MemberGridView& grid = *page->record().MemberGrid;
    const int from = last_found_row_ >= 0 ? last_found_row_ : 0;  // from 0: the row after the hit
    int found = grid.FindShownRow(column, text, from);
    // Past the last hit the walk goes on from the top, and says so.
    if (found < 0 && from > 0 && (found = grid.FindShownRow(column, text, 0)) >= 0)
        status_(QStringLiteral("已从头开始查找"));
    if (found >= 0) {
        const int row = found + 1;
        pages_.SelectRow(row, column);
        last_found_row_ = row;
        return;
    }
    last_found_row_ = -1;
    widgets::ShowInfo(QStringLiteral("未找到符合搜索文字的记录"));
    pages_.SelectRow(1);
}

void RecordSearch::FocusSearchBox() {
    SearchCB->setFocus(Qt::ShortcutFocusReason);
    SearchCB->lineEdit()->selectAll();
}

void RecordSearch::onlyMemberCBClick() {
    CategoryPage* page = pages_.ShownPage();
    if (pages_.PageCount() == 0 || !page) return;
    pages_.FillCategoryGrid(page->record(), onlyMemberCB->isChecked()
                                                ? kSelectTrustPassMembers
                                                : widgets::kSelectAllMembers);
    pages_.SelectRow(1);
    pages_.ShowCategoryRecord(1);
    pages_.UpdateCategoryBarState();
}

void RecordSearch::UntickOnlyMember() {
    if (!onlyMemberCB->isChecked()) return;
    onlyMemberCB->setChecked(false);
    onlyMemberCBClick();
}

}  // namespace qv::directory

