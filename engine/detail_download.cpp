#include "engine/detail_download.h"

#include <algorithm>

#include "core/database.h"
#include "engine/fetcher.h"
#include "engine/markup.h"
#include "engine/request_pacer.h"

namespace qv {

bool DetailDownloadResult::Found() const {
    return std::any_of(values.begin(), values.end(),
                       [](const std::u16string& v) { return !v.empty(); });
}

DetailDownloadResult FetchCompanyDetail(const std::string& profile_url,
                                        const std::atomic<bool>* stop) {
    HttpClient client;  // a client of its own, gone once the page is read
    // A fetch that can be cancelled may wait as long as the server asks.
    RequestPacer pacer;
    if (stop) {
        client.SetStopFlag(stop);
        pacer.SetStopFlag(stop);
        client.SetPacer(&pacer);
    }
    return FetchCompanyDetail(profile_url, client);
}

DetailDownloadResult FetchCompanyDetail(const std::string& profile_url, HttpClient& client) {
    DetailDownloadResult result;
    const FetchResult page = FetchPage(profile_url, client);
    if (!page.error.empty()) {
        result.error = kDetailFetchError + page.error;
        result.cause = page.cause;
        return result;
    }
    result.values = ParseProfilePage(DecodeAndNormalize(page.body));
    result.ok = true;
    return result;
}

void StoreCompanyDetail(Connection& db, std::string_view company_name_utf8,
                        const ProfileValues& values) {
    db.Execute(BuildDetailUpdateStatement(values, company_name_utf8));
}

DetailDownloadResult DownloadCompanyDetail(Connection& db, std::string_view company_name_utf8,
                                           const std::string& profile_url) {
    DetailDownloadResult result = FetchCompanyDetail(profile_url);
    if (result.ok) StoreCompanyDetail(db, company_name_utf8, result.values);
    return result;
}

}  // namespace qv
