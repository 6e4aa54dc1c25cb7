#pragma once

#include "Renderer/Font.h"
#include "Renderer/Renderer.h"
#include "TestRenderHost.h"

namespace Tavo::Test {

class FakeContext : public LRenderContextInfo
{
public:
    FakeContext() : LRenderContextInfo({0, 0, 100, 100}, nullptr, 0) {}
    RectT<int32_t> GetMaxViewportSize() override { return {0, 0, 4096, 4096}; }
};

// Draws nothing; counts the calls the state logic and fonts make.
class FakeRenderer : public LRenderer
{
public:
    int metricsCalls = 0;
    int translateCalls = 0;

    int32_t GetFontMetrics(const RCPtr<LFont>&, int32_t& lineHeight, int32_t& top, int32_t& descent) override
    {
        ++metricsCalls;
        lineHeight = 15;
        top = -12;
        descent = 3;
        return 0;
    }
    RectT<float> MeasureString(const WString& text, const RCPtr<LFont>&) override
    {
        return {0, -12, 7.0f * static_cast<float>(text.GetLength()), 15};
    }
    int32_t GetRendererType() override { return 99; }
    TavoResult InitRenderContextInfo(const RectT<int32_t>&, WindowHandle, bool,
                                     RCPtr<LRenderContextInfo>& context) override
    {
        context = RCPtr<LRenderContextInfo>(new FakeContext());
        return S_OK;
    }
    void DrawText(const WString&, const RCPtr<LFont>&, const PointT<int32_t>&, const ColorRGBA&) override {}
    void DrawRect(const RectT<int32_t>&, const ColorRGBA&, float) override {}
    void FillRect(const RectT<int32_t>&, const ColorRGBA&, bool) override {}
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
        return S_OK;
    }
    TavoResult ClearAndDrawBitmap(const RCPtr<LRenderContextInfo>&, const PointT<int32_t>&) override
    {
        return S_OK;
    }
    int32_t Translate(const PointT<double>& offset) override
    {
        ++translateCalls;
        return LRenderer::Translate(offset);
    }
};

}  // namespace Tavo::Test
