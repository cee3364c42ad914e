#pragma once
// Reading one result page of a search: its company list, the result count it states and
// the link to the next page.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "engine/crawl.h"
#include "engine/fetcher.h"
#include "engine/result_page_log.h"

namespace qv::crawling {

struct NextPage {
    bool follow = false;
    bool result = true;  // the crawl's result when not following
    std::string url;
};

// What reading one result page gave.
struct PageRead {
    enum class Kind { Failed, NoList, BadList, Listed };
    Kind kind = Kind::Failed;
    FetchResult fetched;  // its error and cause when the fetch failed
    long long count = -1;
    std::vector<ListEntry> entries;
    size_t first = 0;             // entries before it are passed over (a continued run)
    std::vector<size_t> wanted;   // the entries whose pages are read, in order
    NextPage next;
    std::optional<std::string> paging_stop;  // ends the crawl instead of following `next`
};

// Reads the fetched body of `read` into its kind, count, entries and next page; the
// entries before `first` are passed over.
void ParseResultPage(std::size_t first, PageRead& read);

// The serious error that ends the crawl instead of reading `url`, if any.
std::optional<std::string> PagingStop(ResultPageLog& pages, const std::string& url);

}  // namespace qv::crawling
