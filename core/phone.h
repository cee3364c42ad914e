#pragma once
// Phone numbers read from a cell as the marketplace writes it ("0755-83456789",
// "86-0755-83456781", "(0571)88888888", "139-5587-5697", "0755-83456789转123", several in one
// cell), checked and formatted by libphonenumber. A cell is only read, never rewritten.
#include <string>
#include <string_view>
#include <vector>

namespace qv {

enum class PhoneKind { Mobile, FixedLine, Hotline };

struct PhoneNumber {
    std::string e164;       // "+8675583456789"
    PhoneKind kind = PhoneKind::FixedLine;
    std::string extension;  // digits only; empty when there is none
};

// 手机, 固定电话, 400/800 热线.
std::string_view PhoneKindName(PhoneKind kind);

// Every valid number in the cell, in the order written. Numbers are separated by "/", ",",
// "，", "、", ";", "；" or blanks; an extension follows 转, 分机, "ext" or a "-" beyond the
// number's length. Numbers without a country code are read as numbers of `region`. Text that
// holds no valid number ("暂无") gives none.
std::vector<PhoneNumber> ReadPhoneNumbers(std::string_view cell, const std::string& region = "CN");

// The first valid number of the cell in E.164 form; empty when it holds none.
std::string FirstPhoneE164(std::string_view cell, const std::string& region = "CN");

}  // namespace qv
