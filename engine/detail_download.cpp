#include "engine/detail_download.h"

#include "core/database.h"
#include "engine/fetcher.h"
#include "engine/markup.h"

namespace qv {

DetailDownloadResult DownloadCompanyDetail(Connection& db, std::string_view company_name_utf8,
                                           const std::string& profile_url) {
    DetailDownloadResult result;
    FetchResult page;
    {
        HttpClient client;  // a client of its own, gone once the page is read
        page = FetchPage(profile_url, client);
    }
    if (!page.error.empty()) {
        result.error = "抓取公司介绍网页时产生错误：" + page.error;
        return result;
    }
    result.values = ParseProfilePage(DecodeAndNormalize(page.body));
    db.Execute(BuildDetailUpdateStatement(result.values, company_name_utf8));
    result.ok = true;
    return result;
}

}  // namespace qv
