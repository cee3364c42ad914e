// The GBK and UTF conversions on any bytes: page bodies, settings files and cipher
// output all pass through them.
#include <string>

#include "core/gbk.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qv;
    const std::string_view bytes = fuzz::AsText(data, size);
    const std::u16string wide = GbkToUtf16(bytes);
    const std::string utf8 = GbkToUtf8(bytes);
    fuzz::Check(Utf16ToUtf8(wide) == utf8, "the two GBK decoders disagree");
    fuzz::Check(Utf8ToUtf16(utf8) == wide, "UTF-8 and UTF-16 disagree");
    // What came out of GBK goes back into GBK and out again unchanged.
    const std::string again = Utf8ToGbk(utf8);
    fuzz::Check(GbkToUtf8(again) == utf8 || utf8.find('?') != std::string::npos ||
                    again.find('?') != std::string::npos,
                "GBK text changes on a round trip");
    Utf8ToUtf16(bytes);
    Utf8ToGbk(bytes);
    std::u16string units(size / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    Utf16ToGbk(units);
    Utf16ToUtf8(units);
    return 0;
}
