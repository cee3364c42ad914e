// DecipherTextHex on any stored cell (a data file from elsewhere may hold anything), and
// the cipher's round trip on the text it gives back. Text that is not hex raises the
// cipher's own error, which callers catch; anything else escaping is a finding.
#include <stdexcept>
#include <string>
#include <vector>

#include "core/field_cipher.h"
#include "core/gbk.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

bool IsHex(std::string_view s) {
    return s.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qv;
    const std::string_view input = fuzz::AsText(data, size);
    const std::string_view even = input.substr(0, input.size() / 2 * 2);
    try {
        DecipherTextHex(input, FieldCipherKey);
        fuzz::Check(IsHex(even), "text that is not hex deciphered");
    } catch (const std::runtime_error&) {
        fuzz::Check(!IsHex(even), "hex text refused");
    }
    const std::vector<std::string_view> parts = fuzz::SplitParts(input);
    if (parts.size() >= 2 && IsHex(parts[0])) DecipherTextHex(parts[0], parts[1]);
    // Text that GBK holds exactly (without NUL, the padding byte) survives a round trip.
    const std::string text = GbkToUtf8(input);
    if (text.find('\0') == std::string::npos && GbkToUtf8(Utf8ToGbk(text)) == text)
        fuzz::Check(DecipherTextHex(EncipherTextHex(text, FieldCipherKey), FieldCipherKey) == text,
                    "enciphered text does not decipher to itself");
    return 0;
}
