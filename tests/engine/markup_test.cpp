#include <gtest/gtest.h>

#include <stdexcept>

#include "core/gbk.h"
#include "engine/fast_strings.h"
#include "engine/markup.h"

namespace qv {
namespace {

using namespace std::string_literals;

TEST(ReplaceAll, FoldsAsciiOnlyWhenCaseInsensitive) {
    EXPECT_EQ(ReplaceAll(std::string_view("aXbxc"), "x", "", false), "abc");
    EXPECT_EQ(ReplaceAll(std::string_view("aXbxc"), "x", "", true), "aXbc");
    EXPECT_EQ(ReplaceAll(std::u16string_view(u"aXbxc"), u"x", u"", false), u"abc");
    // Non-ASCII units are never folded, even where their low byte is a letter.
    EXPECT_EQ(ReplaceAll(std::u16string_view(u"\u0161a\u0141A"), u"a", u"-", false),
              u"\u0161-\u0141-");
}

TEST(ReplaceAll, MatchesNeverOverlapAndEndsAreCopied) {
    EXPECT_EQ(ReplaceAll(std::string_view("aaaa"), "aa", "b", true), "bb");
    EXPECT_EQ(ReplaceAll(std::string_view("aaa"), "aa", "b", true), "ba");
    EXPECT_EQ(ReplaceAll(std::string_view("%00x%00"), "%00", "", false), "x");
    EXPECT_EQ(ReplaceAll(std::string_view("abc"), "abcd", "", false), "abc");
    EXPECT_EQ(ReplaceAll(std::string_view("abc"), "zz", "", false), "abc");
}

TEST(ReplaceAll, LongerReplacementGrowsTheBuffer) {
    std::string source(1000, 'x');
    std::string out = ReplaceAll(source, "x", "abc", true);
    EXPECT_EQ(out.size(), 3000u);
    EXPECT_EQ(out.substr(0, 6), "abcabc");
    EXPECT_EQ(ReplaceAll(std::u16string_view(u"电话a电话"), u"电话", u"[电　　话]", true),
              u"[电　　话]a[电　　话]");
}

// The plain left-to-right replacement that the skip-table search must agree with.
std::string NaiveReplace(const std::string& s, const std::string& find, const std::string& rep,
                         bool case_sensitive) {
    auto fold = [&](char c) { return case_sensitive ? c : static_cast<char>(kUpperCaseMap[static_cast<unsigned char>(c)]); };
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        bool match = i + find.size() <= s.size();
        for (size_t k = 0; match && k < find.size(); ++k) match = fold(s[i + k]) == fold(find[k]);
        if (match) {
            out += rep;
            i += find.size();
        } else {
            out += s[i++];
        }
    }
    return out;
}

TEST(ReplaceAll, AgreesWithAPlainScanOnManyTexts) {
    const std::string alphabet = "aAbBx%0\r\n";
    unsigned seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int round = 0; round < 3000; ++round) {
        std::string source, find;
        for (unsigned n = next() % 40; n > 0; --n) source += alphabet[next() % alphabet.size()];
        for (unsigned n = 1 + next() % 4; n > 0; --n) find += alphabet[next() % alphabet.size()];
        const std::string rep = std::string(next() % 6, '-');
        const bool cs = next() % 2;
        ASSERT_EQ(ReplaceAll(source, find, rep, cs), NaiveReplace(source, find, rep, cs))
            << source << " / " << find << " / " << cs;
        const std::u16string wide = Utf8ToUtf16(source);
        ASSERT_EQ(Utf16ToUtf8(ReplaceAll(std::u16string_view(wide), Utf8ToUtf16(find), Utf8ToUtf16(rep), cs)),
                  NaiveReplace(source, find, rep, cs));
    }
}

TEST(ReplaceAll, EmptyPatternIsRefusedButEmptySourceIsNot) {
    try {
        ReplaceAll(std::string_view("abc"), "", "", false);
        FAIL() << "an empty pattern was accepted";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "BufferLen is 0");
    }
    EXPECT_THROW(BuildSkipTable(std::u16string_view(), true), std::invalid_argument);
    EXPECT_EQ(ReplaceAll(std::string_view(""), "", "x", false), "");
}

TEST(ReplaceAll, SkipTableKeepsTheLastOccurrenceOfEachByte) {
    SkipTable t = BuildSkipTable(std::string_view("abca"), true);
    EXPECT_EQ(t['a'], 3);  // the last 'a' is the final byte and does not count
    EXPECT_EQ(t['b'], 2);
    EXPECT_EQ(t['c'], 1);
    EXPECT_EQ(t['z'], 4);
    SkipTable folded = BuildSkipTable(std::string_view("ab"), false);
    EXPECT_EQ(folded['A'], 1);
    EXPECT_EQ(folded['a'], 2);
}

TEST(Positions, OneBasedRules) {
    EXPECT_EQ(Pos(u"b", u"abcb"), 2u);
    EXPECT_EQ(Pos(u"z", u"abc"), 0u);
    EXPECT_EQ(Pos(u"", u"abc"), 0u);
    EXPECT_EQ(From(u"abc", 0), u"abc");
    EXPECT_EQ(From(u"abc", -5), u"abc");
    EXPECT_EQ(From(u"abc", 3), u"c");
    EXPECT_EQ(From(u"abc", 4), u"");
    EXPECT_EQ(First(u"abc", 0), u"");
    EXPECT_EQ(First(u"abc", -1), u"");
    EXPECT_EQ(First(u"abc", 9), u"abc");
}

TEST(NormalizePage, RemovesControlsThenJoinedPercentZeroZero) {
    std::u16string text = u"a\tb\0c\r\nd"s;
    EXPECT_EQ(NormalizePage(u"%0\r0x"), u"x");
    EXPECT_EQ(NormalizePage(text), u"abcd");
    EXPECT_EQ(NormalizePage(u"%000"), u"0");
    EXPECT_EQ(NormalizePage(u""), u"");
    EXPECT_EQ(DecodeAndNormalize(Utf8ToGbk("电\r\n话%00")), u"电话");
}

TEST(QuotedValueAfter, TakesTheFirstOccurrenceFollowedByAQuote) {
    EXPECT_EQ(QuotedValueAfter(u"memberId=", u"memberId=5 x memberId=\"abc\" y"), u"abc");
    EXPECT_EQ(QuotedValueAfter(u"memberId=", u"memberId=\"abc"), u"");
    EXPECT_EQ(QuotedValueAfter(u"memberId=", u"no marker \"x\""), u"");
    EXPECT_EQ(QuotedValueAfter(u"<a href=", u"<A HREF=\"http://x/\">"), u"http://x/");
    EXPECT_EQ(QuotedValueAfter(u"x", u""), u"");
    // A marker inside the value is passed over together with the character after it.
    EXPECT_EQ(QuotedValueAfter(u"k=", u"k=\"ab k=cd\""), u"ab d");
    EXPECT_EQ(SingleQuotedValueAfter(u"location.href=", u"location.href='/p.htm';"), u"/p.htm");
    EXPECT_EQ(SingleQuotedValueAfter(u"location.href=", u"location.href=\"/p.htm\""), u"");
}

TEST(TagText, PicksTheNthElementAndStripsTags) {
    const std::u16string two = u"<span>一</span><SPAN class=x>二</SPAN>";
    EXPECT_EQ(TagText(u"<span", u"</span>", two, 1), u"一");
    EXPECT_EQ(TagText(u"<span", u"</span>", two, 2), u"二");
    EXPECT_EQ(TagText(u"<span", u"</span>", two, 3), u"");
    EXPECT_EQ(TagText(u"<span", u"</span>", two, 0), u"");
    EXPECT_EQ(TagText(u"<td", u"</td>", u"<td> a <b>bold</b> c </td>", 1), u" a bold c ");
    EXPECT_EQ(TagText(u"<td", u"</td>", u"<td>x&nbsp;y</td>", 1), u"x&nbsp;y");
    EXPECT_EQ(TagText(u"<td", u"</td>", u"<td>no close", 1), u"");
}

TEST(TagText, NestedOpeningsCountAndLongerTagNamesMatch) {
    const std::u16string nested = u"<div>a<div>b</div>c</div><div>d</div>";
    EXPECT_EQ(TagText(u"<div", u"</div>", nested, 1), u"ab");
    EXPECT_EQ(TagText(u"<div", u"</div>", nested, 2), u"b");
    EXPECT_EQ(TagText(u"<div", u"</div>", nested, 3), u"d");
    EXPECT_EQ(TagText(u"<li", u"</li>", u"<link rel=x><li>1</li>", 1), u"1");
}

TEST(ResultCountText, ReadsTheFirstSpanOfTheCountBlock) {
    EXPECT_EQ(ResultCountText(u"<div>nothing</div>"), u"0");
    EXPECT_EQ(ResultCountText(u"<div class=\"ld_yrhere\">共<span>12\r\n34</span>家</div>"),
              u"1234");
    EXPECT_EQ(ResultCountText(u"<div class=\"ld_yrhere\"><span>7</span>"), u"");
    EXPECT_EQ(ResultCountText(u"<div class=\"ld_yrhere\">none</div><span>9</span>"), u"");
    // "%00" is not removed here.
    EXPECT_EQ(ResultCountText(u"\"ld_yrhere\"><span>1%00</span></div>"), u"1%00");
}

TEST(RemoveAll, IsExactAndCaseSensitive) {
    EXPECT_EQ(RemoveAll(u"a&nbsp;b&NBSP;c", u"&nbsp;"), u"ab&NBSP;c");
    EXPECT_EQ(RemoveAll(u"", u"&nbsp;"), u"");
}

}  // namespace
}  // namespace qv
