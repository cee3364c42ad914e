#pragma once
// The company-profile parsers.
#include <array>
#include <string>
#include <string_view>

#include "core/data_files.h"

namespace qv {

// The sixteen profile values, in column order from CompanyContext to BankAccount
// (plain text, UTF-16 as scanned).
inline constexpr int kProfileValueCount = 16;
using ProfileValues = std::array<std::u16string, kProfileValueCount>;

// The DataList column of each profile value, in the same order.
inline constexpr std::array<std::string_view, kProfileValueCount> kProfileColumnNames{
    "CompanyContext", "Industry", "Product", "CompanyType", "CompanyMode", "RegCapital",
    "RegAddress", "Employee", "RegDate", "Corporation", "MostlyClient", "Turnover",
    "DealAddress", "Brand", "Bank", "BankAccount"};

void ParseTypelistProfile(std::u16string_view text, ProfileValues& values);
void ParseBodyContProfile(std::u16string_view text, ProfileValues& values);
// Picks the parser by the "bodyCont" marker; `text` is a normalised profile page.
ProfileValues ParseProfilePage(std::u16string_view text);

// The UPDATE that writes the sixteen values into every row of `company_name`.
std::string BuildDetailUpdateStatement(const ProfileValues& values,
                                       std::string_view company_name_utf8);

}  // namespace qv
