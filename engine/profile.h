#pragma once
// The company-profile parsers and the non-GUI core of the detail download.
#include <array>
#include <string>
#include <string_view>

#include "core/data_files.h"

namespace qv {

class Connection;
class HttpClient;

// The sixteen profile values, in column order from CompanyContext to BankAccount
// (plain text, UTF-16 as scanned).
inline constexpr int kProfileValueCount = 16;
using ProfileValues = std::array<std::u16string, kProfileValueCount>;

void ParseTypelistProfile(std::u16string_view text, ProfileValues& values);
void ParseBodyContProfile(std::u16string_view text, ProfileValues& values);
// Picks the parser by the "bodyCont" marker; `text` is a normalised profile page.
ProfileValues ParseProfilePage(std::u16string_view text);

// The UPDATE that writes the sixteen values into every row of `company_name`.
std::string BuildDetailUpdateStatement(const ProfileValues& values,
                                       std::string_view company_name_utf8);

struct DetailDownloadResult {
    bool ok = false;
    std::string error;      // fetch error message for the user when !ok
    ProfileValues values;   // the values written when ok
};

// Fetches the profile page with a client of its own, parses it and runs the UPDATE on
// `db`. A fetch failure changes nothing and returns the message
// "抓取公司介绍网页时产生错误：" + error text. Database errors are raised.
DetailDownloadResult DownloadCompanyDetail(Connection& db, std::string_view company_name_utf8,
                                           const std::string& profile_url);

}  // namespace qv
