#pragma once
// The member grid's records as leads: who to call and where, read from a grid by its
// headings (the member grid's, maybe with 来源任务 first), for contact cards, CRM import
// files and the phone columns in international form.
#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/phone.h"
#include "export/export_file.h"
#include "export/location_names.h"
#include "export/string_grid.h"

namespace qv::exporting {

// The parts of a person's name as contact lists and CRMs keep them.
struct PersonName {
    std::string family;
    std::string given;
};
// A Chinese name split after its surname (compound surnames such as 欧阳, 司马, 诸葛
// known: "欧阳修" is 欧阳 + 修); a name in Latin letters before its last word.
PersonName SplitPersonName(std::string_view name);

// The fields of the member grid that leads are made of.
enum class LeadField {
    Company, MemberId, Person, Duty, Mobile, Phone, Fax, Address, PostCode, Website,
    Industry, Products, SourceTasks, kCount
};

// Where each field is in a grid, found by its heading in row 0.
class LeadColumns {
public:
    explicit LeadColumns(const StringGrid& grid);
    // -1 when the grid has no such column.
    int Of(LeadField field) const { return columns_[static_cast<size_t>(field)]; }

private:
    std::array<int, static_cast<size_t>(LeadField::kCount)> columns_{};
};

// One data row of a grid as a lead, its cells copied out of the grid.
struct Lead {
    std::array<std::string, static_cast<size_t>(LeadField::kCount)> cells;
    const std::string& operator[](LeadField f) const { return cells[static_cast<size_t>(f)]; }
    bool Empty() const;
};
void ReadLead(const StringGrid& grid, const LeadColumns& columns, int row, Lead& lead);

// "主营产品或服务：…" and "主营行业：…" on two lines, for a note or a description.
std::string LeadDescription(const Lead& lead);
// A number for a contact list: "+8675583456789", "+8675583456789 ext. 123".
std::string PhoneText(const PhoneNumber& number);

// The task names of a lead: its 来源任务 (a merge names several), else `task_name`.
std::vector<std::string> TaskNamesOf(const Lead& lead, const std::string& task_name);

// A grid with the three phone columns in international form after the grid's own.
class PhoneColumnsGrid : public StringGrid {
public:
    explicit PhoneColumnsGrid(const StringGrid& grid);
    int RowCount() const override { return grid_.RowCount(); }
    int ColumnCount() const override { return grid_.ColumnCount() + 3; }
    std::string_view CellText(int row, int column) const override;
    int ColumnWidth(int column) const override;

private:
    const StringGrid& grid_;
    std::array<int, 3> sources_;
    mutable int row_ = -1;
    mutable std::array<std::string, 3> numbers_;
};

// The CRM's import file for leads: its own headings, one row per record.
class CrmGrid : public StringGrid {
public:
    CrmGrid(const StringGrid& grid, CrmPreset preset, const ExportOptions& options);
    int RowCount() const override { return rows_; }
    int ColumnCount() const override { return static_cast<int>(headings_.size()); }
    std::string_view CellText(int row, int column) const override;
    int ColumnWidth(int column) const override { return 120; }

    // The headings of a preset, without the 来源任务 a merge puts first.
    static std::vector<std::string> Headings(CrmPreset preset);

private:
    void Take(int row) const;

    const StringGrid& grid_;
    CrmPreset preset_;
    ExportOptions options_;
    LeadColumns columns_;
    bool source_first_;
    std::vector<std::string> headings_;
    int rows_;
    mutable int row_ = -1;
    mutable Lead lead_;
    mutable std::vector<std::string> cells_;
};

}  // namespace qv::exporting
