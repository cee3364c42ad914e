#include "widgets/member_grid.h"

#include <QHeaderView>

#include <algorithm>
#include <cctype>

#include "core/database.h"
#include "core/field_cipher.h"
#include "core/text.h"
#include "widgets/grids.h"

namespace qv::widgets {
namespace {

// Rows gathered from live crawls reach the view at most this often.
constexpr int kFlushIntervalMs = 40;

bool IsHexText(std::string_view s) {
    if (s.size() % 2 != 0) return false;
    return std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isxdigit(c) != 0; });
}

}  // namespace

const std::array<MemberGridColumn, kMemberGridColumns>& MemberGridLayout() {
    static const std::array<MemberGridColumn, kMemberGridColumns> layout{{
        {"序号", 40, -1},
        {"公司名称", 200, mfCompanyName},
        {"会员帐号", 70, mfMemberID},
        {"会员类型", 60, mfMemberType},
        {"诚信通指数", 60, mfGoodIndex},
        {"联系人", 80, mfLinkMan},
        {"称呼", 60, mfSex},
        {"职务", 100, mfDuty},
        {"移动电话", 120, mfMobile},
        {"电话", 120, mfPhone},
        {"传真", 120, mfFax},
        {"地址", 250, mfAddress},
        {"邮编", 80, mfPostCode},
        {"公司网址", 160, mfSiteUrl},
        {"主营行业", 120, mfIndustry},
        {"主营产品或服务", 150, mfProduct},
        {"企业类型", 120, mfCompanyType},
        {"经营模式", 150, mfCompanyMode},
        {"注册资本", 120, mfRegCapital},
        {"公司注册地", 150, mfRegAddress},
        {"员工人数", 120, mfEmployee},
        {"公司成立时间", 100, mfRegDate},
        {"法定代表人/负责人", 110, mfCorporation},
        {"主要客户", 200, mfMostlyClient},
        {"年营业额", 150, mfTurnover},
        {"主要经营地点", 200, mfDealAddress},
        {"经营品牌", 100, mfBrand},
        {"开户银行", 120, mfBank},
        {"银行帐号", 120, mfBankAccount},
        {"发送留言链接", 0, mfSendMsgLink},
        {"公司介绍链接", 0, mfCmpDetail},
        {"公司介绍", 0, mfCompanyContext},
    }};
    return layout;
}

std::string ShownCellText(int grid_column, std::string_view stored) {
    // The links and the introduction are shown as stored.
    if (grid_column >= 29) return std::string(stored);
    const MemberGridColumn& col = MemberGridLayout()[static_cast<size_t>(grid_column)];
    if (col.field < 0 || !kMemberColumns[static_cast<size_t>(col.field)].enciphered)
        return Trim(stored);
    std::string trimmed = Trim(stored);
    if (trimmed.empty() || !IsHexText(trimmed)) return trimmed;
    try {
        return DecipherTextHex(trimmed, FieldCipherKey);
    } catch (const std::exception&) {
        return trimmed;
    }
}

MemberGridModel::MemberGridModel(QObject* parent) : QAbstractTableModel(parent) {
    flush_timer_.setSingleShot(true);
    flush_timer_.setInterval(kFlushIntervalMs);
    connect(&flush_timer_, &QTimer::timeout, this, &MemberGridModel::FlushQueued);
}

int MemberGridModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return std::max(1, RecordCount());
}

int MemberGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kMemberGridColumns;
}

QVariant MemberGridModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= RecordCount()) return {};
    return Cell(index.row(), index.column());
}

QVariant MemberGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= kMemberGridColumns)
        return {};
    return QString::fromUtf8(MemberGridLayout()[static_cast<size_t>(section)].heading);
}

std::string_view MemberGridModel::CellView(int record, int column) const {
    const Row& row = rows_[static_cast<size_t>(record)];
    size_t i = static_cast<size_t>(column - 1);
    size_t begin = i == 0 ? 0 : row.end[i - 1];
    return std::string_view(row.text).substr(begin, row.end[i] - begin);
}

QString MemberGridModel::Cell(int record, int column) const {
    if (record < 0 || record >= RecordCount() || column < 0 || column >= kMemberGridColumns)
        return {};
    if (column == 0) return QString::number(record + 1);
    std::string_view cell = CellView(record, column);
    return QString::fromUtf8(cell.data(), static_cast<qsizetype>(cell.size()));
}

void MemberGridModel::SetCell(int record, int column, std::string_view text) {
    if (record < 0 || record >= RecordCount() || column < 1 || column >= kMemberGridColumns) return;
    RowCells cells;
    std::array<std::string, kMemberGridColumns - 1> copies;
    for (int c = 1; c < kMemberGridColumns; ++c) copies[c - 1] = std::string(CellView(record, c));
    copies[static_cast<size_t>(column - 1)] = std::string(text);
    for (size_t i = 0; i < cells.size(); ++i) cells[i] = copies[i];
    rows_[static_cast<size_t>(record)] = MakeRow(cells);
    emit dataChanged(index(record, column), index(record, column));
}

MemberGridModel::Row MemberGridModel::MakeRow(const RowCells& cells) {
    Row row;
    size_t total = 0;
    for (auto c : cells) total += c.size();
    row.text.reserve(total);
    for (size_t i = 0; i < cells.size(); ++i) {
        row.text.append(cells[i]);
        row.end[i] = static_cast<std::uint32_t>(row.text.size());
    }
    return row;
}

void MemberGridModel::AppendRow(const RowCells& cells) {
    if (loaded_from_ < 0) loaded_from_ = RecordCount();
    rows_.push_back(MakeRow(cells));
}

void MemberGridModel::FinishLoading() {
    if (loaded_from_ < 0) return;
    // Rows were appended without telling the view; a reset is the cheapest way to
    // show a whole file at once.
    beginResetModel();
    endResetModel();
    loaded_from_ = -1;
}

void MemberGridModel::QueueMember(const MemberValues& values) {
    RowCells cells;
    for (int c = 1; c < kMemberGridColumns; ++c) {
        int field = MemberGridLayout()[static_cast<size_t>(c)].field;
        cells[static_cast<size_t>(c - 1)] = values[static_cast<size_t>(field)];
    }
    queued_.push_back(MakeRow(cells));
    if (!flush_timer_.isActive()) flush_timer_.start();
}

void MemberGridModel::FlushQueued() {
    flush_timer_.stop();
    if (queued_.empty()) return;
    InsertRows(std::exchange(queued_, {}));
}

void MemberGridModel::InsertRows(std::vector<Row>&& rows) {
    int first = RecordCount();
    int count = static_cast<int>(rows.size());
    // The empty row of a new grid becomes the first record.
    if (first == 0) {
        rows_.push_back(std::move(rows.front()));
        emit dataChanged(index(0, 0), index(0, kMemberGridColumns - 1));
        if (count == 1) return;
        beginInsertRows({}, 1, count - 1);
        std::move(rows.begin() + 1, rows.end(), std::back_inserter(rows_));
        endInsertRows();
        return;
    }
    beginInsertRows({}, first, first + count - 1);
    std::move(rows.begin(), rows.end(), std::back_inserter(rows_));
    endInsertRows();
}

void MemberGridModel::LoadDataList(Connection& db) {
    std::array<int, kMemberGridColumns> source{};  // packet column of each grid column
    std::array<std::string, kMemberGridColumns - 1> shown;
    RowCells cells;
    bool mapped = false;
    db.ForEachRow("SELECT * FROM DataList ORDER BY ID", [&](const Connection::RowView& row) {
        if (!mapped) {
            for (int c = 1; c < kMemberGridColumns; ++c) {
                auto name = kMemberColumns[static_cast<size_t>(MemberGridLayout()[c].field)].name;
                source[c] = -1;
                for (size_t i = 0; i < row.columns.size(); ++i)
                    if (EqualsIgnoringCase(row.columns[i], name)) source[c] = static_cast<int>(i);
            }
            mapped = true;
        }
        for (int c = 1; c < kMemberGridColumns; ++c) {
            std::string_view stored = source[c] < 0 ? std::string_view() : row.cells[source[c]];
            shown[c - 1] = ShownCellText(c, stored);
            cells[c - 1] = shown[c - 1];
        }
        AppendRow(cells);
    });
    FinishLoading();
}

MemberGridView::MemberGridView(QWidget* parent)
    : QTableView(parent), model_(new MemberGridModel(this)) {
    setModel(model_);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) emit cellSelected(current.column(), current.row() + 1);
            });
}

int MemberGridView::CurrentGridRow() const {
    QModelIndex current = currentIndex();
    return current.isValid() ? current.row() + 1 : 1;
}

void InitMemberGrid(MemberGridView* grid) {
    ApplyGridLook(grid);
    grid->verticalHeader()->hide();
    grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const auto& layout = MemberGridLayout();
    for (int c = 0; c < kMemberGridColumns; ++c) {
        if (layout[c].width == 0)
            grid->setColumnHidden(c, true);
        else
            grid->setColumnWidth(c, layout[c].width);
    }
}

}  // namespace qv::widgets
