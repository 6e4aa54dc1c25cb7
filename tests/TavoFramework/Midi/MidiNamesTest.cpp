#include "Midi/MidiPortNames.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

using namespace Tavo;
using namespace Tavo::MidiPortNames;

namespace {

using Names = std::vector<std::u16string>;

Names Numbered(std::initializer_list<const char16_t*> names)
{
    WStringArray in;
    for (const char16_t* n : names)
        in.Add(WString(n));
    WStringArray out = NumberRepeatedNames(in);
    Names listed;
    for (uint32_t i = 0; i < out.GetCount(); ++i)
        listed.emplace_back(out[i].c_str());
    return listed;
}

}  // namespace

TEST(MidiPortNames, RepeatedNamesAreNumberedWhereTheFirstStood)
{
    EXPECT_EQ(Numbered({u"MIDI", u"MIDI", u"MIDI Out"}), (Names{u"MIDI (1)", u"MIDI (2)", u"MIDI Out"}));
    EXPECT_EQ(Numbered({u"MIDI Out", u"MIDI", u"MIDI"}), (Names{u"MIDI Out", u"MIDI (1)", u"MIDI (2)"}));
    // Interleaved copies gather at their first place.
    EXPECT_EQ(Numbered({u"A", u"B", u"A", u"B", u"A"}),
              (Names{u"A (1)", u"A (2)", u"A (3)", u"B (1)", u"B (2)"}));
    // Numbering compares exactly.
    EXPECT_EQ(Numbered({u"Midi", u"MIDI"}), (Names{u"Midi", u"MIDI"}));
    EXPECT_EQ(Numbered({}), Names{});
}

TEST(MidiPortNames, SplitTakesOneOrTwoDigitSuffixes)
{
    struct Case
    {
        const char16_t* name;
        const char16_t* base;
        int32_t ordinal;
    } cases[] = {{u"MIDI (2)", u"MIDI", 1}, {u"MIDI (12)", u"MIDI", 11},
                 {u"x(1)", u"", 0},         {u"MIDI (x)", u"MIDI", -1},
                 {u"MIDI", u"MIDI", 0},     {u"(1)", u"(1)", 0},
                 {u"Port(3)", u"Por", 2},   {u"", u"", 0}};
    for (const Case& c : cases) {
        WString base;
        int32_t ordinal = 99;
        SplitName(WString(c.name), base, ordinal);
        EXPECT_EQ(std::u16string(base.c_str()), c.base);
        EXPECT_EQ(ordinal, c.ordinal) << NString(WString(c.name)).c_str();
    }
}

TEST(MidiPortNames, DeviceSelectionCountsDevicesContainingTheBase)
{
    // "MIDI (1)" of this directory opens the device listed as "MIDI Out".
    WStringArray devices;
    for (const char16_t* n : {u"MIDI Out", u"MIDI", u"MIDI"})
        devices.Add(WString(n));
    for (auto [name, ordinal, device] :
         {std::tuple{u"MIDI", 0, 0}, {u"midi", 2, 2}, {u"MIDI", 3, -1}, {u"MIDI", -1, -1}})
        EXPECT_EQ(SelectDevice(devices, WString(name), ordinal), device) << ordinal;
}
