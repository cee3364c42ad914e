#include "engine/crawl.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

#include "core/gbk.h"
#include "engine/block_watch.h"
#include "engine/crawl_stream.h"
#include "engine/crawl_text.h"
#include "engine/result_page.h"

namespace qv {
namespace {

using namespace crawling;

// Commits what reading one company gave together with `step`'s position, then shows its
// messages and, once it is in the file, its row. True when the site is blocking.
bool StoreCompany(CrawlStream::Company read, size_t index, CrawlHost& host, RunStep step,
                  CrawlStream& stream, BlockWatch& watch) {
    CompanyOutcome& outcome = read.outcome;
    if (outcome.unrecognised) return watch.Hold(std::move(step), std::move(outcome), read.read_at);
    if (watch.holding()) watch.Flush(index);
    for (const auto& [text, cause] : outcome.messages) watch.Say(text, cause);
    step.row = std::move(outcome.row);
    step.profile_read = outcome.profile_read;
    step.failure = std::move(outcome.failure);
    // A refresh updates the companies stored already in place: only new ones are new rows.
    const bool added = step.row && !(stream.refresh() && stream.Known(*step.row));
    host.Commit(step);
    host.CompanyDone(added);
    if (!step.row) return false;
    stream.AddKnown(*step.row);
    if (added) host.MemberRow(*step.row);
    return false;
}

// A refresh commits the companies each result page lists, so that its end knows which
// stored ones the search no longer lists, also after a stop and a continue.
void CommitListed(const PageRead& page, CrawlHost& host) {
    RunStep step;
    for (const ListEntry& e : page.entries)
        step.listed.emplace_back(Utf16ToUtf8(e.member_id), Utf16ToUtf8(e.company_name));
    if (!step.listed.empty()) host.Commit(step);
}

void CommitPosition(const RunPosition& at, CrawlHost& host) {
    RunStep step;
    step.position = at;
    host.Commit(step);
}

}  // namespace

bool CrawlCompanyList(const std::string& url, CrawlHost& host, const CrawlStart& start) {
    RunPosition at;
    at.page_url = start.page_url.empty() ? url : start.page_url;
    at.page_number = start.page_number;
    CrawlStream stream(host, start.known, start.refresh);
    BlockWatch watch(host, stream);
    size_t item = stream.Begin(at.page_url, static_cast<size_t>(std::max(0, start.entries_done)));
    bool first_page = true;
    for (;;) {
        const std::shared_ptr<const PageRead> page = stream.TakePage(item, watch.since());
        switch (page->kind) {
        case PageRead::Kind::Failed: {
            watch.Flush();
            host.Message(Message("抓取公司列表网页时产生错误：", page->fetched.error, kSerious));
            host.MessageCause(page->fetched.cause);
            RunStep step;
            FailedPage& f = step.failure.emplace();
            f.url = at.page_url;
            f.cause = page->fetched.cause;
            f.kind = kFailedResultPage;
            host.Commit(step);
            return false;
        }
        case PageRead::Kind::NoList:
            // A result page that answered without its list is what a block page looks
            // like too; the position stays at this page.
            watch.Blocked(Message("抓取失败", "", kSerious));
            return false;
        case PageRead::Kind::BadList:
            watch.Flush();
            host.Message(Message("公司列表页面内容信息获取错误,无法正确解析", "", kSerious));
            return false;
        case PageRead::Kind::Listed:
            break;
        }
        if (std::exchange(first_page, false)) host.ResultCount(page->count);
        if (start.refresh) CommitListed(*page, host);

        // The page's companies follow it in the stream, in the order of `wanted`.
        size_t next_wanted = 0;
        for (size_t i = page->first; i < page->entries.size(); ++i) {
            const bool read = next_wanted < page->wanted.size() && page->wanted[next_wanted] == i;
            const size_t index = item + 1 + next_wanted;
            if (read) ++next_wanted;
            // Entries that cost no fetch are not worth a commit: a continued run passes
            // over them again for nothing.
            if (!read || (!start.refresh && stream.Known(page->entries[i]))) {
                host.CompanyDone(false);
                continue;
            }
            at.entries_done = static_cast<int>(i + 1);
            RunStep step;
            step.position = at;
            if (StoreCompany(stream.TakeCompany(index, watch.since()), index, host, std::move(step), stream,
                             watch)) {
                watch.Blocked();
                return false;
            }
        }
        item += 1 + page->wanted.size();

        const NextPage& next = page->next;
        if (!next.follow) {
            watch.Flush();
            if (next.result) {
                at.finished = true;
                CommitPosition(at, host);
            }
            return next.result;
        }
        host.RepaintMembers();
        if (page->paging_stop) {
            watch.Flush();
            host.Message(*page->paging_stop);
            return false;
        }
        const int number = at.page_number + 1;
        at = RunPosition{};
        at.page_url = next.url;
        at.page_number = number;
        // Companies held back stay before the next page's position until they are told
        // apart from a block.
        if (!watch.holding()) CommitPosition(at, host);
    }
}

bool RetryFailedCompanies(const std::vector<FailedPage>& failures, CrawlHost& host) {
    auto companies = std::make_shared<PageRead>();
    std::vector<long long> ids;
    for (const FailedPage& f : failures) {
        if (f.kind == kFailedResultPage || f.contact_link.empty()) continue;
        ListEntry& entry = companies->entries.emplace_back();
        entry.company_name = Utf8ToUtf16(f.company_name);
        entry.member_id = Utf8ToUtf16(f.member_id);
        entry.member_type = Utf8ToUtf16(f.member_type);
        entry.good_index = Utf8ToUtf16(f.good_index);
        entry.send_msg_link = Utf8ToUtf16(f.send_msg_link);
        entry.contact_link = Utf8ToUtf16(f.contact_link);
        companies->wanted.push_back(ids.size());
        ids.push_back(f.id);
    }
    CrawlStream stream(host, nullptr);
    stream.AppendCompanies(companies);
    BlockWatch watch(host, stream);
    for (size_t i = 0; i < ids.size(); ++i) {
        RunStep step;
        step.retried_failure = ids[i];
        if (StoreCompany(stream.TakeCompany(i, watch.since()), i, host, std::move(step), stream, watch)) {
            watch.Blocked();
            return false;
        }
    }
    watch.Flush();
    return true;
}

}  // namespace qv

