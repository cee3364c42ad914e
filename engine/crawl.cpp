#include "engine/crawl.h"

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <utility>

#include "core/gbk.h"
#include "core/text.h"
#include "engine/markup.h"
#include "engine/read_ahead.h"
#include "engine/profile.h"
#include "engine/result_page_log.h"
#include "engine/site_markers.h"

namespace qv {
namespace {

using View = std::u16string_view;
// The record being built, in MemberValues order, as scanned.
using Record = std::array<std::u16string, kMemberColumnCount>;

constexpr std::string_view kSerious = "，错误严重，不可以继续抓取";
constexpr std::string_view kSkipped = "，忽略，继续抓取";

long long PosOf(View x, View t) { return static_cast<long long>(Pos(x, t)); }
long long Len(View marker) { return static_cast<long long>(marker.size()); }

std::string Message(std::string_view text, std::string_view error, std::string_view ending) {
    std::string out(text);
    out += error;
    out += ending;
    return out;
}

// Moves `text` to the marker when it occurs; false when it does not.
bool SkipTo(View marker, View& text) {
    const long long p = PosOf(marker, text);
    if (p == 0) return false;
    text = From(text, p);
    return true;
}

// `entry` holds this entry and all after it, so a marker this entry lacks is taken from
// a later one.
ListEntry ReadEntry(View entry) {
    ListEntry e;
    e.member_id = Trim(QuotedValueAfter(site::kMemberId, entry));
    e.company_name = Trim(TagText(site::kSpanOpen, site::kSpanClose, entry, 1));
    if (Trim(TagText(site::kSpanOpen, site::kSpanClose, entry, 2)) == site::kVerifiedMark)
        e.member_type = site::kTrustPassMember;
    if (SkipTo(site::kMessageLink, entry))
        e.send_msg_link = Trim(QuotedValueAfter(site::kLinkOpen, entry));
    if (SkipTo(site::kContactLink, entry))
        e.contact_link = Trim(QuotedValueAfter(site::kLinkOpen, entry));
    if (SkipTo(site::kTrustPassIndex, entry))
        e.good_index = Trim(TagText(site::kSpanOpen, site::kSpanClose, entry, 1));
    return e;
}

void ApplyPersonRule(View s, Record& r) {
    bool salutation = false;
    for (View title : {site::kMister, site::kMadam}) {
        const long long f = PosOf(title, s);
        if (f == 0) continue;
        r[mfLinkMan] = Trim(First(s, f - 1));
        r[mfSex] = title;
        s = From(s, f + Len(title));
        salutation = true;
        break;
    }
    long long b = PosOf(site::kOpenParen, s);
    if (b < 1) b = PosOf(site::kFullWidthOpenParen, s);
    if (b > 0) {
        // The duty runs up to the last character, taken to be the closing bracket.
        const long long count = static_cast<long long>(s.size()) - b - 1;
        r[mfDuty] = count > 0 ? s.substr(static_cast<size_t>(b), static_cast<size_t>(count)) : View{};
        // A bare "name（duty）" still names the person.
        if (!salutation) r[mfLinkMan] = Trim(First(s, b - 1));
    } else if (!salutation) {
        r[mfLinkMan] = Trim(s);
    }
}

template <size_t N>
void ReadContactItems(View items, const std::array<site::ContactLabel, N>& labels, bool drop_nbsp,
                      Record& r) {
    for (int i = 1; i <= site::kContactItemCount; ++i) {
        std::u16string s = TagText(site::kLiOpen, site::kLiClose, items, i);
        if (drop_nbsp) s = RemoveAll(s, site::kNbsp);
        // The label must open the item: a label word inside a value ("地址：…电话大厦")
        // would otherwise file the item under the wrong field.
        const std::u16string item = Trim(s);
        for (const site::ContactLabel& l : labels) {
            if (View(item).starts_with(l.label)) {
                r[l.field] = Trim(From(item, l.skip + 1));
                break;
            }
        }
    }
}

constexpr std::string_view kNoContactBlock = "未抓取到联系方式所在的网页";
constexpr std::string_view kNoProfileBlock = "未抓取到公司介绍所在的网页";
// Causes of a page that answered without the layout it should have (a block page looks so).
constexpr char kNoContactLayout[] = "no contact layout";
constexpr char kNoProfileLayout[] = "no profile layout";

bool HasProfileLayout(View page) { return Pos(site::kBodyCont, page) > 0 || Pos(site::kTypelist, page) > 0; }

// What reading one company gave: a record to store, a page that failed, or neither
// (the company was skipped for what its page lacked). `unrecognised`: the contact page
// answered but shows neither layout, or the profile page answered without its layout,
// which may be a block page in its place; its message and failure wait to be told apart.
struct CompanyOutcome {
    std::optional<MemberValues> row;
    std::optional<FailedPage> failure;
    bool unrecognised = false;
    // Messages and the causes they carry, shown when the company's turn comes (it may
    // have been read ahead of the companies before it) and once the companies held back
    // before it have had theirs.
    std::vector<std::pair<std::string, std::string>> messages;
};

class CompanyCrawl {
public:
    CompanyCrawl(const ListEntry& entry, CrawlHost& host, int lane) : host_(host), lane_(lane) {
        r_[mfCompanyName] = entry.company_name;
        r_[mfMemberID] = entry.member_id;
        r_[mfMemberType] = entry.member_type;
        r_[mfGoodIndex] = entry.good_index;
        r_[mfSendMsgLink] = entry.send_msg_link;
        r_[mfContactLink] = entry.contact_link;
    }

    CompanyOutcome Run() {
        const std::string contact_url = Utf16ToUtf8(r_[mfContactLink]);
        FetchResult contact_page = host_.FetchOn(lane_, contact_url);
        if (!contact_page.error.empty()) {
            Say(Message("抓取联系方式网页时产生错误：", contact_page.error, kSkipped), contact_page.cause);
            Failed(contact_url, contact_page.cause, kFailedContactPage);
            return std::move(outcome_);
        }
        const std::u16string contact = DecodeAndNormalize(contact_page.body);
        View w = contact;
        if (SkipTo(site::kHomePageLink, w)) r_[mfCmpDetail] = QuotedValueAfter(site::kLinkOpen, w);
        if (Pos(site::kLh20Block, w) > 0) Lh20Layout(w);
        else MpRLayout(contact, w);
        return std::move(outcome_);
    }

private:
    void Lh20Layout(View w) {
        w = From(w, PosOf(site::kLh20Block, w) + Len(site::kLh20Block));
        ApplyPersonRule(RemoveAll(TagText(site::kLiOpen, site::kLiClose, w, 2), site::kNbsp), r_);
        if (const long long m = PosOf(site::kLh20Block, w); m > 0) {
            w = From(w, m + Len(site::kLh20Block));
            w = First(w, PosOf(site::kUlClose, w));
            ReadContactItems(w, site::kLh20Labels, false, r_);
        }
        if (Trim(r_[mfCmpDetail]).empty()) {
            Say(Message("抓取的公司介绍链接失败", "", kSkipped));
            return;
        }
        if (host_.CollectDetail()) {
            const std::string profile_url = Utf16ToUtf8(r_[mfCmpDetail]);
            FetchResult profile = host_.FetchOn(lane_, profile_url);
            if (!profile.error.empty()) return ProfileFetchFailed(profile_url, profile);
            if (!TakeProfile(profile_url, profile.body)) return;
        }
        Store();
    }

    // The start position is taken in the whole contact text and applied to `w`.
    void MpRLayout(View contact, View w) {
        long long p = PosOf(site::kSupplyProducts, contact);
        if (p < 1) p = PosOf(site::kHomeTab, contact);
        w = From(w, p);
        r_[mfCmpDetail] = SingleQuotedValueAfter(site::kLocationHref, w);
        const long long d = PosOf(site::kMpRBlock, w);
        if (d < 1) return Unrecognised(Utf16ToUtf8(r_[mfContactLink]), kNoContactBlock, kNoContactLayout,
                                       kFailedContactPage);
        w = From(w, d + Len(site::kMpRBlock));
        ApplyPersonRule(RemoveAll(TagText(site::kDivOpen, site::kDivClose, w, 1), site::kNbsp), r_);
        if (const long long u = PosOf(site::kMpRItems, w); u > 0) {
            w = From(w, u + Len(site::kMpRItems));
            w = First(w, PosOf(site::kUlClose, w));
            ReadContactItems(w, site::kMpRLabels, true, r_);
        }
        if (host_.CollectDetail()) {
            const std::string profile_url = Utf16ToUtf8(r_[mfCmpDetail]);
            FetchResult profile = host_.FetchOn(lane_, profile_url);
            if (!profile.error.empty()) return ProfileFetchFailed(profile_url, profile);
            if (Trim(r_[mfCmpDetail]).empty()) {
                Say(Message("抓取公司介绍网页失败", "", kSkipped));
                return;
            }
            if (!TakeProfile(profile_url, profile.body)) return;
        }
        Store();
    }

    void ProfileFetchFailed(const std::string& url, const FetchResult& fetched) {
        Say(Message("抓取公司介绍网页时产生错误：", fetched.error, kSkipped), fetched.cause);
        Failed(url, fetched.cause, kFailedProfilePage);
    }

    void Say(std::string text, std::string cause = {}) {
        outcome_.messages.emplace_back(std::move(text), std::move(cause));
    }

    void Failed(const std::string& url, const std::string& cause, const char* kind) {
        FailedPage& f = outcome_.failure.emplace();
        f.url = url;
        f.cause = cause;
        f.kind = kind;
        f.company_name = Utf16ToUtf8(r_[mfCompanyName]);
        f.member_id = Utf16ToUtf8(r_[mfMemberID]);
        f.member_type = Utf16ToUtf8(r_[mfMemberType]);
        f.good_index = Utf16ToUtf8(r_[mfGoodIndex]);
        f.send_msg_link = Utf16ToUtf8(r_[mfSendMsgLink]);
        f.contact_link = Utf16ToUtf8(r_[mfContactLink]);
    }

    void Unrecognised(const std::string& url, std::string_view block, const char* cause, const char* kind) {
        outcome_.unrecognised = true;
        Say(Message(block, "", kSkipped), cause);
        Failed(url, cause, kind);
    }

    // The parser follows the profile page's own layout: a contact page of one layout may
    // link to a profile page of the other. False when the page has neither.
    bool TakeProfile(const std::string& url, std::string_view body) {
        const std::u16string page = DecodeAndNormalize(body);
        if (!HasProfileLayout(page)) {
            Unrecognised(url, kNoProfileBlock, kNoProfileLayout, kFailedProfilePage);
            return false;
        }
        ProfileValues values = ParseProfilePage(page);
        for (int i = 0; i < kProfileValueCount; ++i)
            r_[mfCompanyContext + i] = std::move(values[i]);
        return true;
    }

    // The caller stores it, then shows it: a row in the grid is a row in the file.
    void Store() {
        MemberValues& values = outcome_.row.emplace();
        for (int i = 0; i < kMemberColumnCount; ++i) values[i] = Utf16ToUtf8(r_[i]);
    }

    CrawlHost& host_;
    int lane_;
    Record r_;
    CompanyOutcome outcome_;
};

struct NextPage {
    bool follow = false;
    bool result = true;  // the crawl's result when not following
    std::string url;
};

NextPage FindNextPage(View page) {
    const long long p = PosOf(site::kPagingBlock, page);
    if (p < 1) return {};
    View t = From(page, p);
    const long long q = PosOf(site::kPagingEnd, t);
    if (q < 1) return {false, false, {}};
    t = First(t, q - 1);
    t = From(t, PosOf(site::kCurrentPage, t));
    const std::u16string next = Trim(QuotedValueAfter(site::kHref, t));
    if (next.empty()) return {};
    return {true, true, Utf16ToUtf8(next)};
}

// The serious error that ends the crawl instead of reading `url`, if any.
std::optional<std::string> PagingStop(ResultPageLog& pages, const std::string& url) {
    switch (pages.Enter(url)) {
    case ResultPageLog::Verdict::New:
        return std::nullopt;
    case ResultPageLog::Verdict::AlreadyRead:
        return Message("公司列表的下一页链接指回已读过的结果页，翻页循环：", url, kSerious);
    case ResultPageLog::Verdict::TooMany:
        return Message("公司列表已读满 " + std::to_string(ResultPageLog::kMaxPages) + " 页，不再翻页",
                       "", kSerious);
    }
    return std::nullopt;
}

}  // namespace

std::vector<ListEntry> ReadListEntries(std::u16string_view list_text) {
    std::vector<ListEntry> entries;
    for (int pass = 0; pass < kEntriesPerPage; ++pass) {
        const long long h = PosOf(site::kEntryStart, list_text);
        if (h < 1) break;
        list_text = From(list_text, h + Len(site::kEntryStart));
        entries.push_back(ReadEntry(list_text));
    }
    return entries;
}

namespace {

long long CountOf(const std::u16string& page) {
    const std::string digits = Utf16ToUtf8(ResultCountText(page));
    try {
        return std::stoll(digits);
    } catch (const std::exception&) {
        return -1;
    }
}

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
    bool Contains(const ListEntry& entry) const {
        if (!known_) return false;
        std::lock_guard lock(mutex_);
        return known_->Contains(Utf16ToUtf8(entry.member_id), Utf16ToUtf8(entry.company_name));
    }
    void Add(const MemberValues& row) {
        if (!known_) return;
        std::lock_guard lock(mutex_);
        known_->Add(row[mfMemberID], row[mfCompanyName]);
    }

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
    CrawlStream(CrawlHost& host, KnownCompanies* known)
        : host_(host),
          known_(known),
          ahead_(Lanes(host), 2 * static_cast<size_t>(Lanes(host)),
                 [this](int lane, size_t index, const CrawlItem& item, bool again) {
                     return Run(lane, index, item, again);
                 },
                 [&host](bool on) { host.CancelReadAhead(on); }) {}

    // The result page a crawl starts with; its first `first` entries are passed over.
    size_t Begin(const std::string& url, size_t first) {
        pages_.Enter(url);
        return ahead_.Append(CrawlItem{url, first, nullptr, 0});
    }
    // The companies of a retry, which reads no result page.
    void AppendCompanies(std::shared_ptr<const PageRead> page) {
        for (size_t i : page->wanted) ahead_.Append(CrawlItem{{}, 0, page, i});
    }

    // `since`: while companies are held back, the moment the first of them was read.
    std::shared_ptr<const PageRead> TakePage(size_t index, std::optional<uint64_t> since) {
        auto taken = ahead_.Take(index);
        if (since && taken.began < *since) {
            // Read before the held companies answered: only what it says now counts, and
            // its companies are already on their way.
            auto now = ahead_.Again(index);
            if (now.result.page->kind != PageRead::Kind::Listed) return now.result.page;
        }
        return taken.result.page;
    }

    struct Company {
        CompanyOutcome outcome;
        uint64_t read_at = 0;  // when its reading ended
    };
    Company TakeCompany(size_t index, std::optional<uint64_t> since) {
        auto taken = ahead_.Take(index);
        while (since && !taken.result.company.unrecognised && taken.began < *since)
            taken = ahead_.Again(index);
        return {std::move(taken.result.company), taken.ended};
    }

    bool Known(const ListEntry& entry) const { return known_.Contains(entry); }
    void AddKnown(const MemberValues& row) { known_.Add(row); }

    // The companies up to `index` were told apart from a block.
    void SignsResolvedThrough(size_t index) {
        std::lock_guard lock(signs_mutex_);
        signs_.erase(signs_.begin(), signs_.upper_bound(index));
        ahead_.SetLimit(SignLimit());
    }

private:
    static int Lanes(CrawlHost& host) {
        const int n = std::clamp(host.Connections(), 1, kMaxConnectionsPerTask);
        return n < 2 ? 0 : n;
    }

    CrawlResult Run(int lane, size_t index, const CrawlItem& item, bool again) {
        if (!item.page) return {ReadPage(lane, item, again), {}};
        CompanyOutcome outcome = CompanyCrawl(item.Company(), host_, lane).Run();
        if (outcome.unrecognised) {
            std::lock_guard lock(signs_mutex_);
            signs_.insert(index);
            ahead_.SetLimit(SignLimit());
        }
        return {nullptr, std::move(outcome)};
    }

    // Enough to judge the first sign: it and the companies after it, with room for one
    // result page between.
    size_t SignLimit() const {
        return signs_.empty() ? ahead_.kNoLimit : *signs_.begin() + kBlockedCompanies + 1;
    }

    std::shared_ptr<const PageRead> ReadPage(int lane, const CrawlItem& item, bool again) {
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

    void Parse(const CrawlItem& item, PageRead& read) {
        const std::u16string page = DecodeAndNormalize(read.fetched.body);
        View list = page;
        read.kind = PageRead::Kind::NoList;
        if (!SkipTo(site::kListBlock, list)) return;
        read.kind = PageRead::Kind::BadList;
        const long long q = PosOf(site::kListEnd, list);
        if (q < 1) return;
        read.kind = PageRead::Kind::Listed;
        read.count = CountOf(page);
        read.entries = ReadListEntries(First(list, q - 1));
        read.first = item.first;
        for (size_t i = item.first; i < read.entries.size(); ++i)
            if (!read.entries[i].contact_link.empty() && !Known(read.entries[i])) read.wanted.push_back(i);
        read.next = FindNextPage(page);
        // Checked before the next page is read, so a loop never stores a company twice.
        if (read.next.follow) read.paging_stop = PagingStop(pages_, read.next.url);
    }

    CrawlHost& host_;
    SharedKnown known_;
    ResultPageLog pages_;  // used by one result page's reading at a time
    std::mutex signs_mutex_;
    std::set<size_t> signs_;  // companies read ahead that may be block pages
    ReadAhead<CrawlItem, CrawlResult> ahead_;  // last: its lanes use the rest
};

// Holds back the companies that show a block sign (a contact page with neither layout, or
// a profile page without its layout) until a company reads normally (they were plain
// skips: their messages and steps follow) or until five come in a row (the site is
// blocking: none of them is committed, so the saved position stays before the first, and
// none counts as skipped).
class BlockWatch {
public:
    BlockWatch(CrawlHost& host, CrawlStream& stream) : host_(host), stream_(stream) {}

    // True when this one makes the run long enough to mean a block.
    bool Hold(RunStep step, CompanyOutcome outcome, uint64_t read_at) {
        if (held_.empty()) since_ = read_at;
        held_.push_back({std::move(step), std::move(outcome)});
        return static_cast<int>(held_.size()) >= kBlockedCompanies;
    }
    // The companies held are ordinary skips: `resolved_at`, the stream index of the company
    // that told them apart.
    void Flush(std::optional<size_t> resolved_at = std::nullopt) {
        for (Held& h : held_) {
            for (const auto& [text, cause] : h.outcome.messages) Say(text, cause);
            h.step.failure = std::move(h.outcome.failure);
            host_.Commit(h.step);
            host_.CompanyDone(false);
        }
        held_.clear();
        since_.reset();
        if (resolved_at) stream_.SignsResolvedThrough(*resolved_at);
    }
    bool holding() const { return !held_.empty(); }
    // While holding: when the first company held back was read.
    std::optional<uint64_t> since() const { return since_; }
    // The crawl ends; `first` is said before the block message.
    void Blocked(std::optional<std::string> first = std::nullopt) {
        host_.SiteBlocked();
        held_.clear();
        if (first) host_.Message(*first);
        host_.Message(kSiteBlockedMessage);
    }
    void Say(const std::string& text, const std::string& cause) {
        host_.Message(text);
        if (!cause.empty()) host_.MessageCause(cause);
    }

private:
    struct Held {
        RunStep step;
        CompanyOutcome outcome;
    };
    CrawlHost& host_;
    CrawlStream& stream_;
    std::vector<Held> held_;
    std::optional<uint64_t> since_;
};

// Commits what reading one company gave together with `step`'s position, then shows its
// messages and, once it is in the file, its row. True when the site is blocking.
bool StoreCompany(CrawlStream::Company read, size_t index, CrawlHost& host, RunStep step,
                  CrawlStream& stream, BlockWatch& watch) {
    CompanyOutcome& outcome = read.outcome;
    if (outcome.unrecognised) return watch.Hold(std::move(step), std::move(outcome), read.read_at);
    if (watch.holding()) watch.Flush(index);
    for (const auto& [text, cause] : outcome.messages) watch.Say(text, cause);
    step.row = std::move(outcome.row);
    step.failure = std::move(outcome.failure);
    host.Commit(step);
    host.CompanyDone(step.row.has_value());
    if (!step.row) return false;
    stream.AddKnown(*step.row);
    host.MemberRow(*step.row);
    return false;
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
    CrawlStream stream(host, start.known);
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

        // The page's companies follow it in the stream, in the order of `wanted`.
        size_t next_wanted = 0;
        for (size_t i = page->first; i < page->entries.size(); ++i) {
            const bool read = next_wanted < page->wanted.size() && page->wanted[next_wanted] == i;
            const size_t index = item + 1 + next_wanted;
            if (read) ++next_wanted;
            // Entries that cost no fetch are not worth a commit: a continued run passes
            // over them again for nothing.
            if (!read || stream.Known(page->entries[i])) {
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
