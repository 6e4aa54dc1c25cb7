#pragma once

#include "Utilities/Storage/StringT.h"

#include <cstdint>

namespace Tavo {

// Virtual keys by the names of the key table ("VKEY_SHIFT" is kShift);
// letters and digits are their upper-case character ('A', '0'), function
// keys VKey::F(n).
namespace VKey {
// The mouse buttons, as key-state queries name them.
inline constexpr uint32_t kLButton = 0x01, kRButton = 0x02, kMButton = 0x04;
inline constexpr uint32_t kBack = 0x08, kTab = 0x09, kClear = 0x0C, kReturn = 0x0D;
// The generic modifier keys a window receives; their sides are in the
// modifier mask.
inline constexpr uint32_t kShift = 0x10, kControl = 0x11, kMenu = 0x12;
inline constexpr uint32_t kPause = 0x13, kCapital = 0x14, kEscape = 0x1B, kSpace = 0x20;
inline constexpr uint32_t kPageUp = 0x21, kPageDown = 0x22, kEnd = 0x23, kHome = 0x24;
inline constexpr uint32_t kLeft = 0x25, kUp = 0x26, kRight = 0x27, kDown = 0x28;
inline constexpr uint32_t kInsert = 0x2D, kDelete = 0x2E;
inline constexpr uint32_t kLWin = 0x5B, kRWin = 0x5C, kApps = 0x5D;
inline constexpr uint32_t kNumpad0 = 0x60, kF1 = 0x70;
// The side-specific modifier keys, as key-state queries name them.
inline constexpr uint32_t kLShift = 0xA0, kRShift = 0xA1, kLControl = 0xA2, kRControl = 0xA3;
inline constexpr uint32_t kLMenu = 0xA4, kRMenu = 0xA5;

constexpr uint32_t F(uint32_t n)
{
    return kF1 + n - 1;
}
}  // namespace VKey

// A key: character or virtual key with the modifiers held.
// Code bits: 0-15 character, 16-23 virtual key, 24 Ctrl, 25 Shift, 26 Alt,
// 27 Cmd, 28 fifth modifier, 29 key down, 31 no key.
struct KeyCode
{
    static constexpr uint32_t kCharMask = 0x0000FFFFu;
    static constexpr uint32_t kVirtualKeyMask = 0x00FF0000u;
    static constexpr uint32_t kCtrl = 0x01000000u;
    static constexpr uint32_t kShift = 0x02000000u;
    static constexpr uint32_t kAlt = 0x04000000u;
    static constexpr uint32_t kCmd = 0x08000000u;
    static constexpr uint32_t kFifth = 0x10000000u;
    static constexpr uint32_t kKeyDown = 0x20000000u;
    static constexpr uint32_t kNoKey = 0x80000000u;

    // Raw modifier flags as the native window collects them.
    static constexpr uint32_t kRawCtrl = 0x1, kRawLeftCtrl = 0x2, kRawRightCtrl = 0x4;
    static constexpr uint32_t kRawShift = 0x8, kRawLeftShift = 0x10, kRawRightShift = 0x20;
    static constexpr uint32_t kRawAlt = 0x40, kRawLeftAlt = 0x80, kRawRightAlt = 0x100;
    static constexpr uint32_t kRawWin = 0x200, kRawLeftWin = 0x400, kRawRightWin = 0x800;
    static constexpr uint32_t kRawFifth = 0x1000;

    uint32_t code = kKeyDown;
    uint32_t sides = 0;
    bool previousState = false;

    KeyCode() = default;
    KeyCode(uint32_t c, uint32_t s = 0, bool previous = false) : code(c), sides(s), previousState(previous) {}

    // The code of a virtual key going down with modifier bits: Ctrl+A is
    // PressCode('A', kCtrl).
    static constexpr uint32_t PressCode(uint32_t virtualKey, uint32_t modifierBits = 0)
    {
        return ((virtualKey & 0xFF) << 16) | kKeyDown | modifierBits;
    }

    uint32_t VirtualKey() const { return (code & kVirtualKeyMask) >> 16; }
    char16_t Character() const { return static_cast<char16_t>(code & kCharMask); }

    static KeyCode FromCharacter(char16_t character, uint32_t rawModifiers);
    static uint32_t SideBits(uint32_t rawModifiers);
    // Identifier form such as "Alt+VKEY_F4", "[27]" or "Ctrl+x".
    static KeyCode FromString(const WString& text);
    static WString ToString(const KeyCode& key);
    // Text for menu shortcuts, such as "Ctrl+Del".
    static WString ToDisplayString(const KeyCode& key);

    // 0 when the name (exact, case-sensitive) is not a known "VKEY_" name.
    static int FindVirtualKey(const WString& name);
    static WString GetDisplayName(uint32_t virtualKey);
    // The first name in name order that has the code, as "VKEY_HANGEUL" for 0x15.
    static WString GetVirtualKeyName(uint32_t virtualKey);
};

// Virtual keys and no-key codes compare exactly; characters ignore Ctrl and
// Shift. Sides and previous state never count.
bool operator==(const KeyCode& a, const KeyCode& b);
inline bool operator!=(const KeyCode& a, const KeyCode& b)
{
    return !(a == b);
}

}  // namespace Tavo
