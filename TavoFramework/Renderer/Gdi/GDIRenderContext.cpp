#include "Renderer/Gdi/GDIRenderContext.h"

#include <algorithm>
#include <vector>

namespace Tavo {

RCPtr<LGDIRendererOffscreenSurface> LGDIRendererOffscreenSurface::Create(const PointT<int32_t>& size,
                                                                         WindowHandle window)
{
    RCPtr<LGDIRendererOffscreenSurface> surface(new LGDIRendererOffscreenSurface(window));
    surface->Resize(size);
    return surface;
}

TavoResult LGDIRendererOffscreenSurface::Resize(const PointT<int32_t>& size)
{
    mGraphics.reset();
    mBitmap.reset();
    mBorrowed = nullptr;
    // Surfaces are always 32-bit ARGB, window or not.
    (void)mWindow;
    try {
        mBitmap = std::make_unique<Platform::Graphics::Surface>(size.x, size.y);
        mGraphics = std::make_unique<Platform::Graphics::Graphics>(*mBitmap);
    } catch (const Platform::Graphics::SurfaceError&) {
        // GetSize answers (0, 0), so the next PrepareSurfaces tries again.
    }
    return S_OK;
}

void LGDIRendererOffscreenSurface::Borrow(Platform::Graphics::Surface* bitmap,
                                          const Platform::Graphics::PixelRect* within, size_t count)
{
    mGraphics.reset();
    mBorrowed = bitmap;
    if (bitmap) {
        mGraphics = std::make_unique<Platform::Graphics::Graphics>(*bitmap);
        mGraphics->SetBaseClip(within, count);
    } else if (mBitmap) {
        mGraphics = std::make_unique<Platform::Graphics::Graphics>(*mBitmap);
    }
}

void LGDIRendererOffscreenSurface::Reset(bool clear)
{
    if (!mBitmap)
        return;
    mGraphics->Reset();
    if (clear)
        mBitmap->Clear();
}

PointT<int32_t> LGDIRendererOffscreenSurface::GetSize() const
{
    const Platform::Graphics::Surface* bitmap = GetBitmap();
    if (!bitmap)
        return {0, 0};
    return {bitmap->Width(), bitmap->Height()};
}

void LGDIRendererOffscreenSurface::DrawTo(Platform::Graphics::Graphics& target,
                                          const PointT<int32_t>& position, const RectT<int32_t>& source) const
{
    if (const Platform::Graphics::Surface* bitmap = GetBitmap())
        target.DrawSurface(*bitmap, position.x, position.y, source.x, source.y, source.width, source.height);
}

LGDIRenderContextInfo::LGDIRenderContextInfo(const RectT<int32_t>& viewport, WindowHandle window,
                                             bool offscreen)
    : LRenderContextInfo(viewport, window, offscreen ? 1 : 0)
{
    // A window's context draws into the window's surface: bitmaps of its
    // own are made only when that surface does not fit.
    const PointT<int32_t> size =
        window && !offscreen ? PointT<int32_t>{1, 1} : PointT<int32_t>{viewport.width, viewport.height};
    mDrawing = LGDIRendererOffscreenSurface::Create(size, window);
    mSpare = LGDIRendererOffscreenSurface::Create(size, window);
}

LGDIRenderContextInfo::~LGDIRenderContextInfo()
{
    mSpare = nullptr;
    mDrawing = nullptr;
}

namespace {

std::vector<Platform::Graphics::PixelRect> PixelRects(const RectRegion& region)
{
    Array<RectT<int32_t>> rects;
    region.CopyToArray(rects);
    std::vector<Platform::Graphics::PixelRect> pixels;
    pixels.reserve(rects.GetCount());
    for (uint32_t i = rects.GetCount(); i-- > 0;)
        pixels.push_back({rects[i].x, rects[i].y, rects[i].width, rects[i].height});
    return pixels;
}

}  // namespace

void LGDIRenderContextInfo::PrepareSurfaces()
{
    if (!IsOffscreen() && window) {
        Platform::Graphics::Surface* shown = window->GetWindowSurface();
        if (shown && shown->Width() == viewport.width && shown->Height() == viewport.height) {
            // Drawn over what the window shows, only where it is dirty, as a
            // frame drawn offscreen and copied over would leave it.
            std::vector<Platform::Graphics::PixelRect> within = PixelRects(dirtyRegion);
            if (within.empty())
                within.push_back({0, 0, 0, 0});
            mDrawing->Borrow(shown, within.data(), within.size());
            return;
        }
        mDrawing->Borrow(nullptr);
    }
    const PointT<int32_t> size = mDrawing->GetSize();
    if (size.x == viewport.width && size.y == viewport.height) {
        RectT<int32_t> bounds;
        const bool whole =
            dirtyRegion.GetRectCount() == 1 && dirtyRegion.GetBounds(bounds) && bounds == viewport;
        if (!whole)
            return;
        // A full repaint starts from cleared surfaces; reallocating them would cost more than drawing.
        mDrawing->Reset(true);
        // The spare is cleared whenever it takes over (ClearAndDrawBitmap).
        mSpare->Reset(false);
        return;
    }
    mDrawing->Resize({viewport.width, viewport.height});
    mSpare->Resize({viewport.width, viewport.height});
}

void LGDIRenderContextInfo::Present()
{
    if (GetGraphics())
        GetGraphics()->Flush();
    if (IsOffscreen() || !window)
        return;
    const std::vector<Platform::Graphics::PixelRect> rects = PixelRects(dirtyRegion);
    if (mDrawing->IsBorrowed()) {
        // Let go before the window may make its surface anew.
        mDrawing->Borrow(nullptr);
        window->SurfaceUpdated(rects.data(), rects.size());
        return;
    }
    Platform::Graphics::Surface* windowSurface = window->GetWindowSurface();
    if (!windowSurface)
        return;
    Platform::Graphics::Graphics target(*windowSurface);
    for (const Platform::Graphics::PixelRect& r : rects)
        mDrawing->DrawTo(target, {r.x, r.y}, {r.x, r.y, r.width, r.height});
    target.Flush();
    window->SurfaceUpdated(rects.data(), rects.size());
}

void LGDIRenderContextInfo::FillPixels(const RectT<int32_t>& rect, uint32_t argb)
{
    Platform::Graphics::Surface* bitmap = mDrawing->GetBitmap();
    if (!bitmap)
        return;
    if (!mDrawing->IsBorrowed()) {
        bitmap->Fill(rect.x, rect.y, rect.width, rect.height, argb);
        return;
    }
    for (const Platform::Graphics::PixelRect& r : PixelRects(dirtyRegion)) {
        const int32_t x0 = std::max(rect.x, r.x), y0 = std::max(rect.y, r.y);
        const int32_t x1 = std::min(rect.x + rect.width, r.x + r.width);
        const int32_t y1 = std::min(rect.y + rect.height, r.y + r.height);
        if (x1 > x0 && y1 > y0)
            bitmap->Fill(x0, y0, x1 - x0, y1 - y0, argb);
    }
}

}  // namespace Tavo
