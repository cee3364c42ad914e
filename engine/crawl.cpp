#include "engine/crawl.h"

#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>
#include <utility>

#include "core/gbk.h"
#include "core/text.h"
#include "engine/markup.h"
#include "engine/ordered_prefetch.h"
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

// What reading one company gave: a record to store, a page that failed, or neither
// (the company was skipped for what its page lacked). `unrecognised`: the contact page
// answered but shows neither layout, which may be a block page in its place.
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
            TakeProfile(profile.body);
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
        if (d < 1) {
            outcome_.unrecognised = true;  // its message waits for BlockWatch
            return;
        }
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
            TakeProfile(profile.body);
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

    // The parser follows the profile page's own layout: a contact page of one layout may
    // link to a profile page of the other.
    void TakeProfile(std::string_view body) {
        ProfileValues values = ParseProfilePage(DecodeAndNormalize(body));
        for (int i = 0; i < kProfileValueCount; ++i)
            r_[mfCompanyContext + i] = std::move(values[i]);
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

// Reads the companies of one list, each over one of the host's connections. With more
// than one, the pages of the companies after the one asked for are read ahead, at most
// two per connection, while the caller stores the earlier ones; what the caller gets,
// company by company, is what reading them one after another gives.
class CompanyReader {
public:
    // `wanted`: the indexes into `entries` whose pages are read, in increasing order.
    CompanyReader(const std::vector<ListEntry>& entries, std::vector<size_t> wanted, CrawlHost& host)
        : entries_(entries), wanted_(std::move(wanted)), host_(host) {
        const int lanes = std::clamp(host.Connections(), 1, kMaxConnectionsPerTask);
        if (lanes < 2 || wanted_.size() < 2) return;
        ahead_.emplace(lanes, wanted_.size(), 2 * static_cast<size_t>(lanes),
                       [this](int lane, size_t item) {
                           return CompanyCrawl(entries_[wanted_[item]], host_, lane).Run();
                       });
    }

    // `entry` must be one of `wanted`, asked for in increasing order; those passed over
    // are dropped.
    CompanyOutcome Read(size_t entry) {
        if (!ahead_) return CompanyCrawl(entries_[entry], host_, 0).Run();
        while (next_ < wanted_.size() && wanted_[next_] < entry) ++next_;
        if (next_ >= wanted_.size() || wanted_[next_] != entry)
            throw std::logic_error("a company asked for that was not read ahead");
        return ahead_->Take(next_++);
    }

private:
    const std::vector<ListEntry>& entries_;
    const std::vector<size_t> wanted_;
    CrawlHost& host_;
    size_t next_ = 0;
    std::optional<OrderedPrefetch<CompanyOutcome>> ahead_;  // last: its lanes use the rest
};

// Holds back the companies whose contact page showed neither layout until a company
// reads normally (they were plain skips: their messages and steps follow) or until five
// come in a row (the site is blocking: none of them is committed, so the saved position
// stays before the first, and none counts as skipped).
class BlockWatch {
public:
    explicit BlockWatch(CrawlHost& host) : host_(host) {}

    // True when this one makes the run long enough to mean a block.
    bool Hold(RunStep step) {
        held_.push_back(std::move(step));
        return static_cast<int>(held_.size()) >= kBlockedCompanies;
    }
    void Flush() {
        for (const RunStep& step : held_) {
            host_.Message(Message(kNoContactBlock, "", kSkipped));
            host_.Commit(step);
            host_.CompanyDone(false);
        }
        held_.clear();
    }
    bool holding() const { return !held_.empty(); }
    void Blocked() {
        held_.clear();
        host_.Message(kSiteBlockedMessage);
        host_.SiteBlocked();
    }

private:
    CrawlHost& host_;
    std::vector<RunStep> held_;
};

// Commits what reading one company gave together with `step`'s position, then shows its
// messages and, once it is in the file, its row. True when the site is blocking.
bool StoreCompany(CompanyOutcome outcome, CrawlHost& host, RunStep step, KnownCompanies* known,
                  BlockWatch& watch) {
    if (outcome.unrecognised) return watch.Hold(std::move(step));
    watch.Flush();
    for (const auto& [text, cause] : outcome.messages) {
        host.Message(text);
        if (!cause.empty()) host.MessageCause(cause);
    }
    step.row = std::move(outcome.row);
    step.failure = std::move(outcome.failure);
    host.Commit(step);
    host.CompanyDone(step.row.has_value());
    if (!step.row) return false;
    if (known) known->Add((*step.row)[mfMemberID], (*step.row)[mfCompanyName]);
    host.MemberRow(*step.row);
    return false;
}

long long CountOf(const std::u16string& page) {
    const std::string digits = Utf16ToUtf8(ResultCountText(page));
    try {
        return std::stoll(digits);
    } catch (const std::exception&) {
        return -1;
    }
}

void CommitPosition(const RunPosition& at, CrawlHost& host) {
    RunStep step;
    step.position = at;
    host.Commit(step);
}

bool IsKnown(const ListEntry& entry, const KnownCompanies* known) {
    return known && known->Contains(Utf16ToUtf8(entry.member_id), Utf16ToUtf8(entry.company_name));
}

// The entries from `first` on whose pages the crawl reads. A company known now stays
// known, so none that the crawl reads is left out; one stored from this very list can
// make a later entry known, whose page, read ahead, is then dropped unused.
std::vector<size_t> CompaniesToRead(const std::vector<ListEntry>& entries, size_t first,
                                    const KnownCompanies* known) {
    std::vector<size_t> wanted;
    for (size_t i = first; i < entries.size(); ++i)
        if (!entries[i].contact_link.empty() && !IsKnown(entries[i], known)) wanted.push_back(i);
    return wanted;
}

}  // namespace

bool CrawlCompanyList(const std::string& url, CrawlHost& host, const CrawlStart& start) {
    RunPosition at;
    at.page_url = start.page_url.empty() ? url : start.page_url;
    at.page_number = start.page_number;
    size_t passed_over = static_cast<size_t>(std::max(0, start.entries_done));
    ResultPageLog pages;
    pages.Enter(at.page_url);
    BlockWatch watch(host);
    bool first_page = true;
    for (;;) {
        FetchResult fetched = host.Fetch(at.page_url);
        if (!fetched.error.empty()) {
            watch.Flush();
            host.Message(Message("抓取公司列表网页时产生错误：", fetched.error, kSerious));
            host.MessageCause(fetched.cause);
            RunStep step;
            FailedPage& f = step.failure.emplace();
            f.url = at.page_url;
            f.cause = fetched.cause;
            f.kind = kFailedResultPage;
            host.Commit(step);
            return false;
        }
        const std::u16string page = DecodeAndNormalize(fetched.body);
        View list = page;
        if (!SkipTo(site::kListBlock, list)) {
            // A result page that answered without its list is what a block page looks
            // like too; the position stays at this page.
            host.Message(Message("抓取失败", "", kSerious));
            watch.Blocked();
            return false;
        }
        const long long q = PosOf(site::kListEnd, list);
        if (q < 1) {
            watch.Flush();
            host.Message(Message("公司列表页面内容信息获取错误,无法正确解析", "", kSerious));
            return false;
        }
        list = First(list, q - 1);
        if (std::exchange(first_page, false)) host.ResultCount(CountOf(page));

        const std::vector<ListEntry> entries = ReadListEntries(list);
        {
            // Ends (its connections idle) before the next result page is fetched.
            CompanyReader reader(entries, CompaniesToRead(entries, passed_over, start.known), host);
            for (size_t i = passed_over; i < entries.size(); ++i) {
                // Entries that cost no fetch are not worth a commit: a continued run passes
                // over them again for nothing.
                if (entries[i].contact_link.empty() || IsKnown(entries[i], start.known)) {
                    host.CompanyDone(false);
                    continue;
                }
                at.entries_done = static_cast<int>(i + 1);
                RunStep step;
                step.position = at;
                if (StoreCompany(reader.Read(i), host, std::move(step), start.known, watch)) {
                    watch.Blocked();
                    return false;
                }
            }
        }
        passed_over = 0;

        NextPage next = FindNextPage(page);
        if (!next.follow) watch.Flush();
        if (!next.follow) {
            if (next.result) {
                at.finished = true;
                CommitPosition(at, host);
            }
            return next.result;
        }
        host.RepaintMembers();
        // Checked before the position moves on, so a saved run never points into the loop.
        if (auto stop = PagingStop(pages, next.url)) {
            watch.Flush();
            host.Message(*stop);
            return false;
        }
        const int number = at.page_number + 1;
        at = RunPosition{};
        at.page_url = std::move(next.url);
        at.page_number = number;
        // Companies held back stay before the next page's position until they are told
        // apart from a block.
        if (!watch.holding()) CommitPosition(at, host);
    }
}

bool RetryFailedCompanies(const std::vector<FailedPage>& failures, CrawlHost& host) {
    std::vector<ListEntry> entries;
    std::vector<long long> ids;
    for (const FailedPage& f : failures) {
        if (f.kind == kFailedResultPage || f.contact_link.empty()) continue;
        ListEntry& entry = entries.emplace_back();
        entry.company_name = Utf8ToUtf16(f.company_name);
        entry.member_id = Utf8ToUtf16(f.member_id);
        entry.member_type = Utf8ToUtf16(f.member_type);
        entry.good_index = Utf8ToUtf16(f.good_index);
        entry.send_msg_link = Utf8ToUtf16(f.send_msg_link);
        entry.contact_link = Utf8ToUtf16(f.contact_link);
        ids.push_back(f.id);
    }
    std::vector<size_t> all(entries.size());
    for (size_t i = 0; i < all.size(); ++i) all[i] = i;
    BlockWatch watch(host);
    CompanyReader reader(entries, all, host);
    for (size_t i = 0; i < entries.size(); ++i) {
        RunStep step;
        step.retried_failure = ids[i];
        if (StoreCompany(reader.Read(i), host, std::move(step), nullptr, watch)) {
            watch.Blocked();
            return false;
        }
    }
    watch.Flush();
    return true;
}

}  // namespace qv
