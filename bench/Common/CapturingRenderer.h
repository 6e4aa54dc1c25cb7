#pragma once

// What the control benchmarks draw with: a renderer that writes down each
// call in window coordinates while drawing it, and a render host measuring
// with the drawing back end, as in the program.

#include "Renderer/Gdi/GDIRenderer.h"
#include "Renderer/RenderHost.h"
#include "Utilities/Geometry/Rect.h"

#include <functional>
#include <vector>

namespace Tavo {

// Writes down what the tree draws, in window coordinates, while drawing it.
class CapturingRenderer : public LGDIRenderer
{
public:
    std::vector<std::function<void(LRenderer&)>> calls;

    void FillRect(const RectT<int32_t>& r, const ColorRGBA& c, bool blend) override
    {
        const RectT<int32_t> w = Moved(r);
        calls.push_back([=](LRenderer& to) { to.FillRect(w, c, blend); });
        LGDIRenderer::FillRect(r, c, blend);
    }
    void DrawBitmap(const RCPtr<LBitmap>& b, const RectT<int32_t>& r, int32_t resize) override
    {
        const RectT<int32_t> w = Moved(r);
        calls.push_back([=](LRenderer& to) { to.DrawBitmap(b, w, resize); });
        LGDIRenderer::DrawBitmap(b, r, resize);
    }
    void DrawText(const WString& text, const RCPtr<LFont>& font, const PointT<int32_t>& p,
                  const ColorRGBA& c) override
    {
        const RectT<int32_t> w = Moved({p.x, p.y, 0, 0});
        calls.push_back([=](LRenderer& to) { to.DrawText(text, font, {w.x, w.y}, c); });
        LGDIRenderer::DrawText(text, font, p, c);
    }

private:
    RectT<int32_t> Moved(const RectT<int32_t>& r) const
    {
        const PointT<double> t = GetCurrentContext()->state.translation;
        return {r.x + RoundToInt32(t.x), r.y + RoundToInt32(t.y), r.width, r.height};
    }
};

// Text measures with the drawing back end, as in the program.
class BenchHost : public IRenderHost
{
public:
    RCPtr<LMeasurementRenderer> measurer{new LGDIRenderer()};
    RCPtr<LMeasurementRenderer> GetMeasurementRenderer() override { return measurer; }
    TavoResult GetDefaultFont(WString&, float&, int32_t&) override { return E_FAIL; }
};

}  // namespace Tavo
