#include "core/member_grid_layout.h"

#include <algorithm>
#include <exception>

#include "core/data_files.h"
#include "core/database.h"
#include "core/field_cipher.h"
#include "core/text.h"

namespace qv {
namespace {

// As Trim: the characters U+0000..U+0020 go at both ends.
std::string_view TrimView(std::string_view s) {
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

bool IsHexText(std::string_view s) {
    if (s.size() % 2 != 0) return false;
    return std::all_of(s.begin(), s.end(), IsHexDigit);
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

std::string_view ShownCellView(int grid_column, std::string_view stored, CellShowing showing,
                               std::string& scratch) {
    // The links and the introduction are shown as stored.
    if (grid_column >= 29) return stored;
    const MemberGridColumn& col = MemberGridLayout()[static_cast<size_t>(grid_column)];
    std::string_view trimmed = TrimView(stored);
    std::string_view fallback = showing == CellShowing::AsStored ? stored : trimmed;
    if (col.field < 0 || !kMemberColumns[static_cast<size_t>(col.field)].enciphered) return fallback;
    if (trimmed.empty() || !IsHexText(trimmed)) return fallback;
    try {
        scratch = DecipherTextHex(trimmed, FieldCipherKey);
        return scratch;
    } catch (const std::exception&) {
        return fallback;
    }
}

std::string ShownCellText(int grid_column, std::string_view stored, CellShowing showing) {
    std::string scratch;
    return std::string(ShownCellView(grid_column, stored, showing, scratch));
}

void ForEachShownMember(Connection& db, const std::function<void(const ShownMemberRow&)>& visit,
                        std::string_view statement, CellShowing showing) {
    std::array<int, kMemberGridColumns> source{};  // row column of each grid column, -1 none
    std::array<std::string, kMemberGridColumns - 1> scratch;  // deciphered cells
    bool mapped = false;
    ShownMemberRow shown;
    db.ForEachRow(statement, [&](const Connection::RowView& row) {
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
            shown[c - 1] = ShownCellView(c, stored, showing, scratch[c - 1]);
        }
        visit(shown);
    });
}

}  // namespace qv
