#pragma once

#include "Utilities/Storage/StringT.h"

#include <cstdint>

namespace Tavo {

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
