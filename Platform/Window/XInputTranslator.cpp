#include "Platform/Window/XInputTranslator.h"

#include "Platform/Kernel/TextCoding.h"
#include "Platform/Window/KeyMap.h"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cstdlib>
#include <string>

namespace Tavo::Platform::Window {

namespace {

// Same button again within this time and distance: a double click.
constexpr uint32_t kDoubleClickMs = 500;
constexpr int32_t kDoubleClickDistance = 4;

char16_t CharacterOfKeysym(KeySym keysym)
{
    if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF))
        return static_cast<char16_t>(keysym);
    if ((keysym & 0xFF000000u) == 0x01000000u && (keysym & 0x00FFFFFFu) <= 0xFFFF)
        return static_cast<char16_t>(keysym & 0xFFFF);
    switch (keysym) {
    case XK_Return:
    case XK_KP_Enter:
        return u'\r';
    case XK_Tab:
    case XK_ISO_Left_Tab:
        return u'\t';
    case XK_BackSpace:
        return u'\b';
    case XK_Escape:
        return 0x1B;
    default:
        return 0;
    }
}

// The state bit a modifier key itself stands for; 0 for other keys.
unsigned int StateMaskOfModifier(uint32_t virtualKey)
{
    const uint32_t bits = ModifierBitsOfVirtualKey(virtualKey);
    return (bits & kModShift)  ? ShiftMask
           : (bits & kModCtrl) ? ControlMask
           : (bits & kModAlt)  ? Mod1Mask
                               : 0u;
}

}  // namespace

uint32_t XInputTranslator::ButtonsOfState(unsigned int state)
{
    return ((state & Button1Mask) ? kButtonLeft : 0) | ((state & Button2Mask) ? kButtonMiddle : 0) |
           ((state & Button3Mask) ? kButtonRight : 0);
}

uint32_t XInputTranslator::Modifiers(unsigned int state) const
{
    uint32_t mods = 0;
    for (size_t vk = 0; vk < mHeld.size(); ++vk) {
        if (mHeld[vk])
            mods |= ModifierBitsOfVirtualKey(uint32_t(vk));
    }
    // Keys pressed before the window had the focus show only in the state.
    if (state & ShiftMask)
        mods |= kModShift;
    if (state & ControlMask)
        mods |= kModCtrl;
    if (state & Mod1Mask)
        mods |= kModAlt;
    return mods;
}

void XInputTranslator::RefreshHeldKeys()
{
    mHeld.reset();
    char keys[32] = {};
    XQueryKeymap(mDisplay, keys);
    for (int code = 8; code < 256; ++code) {
        if (keys[code / 8] & (1 << (code % 8))) {
            const uint32_t vk =
                VirtualKeyFromKeysym(uint32_t(XkbKeycodeToKeysym(mDisplay, KeyCode(code), 0, 0)));
            if (vk)
                mHeld.set(vk);
        }
    }
}

bool XInputTranslator::IsKeyDown(uint32_t virtualKey) const
{
    char keys[32] = {};
    XQueryKeymap(mDisplay, keys);
    for (int code = 8; code < 256; ++code) {
        if (!(keys[code / 8] & (1 << (code % 8))))
            continue;
        const uint32_t vk = VirtualKeyFromKeysym(uint32_t(XkbKeycodeToKeysym(mDisplay, KeyCode(code), 0, 0)));
        if (vk && (vk == virtualKey || GenericVirtualKey(vk) == virtualKey))
            return true;
    }
    return false;
}

void XInputTranslator::Key(XKeyEvent& ke, bool press, XIC ic)
{
    mLastTime = ke.time;
    const WindowId window = WindowId(ke.window);
    // The unshifted keysym names the key; the shifted one is the character.
    const KeySym base = XkbKeycodeToKeysym(mDisplay, KeyCode(ke.keycode), 0, 0);
    const uint32_t vk = VirtualKeyFromKeysym(uint32_t(base));
    const bool wasDown = vk && mHeld[vk];
    if (vk)
        mHeld.set(vk, press);

    Event e;
    e.window = window;
    e.time = uint32_t(ke.time);
    e.x = ke.x;
    e.y = ke.y;
    e.rootX = ke.x_root;
    e.rootY = ke.y_root;
    // Shift, Ctrl and Alt arrive as their generic keys; the mask tells the side.
    e.virtualKey = GenericVirtualKey(vk);
    e.modifiers = Modifiers(ke.state);
    if (!press) {
        // A modifier going up no longer counts as held.
        e.modifiers = Modifiers(ke.state & ~StateMaskOfModifier(vk));
        e.type = EventType::KeyUp;
        e.previousDown = true;
        mQueue.push_back(std::move(e));
        return;
    }
    e.type = EventType::KeyDown;
    e.previousDown = wasDown;
    const uint32_t mods = e.modifiers;
    mQueue.push_back(e);

    // Characters: none while Alt or the Windows key is held.
    if (mods & (kModAlt | kModWin))
        return;
    std::u16string text;
    KeySym keysym = NoSymbol;
    if (ic) {
        char buffer[64];
        Status status = 0;
        const int n = Xutf8LookupString(ic, &ke, buffer, sizeof buffer - 1, &keysym, &status);
        if ((status == XLookupChars || status == XLookupBoth) && n > 0)
            text = FromUtf8(std::string_view(buffer, size_t(n)));
    } else {
        char buffer[16];
        XLookupString(&ke, buffer, sizeof buffer, &keysym, nullptr);
    }
    if (text.empty() || text == u"?") {
        // A locale that cannot spell the character: take it from the keysym.
        KeySym shifted = keysym;
        if (shifted == NoSymbol)
            XLookupString(&ke, nullptr, 0, &shifted, nullptr);
        if (const char16_t c = CharacterOfKeysym(shifted))
            text = std::u16string(1, c);
    }
    if ((mods & kModCtrl) && text.size() == 1 && text[0] >= 0x20) {
        // Ctrl with a letter gives its control character, as the framework expects.
        const char16_t c = text[0];
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))
            text[0] = char16_t((c & 0x1F));
    }
    for (char16_t c : text) {
        Event ce;
        ce.type = EventType::Character;
        ce.window = window;
        ce.time = uint32_t(ke.time);
        ce.modifiers = mods;
        ce.text = std::u16string(1, c);
        mQueue.push_back(std::move(ce));
    }
}

void XInputTranslator::Button(const XButtonEvent& be, bool press)
{
    mLastTime = be.time;
    Event e;
    e.window = WindowId(be.window);
    e.time = uint32_t(be.time);
    e.x = be.x;
    e.y = be.y;
    e.rootX = be.x_root;
    e.rootY = be.y_root;
    e.modifiers = Modifiers(be.state);
    if (be.button >= 4 && be.button <= 7) {
        if (!press)
            return;
        e.type = EventType::Wheel;
        e.horizontal = be.button >= 6;
        e.wheelDelta = (be.button == 4 || be.button == 7) ? kWheelStep : -kWheelStep;
        mQueue.push_back(std::move(e));
        return;
    }
    const uint32_t button = be.button == 1   ? kButtonLeft
                            : be.button == 2 ? kButtonMiddle
                            : be.button == 3 ? kButtonRight
                                             : 0;
    if (!button)
        return;
    e.button = button;
    const uint32_t before = ButtonsOfState(be.state);
    e.buttons = press ? (before | button) : (before & ~button);
    if (press) {
        e.type = EventType::ButtonDown;
        const bool near = std::abs(be.x - mLastPressX) <= kDoubleClickDistance &&
                          std::abs(be.y - mLastPressY) <= kDoubleClickDistance;
        e.doubleClick = !mLastPressWasDouble && button == mLastPressButton && e.window == mLastPressWindow &&
                        near && Time(be.time - mLastPressTime) <= kDoubleClickMs;
        mLastPressButton = button;
        mLastPressTime = be.time;
        mLastPressX = be.x;
        mLastPressY = be.y;
        mLastPressWindow = e.window;
        mLastPressWasDouble = e.doubleClick;
    } else {
        e.type = EventType::ButtonUp;
    }
    mQueue.push_back(std::move(e));
}

void XInputTranslator::Motion(XEvent& xe)
{
    // Only the newest position of a burst matters; a burst ends at any
    // other event, so that moves never pass a press or release.
    while (XEventsQueued(mDisplay, QueuedAlready) > 0) {
        XEvent next;
        XPeekEvent(mDisplay, &next);
        if (next.type != MotionNotify || next.xmotion.window != xe.xmotion.window)
            break;
        XNextEvent(mDisplay, &xe);
    }
    mLastTime = xe.xmotion.time;
    Event e;
    e.type = EventType::Motion;
    e.window = WindowId(xe.xmotion.window);
    e.x = xe.xmotion.x;
    e.y = xe.xmotion.y;
    e.rootX = xe.xmotion.x_root;
    e.rootY = xe.xmotion.y_root;
    e.modifiers = Modifiers(xe.xmotion.state);
    e.buttons = ButtonsOfState(xe.xmotion.state);
    e.time = uint32_t(xe.xmotion.time);
    mQueue.push_back(std::move(e));
}

}  // namespace Tavo::Platform::Window
