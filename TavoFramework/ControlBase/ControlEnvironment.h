#pragma once

#include "ObjectBase/RefCountedObject.h"
#include "Window/WindowOSServices.h"

#include <functional>

namespace Tavo {

class LControlFactory;
class LFont;
struct KeyCode;
class HotKeyMap;

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
};

// Process-wide; made on first use and never destroyed.
LControlEnvironment& ControlEnvironment();

}  // namespace Tavo
