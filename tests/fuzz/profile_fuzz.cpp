// Both company-profile parsers on a profile page body (GBK bytes), and the UPDATE built
// from what they find.
#include "core/gbk.h"
#include "engine/markup.h"
#include "engine/profile.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qv;
    const std::u16string page = DecodeAndNormalize(fuzz::AsText(data, size));
    ProfileValues typelist, body_cont;
    ParseTypelistProfile(page, typelist);
    ParseBodyContProfile(page, body_cont);
    const ProfileValues picked = ParseProfilePage(page);
    for (const std::u16string& value : picked)
        fuzz::Check(value.size() <= page.size(), "a profile value longer than its page");
    const std::string update = BuildDetailUpdateStatement(picked, Utf16ToUtf8(picked[0]));
    fuzz::CheckOneDataListStatement(update);
    return 0;
}
