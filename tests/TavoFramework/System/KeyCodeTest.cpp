#include "System/CursorNames.h"
#include "System/KeyCode.h"

#include <gtest/gtest.h>

using Tavo::KeyCode;
namespace VKey = Tavo::VKey;

TEST(KeyCode, ParsesIdentifierForms)
{
    EXPECT_EQ(KeyCode::FromString(u"Alt+VKEY_F4").code, 0x24730000u);
    EXPECT_EQ(KeyCode::FromString(u"ALT+vkey_f4").code, 0x24730000u);
    EXPECT_EQ(KeyCode::FromString(u"ctrl+shift+vkey_delete").code, 0x232E0000u);
    EXPECT_EQ(KeyCode::FromString(u"VKEY_F4").code, KeyCode::FromString(u"VkEy_F4").code);
    EXPECT_EQ(KeyCode::FromString(u"Alt+x").code, 0x04000078u);
    EXPECT_EQ(KeyCode::FromString(u"Ctrl+A").code, 0x00000041u);
    EXPECT_EQ(KeyCode::FromString(u"[27]").code, 0x1Bu);
    EXPECT_EQ(KeyCode::FromString(u"Alt+[65]").code, 0x04000041u);
    // "SHIFT" inside the key name also counts as the modifier.
    EXPECT_EQ(KeyCode::FromString(u"VKEY_SHIFT").code, 0x22100000u);
    EXPECT_EQ(KeyCode::FromString(u"VKEY_XYZ").code, 0x20000000u);
    EXPECT_FALSE(KeyCode::FromString(u"Alt+VKEY_F4").previousState);
}

TEST(KeyCode, MalformedTextsGiveTheEmptyCode)
{
    EXPECT_EQ(KeyCode::FromString(u"").code, 0x20000000u);
    EXPECT_EQ(KeyCode::FromString(u"[12").code, 0x20000000u);
    EXPECT_EQ(KeyCode::FromString(u"]12[").code, 0x20000000u);
    EXPECT_EQ(KeyCode::FromString(u"][").code, 0x20000000u);
    // Out-of-range numbers keep their low 16 bits instead of overflowing.
    EXPECT_EQ(KeyCode::FromString(u"[99999999999999]").code & 0xFFFF0000u, 0u);
}

TEST(KeyCode, TextFormsRoundTrip)
{
    for (const char16_t* text :
         {u"Alt+VKEY_F4", u"Ctrl+Shift+VKEY_DELETE", u"VKEY_LAUNCH_APP2", u"Ctrl+Alt+Shift+VKEY_A"})
        EXPECT_EQ(KeyCode::ToString(KeyCode::FromString(text)), text);
    EXPECT_EQ(KeyCode::ToString(KeyCode(0x01000061u)), u"Ctrl+[97]");
    EXPECT_EQ(KeyCode::ToString(KeyCode(0)), u"[0]");
    EXPECT_EQ(KeyCode::ToString(KeyCode()), u"[0]");
    EXPECT_EQ(KeyCode::ToString(KeyCode(0x84000000u)), u"Alt+");
    // Of several names for one code the first in name order prints.
    EXPECT_EQ(KeyCode::GetVirtualKeyName(0x15), u"VKEY_HANGEUL");
    EXPECT_EQ(KeyCode::GetVirtualKeyName(0x19), u"VKEY_HANJA");
    EXPECT_EQ(KeyCode::GetVirtualKeyName(0x92), u"VKEY_OEM_FJ_JISHO");
    EXPECT_EQ(KeyCode::GetVirtualKeyName(0x5E), u"");
    EXPECT_EQ(KeyCode::FindVirtualKey(u"VKEY_PAGEDN"), 0x22);
    EXPECT_EQ(KeyCode::FindVirtualKey(u"vkey_f4"), 0);
}

TEST(KeyCode, DisplayForm)
{
    EXPECT_EQ(KeyCode::ToDisplayString(KeyCode(KeyCode::PressCode(VKey::kBack, KeyCode::kCtrl))), u"Ctrl+");
    EXPECT_EQ(KeyCode::ToDisplayString(KeyCode(KeyCode::PressCode(VKey::kDelete, KeyCode::kCtrl))),
              u"Ctrl+Del");
    EXPECT_EQ(KeyCode::ToDisplayString(KeyCode(32)), u"");
    EXPECT_EQ(KeyCode::ToDisplayString(KeyCode(13)), u"Ctrl+M");
    EXPECT_EQ(KeyCode::ToDisplayString(KeyCode(1)), u"Ctrl+A");
    EXPECT_EQ(KeyCode::ToDisplayString(KeyCode(0x01000001u)), u"Ctrl+Ctrl+A");
    EXPECT_EQ(KeyCode::ToDisplayString(KeyCode('x')), u"x");
    EXPECT_EQ(KeyCode::GetDisplayName(0x15), u"Kana");
    EXPECT_EQ(KeyCode::GetDisplayName(0x92), u"NEC Equal");
    EXPECT_EQ(KeyCode::GetDisplayName(VKey::kNumpad0 + 5), u"Numpad 5");
    EXPECT_EQ(KeyCode::GetDisplayName(VKey::F(24)), u"F24");
}

TEST(KeyCode, EqualityIgnoresCtrlShiftOnlyForCharacters)
{
    EXPECT_EQ(KeyCode(0x01000061u), KeyCode(0x61u));
    EXPECT_EQ(KeyCode(0x03000061u, 5, true), KeyCode(0x61u));
    EXPECT_NE(KeyCode(0x04000061u), KeyCode(0x61u));
    EXPECT_NE(KeyCode::FromString(u"Alt+VKEY_F4"), KeyCode::FromString(u"VKEY_F4"));
    // A release (no key-down bit) does not match the parsed binding.
    EXPECT_NE(KeyCode(KeyCode::PressCode(VKey::F(4), KeyCode::kAlt) & ~KeyCode::kKeyDown),
              KeyCode::FromString(u"Alt+VKEY_F4"));
    EXPECT_NE(KeyCode(0x61u), KeyCode(KeyCode::PressCode('A')));
}

TEST(KeyCode, CharactersCarryModifiersAndSides)
{
    const KeyCode k = KeyCode::FromCharacter(u'a', 0x1000 | 0x200 | 0x40 | 0x18 | 0x03);
    EXPECT_EQ(k.code, 0x1F000061u);
    EXPECT_EQ(k.sides, 1u | 4u);
    EXPECT_EQ(KeyCode::SideBits(0x140 | 0xA00 | 0x28 | 0x05), 32u | 128u | 2u | 8u);
    // A side bit without its generic bit sets nothing.
    EXPECT_EQ(KeyCode::SideBits(0x10 | 0x80), 0u);
}

TEST(KeyCode, NamedVirtualKeysAreTheTablesCodes)
{
    const struct
    {
        const char16_t* name;
        uint32_t key;
    } cases[] = {
        {u"VKEY_BACK", VKey::kBack},
        {u"VKEY_TAB", VKey::kTab},
        {u"VKEY_RETURN", VKey::kReturn},
        {u"VKEY_SHIFT", VKey::kShift},
        {u"VKEY_CONTROL", VKey::kControl},
        {u"VKEY_MENU", VKey::kMenu},
        {u"VKEY_ESCAPE", VKey::kEscape},
        {u"VKEY_PAGEUP", VKey::kPageUp},
        {u"VKEY_PAGEDN", VKey::kPageDown},
        {u"VKEY_END", VKey::kEnd},
        {u"VKEY_HOME", VKey::kHome},
        {u"VKEY_LEFT", VKey::kLeft},
        {u"VKEY_DOWN", VKey::kDown},
        {u"VKEY_DELETE", VKey::kDelete},
        {u"VKEY_LWIN", VKey::kLWin},
        {u"VKEY_NUMPAD0", VKey::kNumpad0},
        {u"VKEY_F1", VKey::kF1},
        {u"VKEY_F4", VKey::F(4)},
        {u"VKEY_F24", VKey::F(24)},
        {u"VKEY_LSHIFT", VKey::kLShift},
        {u"VKEY_RMENU", VKey::kRMenu},
        {u"VKEY_A", 'A'},
        {u"VKEY_7", '7'},
    };
    for (const auto& c : cases)
        EXPECT_EQ(uint32_t(KeyCode::FindVirtualKey(c.name)), c.key) << std::hex << c.key;
    // A press with modifiers is what the text form of the same key gives.
    EXPECT_EQ(KeyCode::PressCode(VKey::F(4), KeyCode::kAlt), KeyCode::FromString(u"Alt+VKEY_F4").code);
    EXPECT_EQ(KeyCode::PressCode(VKey::kDelete, KeyCode::kCtrl | KeyCode::kShift),
              KeyCode::FromString(u"Ctrl+Shift+VKEY_DELETE").code);
}
