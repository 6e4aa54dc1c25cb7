#pragma once

#include "Platform/Graphics/Graphics.h"
#include "Renderer/Renderer.h"

#include <memory>

namespace Tavo {

// One offscreen bitmap with the graphics that draws into it.
class LGDIRendererOffscreenSurface : public virtual LRefCountedObject
{
public:
    static RCPtr<LGDIRendererOffscreenSurface> Create(const PointT<int32_t>& size, WindowHandle window);

    // Makes the bitmap anew; sizes below 1 become 1. A size the platform
    // cannot hold leaves the surface without a bitmap. Returns 0.
    TavoResult Resize(const PointT<int32_t>& size);
    // Draws into another's bitmap (the window's) instead of its own, with
    // fresh graphics kept within the rectangles; null lets it go.
    void Borrow(Platform::Graphics::Surface* bitmap, const Platform::Graphics::PixelRect* within = nullptr,
                size_t count = 0);
    bool IsBorrowed() const { return mBorrowed != nullptr; }
    // Resets the graphics' translation and clip, and clears the bitmap when
    // asked, as a fresh surface of the same size would have them.
    void Reset(bool clear);
    PointT<int32_t> GetSize() const;
    void DrawTo(Platform::Graphics::Graphics& target, const PointT<int32_t>& position,
                const RectT<int32_t>& source) const;

    Platform::Graphics::Graphics* GetGraphics() const { return mGraphics.get(); }
    Platform::Graphics::Surface* GetBitmap() const { return mBorrowed ? mBorrowed : mBitmap.get(); }

private:
    explicit LGDIRendererOffscreenSurface(WindowHandle window) : mWindow(window) {}

    WindowHandle mWindow;
    std::unique_ptr<Platform::Graphics::Surface> mBitmap;
    Platform::Graphics::Surface* mBorrowed = nullptr;
    std::unique_ptr<Platform::Graphics::Graphics> mGraphics;
};

// A target painted through offscreen surfaces. A context on a window draws
// straight into the window's surface, kept within the dirty rectangles,
// while that surface has the viewport's size; otherwise it draws offscreen
// and copies its dirty rectangles there when a paint ends.
class LGDIRenderContextInfo : public LRenderContextInfo
{
public:
    LGDIRenderContextInfo(const RectT<int32_t>& viewport, WindowHandle window, bool offscreen);
    ~LGDIRenderContextInfo() override;
    RectT<int32_t> GetMaxViewportSize() override { return {0, 0, 4096, 4096}; }

    // Null while the drawing surface has no bitmap.
    Platform::Graphics::Graphics* GetGraphics() const { return mDrawing->GetGraphics(); }
    const RCPtr<LGDIRendererOffscreenSurface>& GetSurface() const { return mDrawing; }
    void SwapSurfaces() { std::swap(mDrawing, mSpare); }
    // Makes both surfaces anew on a size change; a full-viewport repaint
    // clears them instead.
    void PrepareSurfaces();
    // Replaces pixels outright, in surface pixels: on the window's surface
    // only within the dirty rectangles.
    void FillPixels(const RectT<int32_t>& rect, uint32_t argb);
    // Flushes, then copies the dirty rectangles to the window (not for offscreen).
    void Present();
    bool IsOffscreen() const { return flag != 0; }

private:
    RCPtr<LGDIRendererOffscreenSurface> mDrawing;
    RCPtr<LGDIRendererOffscreenSurface> mSpare;
};

}  // namespace Tavo
