#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace Tavo {

// A message box on the display over its owner window: the caption as its
// title, the text in lines that fit, and the style's buttons with the
// default one framed. Return and Space press the framed button, Tab and
// the arrow keys move the frame, Escape and the close request answer
// Cancel (OK for a box with only OK). Runs a loop of its own until answered;
// meanwhile the program's other windows take no input. Nothing when there
// is no owner window or no display.
std::optional<int32_t> RunMessageBoxWindow(uintptr_t owner, const std::string& text,
                                           const std::string& caption, uint32_t style);

}  // namespace Tavo
