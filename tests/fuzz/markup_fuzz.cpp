// The markup routines on a page body as it comes off the wire (GBK bytes): decoding,
// normalising, and each scanning routine with the site's markers.
#include "core/gbk.h"
#include "engine/fast_strings.h"
#include "engine/markup.h"
#include "engine/site_markers.h"
#include "tests/fuzz/fuzz_input.h"

namespace qv {
namespace {

struct TagPair {
    std::u16string_view open, close;
};
constexpr TagPair kTags[] = {{site::kSpanOpen, site::kSpanClose},
                             {site::kLiOpen, site::kLiClose},
                             {site::kDivOpen, site::kDivClose},
                             {site::kTdOpen, site::kTdClose}};
constexpr std::u16string_view kValueMarkers[] = {site::kMemberId, site::kLinkOpen, site::kHref,
                                                 site::kLocationHref};

}  // namespace
}  // namespace qv

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qv;
    const std::string_view body = fuzz::AsText(data, size);
    const std::u16string page = DecodeAndNormalize(body);
    fuzz::Check(page.find_first_of(u"\t\r\n") == std::u16string::npos, "line breaks left after normalising");
    ResultCountText(GbkToUtf16(body));
    for (std::u16string_view marker : kValueMarkers) {
        QuotedValueAfter(marker, page);
        SingleQuotedValueAfter(marker, page);
    }
    for (const TagPair& tag : kTags)
        for (int n = 0; n <= 2; ++n) TagText(tag.open, tag.close, page, n);
    const size_t p = Pos(site::kNbsp, page);
    fuzz::Check(p == 0 || page.substr(p - 1, site::kNbsp.size()) == site::kNbsp, "Pos gives a wrong place");
    fuzz::Check(From(page, static_cast<long long>(p)).size() <= page.size(), "From grew");
    fuzz::Check(First(page, static_cast<long long>(p) - 1).size() < page.size() + 1, "First grew");
    const std::u16string removed = RemoveAll(page, site::kNbsp);
    fuzz::Check(ReplaceAll(page, site::kNbsp, u"", true) == removed, "ReplaceAll and RemoveAll differ");
    ReplaceAll(body, "<A", "<a", false);
    return 0;
}
