// The markup routines on a page body as it comes off the wire (GBK bytes): decoding,
// normalising, and every scanning routine with the site's markers.
#include "engine/fast_strings.h"
#include "engine/markup.h"
#include "engine/site_markers.h"
#include "core/gbk.h"
#include "tests/fuzz/fuzz_input.h"

namespace qv {
namespace {

constexpr std::u16string_view kMarkers[] = {
    site::kSpanOpen,  site::kSpanClose,  site::kLiOpen,     site::kLiClose, site::kLinkOpen,
    site::kMemberId,  site::kHref,       site::kListBlock,  site::kTdOpen,  site::kTdClose,
    site::kLocationHref, site::kNbsp, site::kResultCountBlock};

}  // namespace
}  // namespace qv

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qv;
    const std::string_view body = fuzz::AsText(data, size);
    const std::u16string page = DecodeAndNormalize(body);
    fuzz::Check(page.find_first_of(u"\t\r\n") == std::u16string::npos, "line breaks left after normalising");
    fuzz::Check(ResultCountText(GbkToUtf16(body)).size() <= page.size() + 1, "result count longer than its page");
    for (std::u16string_view open : kMarkers) {
        QuotedValueAfter(open, page);
        SingleQuotedValueAfter(open, page);
        for (std::u16string_view close : {qv::site::kSpanClose, qv::site::kLiClose, qv::site::kTdClose})
            for (int n = 0; n <= 3; ++n) TagText(open, close, page, n);
        const size_t p = Pos(open, page);
        fuzz::Check(p == 0 || page.substr(p - 1, open.size()) == open, "Pos gives a wrong place");
        fuzz::Check(From(page, static_cast<long long>(p)).size() <= page.size(), "From grew");
        fuzz::Check(First(page, static_cast<long long>(p) - 1).size() <= page.size(), "First grew");
        const std::u16string removed = RemoveAll(page, open);
        fuzz::Check(removed.size() <= page.size(), "RemoveAll grew");
        fuzz::Check(ReplaceAll(page, open, u"", true) == removed, "ReplaceAll and RemoveAll differ");
        ReplaceAll(page, open, u"x", false);
    }
    ReplaceAll(body, "<a", "<A", false);
    return 0;
}
