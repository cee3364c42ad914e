#include <gtest/gtest.h>

#include "core/member_grid_layout.h"
#include "export/export_file.h"
#include "export/lead_fields.h"
#include "export/location_names.h"
#include "export/vcard_writer.h"
#include "tests/export/grid_fixtures.h"
#include "tests/support/project_database.h"
#include "tests/support/temp_dir.h"

namespace qv::test {
namespace {

using exporting::CrmGrid;
using exporting::CrmPreset;
using exporting::ExportFormat;

// A grid with the member grid's 32 headings, and maybe 来源任务 first, holding `records`
// (given as heading → value).
VectorGrid MemberRows(const std::vector<std::map<std::string, std::string>>& records, bool sources = false) {
    std::vector<std::vector<std::string>> rows(1);
    if (sources) rows[0].push_back("来源任务");
    for (const auto& column : MemberGridLayout()) rows[0].push_back(column.heading);
    for (const auto& record : records) {
        std::vector<std::string> row;
        for (const std::string& heading : rows[0]) {
            auto it = record.find(heading);
            row.push_back(it == record.end() ? "" : it->second);
        }
        rows.push_back(row);
    }
    return VectorGrid(rows);
}

std::shared_ptr<const exporting::LocationNames> Locations() {
    static TempDir dir;
    static std::shared_ptr<const exporting::LocationNames> names = [] {
        MakeProjectDatabase(dir.file("DefaultProject.db"));
        return std::make_shared<const exporting::LocationNames>(
            exporting::LocationNames::FromProjectDatabase(dir.file("DefaultProject.db")));
    }();
    return names;
}

TEST(LeadNames, SplitsChineseNamesAfterTheirSurname) {
    const std::vector<std::tuple<std::string, std::string, std::string>> table{
        {"王小明", "王", "小明"},   {"李娜", "李", "娜"},        {"欧阳修", "欧阳", "修"},
        {"司马相如", "司马", "相如"}, {"诸葛亮", "诸葛", "亮"},    {"欧阳", "欧", "阳"},
        {"张", "张", ""},           {" 赵  四 ", "赵", "四"},    {"John Smith", "Smith", "John"},
        {"Mary Ann Lee", "Lee", "Mary Ann"}, {"Cher", "Cher", ""}, {"", "", ""}};
    for (const auto& [name, family, given] : table) {
        exporting::PersonName split = exporting::SplitPersonName(name);
        EXPECT_EQ(split.family, family) << name;
        EXPECT_EQ(split.given, given) << name;
    }
}

TEST(LeadPlaces, ReadsProvinceAndCityFromAnAddress) {
    const std::vector<std::tuple<std::string, std::string, std::string>> table{
        {"浙江省杭州市西湖区文三路 1 号", "浙江", "杭州"},
        {"浙江杭州滨江区", "浙江", "杭州"},
        {"广东省深圳市南山区科技园", "广东", "深圳"},
        {"深圳市宝安区新安路 12 号", "广东", "深圳"},
        {"上海市浦东新区世纪大道", "上海", "上海"},
        {"北京朝阳区建国路", "北京", "北京"},
        {"广西壮族自治区南宁市青秀区", "广西", "南宁"},
        {"中国江苏省苏州市工业园区", "江苏", "苏州"},
        {"浙江省某县", "浙江", ""},
        {"中山路 100 号", "", ""},
        {"", "", ""}};
    for (const auto& [address, province, city] : table) {
        exporting::Place place = Locations()->Find(address);
        EXPECT_EQ(place.province, province) << address;
        EXPECT_EQ(place.city, city) << address;
    }
    EXPECT_EQ(exporting::LocationNames::FromFirstOf({"/no/such.db"}), nullptr);
}

TEST(VcardText, EscapesAndFoldsAsTheStandardSays) {
    EXPECT_EQ(exporting::VcardText("a,b;c\\d"), "a\\,b\\;c\\\\d");
    EXPECT_EQ(exporting::VcardText("一\r\n二\n三\r四"), "一\\n二\\n三\\n四");
    EXPECT_EQ(exporting::VcardText("x\x01y\x7Fz\tw"), "xyzw");

    std::string out;
    std::string value;
    for (int i = 0; i < 100; ++i) value += "灯具a";  // 7 octets each, so a fold would split a character
    exporting::AppendVcardLine(out, "NOTE", value);
    ASSERT_EQ(out.substr(out.size() - 2), "\r\n");
    std::string unfolded;
    size_t at = 0;
    bool first = true;
    while (at < out.size()) {
        const size_t end = out.find("\r\n", at);
        std::string line = out.substr(at, end - at);
        EXPECT_LE(line.size(), 75u);
        if (!first) {
            ASSERT_EQ(line.front(), ' ');
            line.erase(0, 1);
        }
        // No line starts inside a character.
        EXPECT_NE(static_cast<unsigned char>(line.front()) & 0xC0, 0x80);
        unfolded += line;
        first = false;
        at = end + 2;
    }
    EXPECT_EQ(unfolded, "NOTE:" + value);
    out.clear();
    exporting::AppendVcardLine(out, "FN", std::string(72, 'x'));
    EXPECT_EQ(out, "FN:" + std::string(72, 'x') + "\r\n") << "75 octets fit one line";
}

TEST(CrmFiles, WriteEachCrmsColumnsWithPhonesInInternationalForm) {
    VectorGrid grid = MemberRows({{{"公司名称", "杭州西湖灯具厂"},
                                   {"会员帐号", "hzxh2001"},
                                   {"联系人", "欧阳明"},
                                   {"职务", "经理"},
                                   {"移动电话", "139-5587-5697"},
                                   {"电话", "0571-88886666转8"},
                                   {"传真", "暂无"},
                                   {"地址", "浙江省杭州市西湖区文三路 1 号"},
                                   {"邮编", "310012"},
                                   {"公司网址", "http://www.hzxh.com"},
                                   {"主营行业", "照明"},
                                   {"主营产品或服务", "台灯"}},
                                  {{"公司名称", "宁波无人公司"}},
                                  {{"公司名称", "温州公司"}, {"联系人", "Cher"}}});
    exporting::ExportOptions options;
    options.task_name = "灯具";
    options.locations = Locations();

    CrmGrid hubspot(grid, CrmPreset::HubSpot, options);
    ASSERT_EQ(hubspot.RowCount(), 4);
    std::vector<std::string> headings, first;
    for (int c = 0; c < hubspot.ColumnCount(); ++c) headings.emplace_back(hubspot.CellText(0, c));
    EXPECT_EQ(headings, (std::vector<std::string>{"First Name", "Last Name", "Company Name", "Job Title",
                                                  "Phone Number", "Mobile Phone Number", "Fax Number",
                                                  "Street Address", "City", "State/Region", "Postal Code",
                                                  "Country/Region", "Website URL", "Member ID"}));
    for (int c = 0; c < hubspot.ColumnCount(); ++c) first.emplace_back(hubspot.CellText(1, c));
    EXPECT_EQ(first, (std::vector<std::string>{"明", "欧阳", "杭州西湖灯具厂", "经理", "+8657188886666 ext. 8",
                                               "+8613955875697", "", "浙江省杭州市西湖区文三路 1 号", "杭州",
                                               "浙江", "310012", "China", "http://www.hzxh.com", "hzxh2001"}));
    // Last Name is never empty: the whole name, else the company.
    EXPECT_EQ(hubspot.CellText(2, 1), "宁波无人公司");
    EXPECT_EQ(hubspot.CellText(3, 1), "Cher");

    for (CrmPreset preset : {CrmPreset::Salesforce, CrmPreset::Zoho}) {
        CrmGrid crm(grid, preset, options);
        const auto names = CrmGrid::Headings(preset);
        ASSERT_EQ(crm.ColumnCount(), static_cast<int>(names.size()));
        auto cell = [&](int row, const std::string& heading) {
            return std::string(crm.CellText(row, static_cast<int>(std::find(names.begin(), names.end(), heading) -
                                                                  names.begin())));
        };
        EXPECT_EQ(cell(1, "Last Name"), "欧阳");
        EXPECT_EQ(cell(1, "Company"), "杭州西湖灯具厂");
        EXPECT_EQ(cell(1, "Mobile"), "+8613955875697");
        EXPECT_EQ(cell(1, "Lead Source"), "灯具");
        EXPECT_EQ(cell(1, "Description"), "主营产品或服务：台灯\n主营行业：照明");
        EXPECT_EQ(cell(1, "Member ID"), "hzxh2001");
        EXPECT_EQ(cell(1, preset == CrmPreset::Zoho ? "Designation" : "Title"), "经理");
        EXPECT_EQ(cell(1, preset == CrmPreset::Zoho ? "Zip Code" : "Zip/Postal Code"), "310012");
        EXPECT_EQ(cell(1, preset == CrmPreset::Zoho ? "State" : "State/Province"), "浙江");
    }
    EXPECT_EQ(CrmGrid::Headings(CrmPreset::Zoho)[3], "Designation");
    EXPECT_EQ(exporting::CrmPresetOf("HubSpot"), CrmPreset::HubSpot);
    EXPECT_EQ(exporting::CrmPresetOf("pipedrive"), std::nullopt);

    // A merge's rows keep 来源任务 first and name their tasks as the lead source.
    VectorGrid merged = MemberRows({{{"来源任务", "灯具;照明"}, {"公司名称", "甲"}}}, true);
    CrmGrid salesforce(merged, CrmPreset::Salesforce, options);
    EXPECT_EQ(salesforce.CellText(0, 0), "来源任务");
    EXPECT_EQ(salesforce.CellText(1, 0), "灯具;照明");
    EXPECT_EQ(salesforce.CellText(1, 15), "灯具;照明");
}

TEST(PhoneColumns, FollowTheGridsColumnsWithEachCellsFirstNumber) {
    VectorGrid grid = MemberRows({{{"移动电话", "13955875697 / 13800000000"}, {"电话", "86-0755-83456781"},
                                   {"传真", "未提供"}}});
    exporting::PhoneColumnsGrid phones(grid);
    ASSERT_EQ(phones.ColumnCount(), 35);
    EXPECT_EQ(phones.CellText(0, 31), "公司介绍");
    EXPECT_EQ(phones.CellText(0, 32), "手机（国际格式）");
    EXPECT_EQ(phones.CellText(0, 33), "电话（国际格式）");
    EXPECT_EQ(phones.CellText(0, 34), "传真（国际格式）");
    EXPECT_EQ(phones.CellText(1, 8), "13955875697 / 13800000000") << "the record as stored";
    EXPECT_EQ(phones.CellText(1, 32), "+8613955875697");
    EXPECT_EQ(phones.CellText(1, 33), "+8675583456781");
    EXPECT_EQ(phones.CellText(1, 34), "");

    TempDir dir;
    exporting::ExportOptions options;
    options.phone_columns = true;
    exporting::ExportGrid(grid, dir.file("out.csv"), ExportFormat::Csv, options);
    auto rows = ReadCsv(ReadFileBytes(dir.file("out.csv")));
    ASSERT_EQ(rows.size(), 2u);
    ASSERT_EQ(rows[1].size(), 35u);
    EXPECT_EQ(rows[1][32], "+8613955875697") << "a phone number needs no apostrophe";
    EXPECT_THROW(exporting::ExportGrid(grid, dir.file("out.xls"), ExportFormat::Xls,
                                       exporting::ExportOptions{.phone_columns = false, .crm = CrmPreset::Zoho, .task_name = {}, .locations = {}}),
                 exporting::ExportError);
}

}  // namespace
}  // namespace qv::test
