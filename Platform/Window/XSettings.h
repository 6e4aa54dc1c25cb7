#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

typedef struct _XDisplay Display;

namespace Tavo::Platform::Window {

// The desktop's settings as a settings manager publishes them to every
// client (the owner of _XSETTINGS_S<screen> and its _XSETTINGS_SETTINGS
// property).

// The string setting of that name in the property's bytes; nothing when
// the bytes hold no such string or are cut short.
std::optional<std::string> FindXSettingString(std::span<const uint8_t> settings, const std::string& name);

// The string setting read from the screen's settings manager; nothing when
// no manager runs or it has no such string.
std::optional<std::string> ReadXSettingString(Display* display, int screen, const std::string& name);

}  // namespace Tavo::Platform::Window
