#include "engine/crawl_stream.h"

#include <algorithm>
#include <utility>

#include "core/gbk.h"

namespace qv::crawling {

bool SharedKnown::Contains(const ListEntry& entry) const {
    if (!known_) return false;
    std::lock_guard lock(mutex_);
    return known_->Contains(Utf16ToUtf8(entry.member_id), Utf16ToUtf8(entry.company_name));
}

bool SharedKnown::Contains(const MemberValues& row) const {
    if (!known_) return false;
    std::lock_guard lock(mutex_);
    return known_->Contains(row[mfMemberID], row[mfCompanyName]);
}

void SharedKnown::Add(const MemberValues& row) {
    if (!known_) return;
    std::lock_guard lock(mutex_);
    known_->Add(row[mfMemberID], row[mfCompanyName]);
}

CrawlStream::CrawlStream(CrawlHost& host, KnownCompanies* known, bool refresh)
    : host_(host),
      known_(known),
      refresh_(refresh),
      ahead_(Lanes(host), 2 * static_cast<size_t>(Lanes(host)),
             [this](int lane, size_t index, const CrawlItem& item, bool again) {
                 return Run(lane, index, item, again);
             },
             [&host](bool on) { host.CancelReadAhead(on); }) {}

size_t CrawlStream::Begin(const std::string& url, size_t first) {
    pages_.Enter(url);
    return ahead_.Append(CrawlItem{url, first, nullptr, 0});
}

void CrawlStream::AppendCompanies(std::shared_ptr<const PageRead> page) {
    for (size_t i : page->wanted) ahead_.Append(CrawlItem{{}, 0, page, i});
}

std::shared_ptr<const PageRead> CrawlStream::TakePage(size_t index, std::optional<uint64_t> since) {
    auto taken = ahead_.Take(index);
    if (since && taken.began < *since) {
        // Read before the held companies answered: only what it says now counts, and
        // its companies are already on their way.
        auto now = ahead_.Again(index);
        if (now.result.page->kind != PageRead::Kind::Listed) return now.result.page;
    }
    return taken.result.page;
}

CrawlStream::Company CrawlStream::TakeCompany(size_t index, std::optional<uint64_t> since) {
    auto taken = ahead_.Take(index);
    while (since && !taken.result.company.unrecognised && taken.began < *since)
        taken = ahead_.Again(index);
    return {std::move(taken.result.company), taken.ended};
}

void CrawlStream::SignsResolvedThrough(size_t index) {
    std::lock_guard lock(signs_mutex_);
    signs_.erase(signs_.begin(), signs_.upper_bound(index));
    ahead_.SetLimit(SignLimit());
}

int CrawlStream::Lanes(CrawlHost& host) {
    const int n = std::clamp(host.Connections(), 1, kMaxConnectionsPerTask);
    return n < 2 ? 0 : n;
}

CrawlResult CrawlStream::Run(int lane, size_t index, const CrawlItem& item, bool again) {
    if (!item.page) return {ReadPage(lane, item, again), {}};
    CompanyOutcome outcome = ReadCompany(item.Company(), host_, lane);
    if (outcome.unrecognised) {
        std::lock_guard lock(signs_mutex_);
        signs_.insert(index);
        ahead_.SetLimit(SignLimit());
    }
    return {nullptr, std::move(outcome)};
}

// Enough to judge the first sign: it and the companies after it, with room for one
// result page between.
size_t CrawlStream::SignLimit() const {
    return signs_.empty() ? ahead_.kNoLimit : *signs_.begin() + kBlockedCompanies + 1;
}

std::shared_ptr<const PageRead> CrawlStream::ReadPage(int lane, const CrawlItem& item, bool again) {
    auto read = std::make_shared<PageRead>();
    read->fetched = host_.FetchOn(lane, item.url);
    if (read->fetched.error.empty()) Parse(item, *read);
    // Taken again only to see what the page says now: its work is in the stream already.
    if (again || read->kind != PageRead::Kind::Listed) return read;
    std::shared_ptr<const PageRead> page = read;
    AppendCompanies(page);
    if (page->next.follow && !page->paging_stop)
        ahead_.Append(CrawlItem{page->next.url, 0, nullptr, 0}, /*early=*/true);
    return page;
}

void CrawlStream::Parse(const CrawlItem& item, PageRead& read) {
    ParseResultPage(item.first, read);
    if (read.kind != PageRead::Kind::Listed) return;
    for (size_t i = item.first; i < read.entries.size(); ++i)
        if (!read.entries[i].contact_link.empty() && (refresh_ || !Known(read.entries[i]))) read.wanted.push_back(i);
    // Checked before the next page is read, so a loop never stores a company twice.
    if (read.next.follow) read.paging_stop = PagingStop(pages_, read.next.url);
}

}  // namespace qv::crawling
