#pragma once
// The non-GUI core of downloading one stored company's profile details. The fetch and
// the write are apart so that a window can fetch on another thread and write on its own.
#include <atomic>
#include <string>
#include <string_view>

#include "engine/profile.h"

namespace qv {

class Connection;
class HttpClient;

struct DetailDownloadResult {
    bool ok = false;
    std::string error;     // the message for the user when !ok
    std::string cause;     // the fetcher's cause of a failed fetch ("timeout", "HTTP 404", ...)
    ProfileValues values;  // the values read (and, from DownloadCompanyDetail, written)
    // True when the page gave at least one of the sixteen values.
    bool Found() const;
};

inline constexpr char kDetailFetchError[] = "抓取公司介绍网页时产生错误：";

// Fetches the profile page with a client of its own and reads it, picking the parser by
// "bodyCont"; touches no file. A fetch failure gives !ok and kDetailFetchError + the
// fetcher's error text. While *stop is true the transfer is given up.
DetailDownloadResult FetchCompanyDetail(const std::string& profile_url,
                                        const std::atomic<bool>* stop = nullptr);
// The same through `client`, with whatever stop flag and pacer the caller gave it: a
// command that reads several pages keeps its pace across them.
DetailDownloadResult FetchCompanyDetail(const std::string& profile_url, HttpClient& client);

// Writes the values into every DataList row of the company. Database errors are raised.
void StoreCompanyDetail(Connection& db, std::string_view company_name_utf8,
                        const ProfileValues& values);

// Both in one: fetch, then write what was read. A fetch failure changes nothing.
DetailDownloadResult DownloadCompanyDetail(Connection& db, std::string_view company_name_utf8,
                                           const std::string& profile_url);

}  // namespace qv
