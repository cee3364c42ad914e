#pragma once
// The filter row above a grid: a text looked for in every shown column, and the 省份 and
// 城市 lists of the places the records' addresses name (filled when a list opens, so a
// page never reads its addresses before the user asks). Used by the member grids and the
// search-across-tasks results.
#include <QComboBox>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

#include "widgets/member_grid_order.h"

class QLineEdit;
class QToolButton;

namespace qv::widgets {

class MemberGridView;

// A list that asks for its items just before it opens.
class PlaceBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> before_popup;
    void showPopup() override;
};

class GridFilterBar : public QWidget {
    Q_OBJECT
public:
    explicit GridFilterBar(QWidget* parent = nullptr);

    QLineEdit* textBox() const { return text_; }
    QComboBox* provinceBox() const { return province_; }
    QComboBox* cityBox() const { return city_; }

    // Where the lists come from: the places the records name below a province, or the
    // provinces for 0.
    void SetPlaces(std::function<std::vector<int>(int parent)> places) { places_ = std::move(places); }
    RecordFilter Filter() const;
    // Shows `filter` in the row without announcing it.
    void Show(const RecordFilter& filter);
    // Fills the province list from the records; the choice stays when it is still named.
    void FillProvinces();
    // Empties the row and announces it.
    void ClearAll();

signals:
    void filterChanged(const RecordFilter& filter);

private:
    void FillCities();
    void Announce();
    void SetPlace(QComboBox* box, int fid, const QString& all);

    QLineEdit* text_;
    PlaceBox* province_;
    PlaceBox* city_;
    QToolButton* clear_;
    QTimer typing_;
    std::function<std::vector<int>(int)> places_;
    bool showing_ = false;
};

// Puts `grid` below a filter row of its own in a new panel, which the caller places where
// the grid would go; the row drives the grid's filter and follows it.
QWidget* WithFilterBar(MemberGridView* grid, QWidget* parent = nullptr);
// The filter row of a grid placed by WithFilterBar, or none.
GridFilterBar* FilterBarOf(const MemberGridView* grid);

}  // namespace qv::widgets
