#pragma once
// The non-GUI core of downloading one stored company's profile details.
#include <string>
#include <string_view>

#include "engine/profile.h"

namespace qv {

class Connection;

struct DetailDownloadResult {
    bool ok = false;
    std::string error;      // the message for the user when !ok
    ProfileValues values;   // the values written when ok
};

// Fetches the profile page with a client of its own, picks the parser by "bodyCont",
// and runs the UPDATE on `db`. A fetch failure changes nothing and gives the message
// "抓取公司介绍网页时产生错误：" + the fetcher's error text. Database errors are raised.
DetailDownloadResult DownloadCompanyDetail(Connection& db, std::string_view company_name_utf8,
                                           const std::string& profile_url);

}  // namespace qv
