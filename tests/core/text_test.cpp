#include <gtest/gtest.h>

#include "core/gbk.h"
#include "core/text.h"

namespace qv {
namespace {

TEST(Gbk, ChineseTextRoundTripsThroughGbk) {
    const std::string text = "浙江省杭州市文三路 电话：0571-88888888（总机）";
    std::string gbk = Utf8ToGbk(text);
    EXPECT_EQ(gbk.substr(0, 2), "\xD5\xE3");  // 浙
    EXPECT_EQ(GbkToUtf8(gbk), text);
    EXPECT_EQ(Utf16ToGbk(GbkToUtf16(gbk)), gbk);
    EXPECT_EQ(GbkToUtf16(gbk).size(), Utf8ToUtf16(text).size());
}

TEST(Gbk, IdeographicSpaceAndFullWidthPunctuationSurvive) {
    const std::string text = "电　　话：（）";
    EXPECT_EQ(GbkToUtf8(Utf8ToGbk(text)), text);
    EXPECT_EQ(Utf8ToGbk("　"), "\xA1\xA1");
}

TEST(Gbk, CharacterOutsideGbkBecomesQuestionMark) {
    EXPECT_EQ(Utf8ToGbk("a😀b"), "a?b");
    EXPECT_EQ(Utf8ToGbk("中\xE2\x82\xACz"), Utf8ToGbk("中") + "\x80z");  // euro is 0x80 in CP936
}

TEST(Gbk, InvalidBytesBecomeReplacementCharacterAndScanningGoesOn) {
    // A lone lead byte at the end and an invalid pair in the middle.
    std::string utf8 = GbkToUtf8(std::string("ab\xFF") + "c\xD6");
    EXPECT_EQ(utf8, "ab\xEF\xBF\xBD" "c\xEF\xBF\xBD");
    EXPECT_EQ(GbkToUtf16(std::string("ab\xFF") + "c\xD6"), u"ab\xFFFD" u"c\xFFFD");
    EXPECT_EQ(GbkToUtf16(Utf8ToGbk("中文ok")), u"中文ok");
}

TEST(Gbk, BrokenUtf8DoesNotCrash) {
    EXPECT_EQ(Utf8ToUtf16("\xE4\xB8"), u"\xFFFD\xFFFD");
    EXPECT_EQ(Utf8ToGbk("x\xC3"), "x?");
}

TEST(Text, TrimRemovesControlCharactersAndSpaceOnly) {
    EXPECT_EQ(Trim(" \t\r\n a b \x01"), "a b");
    EXPECT_EQ(Trim("　某某　"), "　某某　");
    EXPECT_EQ(Trim(u"\u3000x "), u"\u3000x");
    EXPECT_EQ(Trim("   "), "");
}

TEST(Text, PrintableTextKeepsNoControlCharacterForATerminal) {
    EXPECT_EQ(PrintableText("灯具\x1b[31m红"), "灯具\uFFFD[31m红");
    EXPECT_EQ(PrintableText("a\x7f\tb\r\n"), "a\uFFFD\uFFFDb\uFFFD\uFFFD");
    EXPECT_EQ(PrintableText("c1\xc2\x9b!"), "c1\uFFFD!") << "the C1 CSI";
    EXPECT_EQ(PrintableText("ü·　全角"), "ü·　全角") << "printable characters stay";
}

TEST(Text, QuotedStrDoublesInnerQuotes) {
    EXPECT_EQ(QuotedStr("O'Brien's"), "'O''Brien''s'");
    EXPECT_EQ(QuotedStr(""), "''");
}

}  // namespace
}  // namespace qv
