#pragma once

// Turns the X server's key, button and pointer events into the neutral
// input records of WindowSystem.h. Part of the X window system; kept apart
// so that the window and clipboard code stays readable.

#include "Platform/Window/WindowSystem.h"

#include <X11/Xlib.h>
#include <bitset>
#include <deque>

namespace Tavo::Platform::Window {

class XInputTranslator
{
public:
    XInputTranslator(Display* display, std::deque<Event>& queue) : mDisplay(display), mQueue(queue) {}

    // A key going down or up; characters follow a press through the input
    // context when there is one.
    void Key(XKeyEvent& ke, bool press, XIC ic);
    void Button(const XButtonEvent& be, bool press);
    // Keeps only the newest position of a burst of moves in one window.
    void Motion(XEvent& xe);

    // The modifier mask: held keys give their sides, the state what was
    // pressed before the window had the focus.
    uint32_t Modifiers(unsigned int state) const;
    static uint32_t ButtonsOfState(unsigned int state);
    // Reads the held keys from the server (the focus came back).
    void RefreshHeldKeys();
    // From the server; the generic Shift, Ctrl and Alt keys match either side.
    bool IsKeyDown(uint32_t virtualKey) const;

    // The server time of the last input, for requests that need one.
    Time LastTime() const { return mLastTime; }
    void SetLastTime(Time time) { mLastTime = time; }

private:
    Display* mDisplay;
    std::deque<Event>& mQueue;
    // Held keys by their side-specific virtual key.
    std::bitset<256> mHeld;
    Time mLastTime = CurrentTime;

    // Last press, for double clicks.
    uint32_t mLastPressButton = 0;
    Time mLastPressTime = 0;
    int32_t mLastPressX = 0, mLastPressY = 0;
    WindowId mLastPressWindow = 0;
    bool mLastPressWasDouble = false;
};

}  // namespace Tavo::Platform::Window
