#include "core/field_cipher.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace qv {
namespace {

std::string Bytes(std::string_view hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    return out;
}

std::string StripTrailingZeros(std::string s) {
    while (!s.empty() && s.back() == '\0') s.pop_back();
    return s;
}

template <typename F>
std::string ErrorOf(F f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(no error)";
}

struct KnownAnswer {
    const char* key;
    const char* plain;
    const char* cipher;
};

// Published vectors: the worked example of the standard's walk-throughs, and samples of the
// variable-plaintext, variable-key, permutation and substitution tests of NIST SP 800-17.
constexpr KnownAnswer kKnownAnswers[] = {
    {"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
    {"0101010101010101", "8000000000000000", "95F8A5E5DD31D900"},
    {"0101010101010101", "4000000000000000", "DD7F121CA5015619"},
    {"0101010101010101", "2000000000000000", "2E8653104F3834EA"},
    {"0101010101010101", "1000000000000000", "4BD388FF6CD81D4F"},
    {"0101010101010101", "0000000000000001", "166B40B44ABA4BD6"},
    {"8001010101010101", "0000000000000000", "95A8D72813DAA94D"},
    {"4001010101010101", "0000000000000000", "0EEC1487DD8C26D5"},
    {"2001010101010101", "0000000000000000", "7AD16FFB79C45926"},
    {"0101010101010102", "0000000000000000", "869EFD7F9F265A09"},
    {"1046913489980131", "0000000000000000", "88D55E54F54C97B4"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "690F5B0D9A26939B"},
};

TEST(FieldCipher, MatchesPublishedDesVectorsBothWays) {
    for (const auto& v : kKnownAnswers) {
        SCOPED_TRACE(std::string(v.key) + " " + v.plain);
        std::string key = Bytes(v.key);
        // A plain block ending in zero bytes is reached through the zero padding.
        std::string plain = StripTrailingZeros(Bytes(v.plain));
        std::string cipher = Bytes(v.cipher);
        if (!plain.empty()) {
            EXPECT_EQ(EncipherText(plain, key), cipher);
        }
        EXPECT_EQ(DecipherText(cipher, key), plain);
    }
}

TEST(FieldCipher, BlocksAreEncipheredOneByOneWithoutChaining) {
    EXPECT_EQ(EncipherTextHex("Now is the time for all ", Bytes("0123456789ABCDEF")),
              "3FA40E8A984D4815" "6A271787AB8883F9" "893D51EC4B563B53");
    std::string twice = EncipherTextHex("13800138", FieldCipherKey);
    EXPECT_EQ(EncipherTextHex("1380013813800138", FieldCipherKey), twice + twice);
}

TEST(FieldCipher, FieldKeyEnciphersGbkBytesOfTheValue) {
    // 杭州 is BA BC D6 DD in GBK; one padded block.
    EXPECT_EQ(EncipherTextHex("杭州", FieldCipherKey), "EA244D2466098839");
    EXPECT_EQ(EncipherText("\xBA\xBC\xD6\xDD", FieldCipherKey), Bytes("EA244D2466098839"));
    EXPECT_EQ(DecipherTextHex("EA244D2466098839", FieldCipherKey), "杭州");
    EXPECT_EQ(DecipherText(Bytes("EA244D2466098839"), FieldCipherKey), "\xBA\xBC\xD6\xDD");
    EXPECT_EQ(EncipherTextHex("13800138000", FieldCipherKey), "474EAF02952EF838FD5F539797A88475");
    EXPECT_EQ(DecipherTextHex("474EAF02952EF838FD5F539797A88475", FieldCipherKey), "13800138000");
}

TEST(FieldCipher, PaddingGivesWholeBlocksAndEmptyStaysEmpty) {
    EXPECT_EQ(EncipherTextHex("", FieldCipherKey), "");
    EXPECT_EQ(DecipherTextHex("", FieldCipherKey), "");
    EXPECT_EQ(EncipherText("", FieldCipherKey), "");
    EXPECT_EQ(EncipherTextHex("1", FieldCipherKey).size(), 16u);
    EXPECT_EQ(EncipherTextHex("12345678", FieldCipherKey).size(), 16u);
    EXPECT_EQ(EncipherTextHex("123456789", FieldCipherKey).size(), 32u);
    EXPECT_EQ(EncipherTextHex("杭州市西湖区", FieldCipherKey).size(), 32u);  // 12 GBK bytes
    // Bytes after the last whole block are ignored, and so are the padding zeros.
    std::string block = EncipherText("ab", FieldCipherKey);
    EXPECT_EQ(DecipherText(block + "xyz", FieldCipherKey), "ab");
    EXPECT_EQ(DecipherText("1234567", FieldCipherKey), "");
}

TEST(FieldCipher, TextFormIsUpperCaseAndReadsLowerCaseAndOddLength) {
    std::string hex = EncipherTextHex("上海浦东 021-5888", FieldCipherKey);
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    std::string lower = hex;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(DecipherTextHex(lower, FieldCipherKey), "上海浦东 021-5888");
    // The unpaired last character is not read, so it is not checked either.
    EXPECT_EQ(DecipherTextHex(hex + "F", FieldCipherKey), "上海浦东 021-5888");
    EXPECT_EQ(DecipherTextHex(hex + "G", FieldCipherKey), "上海浦东 021-5888");
    EXPECT_EQ(EncipherTextHex("上海浦东 021-5888", FieldCipherKey), hex);  // deterministic
}

TEST(FieldCipher, RoundTripsEveryValueNotEndingInZero) {
    std::mt19937 rng(7);
    for (int len = 1; len <= 40; ++len) {
        std::string value(len, '\0');
        for (char& c : value) c = static_cast<char>(rng() & 0xFF);
        value.back() = static_cast<char>(value.back() | 1);
        std::string key(rng() % 12, '\0');
        for (char& c : key) c = static_cast<char>(rng() & 0xFF);
        EXPECT_EQ(DecipherText(EncipherText(value, key), key), value) << len;
    }
    std::string inner_zero("a\0\0b", 4);
    EXPECT_EQ(DecipherText(EncipherText(inner_zero, "k"), "k"), inner_zero);
    EXPECT_EQ(DecipherTextHex(EncipherTextHex(inner_zero, "k"), "k"), inner_zero);
    EXPECT_EQ(DecipherTextHex(EncipherTextHex("浙江省杭州市文三路 电话：0571-88888888（总机）", FieldCipherKey),
                              FieldCipherKey),
              "浙江省杭州市文三路 电话：0571-88888888（总机）");
}

TEST(FieldCipher, KeyIsFirstEightBytesZeroFilledParityIgnored) {
    std::string a = EncipherTextHex("value", "Pq4sWn8T");
    EXPECT_EQ(EncipherTextHex("value", FieldCipherKey), a);
    EXPECT_EQ(EncipherTextHex("value", "Pq4sWn8Tanything else"), a);
    EXPECT_NE(EncipherTextHex("value", "Pq4sWn8V"), a);
    EXPECT_EQ(EncipherTextHex("value", "abc"), EncipherTextHex("value", std::string("abc\0\0\0\0\0", 8)));
    EXPECT_EQ(EncipherTextHex("value", ""), EncipherTextHex("value", std::string(8, '\0')));
    // Flipping the lowest bit of every key byte changes nothing.
    EXPECT_EQ(EncipherTextHex("value", "Qp5rVo9U"), a);
    // A wrong key raises nothing; it yields other bytes.
    EXPECT_NE(DecipherTextHex(a, "another"), "value");
}

TEST(FieldCipher, AlternatingKeysAndThreadsGiveTheSameResults) {
    const std::string key_b = Bytes("133457799BBCDFF1");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(EncipherText(Bytes("0123456789ABCDEF"), key_b), Bytes("85E813540F0AB405"));
        EXPECT_EQ(EncipherTextHex("杭州", FieldCipherKey), "EA244D2466098839");
    }
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                bool ok = t % 2 ? EncipherTextHex("杭州", FieldCipherKey) == "EA244D2466098839"
                                : EncipherText(Bytes("0123456789ABCDEF"), key_b) ==
                                      Bytes("85E813540F0AB405");
                failures[t] += !ok;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

TEST(FieldCipher, RaisesTheTwoErrorTexts) {
    const std::string nul_end("abc\0", 4);
    EXPECT_EQ(ErrorOf([&] { EncipherText(nul_end, FieldCipherKey); }),
              "Error: the last char is NULL char.");
    EXPECT_EQ(ErrorOf([&] { EncipherTextHex(nul_end, FieldCipherKey); }),
              "Error: the last char is NULL char.");
    EXPECT_EQ(ErrorOf([&] { EncipherText(std::string(1, '\0'), FieldCipherKey); }),
              "Error: the last char is NULL char.");
    for (const char* bad : {"EA244D24660988G9", "EA244D24 6098839", "'A244D2466098839", "0x"}) {
        EXPECT_EQ(ErrorOf([&] { DecipherTextHex(bad, FieldCipherKey); }), "Error: not a Hex String")
            << bad;
    }
}

TEST(FieldCipher, HexToIntReadsBothCasesAndRefusesOthers) {
    EXPECT_EQ(HexToInt(""), 0);
    EXPECT_EQ(HexToInt("0"), 0);
    EXPECT_EQ(HexToInt("09"), 9);
    EXPECT_EQ(HexToInt("fF"), 255);
    EXPECT_EQ(HexToInt("aBcDeF"), 0xABCDEF);
    EXPECT_EQ(HexToInt("7FFFFFFFFFFFFFFF"), INT64_MAX);
    EXPECT_EQ(HexToInt("FFFFFFFFFFFFFFFF"), -1);
    EXPECT_EQ(ErrorOf([] { HexToInt("1g"); }), "Error: not a Hex String");
    EXPECT_EQ(ErrorOf([] { HexToInt("-1"); }), "Error: not a Hex String");
    EXPECT_EQ(ErrorOf([] { HexToInt(" 1"); }), "Error: not a Hex String");
}

}  // namespace
}  // namespace qv
