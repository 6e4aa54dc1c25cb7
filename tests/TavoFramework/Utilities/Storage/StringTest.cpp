#include "Utilities/Storage/StringT.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace Tavo;

std::u16string Text(const WString& s)
{
    return std::u16string(s.c_str(), s.GetLength());
}

TEST(StringTest, SizesAndSharing)
{
    WString abc(u"abc");
    EXPECT_EQ(abc.GetBuffer()->GetSize(), 8u);
    EXPECT_EQ(WString(u'x').GetBuffer()->GetSize(), 4u);
    EXPECT_EQ(WString(char16_t(0)).GetBuffer(), WString().GetBuffer());
    EXPECT_EQ(NString('\0').GetBuffer()->GetSize(), 1u);

    WString copy(abc), other;
    other = abc;
    EXPECT_EQ(copy.GetBuffer(), abc.GetBuffer());
    // Shared buffers compare neither less nor greater.
    EXPECT_TRUE(!(copy < abc) && !(abc < copy) && copy == abc);

    // Writing through a copy of the program-wide empty text leaves it empty.
    WString grown = EmptyString();
    grown += u"x";
    grown.Lock(8)[0] = u'y';
    grown.Unlock();
    EXPECT_TRUE(EmptyString().IsEmpty());
}

TEST(StringTest, ComparisonRules)
{
    WString abc(u"abc");
    EXPECT_TRUE(WString() == nullptr);
    EXPECT_FALSE(WString(u'a') == nullptr);
    for (const char16_t* other : {u"abcd", u"ab", u"ABC"})
        EXPECT_FALSE(abc == other);
    EXPECT_TRUE(WString(u"ab") < abc);
    EXPECT_TRUE(abc < WString(u"\u00e9"));  // ordinal on unsigned units
    EXPECT_TRUE(WString(u"\u00e9t\u00e9") == NString("\xC3\xA9t\xC3\xA9"));
}

TEST(StringTest, MidLeftRightEdges)
{
    const WString s(u"abcde");
    struct Case
    {
        int32_t start, count;
        const char16_t* out;
    } cases[] = {{-2, 5, u"de"},
                 {-7, 4, u"ab"},
                 {5, 1, u""},
                 // A range ending before the text leaves a negative count: to the end.
                 {-7, 1, u"abcde"},
                 {-7, 2, u""},
                 {INT32_MIN, INT32_MIN, u"abcde"},
                 {INT32_MAX, INT32_MAX, u""}};
    for (const Case& c : cases)
        EXPECT_EQ(Text(s.Mid(c.start, c.count)), c.out) << c.start << "," << c.count;
    EXPECT_EQ(Text(s.Right(9)), u"abcde");
    EXPECT_TRUE(NString("abcde").Mid(-2, 5) == "de");
}

TEST(StringTest, InsertPositions)
{
    WString s(u"abc");
    EXPECT_EQ(s.Insert(4, WString(u"x")), E_INVALIDARG);
    EXPECT_EQ(s.Insert(1, u"xy", 1), S_OK);
    EXPECT_EQ(Text(s), u"axbc");
    EXPECT_EQ(s.Insert(0, u"yz", 5), S_OK);  // a count beyond the text inserts all of it
    EXPECT_EQ(Text(s), u"yzaxbc");
}

TEST(StringTest, AppendSharesNothingWithTheSource)
{
    WString a(u"ab");
    WString b(a);
    a += WString(u"cd");
    EXPECT_EQ(Text(b), u"ab");
    EXPECT_EQ(a.GetBuffer()->GetSize(), 10u);

    a += a;
    EXPECT_EQ(Text(a), u"abcdabcd");
    a.Append(u'!');
    EXPECT_EQ(Text(a + WString(u"?")), u"abcdabcd!?");
    WString e;
    e += WString();
    EXPECT_EQ(e.GetBuffer(), WString().GetBuffer());
}

TEST(StringTest, LockedStringsKeepTheirBufferPrivate)
{
    WString s(u"hello");
    WString shared(s);
    char16_t* p = s.Lock(16);
    ASSERT_NE(p, nullptr);
    EXPECT_NE(s.GetBuffer(), shared.GetBuffer());
    EXPECT_EQ(s.Lock(), nullptr);
    EXPECT_EQ(s.GetBuffer()->GetSize(), 32u);

    // A copy of a locked string has its own buffer and does not see later writes.
    WString copy(s);
    WString assigned;
    assigned = s;
    EXPECT_FALSE(copy.IsLocked());
    p[0] = u'j';
    EXPECT_EQ(Text(copy) + Text(assigned) + Text(shared), u"hellohellohello");

    // Writes into a locked string stay in its buffer.
    const LIBuffer* locked = s.GetBuffer();
    s += WString(u" world");
    EXPECT_EQ(Text(s), u"jello world");
    EXPECT_EQ(s.GetBuffer(), locked);
    s = WString(u"");
    EXPECT_EQ(s.GetBuffer(), locked);

    EXPECT_EQ(s.Unlock(), S_OK);
    EXPECT_EQ(s.GetBuffer(), WString().GetBuffer());
    EXPECT_EQ(s.Unlock(), S_FALSE);

    WString written;
    std::char_traits<char16_t>::copy(written.Lock(8), u"ok", 3);
    EXPECT_EQ(written.Unlock(), S_OK);
    EXPECT_EQ(Text(written), u"ok");
    EXPECT_EQ(written.GetBuffer()->GetSize(), 6u);
}

TEST(StringTest, AssignIntoALockedStringGrowsItsBuffer)
{
    WString s;
    s.Lock(2);
    std::u16string longText(300, u'z');
    s = longText.c_str();
    EXPECT_EQ(Text(s), longText);
    // Text from inside its own buffer.
    s.Assign(s.c_str() + 298);
    EXPECT_EQ(Text(s), u"zz");
    s.Unlock();
    EXPECT_EQ(s.GetBuffer()->GetSize(), 6u);
}

TEST(StringTest, SearchAndEditServices)
{
    WString s(u"  Port A: Out\t\r\n");
    s.Trim();
    EXPECT_EQ(Text(s), u"Port A: Out");
    EXPECT_EQ(s.Find(WString(u"t"), 4), 10);
    EXPECT_EQ(s.ReverseFind(WString(u"Out")), 8);
    EXPECT_EQ(Text(s.ToLower()), u"port a: out");
    EXPECT_TRUE(NString("abc\xC3\xA9").ToUpper() == "ABC\xC3\xA9");

    WString t(s);
    EXPECT_EQ(t.Replace(u' ', u'_'), 2);
    EXPECT_EQ(Text(s), u"Port A: Out");
    EXPECT_EQ(t.Remove(4, 3), S_OK);
    EXPECT_EQ(t.Remove(6, 3), E_INVALIDARG);
    EXPECT_EQ(Text(t), u"Port_Out");

    WString blank(u" \t ");
    blank.TrimLeft();
    EXPECT_TRUE(blank.IsEmpty());
}

TEST(StringTest, NumberParsing)
{
    EXPECT_EQ(WString(u"  42abc").ToInt(), 42);
    EXPECT_EQ(WString(u"99999999999").ToInt(), INT32_MAX);
    EXPECT_EQ(WString(u"-99999999999").ToInt(), INT32_MIN);
    EXPECT_DOUBLE_EQ(WString(u"2.5e1x").ToDouble(), 25.0);
    EXPECT_EQ(_wtoi(nullptr), 0);
    EXPECT_DOUBLE_EQ(_wtof(u"-0.25"), -0.25);
}

}  // namespace

#include "Utilities/Storage/StringArray.h"

namespace {

TEST(StringArrayTest, FindWithAndWithoutCase)
{
    Tavo::WStringArray names;
    EXPECT_EQ(names.Add(Tavo::WString(u"MIDI In")), 0);
    names.Add(Tavo::WString(u"midi in"));
    names.Add(Tavo::WString(u"Out"));
    EXPECT_EQ(names.InsertAt(4, Tavo::WString(u"x")), Tavo::E_INVALIDARG);
    EXPECT_EQ(names.Find(Tavo::WString(u"midi in"), true), 1);
    EXPECT_EQ(names.Find(Tavo::WString(u"MIDI IN"), false), 0);
    EXPECT_EQ(names.Find(Tavo::WString(u"MIDI IN"), false, 1), 1);
    EXPECT_EQ(names.Find(Tavo::WString(u"MIDI IN"), true), -1);
}

}  // namespace
