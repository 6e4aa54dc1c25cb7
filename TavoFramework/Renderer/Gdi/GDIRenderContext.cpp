#include "Renderer/Gdi/GDIRenderContext.h"

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
    if (!mBitmap)
        return {0, 0};
    return {mBitmap->Width(), mBitmap->Height()};
}

void LGDIRendererOffscreenSurface::DrawTo(Platform::Graphics::Graphics& target,
                                          const PointT<int32_t>& position, const RectT<int32_t>& source) const
{
    if (mBitmap)
        target.DrawSurface(*mBitmap, position.x, position.y, source.x, source.y, source.width, source.height);
}

LGDIRenderContextInfo::LGDIRenderContextInfo(const RectT<int32_t>& viewport, WindowHandle window,
                                             bool offscreen)
    : LRenderContextInfo(viewport, window, offscreen ? 1 : 0)
{
    const PointT<int32_t> size{viewport.width, viewport.height};
    mDrawing = LGDIRendererOffscreenSurface::Create(size, window);
    mSpare = LGDIRendererOffscreenSurface::Create(size, window);
}

LGDIRenderContextInfo::~LGDIRenderContextInfo()
{
    mSpare = nullptr;
    mDrawing = nullptr;
}

void LGDIRenderContextInfo::PrepareSurfaces()
{
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
    Platform::Graphics::Surface* windowSurface = window->GetWindowSurface();
    if (!windowSurface)
        return;
    Platform::Graphics::Graphics target(*windowSurface);
    Array<RectT<int32_t>> rects;
    dirtyRegion.CopyToArray(rects);
    std::vector<Platform::Graphics::PixelRect> copied;
    copied.reserve(rects.GetCount());
    for (uint32_t i = rects.GetCount(); i-- > 0;) {
        mDrawing->DrawTo(target, {rects[i].x, rects[i].y}, rects[i]);
        copied.push_back({rects[i].x, rects[i].y, rects[i].width, rects[i].height});
    }
    target.Flush();
    window->SurfaceUpdated(copied.data(), copied.size());
}

}  // namespace Tavo
