#include "engine/company_pages.h"

#include <array>

#include "core/gbk.h"
#include "core/text.h"
#include "engine/crawl_text.h"
#include "engine/markup.h"
#include "engine/profile.h"
#include "engine/site_markers.h"

namespace qv::crawling {
namespace {

// The record being built, in MemberValues order, as scanned.
using Record = std::array<std::u16string, kMemberColumnCount>;

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
            outcome_.profile_read = true;
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
            outcome_.profile_read = true;
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

}  // namespace

CompanyOutcome ReadCompany(const ListEntry& entry, CrawlHost& host, int lane) {
    return CompanyCrawl(entry, host, lane).Run();
}

}  // namespace qv::crawling
