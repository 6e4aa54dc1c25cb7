#include "Midi/MidiPortNames.h"

#include <gtest/gtest.h>

#include <initializer_list>

using namespace Tavo;
using namespace Tavo::MidiPortNames;

namespace {

WString W(const char16_t* text)
{
    return WString(text);
}

WStringArray Names(std::initializer_list<const char16_t*> names)
{
    WStringArray out;
    for (const char16_t* n : names)
        out.Add(WString(n));
    return out;
}

void ExpectNames(const WStringArray& got, std::initializer_list<const char16_t*> want)
{
    ASSERT_EQ(got.GetCount(), want.size());
    uint32_t i = 0;
    for (const char16_t* w : want) {
        EXPECT_TRUE(got[i] == w) << "entry " << i << ": " << NString(got[i]).c_str();
        ++i;
    }
}

}  // namespace

TEST(MidiPortNames, RepeatedNamesAreNumberedWhereTheFirstStood)
{
    ExpectNames(NumberRepeatedNames(Names({u"MIDI", u"MIDI", u"MIDI Out"})),
                {u"MIDI (1)", u"MIDI (2)", u"MIDI Out"});
    ExpectNames(NumberRepeatedNames(Names({u"MIDI Out", u"MIDI", u"MIDI"})),
                {u"MIDI Out", u"MIDI (1)", u"MIDI (2)"});
    // Interleaved copies gather at their first place.
    ExpectNames(NumberRepeatedNames(Names({u"A", u"B", u"A", u"B", u"A"})),
                {u"A (1)", u"A (2)", u"A (3)", u"B (1)", u"B (2)"});
    // Numbering compares exactly.
    ExpectNames(NumberRepeatedNames(Names({u"Midi", u"MIDI"})), {u"Midi", u"MIDI"});
    EXPECT_EQ(NumberRepeatedNames(WStringArray()).GetCount(), 0u);
}

TEST(MidiPortNames, SplitTakesOneOrTwoDigitSuffixes)
{
    struct Case
    {
        const char16_t* name;
        const char16_t* base;
        int32_t ordinal;
    } cases[] = {
        {u"MIDI (2)", u"MIDI", 1}, {u"MIDI (12)", u"MIDI", 11},
        {u"x(1)", u"", 0},         {u"MIDI (x)", u"MIDI", -1},
        {u"MIDI", u"MIDI", 0},     {u"(1)", u"(1)", 0},
        {u"Port(3)", u"Por", 2},   {u"", u"", 0},
    };
    for (const Case& c : cases) {
        WString base;
        int32_t ordinal = 99;
        SplitName(WString(c.name), base, ordinal);
        EXPECT_TRUE(base == c.base) << NString(WString(c.name)).c_str() << " -> " << NString(base).c_str();
        EXPECT_EQ(ordinal, c.ordinal) << NString(WString(c.name)).c_str();
    }
}

TEST(MidiPortNames, DeviceSelectionCountsDevicesContainingTheBase)
{
    // "MIDI (1)" of this directory opens the device listed as "MIDI Out".
    WStringArray devices = Names({u"MIDI Out", u"MIDI", u"MIDI"});
    EXPECT_EQ(SelectDevice(devices, W(u"MIDI"), 0), 0);
    EXPECT_EQ(SelectDevice(devices, W(u"midi"), 2), 2);
    EXPECT_EQ(SelectDevice(devices, W(u"MIDI"), 3), -1);
    EXPECT_EQ(SelectDevice(devices, W(u"MIDI"), -1), -1);
}
