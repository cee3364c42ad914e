#include "widgets/member_grid_order.h"

#include <QtAlgorithms>

#include <algorithm>
#include <cstring>
#include <numeric>

#include "widgets/member_grid.h"
#include "widgets/sort_ranks.h"

namespace qv::widgets {
namespace {

// The shown data columns; 29 to 31 (the links and the introduction) are hidden.
constexpr int kLastShownColumn = 28;
constexpr int kAddressColumn = 11;
constexpr char kCellBreak = '\x1f';

const std::vector<int>& FilteredColumns() {
    static const std::vector<int> columns = [] {
        std::vector<int> c(kLastShownColumn);
        std::iota(c.begin(), c.end(), 1);
        return c;
    }();
    return columns;
}

}  // namespace

void FilterText::Clear() {
    chunks_.clear();
    ends_.clear();
    count_ = 0;
}

std::string FilterText::Folded(std::string_view text) {
    std::string folded(text);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

void FilterText::Add(const std::vector<std::string_view>& cells) {
    if (count_ % kChunkRecords == 0) {
        chunks_.emplace_back();
        ends_.emplace_back();
        ends_.back().reserve(kChunkRecords);
    }
    std::string& text = chunks_.back();
    for (std::string_view cell : cells) {
        const size_t at = text.size();
        text.append(cell);
        for (size_t i = at; i < text.size(); ++i)
            if (text[i] >= 'A' && text[i] <= 'Z') text[i] = static_cast<char>(text[i] - 'A' + 'a');
        text.push_back(kCellBreak);
    }
    ends_.back().push_back(static_cast<std::uint32_t>(text.size()));
    ++count_;
}

void FilterText::Match(std::string_view needle, std::vector<char>& hit) const {
    if (needle.empty()) return;
    for (size_t k = 0; k < chunks_.size(); ++k) {
        const std::string& text = chunks_[k];
        const std::vector<std::uint32_t>& ends = ends_[k];
        const size_t base = k * kChunkRecords;
        size_t from = 0;
        // One search runs through the whole chunk; a hit skips the rest of its record.
        while (from < text.size()) {
            const void* at = memmem(text.data() + from, text.size() - from, needle.data(), needle.size());
            if (!at) break;
            const size_t offset = static_cast<size_t>(static_cast<const char*>(at) - text.data());
            const size_t record = static_cast<size_t>(std::upper_bound(ends.begin(), ends.end(), offset) - ends.begin());
            if (record >= ends.size()) break;
            hit[base + record] = 1;
            from = ends[record];
        }
    }
}

MemberGridOrder::MemberGridOrder(MemberGridModel* model, QObject* parent)
    : QAbstractProxyModel(parent), model_(model) {
    setSourceModel(model);
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        Forget();
        // A new result under a sort or a filter: sorted and filtered again, once known.
        if (Active()) {
            model_->EnsureAllRecords();
            Rebuild();
        }
        endResetModel();
    });
    connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this,
            [this](const QModelIndex&, int first, int last) {
                if (!Active()) beginInsertRows({}, first, last);
            });
    connect(model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int first, int last) {
        if (!Active()) {
            endInsertRows();
            // Kept up for a filter asked later; cheap while the records are in memory.
            text_known_ = places_known_ = sorted_known_ = false;
            return;
        }
        TakeNewRecords();
    });
    connect(model, &QAbstractItemModel::dataChanged, this, &MemberGridOrder::SourceChanged);
    connect(model, &QAbstractItemModel::headerDataChanged, this, &QAbstractItemModel::headerDataChanged);
}

QModelIndex MemberGridOrder::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || column < 0 || row >= rowCount() || column >= columnCount()) return {};
    return createIndex(row, column);
}

int MemberGridOrder::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    if (!Active()) return model_->rowCount();
    // As the model: one blank row when nothing is shown.
    return std::max<int>(1, static_cast<int>(order_.size()));
}

int MemberGridOrder::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : model_->columnCount();
}

Qt::ItemFlags MemberGridOrder::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}

QModelIndex MemberGridOrder::mapToSource(const QModelIndex& proxy) const {
    if (!proxy.isValid()) return {};
    if (!Active()) return model_->index(proxy.row(), proxy.column());
    const int record = RecordAt(proxy.row());
    return record < 0 ? QModelIndex() : model_->index(record, proxy.column());
}

QModelIndex MemberGridOrder::mapFromSource(const QModelIndex& source) const {
    if (!source.isValid()) return {};
    const int row = Active() ? RowOf(source.row()) : source.row();
    return row < 0 ? QModelIndex() : index(row, source.column());
}

int MemberGridOrder::ShownCount() const {
    return Active() ? static_cast<int>(order_.size()) : model_->RecordCount();
}

int MemberGridOrder::RecordAt(int row) const {
    if (!Active()) return row >= 0 && row < model_->RecordCount() ? row : -1;
    return row >= 0 && row < static_cast<int>(order_.size()) ? order_[static_cast<size_t>(row)] : -1;
}

int MemberGridOrder::RowOf(int record) const {
    if (record < 0 || record >= model_->RecordCount()) return -1;
    if (!Active()) return record;
    if (!row_of_known_) {
        row_of_.assign(static_cast<size_t>(model_->RecordCount()), -1);
        for (size_t row = 0; row < order_.size(); ++row) row_of_[static_cast<size_t>(order_[row])] = static_cast<int>(row);
        row_of_known_ = true;
    }
    return row_of_[static_cast<size_t>(record)];
}

void MemberGridOrder::sort(int column, Qt::SortOrder order) {
    if (column >= columnCount()) return;
    // The current cell and the selection stay on their records.
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::pair<int, int>> records;  // record and column of each
    for (const QModelIndex& index : before) records.emplace_back(RecordAt(index.row()), index.column());
    const int rows_before = rowCount();
    try {
        if (column != sort_column_ || order != sort_order_) sorted_known_ = false;
        sort_column_ = column;
        sort_order_ = order;
        Rebuild();
    } catch (...) {
        // The model's order again, without the filter that may need the same failed read.
        sort_column_ = -1;
        filter_ = {};
        needle_.clear();
        Rebuild();
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
        throw;
    }
    QModelIndexList after;
    for (size_t i = 0; i < records.size(); ++i) {
        const int row = records[i].first < 0 ? (rows_before == rowCount() ? before[static_cast<int>(i)].row() : -1)
                                             : RowOf(records[i].first);
        after << (row < 0 ? QModelIndex() : index(row, records[i].second));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void MemberGridOrder::SetFilter(const RecordFilter& filter) {
    if (filter == filter_) return;
    beginResetModel();
    filter_ = filter;
    filter_.text = filter.text.trimmed();
    needle_ = FilterText::Folded(filter_.text.toStdString());
    try {
        Rebuild();
    } catch (...) {
        filter_ = {};
        needle_.clear();
        sort_column_ = -1;
        Rebuild();
        endResetModel();
        emit filterChanged();
        throw;
    }
    endResetModel();
    emit filterChanged();
}

void MemberGridOrder::Forget() {
    sorted_known_ = text_known_ = places_known_ = row_of_known_ = false;
    order_.clear();
}

void MemberGridOrder::Rebuild() {
    row_of_known_ = false;
    order_.clear();
    taken_ = model_->RecordCount();
    if (!Active()) {
        sorted_.clear();
        sorted_known_ = false;
        return;
    }
    const int count = model_->RecordCount();
    std::vector<char> hit;
    if (!needle_.empty()) {
        EnsureText();
        hit.assign(static_cast<size_t>(count), 0);
        text_.Match(needle_, hit);
    }
    if (filter_.province != 0 || filter_.city != 0) EnsurePlaces();
    order_.reserve(static_cast<size_t>(count));
    if (sort_column_ < 0) {
        for (int r = 0; r < count; ++r)
            if (Passes(r, &hit)) order_.push_back(r);
        return;
    }
    EnsureSorted();
    for (int r : sorted_)
        if (Passes(r, &hit)) order_.push_back(r);
}

bool MemberGridOrder::Passes(int record, const std::vector<char>* hit) const {
    if (filter_.province != 0 || filter_.city != 0) {
        const Place& place = places_[static_cast<size_t>(record)];
        if (filter_.province != 0 && place.province != filter_.province) return false;
        if (filter_.city != 0 && place.city != filter_.city) return false;
    }
    return needle_.empty() || (hit && (*hit)[static_cast<size_t>(record)]);
}

void MemberGridOrder::EnsureSorted() {
    const int count = model_->RecordCount();
    if (sorted_known_ && static_cast<int>(sorted_.size()) == count) return;
    const bool descending = sort_order_ == Qt::DescendingOrder;
    if (sort_column_ == 0) {
        sorted_.resize(static_cast<size_t>(count));
        std::iota(sorted_.begin(), sorted_.end(), 0);
        if (descending) std::reverse(sorted_.begin(), sorted_.end());
    } else {
        // Each distinct text is keyed once; the rows then sort by small numbers.
        SortRanks ranks;
        std::vector<std::uint32_t> values(static_cast<size_t>(count));
        model_->ForEachRecord({sort_column_}, [&](int record, const std::vector<std::string_view>& cells) {
            values[static_cast<size_t>(record)] = ranks.Add(cells[0]);
        });
        ranks.Finish();
        sorted_ = OrderByRanks(ranks, values, descending);
    }
    sorted_known_ = true;
}

bool MemberGridOrder::EnsureText(const ReadProgress& progress) {
    const int count = model_->RecordCount();
    if (text_known_ && text_.Count() == count) return true;
    if (text_known_ && text_.Count() < count) {
        // Records that came in since the text was read: only those, one by one.
        for (int r = text_.Count(); r < count; ++r) text_.Add(ShownCells(r));
        return true;
    }
    struct Stopped {};
    constexpr int kProgressStep = 4096;
    FilterText text;
    try {
        model_->ForEachRecord(FilteredColumns(), [&](int record, const std::vector<std::string_view>& cells) {
            text.Add(cells);
            if (progress && record % kProgressStep == 0 && !progress(record, count)) throw Stopped{};
        });
    } catch (const Stopped&) {
        return false;
    }
    text_ = std::move(text);
    text_known_ = true;
    return true;
}

bool MemberGridOrder::PrepareFilter(const RecordFilter& filter, const ReadProgress& progress) {
    if (filter.text.trimmed().isEmpty()) return true;
    return EnsureText(progress);
}

void MemberGridOrder::EnsurePlaces() {
    if (places_known_ && static_cast<int>(places_.size()) == model_->RecordCount()) return;
    const LocationIndex& locations = LocationIndex::Shared();
    places_.assign(static_cast<size_t>(model_->RecordCount()), Place{});
    model_->ForEachRecord({kAddressColumn}, [&](int record, const std::vector<std::string_view>& cells) {
        places_[static_cast<size_t>(record)] = locations.Locate(cells[0]);
    });
    places_known_ = true;
}

std::vector<int> MemberGridOrder::PlacesBelow(int parent) {
    EnsurePlaces();
    const LocationIndex& locations = LocationIndex::Shared();
    std::vector<int> found;
    for (const Place& place : places_) {
        const int fid = parent == 0 ? place.province : (place.province == parent ? place.city : 0);
        if (fid != 0 && std::find(found.begin(), found.end(), fid) == found.end()) found.push_back(fid);
    }
    std::sort(found.begin(), found.end(),
              [&](int a, int b) { return locations.Position(a) < locations.Position(b); });
    return found;
}

std::vector<std::string_view> MemberGridOrder::ShownCells(int record) const {
    std::vector<std::string_view> cells;
    for (int c : FilteredColumns()) cells.push_back(model_->CellView(record, c));
    return cells;
}

bool MemberGridOrder::PassesNew(int record) {
    if (filter_.province != 0 || filter_.city != 0) {
        if (places_known_ && static_cast<int>(places_.size()) == record)
            places_.push_back(LocationIndex::Shared().Locate(model_->CellView(record, kAddressColumn)));
        else
            EnsurePlaces();
    }
    if (needle_.empty()) return Passes(record, nullptr);
    const std::vector<std::string_view> cells = ShownCells(record);
    if (text_known_ && text_.Count() == record)
        text_.Add(cells);
    else
        text_known_ = false;
    // Only this record is looked at, in the folded form the whole text has.
    std::string line;
    for (std::string_view cell : cells) (line += FilterText::Folded(cell)) += kCellBreak;
    std::vector<char> hit(static_cast<size_t>(record) + 1, 0);
    hit[static_cast<size_t>(record)] = line.find(needle_) != std::string::npos;
    return Passes(record, &hit);
}

bool MemberGridOrder::Before(int a, int b) const {
    if (sort_column_ <= 0) return sort_order_ == Qt::AscendingOrder || sort_column_ < 0 ? a < b : a > b;
    const std::string_view x = model_->CellView(a, sort_column_), y = model_->CellView(b, sort_column_);
    int c = CompareCells(x, y);
    // Empty cells stay last either way.
    if (sort_order_ == Qt::DescendingOrder && !x.empty() && !y.empty()) c = -c;
    return c != 0 ? c < 0 : a < b;
}

void MemberGridOrder::TakeNewRecords() {
    // Live rows under a sort or a filter: each goes where the order puts it, if shown. The
    // model's first record fills its blank row without an insert, so counting is surer.
    for (int record = taken_; record < model_->RecordCount(); record = ++taken_) {
        if (sort_column_ >= 0 && sorted_known_) {
            auto at = std::upper_bound(sorted_.begin(), sorted_.end(), record,
                                       [this](int r, int other) { return Before(r, other); });
            sorted_.insert(at, record);
        }
        if (!PassesNew(record)) continue;
        auto at = sort_column_ < 0 ? order_.end()
                                   : std::upper_bound(order_.begin(), order_.end(), record,
                                                      [this](int r, int other) { return Before(r, other); });
        const int row = static_cast<int>(at - order_.begin());
        row_of_known_ = false;
        if (order_.empty()) {
            // The blank row becomes the record.
            order_.push_back(record);
            emit dataChanged(index(0, 0), index(0, columnCount() - 1));
            continue;
        }
        beginInsertRows({}, row, row);
        order_.insert(at, record);
        endInsertRows();
    }
}

void MemberGridOrder::SourceChanged(const QModelIndex& top_left, const QModelIndex& bottom_right,
                                    const QList<int>& roles) {
    // A changed record keeps its place until the next sort or filter, which reads it anew.
    text_known_ = false;
    if (top_left.column() <= kAddressColumn && bottom_right.column() >= kAddressColumn) places_known_ = false;
    if (sort_column_ >= top_left.column() && sort_column_ <= bottom_right.column()) sorted_known_ = false;
    if (!Active()) {
        emit dataChanged(index(top_left.row(), top_left.column()),
                         index(bottom_right.row(), bottom_right.column()), roles);
        return;
    }
    TakeNewRecords();
    for (int record = top_left.row(); record <= bottom_right.row(); ++record) {
        const int row = RowOf(record);
        if (row >= 0) emit dataChanged(index(row, top_left.column()), index(row, bottom_right.column()), roles);
    }
}

}  // namespace qv::widgets
