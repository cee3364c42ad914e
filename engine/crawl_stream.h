#pragma once
// The stream of a crawl's work: result pages and their companies, read ahead over the
// task's connections and taken back strictly in order.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "core/data_files.h"
#include "engine/company_pages.h"
#include "engine/crawl.h"
#include "engine/read_ahead.h"
#include "engine/result_page.h"
#include "engine/result_page_log.h"

namespace qv::crawling {

// One unit of work of a crawl: a result page (no `page`), or a company of a page read.
struct CrawlItem {
    std::string url;  // the result page's
    size_t first = 0;
    std::shared_ptr<const PageRead> page;
    size_t entry = 0;
    const ListEntry& Company() const { return page->entries[entry]; }
};

struct CrawlResult {
    std::shared_ptr<const PageRead> page;
    CompanyOutcome company;
};

// The companies a file already holds, for a new-only run; read by the lanes and added to by
// the storing thread, hence the lock.
class SharedKnown {
public:
    explicit SharedKnown(KnownCompanies* known) : known_(known) {}
    bool Contains(const ListEntry& entry) const;
    bool Contains(const MemberValues& row) const;
    void Add(const MemberValues& row);

private:
    KnownCompanies* known_;
    mutable std::mutex mutex_;
};

// The companies and result pages of a crawl, each read over one of the host's connections.
// With more than one, the work after the item asked for is read ahead, at most two items per
// connection, the next result page while the last companies of the current one are in
// flight; what the caller gets, item by item, is what reading them one after another gives.
//
// A page that may be a block page (a sign) changes two things until it is told apart:
// lanes start nothing beyond the companies needed to judge it, and while companies are held
// back, nothing read before the first of them answered is used; it is read again, so the
// companies after a sign are judged on pages read after it, as one connection reads them.
class CrawlStream {
public:
    // `refresh`: the companies `known` holds are read too (a refresh updates them).
    CrawlStream(CrawlHost& host, KnownCompanies* known, bool refresh = false);

    // The result page a crawl starts with; its first `first` entries are passed over.
    size_t Begin(const std::string& url, size_t first);
    // The companies of a retry, which reads no result page.
    void AppendCompanies(std::shared_ptr<const PageRead> page);

    // `since`: while companies are held back, the moment the first of them was read.
    std::shared_ptr<const PageRead> TakePage(size_t index, std::optional<uint64_t> since);

    struct Company {
        CompanyOutcome outcome;
        uint64_t read_at = 0;  // when its reading ended
    };
    Company TakeCompany(size_t index, std::optional<uint64_t> since);

    bool Known(const ListEntry& entry) const { return known_.Contains(entry); }
    bool Known(const MemberValues& row) const { return known_.Contains(row); }
    void AddKnown(const MemberValues& row) { known_.Add(row); }
    bool refresh() const { return refresh_; }

    // The companies up to `index` were told apart from a block.
    void SignsResolvedThrough(size_t index);

private:
    static int Lanes(CrawlHost& host);
    CrawlResult Run(int lane, size_t index, const CrawlItem& item, bool again);
    size_t SignLimit() const;
    std::shared_ptr<const PageRead> ReadPage(int lane, const CrawlItem& item, bool again);
    void Parse(const CrawlItem& item, PageRead& read);

    CrawlHost& host_;
    SharedKnown known_;
    bool refresh_;
    ResultPageLog pages_;  // used by one result page's reading at a time
    std::mutex signs_mutex_;
    std::set<size_t> signs_;  // companies read ahead that may be block pages
    ReadAhead<CrawlItem, CrawlResult> ahead_;  // last: its lanes use the rest
};

}  // namespace qv::crawling
