#include "Platform/Window/XClipboard.h"

#include "Platform/Kernel/TextCoding.h"
#include "Platform/Window/ClipboardText.h"

#include <X11/Xatom.h>
#include <algorithm>
#include <chrono>
#include <iterator>
#include <poll.h>
#include <vector>

namespace Tavo::Platform::Window {

namespace {

uint64_t NowMs()
{
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

XClipboard::XClipboard(Display* display, ::Window utility, std::function<void(XEvent&)> other)
    : mDisplay(display), mUtility(utility), mOther(std::move(other))
{
    // One round trip for all of them: the clipboard is made as the window
    // system starts.
    const char* names[] = {"CLIPBOARD",       "TARGETS", "_TAVO_FRAMEWORK_OBJECT",
                           "_TAVO_SELECTION", "INCR",    "UTF8_STRING"};
    Atom atoms[std::size(names)] = {};
    XInternAtoms(mDisplay, const_cast<char**>(names), int(std::size(names)), False, atoms);
    mClipboard = atoms[0];
    mTargets = atoms[1];
    mPrivateTarget = atoms[2];
    mTransfer = atoms[3];
    mIncr = atoms[4];
    mUtf8 = atoms[5];
}

void XClipboard::Lose() const
{
    mOwns = false;
    mPrivate = false;
    mText.clear();
    ++mSequence;
    Event e;
    e.type = EventType::ClipboardLost;
    mLostNotices.push_back(std::move(e));
}

bool XClipboard::Owns() const
{
    if (mOwns && XGetSelectionOwner(mDisplay, mClipboard) != mUtility)
        Lose();
    return mOwns;
}

void XClipboard::Own(Time time)
{
    XSetSelectionOwner(mDisplay, mClipboard, mUtility, time);
    mOwns = XGetSelectionOwner(mDisplay, mClipboard) == mUtility;
    ++mSequence;
}

bool XClipboard::SetText(const std::u16string& text, Time time)
{
    mText = text;
    mPrivate = false;
    Own(time);
    return mOwns;
}

bool XClipboard::SetPrivate(Time time)
{
    mText.clear();
    mPrivate = true;
    Own(time);
    return mOwns;
}

void XClipboard::OnSelectionClear(const XSelectionClearEvent& clear)
{
    if (clear.selection == mClipboard && mOwns)
        Lose();
}

void XClipboard::OnSelectionRequest(const XSelectionRequestEvent& request)
{
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.time = request.time;
    reply.property = None;
    // Old clients name no property: the target stands for it.
    const Atom property = request.property != None ? request.property : request.target;
    const bool ours = request.selection == mClipboard && mOwns && request.owner == mUtility;
    const bool hasText = ours && !mPrivate;
    const long maxBytes = std::max(XExtendedMaxRequestSize(mDisplay), XMaxRequestSize(mDisplay)) * 4 - 1024;

    auto put = [&](Atom type, int format, const void* data, int count) {
        XChangeProperty(mDisplay, request.requestor, property, type, format, PropModeReplace,
                        static_cast<const unsigned char*>(data), count);
        reply.property = property;
    };
    if (ours && request.target == mTargets) {
        std::vector<long> targets{long(mTargets)};
        if (mPrivate)
            targets.push_back(long(mPrivateTarget));
        if (hasText) {
            targets.push_back(long(mUtf8));
            if (ToLatin1(mText))
                targets.push_back(long(XA_STRING));
        }
        put(XA_ATOM, 32, targets.data(), int(targets.size()));
    } else if (hasText && request.target == mUtf8) {
        const std::string bytes = ToUtf8(mText);
        if (long(bytes.size()) <= maxBytes)
            put(mUtf8, 8, bytes.data(), int(bytes.size()));
    } else if (hasText && request.target == XA_STRING) {
        // Latin-1 only: a text it cannot carry is refused, never mangled.
        if (auto latin = ToLatin1(mText); latin && long(latin->size()) <= maxBytes)
            put(XA_STRING, 8, latin->data(), int(latin->size()));
    } else if (ours && mPrivate && request.target == mPrivateTarget) {
        // The object itself never leaves the program.
        put(mPrivateTarget, 8, "", 0);
    }
    XSendEvent(mDisplay, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
    XFlush(mDisplay);
}

bool XClipboard::WaitForSelection(Atom target, uint64_t deadlineMs, Time time,
                                  std::optional<std::string>& bytes)
{
    XDeleteProperty(mDisplay, mUtility, mTransfer);
    XConvertSelection(mDisplay, mClipboard, target, mTransfer, mUtility, time);
    XFlush(mDisplay);
    for (;;) {
        XEvent xe;
        if (XCheckTypedWindowEvent(mDisplay, mUtility, SelectionNotify, &xe)) {
            if (xe.xselection.selection != mClipboard || xe.xselection.target != target)
                continue;
            if (xe.xselection.property == None)
                return true;  // the owner has no such target
            Atom type = None;
            int format = 0;
            unsigned long count = 0, after = 0;
            unsigned char* data = nullptr;
            const long maxLongs = long(kMaxForeignClipboardBytes / 4) + 1;
            if (XGetWindowProperty(mDisplay, mUtility, mTransfer, 0, maxLongs, True, AnyPropertyType, &type,
                                   &format, &count, &after, &data) == Success) {
                // Incremental transfers are only used for huge data: refused.
                if (data && type != mIncr && format == 8 && after == 0 && count <= kMaxForeignClipboardBytes)
                    bytes = std::string(reinterpret_cast<const char*>(data), count);
            }
            if (data)
                XFree(data);
            XDeleteProperty(mDisplay, mUtility, mTransfer);
            return true;
        }
        // Other traffic meanwhile is kept for the loop; requests for our own
        // selection are answered so that two copies cannot wait on each other.
        while (XPending(mDisplay) > 0) {
            XEvent other;
            XPeekEvent(mDisplay, &other);
            if (other.type == SelectionNotify && other.xselection.requestor == mUtility)
                break;
            XNextEvent(mDisplay, &other);
            mOther(other);
        }
        if (XCheckTypedWindowEvent(mDisplay, mUtility, SelectionNotify, &xe)) {
            XPutBackEvent(mDisplay, &xe);
            continue;
        }
        const uint64_t now = NowMs();
        if (now >= deadlineMs)
            return false;
        pollfd p{ConnectionNumber(mDisplay), POLLIN, 0};
        poll(&p, 1, int(deadlineMs - now));
    }
}

std::optional<std::u16string> XClipboard::ReadText(uint32_t timeoutMs, Time time)
{
    if (Owns())
        return mPrivate ? std::nullopt : std::optional<std::u16string>(mText);
    if (XGetSelectionOwner(mDisplay, mClipboard) == None)
        return std::nullopt;
    const uint64_t deadline = NowMs() + timeoutMs;
    std::optional<std::string> bytes;
    if (!WaitForSelection(mUtf8, deadline, time, bytes))
        return std::nullopt;
    if (bytes)
        return DecodeForeignUtf8(*bytes, kMaxForeignClipboardBytes);
    if (!WaitForSelection(XA_STRING, deadline, time, bytes) || !bytes)
        return std::nullopt;
    return FromLatin1(*bytes);
}

}  // namespace Tavo::Platform::Window
