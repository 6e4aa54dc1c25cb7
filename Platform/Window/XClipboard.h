#pragma once

// The CLIPBOARD selection of the X window system: what this program offers
// (text, or only its private target) and reading another client's text.
// Part of the X window system; kept apart from the window code.

#include "Platform/Window/WindowSystem.h"

#include <X11/Xlib.h>
#include <deque>
#include <functional>
#include <optional>
#include <string>

namespace Tavo::Platform::Window {

class XClipboard
{
public:
    // utility: the window that owns the selection and receives transfers.
    // other: handles events that arrive while a transfer is awaited.
    XClipboard(Display* display, ::Window utility, std::function<void(XEvent&)> other);

    bool SetText(const std::u16string& text, Time time);
    bool SetPrivate(Time time);
    // Asks the server: the notice of a lost selection may still be on its way.
    bool Owns() const;
    uint32_t Sequence() const
    {
        Owns();
        return mSequence;
    }
    bool HasPrivate() const { return Owns() && mPrivate; }
    std::optional<std::u16string> ReadText(uint32_t timeoutMs, Time time);

    void OnSelectionRequest(const XSelectionRequestEvent& request);
    void OnSelectionClear(const XSelectionClearEvent& clear);
    // The "clipboard lost" notices not yet handed out.
    std::deque<Event>& LostNotices() const { return mLostNotices; }

private:
    void Own(Time time);
    void Lose() const;
    bool WaitForSelection(Atom target, uint64_t deadlineMs, Time time, std::optional<std::string>& bytes);

    Display* mDisplay;
    ::Window mUtility;
    std::function<void(XEvent&)> mOther;
    Atom mClipboard, mTargets, mPrivateTarget, mTransfer, mIncr, mUtf8;

    mutable bool mOwns = false;
    mutable bool mPrivate = false;
    mutable std::u16string mText;
    mutable uint32_t mSequence = 1;
    mutable std::deque<Event> mLostNotices;
};

}  // namespace Tavo::Platform::Window
