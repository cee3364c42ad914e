#pragma once
// The company list crawl of one task, run on its collection thread.
#include <string>
#include <string_view>
#include <vector>

#include "core/data_files.h"
#include "core/run_journal.h"
#include "engine/fetcher.h"

namespace qv {

// Raised by CrawlHost::Fetch and CrawlHost::Commit once the task was stopped: the crawl
// unwinds at once and reports nothing.
struct CrawlStopped {};

// Raised by the host to end a crawl that goes on afresh from its saved position (over
// another proxy): the crawl unwinds at once, committing nothing more. `reason` says why.
struct CrawlRestart {
    std::string reason;
};

// What the crawl needs from the thread that runs it. Messages, rows and repaints are
// handed to the UI thread in the order issued.
class CrawlHost {
public:
    virtual ~CrawlHost() = default;
    virtual void Message(const std::string& text) = 0;        // ShowTaskMessage(text, LogGrid)
    // The cause of the failed fetch that the last message reports.
    virtual void MessageCause(const std::string& cause) {}
    virtual void MemberRow(const MemberValues& values) = 0;   // plain values, shown in the grid
    virtual void RepaintMembers() = 0;
    // Options/CollectCompanyDetail, read afresh for every company.
    virtual bool CollectDetail() = 0;
    // FetchPage with the task's own client. Waits first while the task is held; raises
    // CrawlStopped when it was stopped.
    virtual FetchResult Fetch(const std::string& url) = 0;
    // Makes one step durable (a stored company, a failed page, the run's new position)
    // in one transaction on the task's own connection: waits while held, then commits
    // unless the task was stopped (then raises CrawlStopped and writes nothing).
    virtual void Commit(const RunStep& step) = 0;

    // How many connections the pages of a result page's companies may use at once; with
    // more than one they are read ahead on their own threads, one per connection, and
    // still stored and reported in list order.
    virtual int Connections() { return 1; }
    // Fetch over connection `lane` (0 .. Connections()-1; lane 0 is Fetch's own). Several
    // lanes are used at once, each by one thread at a time; holds and stops apply as to Fetch.
    virtual FetchResult FetchOn(int lane, const std::string& url) { return Fetch(url); }
    // While on, fetches over the lanes end at once, failed: their work is no longer wanted.
    virtual void CancelReadAhead(bool on) {}

    // Progress counters: the result count stated by the first result page read, and
    // each company done (stored, or skipped or passed over).
    virtual void ResultCount(long long count) {}
    virtual void CompanyDone(bool stored) {}
    // The site seems to block the crawl; its position is kept. Told before the crawl says
    // so; the host may raise CrawlRestart to go on another way instead.
    virtual void SiteBlocked() {}
};

// Five companies in a row whose contact page answered but shows neither contact layout, or
// whose profile page (when it is read) answered without the profile layout, mean the site
// answers with a verification or login page instead.
inline constexpr int kBlockedCompanies = 5;
inline constexpr char kSiteBlockedMessage[] = "网站可能拦截了采集，任务已停止，请稍后继续抓取";

inline constexpr int kMaxConnectionsPerTask = 8;

// What one company entry of a result page's list gives. The contact link may come from
// a later entry when this one has none (the crawl then reads that page once more).
struct ListEntry {
    std::u16string company_name, member_id, member_type, good_index, send_msg_link,
        contact_link;
};

// The at most 40 entries of a result page's list block, one per "comparecheck".
inline constexpr int kEntriesPerPage = 40;
std::vector<ListEntry> ReadListEntries(std::u16string_view list_text);

// Where a crawl begins and which companies it takes.
struct CrawlStart {
    std::string page_url;    // empty: the search URL itself
    int page_number = 1;
    int entries_done = 0;    // entries of that page that are passed over without a fetch
    // When set, a company it holds is passed over without a fetch, and every company
    // stored is added to it (collecting only new companies).
    KnownCompanies* known = nullptr;
    // A refresh: the companies `known` holds are read all the same (their records are
    // updated), only the others show as new rows, and the companies of every result page
    // read are committed as listed, so that its end knows which stored ones are gone.
    bool refresh = false;
};

// True when the last result page had no further page; false on a serious error, or when
// the site blocks the crawl (five companies in a row without a contact layout, or a result
// page without the company list): then the companies of that run are not stored and the
// saved position stays before the first of them.
// Every company read commits one step with the position after it, so the run can be
// continued from a saved position with the same records in the same order.
// Errors of Commit other than CrawlStopped propagate (the thread reports a failure).
bool CrawlCompanyList(const std::string& url, CrawlHost& host, const CrawlStart& start = {});

// Crawls again the companies that a failed contact or profile page made the run skip;
// each one that now answers is appended and its failure replaced. True when done.
bool RetryFailedCompanies(const std::vector<FailedPage>& failures, CrawlHost& host);

}  // namespace qv
