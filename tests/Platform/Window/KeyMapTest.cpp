#include "Platform/Window/KeyMap.h"
#include "Platform/Window/WindowSystem.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

using namespace Tavo::Platform::Window;

TEST(KeyMap, KeysymsMapToTheVirtualKeysOfTheKeyCodeTable)
{
    const struct
    {
        uint32_t keysym, vk;
    } cases[] = {
        {XK_a, 0x41},
        {XK_Z, 0x5A},
        {XK_0, 0x30},
        {XK_9, 0x39},
        {XK_F1, 0x70},
        {XK_F4, 0x73},
        {XK_F24, 0x87},
        {XK_Return, 0x0D},
        {XK_KP_Enter, 0x0D},
        {XK_Tab, 0x09},
        {XK_ISO_Left_Tab, 0x09},
        {XK_Escape, 0x1B},
        {XK_Left, 0x25},
        {XK_Down, 0x28},
        {XK_Page_Up, 0x21},
        {XK_Delete, 0x2E},
        {XK_Shift_L, 0xA0},
        {XK_Shift_R, 0xA1},
        {XK_Control_L, 0xA2},
        {XK_Control_R, 0xA3},
        {XK_Alt_L, 0xA4},
        {XK_Alt_R, 0xA5},
        {XK_Super_L, 0x5B},
        {XK_Super_R, 0x5C},
        {XK_KP_0, 0x60},
        {XK_KP_Divide, 0x6F},
        {XK_comma, 0xBC},
        {XK_space, 0x20},
        {XK_eacute, 0},
        {XK_dead_acute, 0},
        {0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VirtualKeyFromKeysym(c.keysym), c.vk) << std::hex << c.keysym;
}

TEST(KeyMap, ModifierKeysGiveTheirGenericAndSideBits)
{
    EXPECT_EQ(ModifierBitsOfVirtualKey(0xA0), kModShift | kModLeftShift);
    EXPECT_EQ(ModifierBitsOfVirtualKey(0xA1), kModShift | kModRightShift);
    EXPECT_EQ(ModifierBitsOfVirtualKey(0xA2), kModCtrl | kModLeftCtrl);
    EXPECT_EQ(ModifierBitsOfVirtualKey(0xA3), kModCtrl | kModRightCtrl);
    EXPECT_EQ(ModifierBitsOfVirtualKey(0xA4), kModAlt | kModLeftAlt);
    EXPECT_EQ(ModifierBitsOfVirtualKey(0xA5), kModAlt | kModRightAlt);
    EXPECT_EQ(ModifierBitsOfVirtualKey(0x5C), kModWin | kModRightWin);
    EXPECT_EQ(ModifierBitsOfVirtualKey(0x41), 0u);
}

TEST(KeyMap, WindowsReceiveTheGenericShiftCtrlAndAltKeys)
{
    const struct
    {
        uint32_t held, received;
    } cases[] = {
        {0xA0, 0x10}, {0xA1, 0x10}, {0xA2, 0x11}, {0xA3, 0x11}, {0xA4, 0x12},
        {0xA5, 0x12}, {0x5B, 0x5B}, {0x5C, 0x5C}, {0x41, 0x41}, {0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GenericVirtualKey(c.held), c.received) << std::hex << c.held;
}
