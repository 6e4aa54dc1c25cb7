#include <gtest/gtest.h>

#include "Platform/Registry/RegistryNames.h"

using namespace Tavo::Platform::Registry;

TEST(NameCoding, AnyUtf16SurvivesTheRoundTripAndMalformedBytesReadAsReplacements)
{
    const std::u16string names[] = {
        u"", u"\u00fc\u20ac\U0001F3B9", std::u16string(1, char16_t(0xD800)) + u"x",  // lone high surrogate
        u"x" + std::u16string(1, char16_t(0xDFFF)),                                  // lone low surrogate
        std::u16string{char16_t(0xDC00), char16_t(0xD800)}};  // pair in the wrong order
    for (const std::u16string& name : names)
        EXPECT_EQ(Names::FromStoredName(Names::ToUtf8(name)), name);
    EXPECT_EQ(Names::ToUtf8(u"\U0001F3B9"), "\xF0\x9F\x8E\xB9");
    // Distinct lone surrogates must not collide on disk.
    EXPECT_NE(Names::ToUtf8(std::u16string(1, char16_t(0xD800))),
              Names::ToUtf8(std::u16string(1, char16_t(0xD801))));

    const std::pair<std::string, std::u16string> malformed[] = {
        {std::string("a\xC0\xAF") + "b", u"a\uFFFD\uFFFDb"},  // overlong "/" is no separator
        {"\xE2\x82", u"\uFFFD\uFFFD"},                        // cut short
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},    // above U+10FFFF
        {std::string("\xFF") + "a", u"\uFFFDa"}};
    for (const auto& [bytes, text] : malformed)
        EXPECT_EQ(Names::FromStoredName(bytes), text);
}
