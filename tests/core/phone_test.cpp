#include "core/phone.h"

#include <gtest/gtest.h>

#include "sim/site_data.h"

namespace qv {
namespace {

struct Expected {
    std::string e164;
    PhoneKind kind;
    std::string extension;
};

std::vector<Expected> Read(std::string_view cell) {
    std::vector<Expected> out;
    for (const PhoneNumber& n : ReadPhoneNumbers(cell)) out.push_back({n.e164, n.kind, n.extension});
    return out;
}

bool operator==(const Expected& a, const Expected& b) {
    return a.e164 == b.e164 && a.kind == b.kind && a.extension == b.extension;
}

void PrintTo(const Expected& e, std::ostream* os) {
    *os << e.e164 << " " << PhoneKindName(e.kind) << " ext " << e.extension;
}

constexpr PhoneKind kMobile = PhoneKind::Mobile;
constexpr PhoneKind kFixed = PhoneKind::FixedLine;
constexpr PhoneKind kHotline = PhoneKind::Hotline;

TEST(PhoneReader, ReadsTheFormsTheMarketplaceWrites) {
    const std::vector<std::pair<std::string, std::vector<Expected>>> table{
        // As the simulator's contact pages print them.
        {"0755-83456789", {{"+8675583456789", kFixed, ""}}},
        {"0571-8123456", {{"+865718123456", kFixed, ""}}},
        {"13955875697", {{"+8613955875697", kMobile, ""}}},
        // By hand, from the marketplace.
        {"86-0755-83456781", {{"+8675583456781", kFixed, ""}}},
        {"+86 755 8345 6781", {{"+8675583456781", kFixed, ""}}},
        {"0086-755-83456781", {{"+8675583456781", kFixed, ""}}},
        {"+86-13955875697", {{"+8613955875697", kMobile, ""}}},
        {"86 13955875697", {{"+8613955875697", kMobile, ""}}},
        {"(0571)88888888", {{"+8657188888888", kFixed, ""}}},
        {"（0571）88888888", {{"+8657188888888", kFixed, ""}}},
        {"139-5587-5697", {{"+8613955875697", kMobile, ""}}},
        {"139 5587 5697", {{"+8613955875697", kMobile, ""}}},
        {"０７５５－８３４５６７８９", {{"+8675583456789", kFixed, ""}}},
        {"0755-83456789转123", {{"+8675583456789", kFixed, "123"}}},
        {"0755-83456789 分机 8001", {{"+8675583456789", kFixed, "8001"}}},
        {"0755-83456789 ext. 12", {{"+8675583456789", kFixed, "12"}}},
        {"0755-83456789-123", {{"+8675583456789", kFixed, "123"}}},
        {"400-820-8820", {{"+864008208820", kHotline, ""}}},
        {"800-830-8300", {{"+868008308300", kHotline, ""}}},
        {"电话：010-62345678", {{"+861062345678", kFixed, ""}}},
    };
    for (const auto& [cell, expected] : table) EXPECT_EQ(Read(cell), expected) << cell;
}

TEST(PhoneReader, ReadsSeveralNumbersInOneCell) {
    const std::vector<Expected> two{{"+8675583456789", kFixed, ""}, {"+8613955875697", kMobile, ""}};
    for (std::string cell : {"0755-83456789/13955875697", "0755-83456789,13955875697",
                             "0755-83456789，13955875697", "0755-83456789、13955875697",
                             "0755-83456789;13955875697", "0755-83456789 13955875697",
                             "0755-83456789 / 139-5587-5697"})
        EXPECT_EQ(Read(cell), two) << cell;
    EXPECT_EQ(Read("0755-83456789转123；0755-83456790"),
              (std::vector<Expected>{{"+8675583456789", kFixed, "123"}, {"+8675583456790", kFixed, ""}}));
    EXPECT_EQ(FirstPhoneE164("暂无 / 13955875697"), "+8613955875697");
}

TEST(PhoneReader, GivesNoNumberForTextThatHoldsNone) {
    for (std::string cell : {"", "暂无", "未提供", "-", "123", "1995年成立", "0755-1234",
                             "12345678901234567890", "转123", "http://www.example.com"}) {
        EXPECT_TRUE(ReadPhoneNumbers(cell).empty()) << cell;
        EXPECT_EQ(FirstPhoneE164(cell), "") << cell;
    }
}

TEST(PhoneReader, ReadsEveryNumberOfTheSimulatedMarketplace) {
    SiteData site(20240601, 2000, "http://127.0.0.1:1");
    int read = 0;
    for (const std::string keyword : {"灯具", "服装", "五金"}) {
        for (const SimCompany& c : site.CompaniesFor(keyword)) {
            for (int field : {mfMobile, mfPhone, mfFax}) {
                const std::string& cell = c.values[static_cast<size_t>(field)];
                if (cell.empty()) continue;
                std::vector<PhoneNumber> numbers = ReadPhoneNumbers(cell);
                ASSERT_EQ(numbers.size(), 1u) << cell;
                EXPECT_EQ(numbers[0].kind, field == mfMobile ? kMobile : kFixed) << cell;
                ++read;
            }
        }
    }
    EXPECT_GT(read, 10000);
}

}  // namespace
}  // namespace qv
