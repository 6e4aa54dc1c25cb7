#include "Platform/Window/FakeWindowSystem.h"

#include <algorithm>

namespace Tavo::Platform::Window {

FakeWindowSystem::FakeWindow* FakeWindowSystem::Find(WindowId window)
{
    auto it = mWindows.find(window);
    return it == mWindows.end() ? nullptr : &it->second;
}

WindowId FakeWindowSystem::CreateWindow(const WindowParams& params)
{
    const WindowId id = mNext++;
    FakeWindow& w = mWindows[id];
    w.params = params;
    w.client = params.rect;
    w.client.width = std::max(1, w.client.width);
    w.client.height = std::max(1, w.client.height);
    w.pixels.assign(size_t(w.client.width) * size_t(w.client.height), 0);
    return id;
}

void FakeWindowSystem::Show(WindowId window, bool show)
{
    if (FakeWindow* w = Find(window)) {
        w->shown = show;
        Event e;
        e.type = show ? EventType::Map : EventType::Unmap;
        e.window = window;
        mQueue.push_back(e);
        if (show) {
            e.type = EventType::Exposed;
            e.rect = Rect{0, 0, w->client.width, w->client.height};
            mQueue.push_back(e);
        }
    }
}

bool FakeWindowSystem::IsShown(WindowId window) const
{
    auto it = mWindows.find(window);
    return it != mWindows.end() && it->second.shown;
}

void FakeWindowSystem::SetTitle(WindowId window, const std::string& utf8)
{
    if (FakeWindow* w = Find(window))
        w->params.title = utf8;
}

void FakeWindowSystem::SetIcon(WindowId window, int32_t width, int32_t height, const uint32_t* argb)
{
    if (FakeWindow* w = Find(window))
        w->icon.assign(argb, argb + size_t(std::max(0, width)) * size_t(std::max(0, height)));
}

void FakeWindowSystem::SetSizeLimits(WindowId window, int32_t minWidth, int32_t minHeight, int32_t maxWidth,
                                     int32_t maxHeight)
{
    if (FakeWindow* w = Find(window)) {
        w->params.minWidth = minWidth;
        w->params.minHeight = minHeight;
        w->params.maxWidth = maxWidth;
        w->params.maxHeight = maxHeight;
    }
}

void FakeWindowSystem::MoveResize(WindowId window, const Rect& client)
{
    FakeWindow* w = Find(window);
    if (!w)
        return;
    const bool resized = client.width != w->client.width || client.height != w->client.height;
    w->client = client;
    w->client.width = std::max(1, client.width);
    w->client.height = std::max(1, client.height);
    if (resized)
        w->pixels.assign(size_t(w->client.width) * size_t(w->client.height), 0);
    Event e;
    e.type = EventType::Configure;
    e.window = window;
    e.rect = w->client;
    mQueue.push_back(e);
}

Rect FakeWindowSystem::GetClientRect(WindowId window) const
{
    auto it = mWindows.find(window);
    return it == mWindows.end() ? Rect{} : it->second.client;
}

void FakeWindowSystem::QueryPointer(int32_t& rootX, int32_t& rootY, uint32_t& buttons,
                                    uint32_t& modifiers) const
{
    rootX = pointerX;
    rootY = pointerY;
    buttons = pointerButtons;
    modifiers = pointerModifiers;
}

bool FakeWindowSystem::IsKeyDown(uint32_t virtualKey) const
{
    return std::find(keysDown.begin(), keysDown.end(), virtualKey) != keysDown.end();
}

bool FakeWindowSystem::WarpPointer(int32_t rootX, int32_t rootY)
{
    pointerX = rootX;
    pointerY = rootY;
    return true;
}

bool FakeWindowSystem::GrabPointer(WindowId window)
{
    grabbed = window;
    return true;
}

CursorId FakeWindowSystem::LoadCursor(const std::string& name)
{
    auto it = std::find(mCursorNames.begin(), mCursorNames.end(), name);
    if (it != mCursorNames.end())
        return CursorId(it - mCursorNames.begin()) + 1;
    mCursorNames.push_back(name);
    return mCursorNames.size();
}

std::string FakeWindowSystem::CursorName(CursorId cursor) const
{
    return cursor >= 1 && cursor <= mCursorNames.size() ? mCursorNames[cursor - 1] : std::string();
}

void FakeWindowSystem::SetCursor(WindowId window, CursorId cursor)
{
    if (FakeWindow* w = Find(window))
        w->cursor = cursor;
}

void FakeWindowSystem::Present(WindowId window, const PixelView& image, const Rect* rects, size_t count)
{
    FakeWindow* w = Find(window);
    if (!w)
        return;
    for (size_t i = 0; i < count; ++i) {
        const Rect& r = rects[i];
        w->presented.push_back(r);
        for (int32_t y = std::max(0, r.y); y < std::min({r.y + r.height, image.height, w->client.height});
             ++y) {
            for (int32_t x = std::max(0, r.x); x < std::min({r.x + r.width, image.width, w->client.width});
                 ++x)
                w->pixels[size_t(y) * size_t(w->client.width) + size_t(x)] =
                    image.pixels[size_t(y) * size_t(image.stride) + size_t(x)];
        }
    }
}

bool FakeWindowSystem::NextEvent(Event& event)
{
    if (mQueue.empty())
        return false;
    event = mQueue.front();
    mQueue.pop_front();
    return true;
}

void FakeWindowSystem::SetForeignClipboard(std::optional<std::u16string> text)
{
    mForeign = std::move(text);
    if (mOwns) {
        mOwns = false;
        Event e;
        e.type = EventType::ClipboardLost;
        mQueue.push_back(e);
    }
    ++mSequence;
}

bool FakeWindowSystem::SetClipboardText(WindowId, const std::u16string& text)
{
    mOwns = true;
    mPrivate = false;
    mText = text;
    ++mSequence;
    return true;
}

bool FakeWindowSystem::SetClipboardPrivate(WindowId)
{
    mOwns = true;
    mPrivate = true;
    mText.clear();
    ++mSequence;
    return true;
}

std::optional<std::u16string> FakeWindowSystem::ReadClipboardText(uint32_t)
{
    if (mOwns)
        return mPrivate ? std::nullopt : std::optional<std::u16string>(mText);
    return mForeign;
}

}  // namespace Tavo::Platform::Window
