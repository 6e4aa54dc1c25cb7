#include "Platform/Window/KeyMap.h"

#include "Platform/Window/WindowSystem.h"

#include <X11/keysym.h>
#include <X11/XF86keysym.h>
#include <algorithm>
#include <array>
#include <utility>

namespace Tavo::Platform::Window {

namespace {

constexpr std::pair<uint32_t, uint8_t> kKeys[] = {
    {XK_space, 0x20},
    {XK_apostrophe, 0xDE},
    {XK_comma, 0xBC},
    {XK_minus, 0xBD},
    {XK_period, 0xBE},
    {XK_slash, 0xBF},
    {XK_semicolon, 0xBA},
    {XK_equal, 0xBB},
    {XK_bracketleft, 0xDB},
    {XK_backslash, 0xDC},
    {XK_bracketright, 0xDD},
    {XK_grave, 0xC0},
    {XK_ISO_Level3_Shift, 0xA5},
    {XK_ISO_Left_Tab, 0x09},
    {XK_BackSpace, 0x08},
    {XK_Tab, 0x09},
    {XK_Clear, 0x0C},
    {XK_Return, 0x0D},
    {XK_Pause, 0x13},
    {XK_Scroll_Lock, 0x91},
    {XK_Sys_Req, 0x2C},
    {XK_Escape, 0x1B},
    {XK_Home, 0x24},
    {XK_Left, 0x25},
    {XK_Up, 0x26},
    {XK_Right, 0x27},
    {XK_Down, 0x28},
    {XK_Page_Up, 0x21},
    {XK_Page_Down, 0x22},
    {XK_End, 0x23},
    {XK_Select, 0x29},
    {XK_Print, 0x2C},
    {XK_Execute, 0x2B},
    {XK_Insert, 0x2D},
    {XK_Menu, 0x5D},
    {XK_Help, 0x2F},
    {XK_Break, 0x13},
    {XK_Num_Lock, 0x90},
    {XK_KP_Enter, 0x0D},
    {XK_KP_Home, 0x24},
    {XK_KP_Left, 0x25},
    {XK_KP_Up, 0x26},
    {XK_KP_Right, 0x27},
    {XK_KP_Down, 0x28},
    {XK_KP_Page_Up, 0x21},
    {XK_KP_Page_Down, 0x22},
    {XK_KP_End, 0x23},
    {XK_KP_Begin, 0x0C},
    {XK_KP_Insert, 0x2D},
    {XK_KP_Delete, 0x2E},
    {XK_KP_Multiply, 0x6A},
    {XK_KP_Add, 0x6B},
    {XK_KP_Separator, 0x6C},
    {XK_KP_Subtract, 0x6D},
    {XK_KP_Decimal, 0x6E},
    {XK_KP_Divide, 0x6F},
    {XK_KP_0, 0x60},
    {XK_KP_1, 0x61},
    {XK_KP_2, 0x62},
    {XK_KP_3, 0x63},
    {XK_KP_4, 0x64},
    {XK_KP_5, 0x65},
    {XK_KP_6, 0x66},
    {XK_KP_7, 0x67},
    {XK_KP_8, 0x68},
    {XK_KP_9, 0x69},
    {XK_F1, 0x70},
    {XK_F2, 0x71},
    {XK_F3, 0x72},
    {XK_F4, 0x73},
    {XK_F5, 0x74},
    {XK_F6, 0x75},
    {XK_F7, 0x76},
    {XK_F8, 0x77},
    {XK_F9, 0x78},
    {XK_F10, 0x79},
    {XK_F11, 0x7A},
    {XK_F12, 0x7B},
    {XK_F13, 0x7C},
    {XK_F14, 0x7D},
    {XK_F15, 0x7E},
    {XK_F16, 0x7F},
    {XK_F17, 0x80},
    {XK_F18, 0x81},
    {XK_F19, 0x82},
    {XK_F20, 0x83},
    {XK_F21, 0x84},
    {XK_F22, 0x85},
    {XK_F23, 0x86},
    {XK_F24, 0x87},
    {XK_Shift_L, 0xA0},
    {XK_Shift_R, 0xA1},
    {XK_Control_L, 0xA2},
    {XK_Control_R, 0xA3},
    {XK_Caps_Lock, 0x14},
    {XK_Meta_L, 0xA4},
    {XK_Meta_R, 0xA5},
    {XK_Alt_L, 0xA4},
    {XK_Alt_R, 0xA5},
    {XK_Super_L, 0x5B},
    {XK_Super_R, 0x5C},
    {XK_Delete, 0x2E},
    {XF86XK_AudioLowerVolume, 0xAE},
    {XF86XK_AudioMute, 0xAD},
    {XF86XK_AudioRaiseVolume, 0xAF},
    {XF86XK_AudioPlay, 0xB3},
    {XF86XK_AudioStop, 0xB2},
    {XF86XK_AudioPrev, 0xB1},
    {XF86XK_AudioNext, 0xB0},
};

// Sorted by keysym for the binary search below.
constexpr auto kTable = [] {
    std::array<std::pair<uint32_t, uint8_t>, std::size(kKeys)> t{};
    std::copy(std::begin(kKeys), std::end(kKeys), t.begin());
    std::sort(t.begin(), t.end());
    return t;
}();

}  // namespace

uint32_t VirtualKeyFromKeysym(uint32_t keysym)
{
    if (keysym >= XK_a && keysym <= XK_z)
        return 0x41 + (keysym - XK_a);
    if (keysym >= XK_A && keysym <= XK_Z)
        return 0x41 + (keysym - XK_A);
    if (keysym >= XK_0 && keysym <= XK_9)
        return 0x30 + (keysym - XK_0);
    const auto it = std::lower_bound(kTable.begin(), kTable.end(), std::pair<uint32_t, uint8_t>{keysym, 0});
    if (it != kTable.end() && it->first == keysym)
        return it->second;
    return 0;
}

uint32_t ModifierBitsOfVirtualKey(uint32_t virtualKey)
{
    switch (virtualKey) {
    case 0xA0:
        return kModShift | kModLeftShift;
    case 0xA1:
        return kModShift | kModRightShift;
    case 0xA2:
        return kModCtrl | kModLeftCtrl;
    case 0xA3:
        return kModCtrl | kModRightCtrl;
    case 0xA4:
        return kModAlt | kModLeftAlt;
    case 0xA5:
        return kModAlt | kModRightAlt;
    case 0x5B:
        return kModWin | kModLeftWin;
    case 0x5C:
        return kModWin | kModRightWin;
    default:
        return 0;
    }
}

uint32_t GenericVirtualKey(uint32_t virtualKey)
{
    const uint32_t bits = ModifierBitsOfVirtualKey(virtualKey);
    if (bits & kModShift)
        return 0x10;
    if (bits & kModCtrl)
        return 0x11;
    if (bits & kModAlt)
        return 0x12;
    return virtualKey;
}

}  // namespace Tavo::Platform::Window
