#pragma once
// The field cipher of member records: single DES (FIPS 46-3), ECB, zero padding,
// enciphered bytes written as upper-case hex. Texts are UTF-8 here; the cipher works on
// their GBK bytes. Pure functions, safe on any thread.
#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

inline constexpr std::string_view FieldCipherKey = "Pq4sWn8Ty2bRkZ7mXv3H";

// Byte-level operations: `plain` and the result of DecipherText are raw bytes (GBK).
std::string EncipherText(std::string_view plain, std::string_view key);
std::string DecipherText(std::string_view enciphered, std::string_view key);

// Text-level operations: `plain` is UTF-8, converted to GBK before enciphering;
// DecipherTextHex converts the deciphered GBK bytes back to UTF-8.
std::string EncipherTextHex(std::string_view plain_utf8, std::string_view key);
std::string DecipherTextHex(std::string_view hex, std::string_view key);

std::int64_t HexToInt(std::string_view hex);

}  // namespace qv
