#pragma once

#include "Application/AppInterfaces.h"

namespace Tavo {

// What a program on the display plugs into its application object: the main
// window on the display, the clipboard and the desktop services. Nothing
// connects to the display before the first window is wanted.
AppPlatformHooks DesktopPlatformHooks();

}  // namespace Tavo
