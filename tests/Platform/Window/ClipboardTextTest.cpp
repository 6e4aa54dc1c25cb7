#include "Platform/Window/ClipboardText.h"

#include <gtest/gtest.h>

using namespace Tavo::Platform::Window;

TEST(ClipboardText, StringTargetCarriesLatin1Only)
{
    EXPECT_EQ(ToLatin1(u"caf\u00e9"), std::optional<std::string>("caf\xe9"));
    EXPECT_EQ(ToLatin1(u""), std::optional<std::string>(""));
    EXPECT_EQ(ToLatin1(u"\u20ac5"), std::nullopt);  // the euro sign is not Latin-1
    EXPECT_EQ(ToLatin1(u"a\u0100"), std::nullopt);
    EXPECT_EQ(FromLatin1("caf\xe9"), u"caf\u00e9");
    EXPECT_EQ(FromLatin1(std::string("ab\0cd", 5)), u"ab");
}

TEST(ClipboardText, ForeignUtf8IsCutAtZeroBoundedAndCleaned)
{
    const struct
    {
        std::string bytes;
        size_t max;
        std::optional<std::u16string> text;
    } cases[] = {
        {"Gr\xc3\xbc\xc3\x9f"
         "e \xe2\x82\xac",
         100, u"Gr\u00fc\u00dfe \u20ac"},
        {std::string("one\0two", 7), 100, u"one"},
        {"\xff\xfe"
         "x",
         100, u"\ufffd\ufffdx"},  // malformed bytes never pass through
        {"\xf0\x9f\x8e\xb5", 100, u"\U0001F3B5"},
        {"12345", 4, std::nullopt},
        {"1234", 4, u"1234"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeForeignUtf8(c.bytes, c.max), c.text) << c.bytes;
}
