#pragma once

#include "Renderer/Renderer.h"

namespace Tavo {

// Context information of the Direct3D 9 renderer: it has no device, so its
// largest viewport is empty.
class LD3D9RenderContextInfo : public LRenderContextInfo
{
public:
    using LRenderContextInfo::LRenderContextInfo;
    RectT<int32_t> GetMaxViewportSize() override { return {0, 0, 0, 0}; }
};

// Renderer type 2. There is no Direct3D on this system, so it accepts every
// call and draws nothing; measuring gives zeros.
class LD3D9Renderer : public LRenderer
{
public:
    static RCPtr<LRenderer> Create();

    int32_t GetRendererType() override { return 2; }
    int32_t GetFontMetrics(const RCPtr<LFont>&, int32_t&, int32_t&, int32_t&) override { return 0; }
    RectT<float> MeasureString(const WString&, const RCPtr<LFont>&) override { return {0, 0, 0, 0}; }
    TavoResult InitRenderContextInfo(const RectT<int32_t>& viewport, WindowHandle window, bool offscreen,
                                     RCPtr<LRenderContextInfo>& context) override;
    // No context is pushed, so the inherited state operations find none and
    // do nothing.
    TavoResult RenderStart(const RCPtr<LRenderContextInfo>&) override { return S_OK; }
    TavoResult RenderFinish(const RCPtr<LRenderContextInfo>&) override { return S_OK; }
    void DrawText(const WString&, const RCPtr<LFont>&, const PointT<int32_t>&, const ColorRGBA&) override {}
    void DrawRect(const RectT<int32_t>&, const ColorRGBA&, float) override {}
    void FillRect(const RectT<int32_t>&, const ColorRGBA&, bool) override {}
    void FillAndFrameRect(const RectT<int32_t>&, const ColorRGBA&, const ColorRGBA&, float) override {}
    void FillColorRectList(const ColorRectListT<float>&, const PointT<double>&, bool) override {}
    void DrawLine(const PointT<float>&, const PointT<float>&, const ColorRGBA&, float) override {}
    void DrawLines(const PolylineT<float>&, const ColorRGBA&, const PointT<float>&, const PointT<float>&,
                   bool) override
    {
    }
    void DrawPolyline(const PolylineT<float>&, const ColorRGBA&, const PointT<float>&, const PointT<float>&,
                      bool) override
    {
    }
    void DrawPolygon(const PolylineT<float>&, const ColorRGBA&, const PointT<float>&, const PointT<float>&,
                     bool) override
    {
    }
    void FillPolygon(const PolylineT<float>&, const ColorRGBA&, const PointT<float>&, const PointT<float>&,
                     bool) override
    {
    }
    void DrawBitmap(const RCPtr<LBitmap>&, const RectT<int32_t>&, int32_t) override {}
    TavoResult DrawBitmapRegion(const RCPtr<LRenderContextInfo>&, const PointT<int32_t>&,
                                const RectT<int32_t>&) override
    {
        return E_NOTIMPL;
    }
    TavoResult ClearAndDrawBitmap(const RCPtr<LRenderContextInfo>&, const PointT<int32_t>&) override
    {
        return E_NOTIMPL;
    }
};

}  // namespace Tavo
