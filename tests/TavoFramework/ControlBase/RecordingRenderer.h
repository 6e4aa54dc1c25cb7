#pragma once

#include "Renderer/Bitmap.h"
#include "tests/TavoFramework/Renderer/FakeRenderer.h"
#include "tests/TavoFramework/Renderer/TestRenderHost.h"

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace Tavo {
inline void PrintTo(const RectT<double>& r, std::ostream* os)
{
    *os << r.x << "," << r.y << " " << r.width << "x" << r.height;
}
}  // namespace Tavo

namespace Tavo::Test {

// Writes down every fill, image and text as "Fill 10,20 5x5 FF00FF00 clip
// 10,20 5x5": rectangle and clip in window coordinates, whole pixels.
class RecordingRenderer : public FakeRenderer
{
public:
    std::vector<std::string> calls;
    RCPtr<LRenderContextInfo> context{new FakeContext()};

    // A frame with one saved state, as a window's paint starts it.
    void Begin() { RenderStart(context), PushState(); }
    void End() { PopState(), RenderFinish(context); }

    void DrawText(const WString& text, const RCPtr<LFont>&, const PointT<int32_t>& p,
                  const ColorRGBA& c) override
    {
        Record("Text '" + std::string(NString(text).c_str()) + "'", {p.x, p.y, 0, 0}, c.ToARGB());
    }
    void FillRect(const RectT<int32_t>& r, const ColorRGBA& c, bool) override
    {
        Record("Fill", r, c.ToARGB());
    }
    void DrawBitmap(const RCPtr<LBitmap>& b, const RectT<int32_t>& r, int32_t resize) override
    {
        Record("Bitmap" + std::to_string(resize), r, b ? b->GetPixelColor(0, 0).ToARGB() : 0);
    }

private:
    void Record(const std::string& what, const RectT<int32_t>& r, uint32_t argb)
    {
        const RenderState& s = GetCurrentContext()->state;
        const int32_t tx = RoundToInt32(s.translation.x), ty = RoundToInt32(s.translation.y);
        char text[160];
        std::snprintf(text, sizeof text, "%s %d,%d %dx%d %08X clip %d,%d %dx%d", what.c_str(), r.x + tx,
                      r.y + ty, r.width, r.height, argb, RoundToInt32(s.clip.x + s.translation.x),
                      RoundToInt32(s.clip.y + s.translation.y), RoundToInt32(s.clip.width),
                      RoundToInt32(s.clip.height));
        calls.emplace_back(text);
    }
};

// Installs a recording renderer as the fonts' measurer: 7 x 15 pixels a character.
inline void MeasureWithFixedWidths()
{
    static auto* host = new TestRenderHost();
    if (!host->measurer)
        host->measurer = RCPtr<LMeasurementRenderer>(new RecordingRenderer());
}

}  // namespace Tavo::Test
