#include <gtest/gtest.h>

#include "Platform/Registry/RegistryNames.h"

namespace {

using namespace Tavo::Platform::Registry;

TEST(NameCoding, AnyUtf16SurvivesTheRoundTrip)
{
    const std::u16string names[] = {
        u"",
        u"Plain",
        u"\u00fc\u20ac\U0001F3B9",
        std::u16string(1, char16_t(0xD800)) + u"x",          // lone high surrogate
        u"x" + std::u16string(1, char16_t(0xDFFF)),          // lone low surrogate
        std::u16string{char16_t(0xDC00), char16_t(0xD800)},  // pair in the wrong order
    };
    for (const std::u16string& name : names)
        EXPECT_EQ(Names::FromUtf8(Names::ToUtf8(name)), name);
    EXPECT_EQ(Names::ToUtf8(u"\U0001F3B9"), "\xF0\x9F\x8E\xB9");
    // Distinct lone surrogates must not collide on disk.
    EXPECT_NE(Names::ToUtf8(std::u16string(1, char16_t(0xD800))),
              Names::ToUtf8(std::u16string(1, char16_t(0xD801))));
}

TEST(NameCoding, MalformedBytesReadAsReplacementCharacters)
{
    // Overlong "/" must not turn into a separator.
    EXPECT_EQ(Names::FromUtf8("a\xC0\xAF"
                              "b"),
              u"a\uFFFD\uFFFD"
              u"b");
    EXPECT_EQ(Names::FromUtf8("\xE2\x82"), u"\uFFFD\uFFFD");                      // cut short
    EXPECT_EQ(Names::FromUtf8("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // above U+10FFFF
    EXPECT_EQ(Names::FromUtf8("\xFF"
                              "a"),
              u"\uFFFD"
              u"a");
}

}  // namespace
