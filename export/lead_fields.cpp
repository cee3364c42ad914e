#include "export/lead_fields.h"

#include <algorithm>

#include "export/merge.h"

namespace qv::exporting {
namespace {

constexpr std::string_view kHeadings[] = {
    "公司名称", "会员帐号", "联系人", "职务", "移动电话", "电话", "传真", "地址", "邮编", "公司网址",
    "主营行业", "主营产品或服务", kSourceTasksHeading};
static_assert(std::size(kHeadings) == static_cast<size_t>(LeadField::kCount));

constexpr std::string_view kCompoundSurnames[] = {
    "欧阳", "司马", "诸葛", "上官", "东方", "皇甫", "尉迟", "公孙", "慕容", "令狐", "长孙", "宇文",
    "司徒", "司空", "夏侯", "轩辕", "西门", "南宫", "独孤", "端木", "澹台", "呼延", "闻人", "万俟",
    "赫连", "申屠", "东郭", "鲜于", "钟离", "宗政", "濮阳", "太史", "淳于", "单于", "公冶", "拓跋",
    "百里", "第五", "左丘", "谷梁", "公羊", "仲孙", "叔孙", "巫马", "亓官", "段干", "呼延"};

constexpr int kPhoneColumnWidth = 130;
constexpr std::array<std::string_view, 3> kPhoneHeadings = {"手机（国际格式）", "电话（国际格式）",
                                                             "传真（国际格式）"};

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20) s.remove_suffix(1);
    return s;
}

// Bytes of the UTF-8 character that starts with `lead`.
size_t CharLength(unsigned char lead) {
    return lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 1;
}

// The numbers of a cell one after another.
std::string PhonesText(std::string_view cell) {
    std::string text;
    for (const PhoneNumber& n : ReadPhoneNumbers(cell)) text += (text.empty() ? "" : ", ") + PhoneText(n);
    return text;
}

}  // namespace

std::string LeadDescription(const Lead& lead) {
    std::string text;
    if (!lead[LeadField::Products].empty()) text = "主营产品或服务：" + lead[LeadField::Products];
    if (!lead[LeadField::Industry].empty())
        text += (text.empty() ? "" : "\n") + std::string("主营行业：") + lead[LeadField::Industry];
    return text;
}

std::string PhoneText(const PhoneNumber& number) {
    return number.extension.empty() ? number.e164 : number.e164 + " ext. " + number.extension;
}

PersonName SplitPersonName(std::string_view name) {
    name = Trimmed(name);
    if (name.empty()) return {};
    if (static_cast<unsigned char>(name.front()) < 0x80) {
        // Latin letters: the family name is the last word.
        const size_t space = name.find_last_of(' ');
        if (space == std::string_view::npos) return {std::string(name), ""};
        return {std::string(Trimmed(name.substr(space + 1))), std::string(Trimmed(name.substr(0, space)))};
    }
    size_t surname = CharLength(static_cast<unsigned char>(name.front()));
    for (std::string_view compound : kCompoundSurnames)
        if (name.size() > compound.size() && name.substr(0, compound.size()) == compound) surname = compound.size();
    if (surname >= name.size()) return {std::string(name), ""};
    return {std::string(name.substr(0, surname)), std::string(Trimmed(name.substr(surname)))};
}

LeadColumns::LeadColumns(const StringGrid& grid) {
    columns_.fill(-1);
    if (grid.RowCount() == 0) return;
    for (int c = 0; c < grid.ColumnCount(); ++c) {
        const std::string_view heading = grid.CellText(0, c);
        for (size_t f = 0; f < std::size(kHeadings); ++f)
            if (heading == kHeadings[f] && columns_[f] < 0) columns_[f] = c;
    }
}

bool Lead::Empty() const {
    return std::all_of(cells.begin(), cells.end(), [](const std::string& c) { return c.empty(); });
}

void ReadLead(const StringGrid& grid, const LeadColumns& columns, int row, Lead& lead) {
    for (size_t f = 0; f < lead.cells.size(); ++f) {
        const int c = columns.Of(static_cast<LeadField>(f));
        lead.cells[f].assign(c < 0 ? std::string_view() : Trimmed(grid.CellText(row, c)));
    }
}

std::vector<std::string> TaskNamesOf(const Lead& lead, const std::string& task_name) {
    std::vector<std::string> names;
    std::string_view tasks = lead[LeadField::SourceTasks];
    while (!tasks.empty()) {
        const size_t end = std::min(tasks.find(kSourceTasksSeparator), tasks.size());
        if (end > 0) names.emplace_back(tasks.substr(0, end));
        tasks.remove_prefix(std::min(end + 1, tasks.size()));
    }
    if (names.empty() && !task_name.empty()) names.push_back(task_name);
    return names;
}

PhoneColumnsGrid::PhoneColumnsGrid(const StringGrid& grid) : grid_(grid) {
    LeadColumns columns(grid);
    sources_ = {columns.Of(LeadField::Mobile), columns.Of(LeadField::Phone), columns.Of(LeadField::Fax)};
}

std::string_view PhoneColumnsGrid::CellText(int row, int column) const {
    const int own = grid_.ColumnCount();
    if (column < own) return grid_.CellText(row, column);
    const auto extra = static_cast<size_t>(column - own);
    if (extra >= kPhoneHeadings.size()) return {};
    if (row == 0) return kPhoneHeadings[extra];
    if (row != row_) {
        for (size_t i = 0; i < sources_.size(); ++i)
            numbers_[i] = sources_[i] < 0 ? std::string() : FirstPhoneE164(grid_.CellText(row, sources_[i]));
        row_ = row;
    }
    return numbers_[extra];
}

int PhoneColumnsGrid::ColumnWidth(int column) const {
    return column < grid_.ColumnCount() ? grid_.ColumnWidth(column) : kPhoneColumnWidth;
}

std::vector<std::string> CrmGrid::Headings(CrmPreset preset) {
    switch (preset) {
        case CrmPreset::HubSpot:
            return {"First Name", "Last Name", "Company Name", "Job Title", "Phone Number",
                    "Mobile Phone Number", "Fax Number", "Street Address", "City", "State/Region",
                    "Postal Code", "Country/Region", "Website URL", "Member ID"};
        case CrmPreset::Salesforce:
            return {"First Name", "Last Name", "Company", "Title", "Phone", "Mobile", "Fax", "Street",
                    "City", "State/Province", "Zip/Postal Code", "Country", "Website", "Description",
                    "Lead Source", "Member ID"};
        case CrmPreset::Zoho:
            return {"First Name", "Last Name", "Company", "Designation", "Phone", "Mobile", "Fax",
                    "Street", "City", "State", "Zip Code", "Country", "Website", "Description",
                    "Lead Source", "Member ID"};
    }
    return {};
}

CrmGrid::CrmGrid(const StringGrid& grid, CrmPreset preset, const ExportOptions& options)
    : grid_(grid),
      preset_(preset),
      options_(options),
      columns_(grid),
      source_first_(columns_.Of(LeadField::SourceTasks) == 0),
      headings_(Headings(preset)),
      rows_(grid.RowCount()) {
    if (source_first_) headings_.insert(headings_.begin(), kSourceTasksHeading);
}

std::string_view CrmGrid::CellText(int row, int column) const {
    if (column < 0 || column >= ColumnCount()) return {};
    if (row == 0) return headings_[static_cast<size_t>(column)];
    if (row != row_) Take(row);
    return cells_[static_cast<size_t>(column)];
}

void CrmGrid::Take(int row) const {
    ReadLead(grid_, columns_, row, lead_);
    cells_.assign(headings_.size(), std::string());
    row_ = row;
    if (lead_.Empty()) return;
    const PersonName name = SplitPersonName(lead_[LeadField::Person]);
    const Place place = options_.locations ? options_.locations->Find(lead_[LeadField::Address]) : Place{};
    std::string last = name.family;
    if (last.empty()) last = lead_[LeadField::Person];
    if (last.empty()) last = lead_[LeadField::Company];
    std::string tasks;
    for (const std::string& t : TaskNamesOf(lead_, options_.task_name))
        tasks += (tasks.empty() ? "" : ";") + t;
    std::vector<std::string> values{name.given,
                                    last,
                                    lead_[LeadField::Company],
                                    lead_[LeadField::Duty],
                                    PhonesText(lead_[LeadField::Phone]),
                                    PhonesText(lead_[LeadField::Mobile]),
                                    PhonesText(lead_[LeadField::Fax]),
                                    lead_[LeadField::Address],
                                    place.city,
                                    place.province,
                                    lead_[LeadField::PostCode],
                                    "China",
                                    lead_[LeadField::Website]};
    if (preset_ != CrmPreset::HubSpot) {
        values.push_back(LeadDescription(lead_));
        values.push_back(tasks);
    }
    values.push_back(lead_[LeadField::MemberId]);
    size_t at = 0;
    if (source_first_) cells_[at++] = lead_[LeadField::SourceTasks];
    for (std::string& v : values) cells_[at++] = std::move(v);
}

}  // namespace qv::exporting
