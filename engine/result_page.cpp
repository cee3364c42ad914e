#include "engine/result_page.h"

#include <stdexcept>

#include "core/gbk.h"
#include "core/text.h"
#include "engine/crawl_text.h"
#include "engine/markup.h"
#include "engine/site_markers.h"

namespace qv {
namespace {

using crawling::Len;
using crawling::PosOf;
using crawling::SkipTo;
using crawling::View;

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

namespace crawling {
namespace {

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

long long CountOf(const std::u16string& page) {
    const std::string digits = Utf16ToUtf8(ResultCountText(page));
    try {
        return std::stoll(digits);
    } catch (const std::exception&) {
        return -1;
    }
}

}  // namespace

void ParseResultPage(std::size_t first, PageRead& read) {
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
    read.first = first;
    read.next = FindNextPage(page);
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

}  // namespace crawling
}  // namespace qv
