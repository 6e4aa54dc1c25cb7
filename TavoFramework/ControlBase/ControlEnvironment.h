#pragma once

#include "ObjectBase/RefCountedObject.h"
#include "Window/WindowOSServices.h"

#include <functional>

namespace Tavo {

class LControlFactory;
class LFont;
struct KeyCode;
class HotKeyMap;
class LRootWindow;

// What every control reaches of the one application: its control factory,
// default font, cursors and global hot
// keys. The application fills it at start-up; tests fill it themselves.
struct LControlEnvironment
{
    RCPtr<LControlFactory> factory;
    // When empty, the render host's default font.
    std::function<RCPtr<LFont>()> defaultFont;
    // The cursor registered under a name; 0 (the arrow) when absent.
    std::function<CursorHandle(const WString&)> cursor;
    // The application's hot keys: 1 when the key has no binding.
    std::function<TavoResult(const KeyCode&)> processHotKey;
    // The application's hot-key map; null when there is none.
    std::function<HotKeyMap*()> applicationHotKeys;
    // The application's clipboard as text; the reader answers false when it
    // holds none. Empty where the program has no clipboard.
    std::function<bool(WString&)> getClipboardText;
    std::function<TavoResult(const WString&)> setClipboardText;
    // The application's status text (a menu entry's hint); empty where the
    // program shows none.
    std::function<TavoResult(const WString&)> setStatusText;
    // Where a top control is placed: the desktop's work area (left, top,
    // width, height), the window it is placed in when it has none of its
    // own (the active one, else the first; null when there is none) and the
    // pointer in screen coordinates. Empty where the program has no desktop.
    std::function<RectT<int32_t>()> workArea;
    std::function<LRootWindow*()> placementWindow;
    std::function<PointT<int32_t>()> screenPointer;
};

// Process-wide; made on first use and never destroyed.
LControlEnvironment& ControlEnvironment();

}  // namespace Tavo
