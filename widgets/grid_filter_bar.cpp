#include "widgets/grid_filter_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "widgets/guarded.h"
#include "widgets/location_index.h"
#include "widgets/member_grid.h"

namespace qv::widgets {
namespace {

// Typing narrows the rows once the user pauses, not at every key of a million records.
constexpr int kTypingPauseMs = 300;

const QString& AllProvinces() {
    static const QString text = QStringLiteral("全部省份");
    return text;
}
const QString& AllCities() {
    static const QString text = QStringLiteral("全部城市");
    return text;
}

}  // namespace

void PlaceBox::showPopup() {
    if (before_popup) before_popup();
    QComboBox::showPopup();
}

GridFilterBar::GridFilterBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("GridFilterBar"));
    text_ = new QLineEdit(this);
    text_->setObjectName(QStringLiteral("GridFilterED"));
    text_->setPlaceholderText(QStringLiteral("在显示的各列中筛选"));
    text_->setClearButtonEnabled(true);
    province_ = new PlaceBox(this);
    province_->setObjectName(QStringLiteral("GridProvinceCB"));
    province_->addItem(AllProvinces(), 0);
    province_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    province_->before_popup = [this] { FillProvinces(); };
    city_ = new PlaceBox(this);
    city_->setObjectName(QStringLiteral("GridCityCB"));
    city_->addItem(AllCities(), 0);
    city_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    city_->before_popup = [this] { FillCities(); };
    clear_ = new QToolButton(this);
    clear_->setObjectName(QStringLiteral("GridFilterClearBTN"));
    clear_->setText(QStringLiteral("清除筛选"));
    clear_->setAutoRaise(true);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 1, 2, 1);
    auto* label = new QLabel(QStringLiteral("筛选(&L)："), this);
    label->setBuddy(text_);
    layout->addWidget(label);
    layout->addWidget(text_, 1);
    layout->addSpacing(6);
    layout->addWidget(new QLabel(QStringLiteral("省份："), this));
    layout->addWidget(province_);
    layout->addWidget(new QLabel(QStringLiteral("城市："), this));
    layout->addWidget(city_);
    layout->addWidget(clear_);

    typing_.setSingleShot(true);
    typing_.setInterval(kTypingPauseMs);
    connect(&typing_, &QTimer::timeout, this, &GridFilterBar::Announce);
    connect(text_, &QLineEdit::textChanged, this, [this] {
        if (!showing_) typing_.start();
    });
    connect(text_, &QLineEdit::returnPressed, this, &GridFilterBar::Announce);
    connect(province_, &QComboBox::activated, this, [this] {
        // Another province: its cities, any of them.
        city_->clear();
        city_->addItem(AllCities(), 0);
        Announce();
    });
    connect(city_, &QComboBox::activated, this, &GridFilterBar::Announce);
    connect(clear_, &QToolButton::clicked, this, &GridFilterBar::ClearAll);
}

RecordFilter GridFilterBar::Filter() const {
    RecordFilter filter;
    filter.text = text_->text().trimmed();
    filter.province = province_->currentData().toInt();
    filter.city = filter.province == 0 ? 0 : city_->currentData().toInt();
    return filter;
}

void GridFilterBar::Announce() {
    typing_.stop();
    emit filterChanged(Filter());
}

void GridFilterBar::ClearAll() {
    Show(RecordFilter{});
    Announce();
}

void GridFilterBar::SetPlace(QComboBox* box, int fid, const QString& all) {
    int at = box->findData(fid);
    if (at < 0 && fid != 0) {
        // A place the list does not hold yet (shown before the list was filled).
        box->addItem(LocationIndex::Shared().Name(fid), fid);
        at = box->count() - 1;
    }
    if (at < 0) at = box->findText(all);
    box->setCurrentIndex(std::max(0, at));
}

void GridFilterBar::Show(const RecordFilter& filter) {
    typing_.stop();
    showing_ = true;
    if (text_->text().trimmed() != filter.text.trimmed()) text_->setText(filter.text);
    SetPlace(province_, filter.province, AllProvinces());
    if (filter.province == 0 || city_->currentData().toInt() != filter.city) {
        city_->clear();
        city_->addItem(AllCities(), 0);
    }
    SetPlace(city_, filter.city, AllCities());
    showing_ = false;
}

void GridFilterBar::FillProvinces() {
    if (!places_) return;
    const int chosen = province_->currentData().toInt();
    std::vector<int> provinces;
    Guarded([&] { provinces = places_(0); });
    province_->clear();
    province_->addItem(AllProvinces(), 0);
    for (int fid : provinces) province_->addItem(LocationIndex::Shared().Name(fid), fid);
    SetPlace(province_, chosen, AllProvinces());
}

void GridFilterBar::FillCities() {
    const int province = province_->currentData().toInt();
    const int chosen = city_->currentData().toInt();
    city_->clear();
    city_->addItem(AllCities(), 0);
    if (places_ && province != 0) {
        std::vector<int> cities;
        Guarded([&] { cities = places_(province); });
        for (int fid : cities) city_->addItem(LocationIndex::Shared().Name(fid), fid);
    }
    SetPlace(city_, chosen, AllCities());
}

QWidget* WithFilterBar(MemberGridView* grid, QWidget* parent) {
    auto* panel = new QWidget(parent);
    panel->setObjectName(QStringLiteral("FilteredGridPanel"));
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* bar = new GridFilterBar(panel);
    layout->addWidget(bar);
    grid->setParent(panel);
    layout->addWidget(grid, 1);
    bar->SetPlaces([grid](int parent) {
        if (!WaitForAllRecords(*grid->memberModel(), grid)) return std::vector<int>{};
        return grid->order()->PlacesBelow(parent);
    });
    QObject::connect(bar, &GridFilterBar::filterChanged, grid, [grid, bar](const RecordFilter& filter) {
        bool applied = false;
        Guarded([&] { applied = grid->ApplyFilter(filter); });
        // A cancelled wait or a failed read leaves the grid as it was, and the row says so.
        if (!applied) bar->Show(grid->order()->Filter());
    });
    QObject::connect(grid->order(), &MemberGridOrder::filterChanged, bar,
                     [grid, bar] { bar->Show(grid->order()->Filter()); });
    return panel;
}

GridFilterBar* FilterBarOf(const MemberGridView* grid) {
    QWidget* panel = grid ? grid->parentWidget() : nullptr;
    return panel ? panel->findChild<GridFilterBar*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

}  // namespace qv::widgets
