#pragma once

#include "Platform/Window/WindowSystem.h"

#include <map>
#include <vector>

namespace Tavo::Platform::Window {

// Windows in memory: tests inject events and read back what the code asked
// of the window system (rectangles presented, cursors, focus, clipboard).
class FakeWindowSystem final : public IWindowSystem
{
public:
    struct FakeWindow
    {
        WindowParams params;
        Rect client;
        bool shown = false;
        bool keepAbove = false;
        CursorId cursor = 0;
        std::vector<uint32_t> icon;
        std::vector<Rect> presented;   // every rectangle copied, in order
        std::vector<uint32_t> pixels;  // what the window shows
    };

    // Queues an event for NextEvent.
    void Inject(const Event& event) { mQueue.push_back(event); }
    FakeWindow* Find(WindowId window);
    // What another program put on the clipboard; takes it from us.
    void SetForeignClipboard(std::optional<std::u16string> text);

    Rect workArea{0, 0, 1280, 1000};
    Rect screen{0, 0, 1280, 1024};
    double dpi = 96.0;
    int32_t pointerX = 0, pointerY = 0;
    uint32_t pointerButtons = 0, pointerModifiers = 0;
    std::vector<uint32_t> keysDown;
    WindowId grabbed = 0;

    WindowId CreateWindow(const WindowParams& params) override;
    void DestroyWindow(WindowId window) override { mWindows.erase(window); }
    void Show(WindowId window, bool show) override;
    bool IsShown(WindowId window) const override;
    void SetTitle(WindowId window, const std::string& utf8) override;
    void SetIcon(WindowId window, int32_t width, int32_t height, const uint32_t* argb) override;
    void SetSizeLimits(WindowId window, int32_t minWidth, int32_t minHeight, int32_t maxWidth,
                       int32_t maxHeight) override;
    void MoveResize(WindowId window, const Rect& client) override;
    Rect GetClientRect(WindowId window) const override;
    Rect GetFrameExtents(WindowId) const override { return {}; }
    Rect GetWorkArea() const override { return workArea; }
    Rect GetScreenRect() const override { return screen; }
    double GetDpi() const override { return dpi; }
    void Activate(WindowId window) override { mFocus = window; }
    void SetFocus(WindowId window) override { mFocus = window; }
    WindowId GetFocusWindow() const override { return mFocus; }
    void SetKeepAbove(WindowId window, bool above) override
    {
        if (FakeWindow* w = Find(window))
            w->keepAbove = above;
    }
    void QueryPointer(int32_t& rootX, int32_t& rootY, uint32_t& buttons, uint32_t& modifiers) const override;
    bool IsKeyDown(uint32_t virtualKey) const override;
    bool WarpPointer(int32_t rootX, int32_t rootY) override;
    bool GrabPointer(WindowId window) override;
    void UngrabPointer() override { grabbed = 0; }
    CursorId LoadCursor(const std::string& name) override;
    // The theme name a cursor was loaded by.
    std::string CursorName(CursorId cursor) const;
    void SetCursor(WindowId window, CursorId cursor) override;
    void Present(WindowId window, const PixelView& image, const Rect* rects, size_t count) override;
    int GetFd() const override { return -1; }
    bool NextEvent(Event& event) override;
    bool HasBufferedEvents() const override { return !mQueue.empty(); }
    void Flush() override {}
    void Sync() override {}
    bool SetClipboardText(WindowId owner, const std::u16string& text) override;
    bool SetClipboardPrivate(WindowId owner) override;
    bool OwnsClipboard() const override { return mOwns; }
    uint32_t GetClipboardSequence() const override { return mSequence; }
    bool ClipboardHasPrivate() const override { return mOwns && mPrivate; }
    std::optional<std::u16string> ReadClipboardText(uint32_t timeoutMs) override;

private:
    std::map<WindowId, FakeWindow> mWindows;
    std::deque<Event> mQueue;
    WindowId mNext = 1;
    WindowId mFocus = 0;
    std::vector<std::string> mCursorNames;
    bool mOwns = false;
    bool mPrivate = false;
    std::u16string mText;
    std::optional<std::u16string> mForeign;
    uint32_t mSequence = 1;
};

}  // namespace Tavo::Platform::Window
