#pragma once
// The member grid's rows as shown: sorted by a column, narrowed by the filter row, or in
// the member model's own order. A proxy that keeps a list of record numbers and never
// moves or copies the model's rows, so a million records sort in seconds; every role of
// the model passes through unchanged. Commands map a shown row to its record with
// RecordAt and back with RowOf.
#include <QAbstractProxyModel>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "widgets/location_index.h"

namespace qv::widgets {

class MemberGridModel;

// What the filter row asks for: a text in any shown column of a record (序号 aside, letters
// of either case), and the province and city its address lies in (LocationList FIDs, 0
// for any).
struct RecordFilter {
    QString text;
    int province = 0;
    int city = 0;
    bool Empty() const { return text.trimmed().isEmpty() && province == 0 && city == 0; }
    bool operator==(const RecordFilter&) const = default;
};

// The shown text of records' columns 1 to 28, one line a record, letters folded to lower
// case: a filter text is then one memory search over all of them.
class FilterText {
public:
    int Count() const { return count_; }
    void Clear();
    void Add(const std::vector<std::string_view>& cells);
    // Sets hit[r] for every record r whose text holds `needle` (folded).
    void Match(std::string_view needle, std::vector<char>& hit) const;
    static std::string Folded(std::string_view text);

private:
    static constexpr int kChunkRecords = 1 << 16;
    std::vector<std::string> chunks_;
    std::vector<std::vector<std::uint32_t>> ends_;
    int count_ = 0;
};

// Told how far a long read of the file has come (records read, of all); false stops it.
using ReadProgress = std::function<bool(int done, int total)>;

class MemberGridOrder : public QAbstractProxyModel {
    Q_OBJECT
public:
    explicit MemberGridOrder(MemberGridModel* model, QObject* parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex&) const override { return {}; }
    bool hasChildren(const QModelIndex& parent = {}) const override { return !parent.isValid(); }
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QModelIndex mapToSource(const QModelIndex& proxy) const override;
    QModelIndex mapFromSource(const QModelIndex& source) const override;
    // Sorts by `column`; -1 goes back to the model's order. Every record must be known
    // (a data file walked to its end); a failing read of the file raises.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    int SortColumn() const { return sort_column_; }
    Qt::SortOrder SortOrder() const { return sort_order_; }
    // Shows only the records `filter` takes; as sort, every record must be known.
    void SetFilter(const RecordFilter& filter);
    // Reads from the file what SetFilter(filter) will need, before any row changes: the
    // first text filter of a large file reads every shown column once. False when
    // `progress` stopped the read; the rows are then as they were.
    bool PrepareFilter(const RecordFilter& filter, const ReadProgress& progress);
    const RecordFilter& Filter() const { return filter_; }
    bool Filtered() const { return !filter_.Empty(); }
    bool Active() const { return sort_column_ >= 0 || Filtered(); }

    // Records shown: all of the model's when nothing is filtered.
    int ShownCount() const;
    // The record (model row) of a shown row; -1 for none, such as the blank row.
    int RecordAt(int row) const;
    // The shown row of a record; -1 when the filter hides it.
    int RowOf(int record) const;
    // The provinces (parent 0) or the cities of a province that the records' addresses
    // name, in LocationList order.
    std::vector<int> PlacesBelow(int parent);

signals:
    void filterChanged();

private:
    void Rebuild();
    void EnsureSorted();
    bool EnsureText(const ReadProgress& progress = {});
    void EnsurePlaces();
    bool Passes(int record, const std::vector<char>* hit) const;
    bool PassesNew(int record);
    // True when record `a` comes before `b` in the sort order.
    bool Before(int a, int b) const;
    // Places the records the model has gained since the order was made.
    void TakeNewRecords();
    void SourceChanged(const QModelIndex& top_left, const QModelIndex& bottom_right,
                       const QList<int>& roles);
    void Forget();
    std::vector<std::string_view> ShownCells(int record) const;

    MemberGridModel* model_;
    int sort_column_ = -1;
    Qt::SortOrder sort_order_ = Qt::AscendingOrder;
    RecordFilter filter_;
    std::string needle_;  // the filter text, folded
    std::vector<int> order_;   // the shown records, while Active
    int taken_ = 0;            // the model's records the order has placed
    std::vector<int> sorted_;  // every record in sort order, while sorted
    bool sorted_known_ = false;
    mutable std::vector<int> row_of_;
    mutable bool row_of_known_ = false;
    FilterText text_;
    bool text_known_ = false;
    std::vector<Place> places_;
    bool places_known_ = false;
};

}  // namespace qv::widgets
