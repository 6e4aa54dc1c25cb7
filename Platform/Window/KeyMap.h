#pragma once

#include <cstdint>

namespace Tavo::Platform::Window {

// The virtual-key code (the framework's key-code table) of an X keysym, 0
// when the key has none. Letters map to their upper-case key whatever the
// case of the keysym.
uint32_t VirtualKeyFromKeysym(uint32_t keysym);

// The side-specific modifier bits a held virtual key contributes: Shift,
// Ctrl, Alt and the Windows key with their left or right bit.
uint32_t ModifierBitsOfVirtualKey(uint32_t virtualKey);

// The key a window receives for a held key: the left and right Shift, Ctrl
// and Alt keys become the generic ones (their side shows in the modifier
// mask); every other key, the Windows keys included, stays as it is.
uint32_t GenericVirtualKey(uint32_t virtualKey);

}  // namespace Tavo::Platform::Window
