#include "System/HotKeyMap.h"

#include <gtest/gtest.h>

using Tavo::HotKeyMap;
using Tavo::KeyCode;

TEST(HotKeyMap, EachKeyBindsOnce)
{
    HotKeyMap map;
    const KeyCode altF4 = KeyCode::FromString(u"Alt+VKEY_F4");
    EXPECT_EQ(map.AddBinding(altF4, u"NID_APP_EXIT_REQ"), Tavo::S_OK);
    EXPECT_EQ(map.AddBinding(altF4, u"NID_APP_EXIT_REQ"), Tavo::E_INVALIDARG);
    EXPECT_EQ(map.AddBinding(altF4, u"NID_OTHER"), Tavo::E_INVALIDARG);
    EXPECT_FALSE(map.HasBinding(u"NID_OTHER"));
    EXPECT_EQ(map.AddBinding(KeyCode::FromString(u"VKEY_F1"), u""), Tavo::E_INVALIDARG);

    const KeyCode escape = KeyCode::FromString(u"VKEY_ESCAPE");
    EXPECT_EQ(map.AddBinding(escape, u"NID_APP_EXIT_REQ"), Tavo::S_OK);
    const auto keys = map.GetKeyCodes(u"NID_APP_EXIT_REQ");
    ASSERT_EQ(keys.GetCount(), 2u);
    EXPECT_EQ(keys[0].code, altF4.code);
    EXPECT_EQ(keys[1].code, escape.code);
    EXPECT_EQ(map.FindBinding(escape), u"NID_APP_EXIT_REQ");
    EXPECT_EQ(map.FindBinding(KeyCode::FromString(u"VKEY_F4")), u"");
    EXPECT_FALSE(map.HasBinding(u""));
    EXPECT_EQ(map.GetKeyCodes(u"").GetCount(), 0u);
}

TEST(HotKeyMap, CharacterBindingsIgnoreCtrlAndShift)
{
    HotKeyMap map;
    ASSERT_EQ(map.AddBinding(KeyCode::FromString(u"[1]"), u"NID_ONE"), Tavo::S_OK);
    EXPECT_EQ(map.FindBinding(KeyCode(KeyCode::kCtrl | KeyCode::kShift | 1u)), u"NID_ONE");
    EXPECT_EQ(map.FindBinding(KeyCode(KeyCode::kAlt | 1u)), u"");
}

TEST(HotKeyMap, TextThatNamesNoKeyBindsNothing)
{
    auto table = Tavo::LStringTable::Create();
    for (const char16_t* text : {u"VKEY_XYZ", u"Ctrl+VKEY_NOPE", u"Alt+[12", u""})
        table->SetString(Tavo::WString(u"LHK.NID_BAD_") + text, text);
    table->SetString(u"LHK.NID_GOOD", u"VKEY_F2");
    HotKeyMap map;
    EXPECT_EQ(map.LoadBindings(table.Get(), u"LHK"), Tavo::S_OK);
    EXPECT_TRUE(map.HasBinding(u"NID_GOOD"));
    for (uint32_t code : {KeyCode::kKeyDown, KeyCode::kKeyDown | KeyCode::kCtrl,
                          KeyCode::kKeyDown | KeyCode::kAlt, KeyCode::PressCode(Tavo::VKey::kF1)})
        EXPECT_EQ(map.FindBinding(KeyCode(code)), u"") << std::hex << code;
    EXPECT_EQ(map.FindBinding(KeyCode::FromString(u"VKEY_F2")), u"NID_GOOD");
}

TEST(HotKeyMap, LoadsPrefixedEntriesFirstIdWinning)
{
    auto table = Tavo::LStringTable::Create();
    table->SetString(u"GHK.NID_APP_EXIT_REQ", u"Alt+VKEY_F4");
    table->SetString(u"GHK.A.NID_ALSO_F4", u"Alt+VKEY_F4");
    table->SetString(u"GHK.NID_HELP", u"VKEY_F1");
    table->SetString(u"LHK.NID_LOCAL", u"VKEY_F2");
    table->SetString(u"GHKX.NID_NOT_PREFIXED", u"VKEY_F3");
    HotKeyMap map;
    EXPECT_EQ(map.LoadBindings(table.Get(), u"GHK"), Tavo::S_OK);
    // "GHK.A.NID_ALSO_F4" sorts first and takes the key.
    EXPECT_EQ(map.FindBinding(KeyCode::FromString(u"Alt+VKEY_F4")), u"NID_ALSO_F4");
    EXPECT_FALSE(map.HasBinding(u"NID_APP_EXIT_REQ"));
    EXPECT_TRUE(map.HasBinding(u"NID_HELP"));
    EXPECT_FALSE(map.HasBinding(u"NID_LOCAL"));
    EXPECT_FALSE(map.HasBinding(u"NID_NOT_PREFIXED"));

    HotKeyMap local;
    local.LoadBindings(table.Get(), u"LHK");
    EXPECT_TRUE(local.HasBinding(u"NID_LOCAL"));
    EXPECT_EQ(local.LoadBindings(nullptr, u"LHK"), Tavo::E_INVALIDARG);
}
