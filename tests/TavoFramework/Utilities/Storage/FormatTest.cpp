#include "Utilities/Storage/Format.h"
#include "Utilities/Storage/StringT.h"
#include "Utilities/Storage/Unicode.h"

#include <gtest/gtest.h>

#include "Platform/Kernel/TextCoding.h"

#include <string>

namespace {

using namespace Tavo;

std::u16string Text(const WString& s)
{
    return std::u16string(s.c_str(), s.GetLength());
}
std::string Bytes(const NString& s)
{
    return s.c_str();
}

TEST(FormatTest, FormatsWhatTheCallersUse)
{
    EXPECT_EQ(Text(Format(u"%d.%d.%d", 1, 0, 6)), u"1.0.6");
    EXPECT_EQ(Text(Format(u"%u %X %x", 4000000000u, 0xABCu, 255)), u"4000000000 ABC ff");
    EXPECT_EQ(Text(Format(u"%X", -1)), u"FFFFFFFF");
    EXPECT_EQ(Text(Format(u"%lf|%.2lf|%g", 2.5, 1.005, 0.5)), u"2.500000|1.00|0.5");
    EXPECT_EQ(Text(Format(u"%s=%s", WString(u"k\u00e9y"), u"v")), u"k\u00e9y=v");
    EXPECT_EQ(Text(Format(u"%s", "narrow \xC3\xA9")), u"narrow \u00e9");
    EXPECT_EQ(Text(Format(u"[%5d|%-5d|%05d]", 42, 42, 42)), u"[   42|42   |00042]");
    EXPECT_EQ(Text(Format(u"[%4s|%-4s|%.2s]", u"ab", u"ab", u"abc")), u"[  ab|ab  |ab]");
    EXPECT_EQ(Text(Format(u"%c%c 100%%", u'O', 75)), u"OK 100%");
    EXPECT_EQ(Text(Format(u"%*d|%.*f", 4, 7, 1, 2.25)), u"   7|2.2");
    EXPECT_EQ(Text(Format(u"%I64d %lld", int64_t(1) << 40, -5LL)), u"1099511627776 -5");
    EXPECT_EQ(Text(Format(u"%s", static_cast<const char16_t*>(nullptr))), u"(null)");
}

TEST(FormatTest, MismatchedAndMissingArgumentsNeverCrash)
{
    EXPECT_EQ(Text(Format(u"%s and %s", 12, 2.5)), u"12 and 2.5");
    EXPECT_EQ(Text(Format(u"%d", u"text")), u"text");
    EXPECT_EQ(Text(Format(u"%d%%", 1.9)), u"1%");
    EXPECT_EQ(Text(Format(u"%d and %d", 1)), u"1 and %d");
    EXPECT_EQ(Text(Format(u"50%")), u"50%");
    EXPECT_EQ(Text(Format(u"%y %d", 3)), u"%y 3");
    EXPECT_EQ(Text(Format(u"%n|%d", 5, 6)), u"|6");
    EXPECT_TRUE(Format(nullptr).IsEmpty());
    EXPECT_EQ(Text(Format(u"%*d", 1)), u"%*d");
}

TEST(FormatTest, LongOutputIsCutCleanly)
{
    std::u16string chunk(kFormatBufferUnits / 2, u'a');
    EXPECT_EQ(Format(u"%s%s%s", chunk.c_str(), chunk.c_str(), chunk.c_str()).GetLength(),
              kFormatBufferUnits - 1);
    EXPECT_EQ(Format(u"%99999d", 1).GetLength(), kFormatBufferUnits - 1);

    // A surrogate pair that does not fit whole is dropped whole.
    std::u16string pad(kFormatBufferUnits - 2, u'b');
    WString cut = Format(u"%s\U0001F600", pad.c_str());
    EXPECT_EQ(cut.GetLength(), kFormatBufferUnits - 2);
}

TEST(FormatTest, NumbersForDisplay)
{
    EXPECT_EQ(Text(FormatDouble(2.5, -1)), u"2.500000");
    EXPECT_EQ(Text(DoubleToString(3.75, 1)), u"3.8");
    EXPECT_EQ(Text(FormatFixedPoint(0, 2)), u".00");
    EXPECT_EQ(Text(FormatFixedPoint(7, 3)), u".007");
    EXPECT_EQ(Text(FormatFixedPoint(1234, 0)), u"1234");
    EXPECT_EQ(Text(IntToString(7, 3)), u"007");

    unsigned char id[16] = {0xAB, 0x05};
    char16_t out[33];
    EXPECT_EQ(BytesToHexW(id, out), out);
    EXPECT_EQ(std::u16string(out), u"AB05" + std::u16string(28, u'0'));
}

TEST(UnicodeTest, NarrowToWide)
{
    WString w;
    EXPECT_EQ(AssignFromNarrow(w, "\xC3\xA9", -1), S_OK);
    EXPECT_EQ(Text(w), u"\u00e9");
    EXPECT_EQ(AssignFromNarrow(w, "\xF0\x9F\x98\x80!", -1), S_OK);
    EXPECT_EQ(Text(w), u"\U0001F600!");

    // Illegal bytes read as U+FFFD, one each, and the text goes on: it is
    // never cut short into another text.
    const std::pair<const char*, std::u16string> bad[] = {
        {"\xC0\x80", u"\uFFFD\uFFFD"},
        {"ab\xED\xA0\x80z" /* encoded surrogate */, u"ab\uFFFD\uFFFD\uFFFDz"},
        {"ab\xED\xA0\x80\xED\xB0\x80" /* an encoded pair is no character */,
         u"ab" + std::u16string(6, u'\uFFFD')},
        {"ab\xF4\x90\x80\x80" /* above U+10FFFF */, u"ab\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"ab\xE0\x80\xAF/" /* overlong */, u"ab\uFFFD\uFFFD\uFFFD/"},
        {"ab\x80", u"ab\uFFFD"},
        {"ab\xF5\x80\x80\x80", u"ab\uFFFD\uFFFD\uFFFD\uFFFD"}};
    for (const auto& [bytes, text] : bad) {
        EXPECT_EQ(AssignFromNarrow(w, bytes, -1), E_FAIL) << bytes;
        EXPECT_EQ(Text(w), text) << bytes;
        // The same rule as the platform's own decoder.
        EXPECT_EQ(Tavo::Platform::FromUtf8(bytes), text) << bytes;
    }
    // U+FFFD itself is text like any other.
    EXPECT_EQ(AssignFromNarrow(w, "a\xEF\xBF\xBD", -1), S_OK);

    // A sequence cut by the count is truncated input.
    EXPECT_EQ(AssignFromNarrow(w, "ab\xE2\x82\xAC", 4), E_FAIL);
    EXPECT_EQ(Text(w), u"ab\uFFFD\uFFFD");
    EXPECT_EQ(AssignFromNarrow(w, "ab\xE2\x82\xAC", 5), S_OK);
    EXPECT_EQ(Text(w), u"ab\u20ac");
    EXPECT_EQ(AssignFromNarrow(w, nullptr, -1), S_OK);
    EXPECT_TRUE(w.IsEmpty());
}

TEST(UnicodeTest, WideToNarrow)
{
    NString n;
    EXPECT_EQ(AssignFromWide(n, WString().c_str(), -1), S_OK);
    EXPECT_EQ(n.GetBuffer(), NString().GetBuffer());
    EXPECT_EQ(AssignFromWide(n, u"\u00e9\u20ac\U0001F600", -1), S_OK);
    EXPECT_EQ(Bytes(n), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");

    // A lone high surrogate at the end of the input stops the conversion.
    const char16_t loneHigh[] = {u'a', u'b', 0xD83D};
    EXPECT_EQ(AssignFromWide(n, loneHigh, 3), E_FAIL);
    EXPECT_EQ(Bytes(n), "ab");
    // Lenient: a lone surrogate elsewhere is encoded as three bytes.
    const char16_t loneLow[] = {u'a', 0xDC00, u'b', 0};
    EXPECT_EQ(AssignFromWide(n, loneLow, -1), S_OK);
    EXPECT_EQ(Bytes(n), "a\xED\xB0\x80"
                        "b");
}

}  // namespace
