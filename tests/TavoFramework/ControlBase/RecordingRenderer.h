#pragma once

#include "Renderer/Bitmap.h"
#include "Renderer/Renderer.h"

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace Tavo::Test
{

// A renderer that draws nothing and writes down every drawing call, with
// rectangles in window coordinates, so tests can compare what was drawn and
// in which order. Measures every character 7 x 15 pixels.
class RecordingRenderer : public LRenderer
{
public:
    class Context : public LRenderContextInfo
    {
    public:
        Context() : LRenderContextInfo({0, 0, 1000, 1000}, nullptr, 0) {}
        RectT<int32_t> GetMaxViewportSize() override { return {0, 0, 4096, 4096}; }
    };

    std::vector<std::string> calls;
    RCPtr<LRenderContextInfo> context{new Context()};

    // Starts a frame with one saved state, as a window's paint does.
    void Begin()
    {
        RenderStart(context);
        PushState();
    }
    void End()
    {
        PopState();
        RenderFinish(context);
    }

    int32_t GetFontMetrics(const RCPtr<LFont>&, int32_t& lineHeight, int32_t& top, int32_t& descent) override
    {
        lineHeight = 15;
        top = -12;
        descent = 3;
        return 0;
    }
    RectT<float> MeasureString(const WString& text, const RCPtr<LFont>&) override
    {
        return {0, -12, 7.0f * static_cast<float>(text.GetLength()), 15};
    }
    int32_t GetRendererType() override { return 98; }
    TavoResult InitRenderContextInfo(const RectT<int32_t>&, WindowHandle, bool,
                                     RCPtr<LRenderContextInfo>& c) override
    {
        c = RCPtr<LRenderContextInfo>(new Context());
        return S_OK;
    }
    void DrawText(const WString& text, const RCPtr<LFont>&, const PointT<int32_t>& p,
                  const ColorRGBA& c) override
    {
        Record("Text '" + std::string(NString(text).c_str()) + "'", {p.x, p.y, 0, 0}, c.ToARGB());
    }
    void DrawRect(const RectT<int32_t>& r, const ColorRGBA& c, float) override
    {
        Record("Frame", r, c.ToARGB());
    }
    void FillRect(const RectT<int32_t>& r, const ColorRGBA& c, bool) override
    {
        Record("Fill", r, c.ToARGB());
    }
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
    void DrawBitmap(const RCPtr<LBitmap>& b, const RectT<int32_t>& r, int32_t resize) override
    {
        Record("Bitmap" + std::to_string(resize), r, b ? b->GetPixelColor(0, 0).ToARGB() : 0);
    }
    TavoResult DrawBitmapRegion(const RCPtr<LRenderContextInfo>&, const PointT<int32_t>&,
                                const RectT<int32_t>&) override
    {
        return S_OK;
    }
    TavoResult ClearAndDrawBitmap(const RCPtr<LRenderContextInfo>&, const PointT<int32_t>&) override
    {
        return S_OK;
    }

    const RenderState& State() const { return GetCurrentContext()->state; }

private:
    // "Fill 10,20 5x5 FF00FF00 clip 10,20 5x5": the rectangle moved to
    // window coordinates and the clip likewise, whole pixels.
    void Record(const std::string& what, const RectT<int32_t>& r, uint32_t argb)
    {
        const RenderState& s = State();
        const RectT<double>& c = s.clip;
        char text[160];
        std::snprintf(text, sizeof text, "%s %d,%d %dx%d %08X clip %d,%d %dx%d", what.c_str(),
                      r.x + RoundToInt32(s.translation.x), r.y + RoundToInt32(s.translation.y), r.width,
                      r.height, argb, RoundToInt32(c.x + s.translation.x),
                      RoundToInt32(c.y + s.translation.y), RoundToInt32(c.width), RoundToInt32(c.height));
        calls.emplace_back(text);
    }
};

} // namespace Tavo::Test
