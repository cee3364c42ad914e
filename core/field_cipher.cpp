#include "core/field_cipher.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <stdexcept>

#include "core/gbk.h"

// DES after FIPS 46-3. Bits are numbered as in the standard: bit 1 is the most significant
// bit of the first byte. A 64-bit block is held in a std::uint64_t with bit 1 as its most
// significant bit; the tables below are the standard's own, 1-based.
namespace qv {
namespace {

using Block = std::uint64_t;

constexpr std::array<int, 64> kInitialPermutation = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

constexpr std::array<int, 64> kFinalPermutation = {
    40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31,
    38, 6, 46, 14, 54, 22, 62, 30, 37, 5, 45, 13, 53, 21, 61, 29,
    36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,
    34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9,  49, 17, 57, 25};

constexpr std::array<int, 32> kPermutationP = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23,
                                               26, 5, 18, 31, 10, 2,  8,  24, 14, 32, 27,
                                               3,  9, 19, 13, 30, 6,  22, 11, 4,  25};

constexpr std::array<int, 56> kPermutedChoice1 = {
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18, 10, 2,  59, 51, 43,
    35, 27, 19, 11, 3,  60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7,  62, 54,
    46, 38, 30, 22, 14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr std::array<int, 48> kPermutedChoice2 = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
    26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
    51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr std::array<int, 16> kKeyRotations = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// S-boxes: row-major, 4 rows of 16 columns each.
constexpr std::array<std::array<std::uint8_t, 64>, 8> kSBoxes = {{
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7,
     0,  15, 7,  4, 14, 2,  13, 1,  10, 6,  12, 11, 9,  5,  3, 8,
     4,  1,  14, 8, 13, 6,  2,  11, 15, 12, 9,  7,  3,  10, 5, 0,
     15, 12, 8,  2, 4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6, 13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7, 2,  13, 12, 0, 5,  10,
     3,  13, 4,  7,  15, 2,  8,  14, 12, 0, 1,  10, 6,  9, 11, 5,
     0,  14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,  9,  3, 2,  15,
     13, 8,  10, 1,  3,  15, 4,  2,  11, 6, 7,  12, 0,  5, 14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,
     13, 7,  0,  9,  3, 4,  6,  10, 2,  8,  5,  14, 12, 11, 15, 1,
     13, 6,  4,  9,  8, 15, 3,  0,  11, 1,  2,  12, 5,  10, 14, 7,
     1,  10, 13, 0,  6, 9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3, 0,  6,  9,  10, 1,  2, 8, 5,  11, 12, 4,  15,
     13, 8,  11, 5, 6,  15, 0,  3,  4,  7, 2, 12, 1,  10, 14, 9,
     10, 6,  9,  0, 12, 11, 7,  13, 15, 1, 3, 14, 5,  2,  8,  4,
     3,  15, 0,  6, 10, 1,  13, 8,  9,  4, 5, 11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6,  8,  5,  3,  15, 13, 0, 14, 9,
     14, 11, 2,  12, 4,  7,  13, 1,  5,  0,  15, 10, 3,  9, 8,  6,
     4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,  6,  3, 0,  14,
     11, 8,  12, 7,  1,  14, 2,  13, 6,  15, 0,  9,  10, 4, 5,  3},
    {12, 1,  10, 15, 9, 2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11,
     10, 15, 4,  2,  7, 12, 9,  5,  6,  1,  13, 14, 0,  11, 3,  8,
     9,  14, 15, 5,  2, 8,  12, 3,  7,  0,  4,  10, 1,  13, 11, 6,
     4,  3,  2,  12, 9, 5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0, 8,  13, 3,  12, 9, 7,  5,  10, 6, 1,
     13, 0,  11, 7,  4,  9, 1,  10, 14, 3,  5, 12, 2,  15, 8, 6,
     1,  4,  11, 13, 12, 3, 7,  14, 10, 15, 6, 8,  0,  5,  9, 2,
     6,  11, 13, 8,  1,  4, 10, 7,  9,  5,  0, 15, 14, 2,  3, 12},
    {13, 2,  8,  4, 6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,
     1,  15, 13, 8, 10, 3,  7,  4,  12, 5,  6,  11, 0,  14, 9,  2,
     7,  11, 4,  1, 9,  12, 14, 2,  0,  6,  10, 13, 15, 3,  5,  8,
     2,  1,  14, 7, 4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11},
}};

// Bit `n` (1-based, from the most significant end) of a value `width` bits wide.
constexpr std::uint64_t BitOf(std::uint64_t value, int n, int width) {
    return (value >> (width - n)) & 1;
}

template <std::size_t N>
constexpr std::uint64_t Permute(std::uint64_t in, int in_width, const std::array<int, N>& table) {
    std::uint64_t out = 0;
    for (int pos : table) out = (out << 1) | BitOf(in, pos, in_width);
    return out;
}

// The initial permutation and its inverse as five exchanges of bit groups between the
// halves, each its own inverse: a handful of shifts and masks instead of table look-ups.
constexpr void ExchangeBits(std::uint32_t& a, std::uint32_t& b, int shift, std::uint32_t mask) {
    std::uint32_t t = ((a >> shift) ^ b) & mask;
    b ^= t;
    a ^= t << shift;
}

// The exchanges of the initial permutation, in order; the final one undoes them backwards.
struct Exchange {
    bool right_first;  // the bits move from r into l's places rather than from l into r's
    int shift;
    std::uint32_t mask;
};
constexpr std::array<Exchange, 5> kExchanges = {{
    {false, 4, 0x0F0F0F0F},
    {false, 16, 0x0000FFFF},
    {true, 2, 0x33333333},
    {true, 8, 0x00FF00FF},
    {false, 1, 0x55555555},
}};

constexpr void Exchanged(const Exchange& e, std::uint32_t& l, std::uint32_t& r) {
    if (e.right_first)
        ExchangeBits(r, l, e.shift, e.mask);
    else
        ExchangeBits(l, r, e.shift, e.mask);
}

constexpr void InitialPermutation(std::uint32_t& l, std::uint32_t& r) {
    for (const Exchange& e : kExchanges) Exchanged(e, l, r);
}

constexpr void FinalPermutation(std::uint32_t& l, std::uint32_t& r) {
    for (auto e = kExchanges.rbegin(); e != kExchanges.rend(); ++e) Exchanged(*e, l, r);
}

template <typename Step>
constexpr Block ApplyToBlock(Step step, Block in) {
    auto l = static_cast<std::uint32_t>(in >> 32);
    auto r = static_cast<std::uint32_t>(in);
    step(l, r);
    return (static_cast<Block>(l) << 32) | r;
}

// Both are bit permutations, so agreeing with the standard's tables on every single bit
// proves them equal.
template <typename Step>
constexpr bool MatchesTable(Step step, const std::array<int, 64>& table) {
    for (int bit = 0; bit < 64; ++bit) {
        Block in = Block{1} << bit;
        if (ApplyToBlock(step, in) != Permute(in, 64, table)) return false;
    }
    return true;
}

static_assert(MatchesTable([](std::uint32_t& l, std::uint32_t& r) { InitialPermutation(l, r); },
                           kInitialPermutation));
static_assert(MatchesTable([](std::uint32_t& l, std::uint32_t& r) { FinalPermutation(l, r); },
                           kFinalPermutation));

// S-box i followed by P, indexed by the six expanded-and-keyed input bits of box i (first
// bit most significant): the whole of f is then eight look-ups XORed together.
using SpTables = std::array<std::array<std::uint32_t, 64>, 8>;

constexpr SpTables MakeSpTables() {
    SpTables t{};
    for (int box = 0; box < 8; ++box) {
        for (int in = 0; in < 64; ++in) {
            int row = ((in >> 4) & 2) | (in & 1);
            int col = (in >> 1) & 0xF;
            std::uint64_t s = static_cast<std::uint64_t>(kSBoxes[box][row * 16 + col]) << (28 - 4 * box);
            t[box][in] = static_cast<std::uint32_t>(Permute(s, 32, kPermutationP));
        }
    }
    return t;
}

constexpr SpTables kSpTables = MakeSpTables();

// Sixteen round keys, each as the eight six-bit groups that meet the S-boxes: boxes 0, 2,
// 4, 6 in the bytes of the first word (most significant first), boxes 1, 3, 5, 7 in the
// second, lined up with the two rotations of R in RoundFunction.
using RoundKeys = std::array<std::array<std::uint32_t, 2>, 16>;

Block DesKeyFrom(std::string_view key_text) {
    unsigned char bytes[8] = {};
    std::memcpy(bytes, key_text.data(), std::min<std::size_t>(key_text.size(), 8));
    Block key = 0;
    for (unsigned char c : bytes) key = (key << 8) | c;
    return key;
}

RoundKeys DeriveRoundKeys(Block key) {
    constexpr std::uint32_t kMask28 = (1u << 28) - 1;
    std::uint64_t cd = Permute(key, 64, kPermutedChoice1);  // parity bits are not chosen
    auto c = static_cast<std::uint32_t>(cd >> 28);
    auto d = static_cast<std::uint32_t>(cd & kMask28);
    RoundKeys keys{};
    for (int round = 0; round < 16; ++round) {
        int r = kKeyRotations[round];
        c = ((c << r) | (c >> (28 - r))) & kMask28;
        d = ((d << r) | (d >> (28 - r))) & kMask28;
        std::uint64_t k = Permute((static_cast<std::uint64_t>(c) << 28) | d, 56, kPermutedChoice2);
        for (int box = 0; box < 8; ++box) {
            auto group = static_cast<std::uint32_t>((k >> (42 - 6 * box)) & 0x3F);
            keys[round][box % 2] |= group << (24 - 8 * (box / 2));
        }
    }
    return keys;
}

// Every field of a data file is ciphered with the same key, so the schedule is derived
// once per thread and key. The cache is per thread: nothing is shared between callers.
const RoundKeys& RoundKeysFor(std::string_view key_text) {
    struct Cache {
        bool filled = false;
        Block key = 0;
        RoundKeys keys{};
    };
    thread_local Cache cache;
    Block key = DesKeyFrom(key_text);
    if (!cache.filled || cache.key != key) {
        cache.keys = DeriveRoundKeys(key);
        cache.key = key;
        cache.filled = true;
    }
    return cache.keys;
}

// f(R, K). The expansion E gives box i the bits 4i .. 4i+5 of R (1-based, circular, bit 0
// being bit 32). R rotated right by 3 holds the groups of boxes 0, 2, 4, 6 in the low six
// bits of its bytes, R rotated left by 1 those of boxes 1, 3, 5, 7.
std::uint32_t RoundFunction(std::uint32_t r, const std::array<std::uint32_t, 2>& k) {
    std::uint32_t even = std::rotr(r, 3) ^ k[0];
    std::uint32_t odd = std::rotl(r, 1) ^ k[1];
    return kSpTables[0][(even >> 24) & 0x3F] ^ kSpTables[2][(even >> 16) & 0x3F] ^
           kSpTables[4][(even >> 8) & 0x3F] ^ kSpTables[6][even & 0x3F] ^
           kSpTables[1][(odd >> 24) & 0x3F] ^ kSpTables[3][(odd >> 16) & 0x3F] ^
           kSpTables[5][(odd >> 8) & 0x3F] ^ kSpTables[7][odd & 0x3F];
}

template <bool Decipher>
Block CipherBlock(Block in, const RoundKeys& keys) {
    auto l = static_cast<std::uint32_t>(in >> 32);
    auto r = static_cast<std::uint32_t>(in);
    InitialPermutation(l, r);
    for (int round = 0; round < 16; round += 2) {
        l ^= RoundFunction(r, keys[Decipher ? 15 - round : round]);
        r ^= RoundFunction(l, keys[Decipher ? 14 - round : round + 1]);
    }
    // The halves leave the last round swapped: the pre-output is R16 L16.
    FinalPermutation(r, l);
    return (static_cast<Block>(r) << 32) | l;
}

Block LoadBlock(const char* p) {
    Block b = 0;
    for (int i = 0; i < 8; ++i) b = (b << 8) | static_cast<unsigned char>(p[i]);
    return b;
}

void StoreBlock(Block b, char* p) {
    for (int i = 7; i >= 0; --i, b >>= 8) p[i] = static_cast<char>(b & 0xFF);
}

constexpr std::array<signed char, 256> MakeHexDigits() {
    std::array<signed char, 256> t{};
    for (auto& v : t) v = -1;
    for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<signed char>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) t[c] = static_cast<signed char>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c) t[c] = static_cast<signed char>(c - 'a' + 10);
    return t;
}

constexpr std::array<signed char, 256> kHexDigits = MakeHexDigits();

int HexDigit(char c) {
    int v = kHexDigits[static_cast<unsigned char>(c)];
    if (v < 0) throw std::runtime_error("Error: not a Hex String");
    return v;
}

}  // namespace

std::string EncipherText(std::string_view plain, std::string_view key) {
    if (!plain.empty() && plain.back() == '\0')
        throw std::runtime_error("Error: the last char is NULL char.");
    const RoundKeys& keys = RoundKeysFor(key);
    std::string out((plain.size() + 7) / 8 * 8, '\0');
    std::memcpy(out.data(), plain.data(), plain.size());  // the rest is the zero padding
    for (std::size_t i = 0; i < out.size(); i += 8)
        StoreBlock(CipherBlock<false>(LoadBlock(out.data() + i), keys), out.data() + i);
    return out;
}

std::string DecipherText(std::string_view enciphered, std::string_view key) {
    const RoundKeys& keys = RoundKeysFor(key);
    std::string out(enciphered.size() / 8 * 8, '\0');  // a trailing partial block is dropped
    for (std::size_t i = 0; i < out.size(); i += 8)
        StoreBlock(CipherBlock<true>(LoadBlock(enciphered.data() + i), keys), out.data() + i);
    std::size_t end = out.find_last_not_of('\0');
    out.resize(end == std::string::npos ? 0 : end + 1);
    return out;
}

std::string EncipherTextHex(std::string_view plain_utf8, std::string_view key) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string bytes = EncipherText(Utf8ToGbk(plain_utf8), key);
    std::string hex(bytes.size() * 2, '0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        auto b = static_cast<unsigned char>(bytes[i]);
        hex[2 * i] = kDigits[b >> 4];
        hex[2 * i + 1] = kDigits[b & 0xF];
    }
    return hex;
}

std::string DecipherTextHex(std::string_view hex, std::string_view key) {
    // Same digits as HexToInt on each pair, without a call per byte; the blocks are then
    // deciphered in place, as DecipherText does: a search or a merge deciphers millions.
    std::string bytes(hex.size() / 2, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(HexDigit(hex[2 * i]) << 4 | HexDigit(hex[2 * i + 1]));
    bytes.resize(bytes.size() / 8 * 8);  // a trailing partial block is dropped
    const RoundKeys& keys = RoundKeysFor(key);
    for (std::size_t i = 0; i < bytes.size(); i += 8)
        StoreBlock(CipherBlock<true>(LoadBlock(bytes.data() + i), keys), bytes.data() + i);
    std::size_t end = bytes.find_last_not_of('\0');
    bytes.resize(end == std::string::npos ? 0 : end + 1);
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return bytes;
    return GbkToUtf8(bytes);
}

std::int64_t HexToInt(std::string_view hex) {
    // Unsigned arithmetic: more than 16 digits wrap around instead of overflowing.
    std::uint64_t value = 0;
    for (char c : hex) value = value * 16 + static_cast<std::uint64_t>(HexDigit(c));
    return static_cast<std::int64_t>(value);
}

}  // namespace qv
