#include "Renderer/Gdi/GDIRenderer.h"

#include "Application/AppClock.h"
#include "Renderer/Font.h"
#include "Renderer/RenderHost.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <vector>

namespace Tavo {

namespace {

using Platform::Graphics::PathPoint;

constexpr double kPixelsPerPoint = 96.0 / 72.0;

int32_t RoundAway(float v)
{
    return static_cast<int32_t>(v < 0 ? v - 0.5f : v + 0.5f);
}

int32_t RoundClamped(double v)
{
    const double r = std::round(v);
    if (!(r >= std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    if (r > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(r);
}

double ClampShift(float v)
{
    constexpr double kLimit = 4503599627370496.0;
    return std::clamp(static_cast<double>(v), -kLimit, kLimit);
}

// What a font's face reports when no face could be loaded at all.
const Platform::Graphics::FaceMetrics kFallbackFace{"", 1000, 905, 212, 1150};

// Fonts beyond this many are dropped together; the next use makes them again.
constexpr size_t kFontCacheLimit = 512;

}  // namespace

LGDIRenderer::LGDIRenderer() : mLastPurge(GetAppClock().GetMilliseconds()) {}

LGDIRenderer::~LGDIRenderer()
{
    mCurrent = nullptr;
}

LGDIRenderer::CachedFont& LGDIRenderer::FindFont(const LFont& font)
{
    auto found = mFonts.find(font.GetId());
    if (found != mFonts.end())
        return found->second;
    if (mFonts.size() >= kFontCacheLimit)
        mFonts.clear();
    CachedFont& entry = mFonts[font.GetId()];
    const NString face(font.GetFace());
    // Sizes are points at 96 dots per inch.
    entry.text = std::make_unique<Platform::Graphics::TextFont>(
        Platform::Graphics::FontSpec{face.c_str(), font.GetSize() * kPixelsPerPoint, font.GetStyle()});
    return entry;
}

Platform::Graphics::Graphics* LGDIRenderer::Current() const
{
    Platform::Graphics::Graphics* g = mCurrent ? mCurrent->GetGraphics() : nullptr;
    if (g)
        g->SetOpacity(mCurrent->state.opacity);
    return g;
}

const Platform::Graphics::TextFont& LGDIRenderer::GetTextFont(const LFont& font)
{
    return *FindFont(font).text;
}

int32_t LGDIRenderer::GetFontMetrics(const RCPtr<LFont>& font, int32_t& lineHeight, int32_t& top,
                                     int32_t& descent)
{
    const CachedFont& entry = FindFontWithMetrics(*font);
    lineHeight = entry.lineHeight;
    top = entry.top;
    descent = entry.descent;
    return 0;
}

LGDIRenderer::CachedFont& LGDIRenderer::FindFontWithMetrics(const LFont& font)
{
    CachedFont& entry = FindFont(font);
    if (!entry.haveMetrics) {
        Platform::Graphics::FaceMetrics m = entry.text->GetFaceMetrics();
        if (m.unitsPerEm <= 0)
            m = kFallbackFace;
        // The face's unhinted design metrics at the font's size, scaled from 72
        // to 96 dots per inch and rounded away from zero unless within 0.001
        // of a whole pixel; 32-bit floats, products before the division.
        const float em = font.GetSize();
        const auto units = static_cast<float>(m.unitsPerEm);
        const float height = static_cast<float>(m.lineSpacing) * em / units;
        entry.lineHeight = RoundAway(height * 96.0f / 72.0f + 0.499f);
        entry.top = RoundAway(static_cast<float>(m.cellAscent) * em * -96.0f / (units * 72.0f) - 0.499f);
        entry.descent = RoundAway(static_cast<float>(m.cellDescent) * em * 96.0f / (units * 72.0f) + 0.499f);
        // A line always holds the whole cell.
        entry.lineHeight = std::max(entry.lineHeight, entry.descent - entry.top);
        entry.haveMetrics = true;
    }
    return entry;
}

RectT<float> LGDIRenderer::MeasureString(const WString& text, const RCPtr<LFont>& font)
{
    if (text.IsEmpty())
        return {0, 0, 0, 0};
    int32_t lineHeight = 0;
    int32_t top = 0;
    int32_t descent = 0;
    GetFontMetrics(font, lineHeight, top, descent);
    const NString utf8(text);
    double w = GetTextFont(*font).MeasureWidth(utf8.c_str());
    w = std::trunc(w + 0.9999);
    if (w > 0)
        w += 3;
    return {0, static_cast<float>(top), static_cast<float>(w), static_cast<float>(lineHeight)};
}

TavoResult LGDIRenderer::InitRenderContextInfo(const RectT<int32_t>& viewport, WindowHandle window,
                                               bool offscreen, RCPtr<LRenderContextInfo>& context)
{
    context = RCPtr<LRenderContextInfo>(new LGDIRenderContextInfo(viewport, window, offscreen));
    return context ? S_OK : E_FAIL;
}

TavoResult LGDIRenderer::RenderStart(const RCPtr<LRenderContextInfo>& context)
{
    LRenderer::RenderStart(context);
    mCurrent = RCPtr<LGDIRenderContextInfo>(dynamic_cast<LGDIRenderContextInfo*>(GetCurrentContext()));
    if (!mCurrent)
        return S_OK;
    mCurrent->PrepareSurfaces();
    mDpiScale = 1.0f;
    // The world transform is set to the context's translation rather than
    // added to it, so a translation left from an earlier paint is not doubled.
    Platform::Graphics::Graphics* g = Current();
    // A surface too large to make leaves no graphics: the frame draws
    // nothing, and the next frame tries to make the surfaces again.
    if (g && GetContextDepth() == 1) {
        const PointT<double>& t = mCurrent->state.translation;
        g->TranslateWorld(static_cast<float>(t.x) - g->WorldX(), static_cast<float>(t.y) - g->WorldY());
    }
    return S_OK;
}

TavoResult LGDIRenderer::RenderFinish(const RCPtr<LRenderContextInfo>& context)
{
    if (mCurrent)
        mCurrent->Present();
    mCurrent = nullptr;
    const TavoResult result = LRenderer::RenderFinish(context);
    if (GetContextDepth() > 0)
        mCurrent = RCPtr<LGDIRenderContextInfo>(dynamic_cast<LGDIRenderContextInfo*>(GetCurrentContext()));
    const uint32_t now = GetAppClock().GetMilliseconds();
    if (static_cast<int32_t>(now - mLastPurge) > kPurgePeriodMs) {
        mBitmaps.PurgeSinceLastMark();
        mLastPurge = now;
    }
    return result;
}

void LGDIRenderer::DrawText(const WString& text, const RCPtr<LFont>& font, const PointT<int32_t>& position,
                            const ColorRGBA& colour)
{
    Platform::Graphics::Graphics* g = Current();
    if (!g || !font || text.IsEmpty())
        return;
    const CachedFont& entry = FindFontWithMetrics(*font);
    const NString utf8(text);
    // The cell's top is one pixel above y; the baseline lies the reported ascent below it.
    const double baseline = static_cast<double>(position.y) - 1.0 - entry.top;
    g->DrawText(*entry.text, utf8.c_str(), colour.ToARGB(), position.x, baseline);
}

void LGDIRenderer::DrawRect(const RectT<int32_t>& rect, const ColorRGBA& colour, float lineWidth)
{
    if (Platform::Graphics::Graphics* g = Current())
        g->DrawRect(colour.ToARGB(), lineWidth, rect.x, rect.y, rect.width, rect.height);
}

void LGDIRenderer::FillRect(const RectT<int32_t>& rect, const ColorRGBA& colour, bool blend)
{
    Platform::Graphics::Graphics* g = Current();
    if (!g)
        return;
    if (blend) {
        g->FillRect(colour.ToARGB(), rect.x, rect.y, rect.width, rect.height);
        return;
    }
    // Surface pixels, replaced outright: no translation, clip or blending.
    mCurrent->FillPixels(rect, colour.ToARGB());
}

void LGDIRenderer::FillColorRectList(const ColorRectListT<float>& list, const PointT<double>& offset, bool)
{
    if (!Current())
        return;
    Translate(offset);
    const Array<uint32_t>& colours = list.GetColors();
    const double sx = list.GetScaleX();
    const double sy = list.GetScaleY();
    for (uint32_t i = list.GetCount(); i-- > 0;) {
        const RectT<float>& r = list[i];
        const RectT<int32_t> scaled{RoundClamped(r.x * sx), RoundClamped(r.y * sy),
                                    RoundClamped(r.width * sx), RoundClamped(r.height * sy)};
        ColorRGBA colour;
        colour.FromARGB(i < colours.GetCount() ? colours[i] : 0);
        FillRect(scaled, colour, true);
    }
    Translate({-offset.x, -offset.y});
}

void LGDIRenderer::DrawLine(const PointT<float>& from, const PointT<float>& to, const ColorRGBA& colour,
                            float lineWidth)
{
    if (Platform::Graphics::Graphics* g = Current())
        g->DrawLine(colour.ToARGB(), lineWidth, from.x, from.y, to.x, to.y);
}

void LGDIRenderer::DrawShape(PathKind kind, const PolylineT<float>& points, const ColorRGBA& colour,
                             const PointT<float>& offset, const PointT<float>& scale, bool keepCached)
{
    Platform::Graphics::Graphics* g = Current();
    if (!g)
        return;
    std::unique_ptr<Platform::Graphics::Path>& slot = mPaths.FindOrAdd(points.GetHandle());
    if (points.IsChanged()) {
        const_cast<PolylineT<float>&>(points).SetChanged(false);
        slot.reset();
    }
    if (!slot) {
        slot = std::make_unique<Platform::Graphics::Path>();
        const uint32_t n = points.GetCount();
        const auto* p = reinterpret_cast<const PathPoint*>(points.GetData());
        // A point that is not finite would leave the graphics failed for
        // every later drawing: such points are left out of the path.
        const auto finite = [](const PathPoint& q) { return std::isfinite(q.x) && std::isfinite(q.y); };
        std::vector<PathPoint> kept;
        if (kind != PathKind::Lines)
            std::copy_if(p, p + n, std::back_inserter(kept), finite);
        switch (kind) {
        case PathKind::Lines:
            for (uint32_t k = 0; k + 1 < n; k += 2) {
                if (!finite(p[k]) || !finite(p[k + 1]))
                    continue;
                slot->StartFigure();
                slot->AddLine(p[k], p[k + 1]);
            }
            break;
        case PathKind::Polyline:
            slot->AddLines(kept.data(), static_cast<uint32_t>(kept.size()));
            break;
        case PathKind::Polygon:
        case PathKind::Fill:
            slot->AddPolygon(kept.data(), static_cast<uint32_t>(kept.size()));
            break;
        }
    }
    const uint32_t argb = colour.ToARGB();
    Translate({ClampShift(offset.x), ClampShift(offset.y)});
    const float tolerance = 1.1920929e-6f;
    const bool unscaled = std::fabs(scale.x - 1) < tolerance && std::fabs(scale.y - 1) < tolerance;
    const float sx = unscaled ? 1.0f : scale.x;
    const float sy = unscaled ? 1.0f : scale.y;
    if (kind == PathKind::Fill)
        g->FillPath(argb, *slot, sx, sy);
    else
        g->DrawPath(argb, points.GetLineWidth(), *slot, sx, sy);
    Translate({-ClampShift(offset.x), -ClampShift(offset.y)});
    if (!keepCached)
        slot.reset();
}

void LGDIRenderer::DrawLines(const PolylineT<float>& lines, const ColorRGBA& colour,
                             const PointT<float>& offset, const PointT<float>& scale, bool keepCached)
{
    DrawShape(PathKind::Lines, lines, colour, offset, scale, keepCached);
}

void LGDIRenderer::DrawPolyline(const PolylineT<float>& line, const ColorRGBA& colour,
                                const PointT<float>& offset, const PointT<float>& scale, bool keepCached)
{
    DrawShape(PathKind::Polyline, line, colour, offset, scale, keepCached);
}

void LGDIRenderer::DrawPolygon(const PolylineT<float>& polygon, const ColorRGBA& colour,
                               const PointT<float>& offset, const PointT<float>& scale, bool keepCached)
{
    DrawShape(PathKind::Polygon, polygon, colour, offset, scale, keepCached);
}

void LGDIRenderer::FillPolygon(const PolylineT<float>& polygon, const ColorRGBA& colour,
                               const PointT<float>& offset, const PointT<float>& scale, bool keepCached)
{
    DrawShape(PathKind::Fill, polygon, colour, offset, scale, keepCached);
}

void LGDIRenderer::DrawBitmap(const RCPtr<LBitmap>& bitmap, const RectT<int32_t>& rect, int32_t resizeType)
{
    constexpr const char* kFunction = "Tavo::LGDIRenderer::DrawBitmap";
    constexpr const char* kFile = "Renderer\\Gdi\\GDIRenderer";
    if (!mCurrent)
        TAVO_THROW(std::runtime_error, "", kFunction, kFile, 568);
    if (!bitmap)
        return;
    std::unique_ptr<Platform::Graphics::Surface>& slot =
        mBitmaps.FindOrAdd({bitmap, rect.width, rect.height});
    if (!slot) {
        const int32_t w = rect.width;
        const int32_t h = rect.height;
        std::unique_ptr<Platform::Graphics::Surface> prepared;
        try {
            prepared = std::make_unique<Platform::Graphics::Surface>(w, h);
        } catch (const Platform::Graphics::SurfaceError&) {
            // Too large to prepare: nothing to draw, and the slot stays empty.
            return;
        }
        Platform::Graphics::Surface* image = bitmap->GetGdiplusBitmap();
        if (image) {
            Platform::Graphics::Graphics tg(*prepared);
            const auto limit = [](int32_t v) {
                return std::clamp(static_cast<float>(v), -8388608.0f, 8388608.0f);
            };
            const float sx = limit(bitmap->GetX());
            const float sy = limit(bitmap->GetY());
            const float sw = limit(bitmap->GetWidth());
            const float sh = limit(bitmap->GetHeight());
            const int32_t mode =
                (sw == static_cast<float>(w) && sh == static_cast<float>(h)) ? Stretch : resizeType;
            switch (mode) {
            case Stretch:
                tg.DrawSurfaceScaled(*image, 0, 0, w, h, sx, sy, sw, sh,
                                     Platform::Graphics::Filter::Bilinear);
                break;
            case Tile:
                if (sw <= 0 || sh <= 0)
                    break;
                if (w / sw < 3 && h / sh < 3) {
                    for (float x = 0; x < w; x += sw)
                        for (float y = 0; y < h; y += sh)
                            tg.DrawSurfaceScaled(*image, x, y, sw, sh, sx, sy, sw, sh);
                } else {
                    tg.FillTiled(*image, static_cast<int32_t>(sx), static_cast<int32_t>(sy),
                                 static_cast<int32_t>(sw), static_cast<int32_t>(sh), 0, 0, w, h);
                }
                break;
            case Center:
                // On whole pixels: half a pixel off, nearest sampling would draw
                // the first row and column twice and drop the last.
                tg.DrawSurfaceScaled(*image, std::floor((w - sw) * 0.5), std::floor((h - sh) * 0.5), sw, sh,
                                     sx, sy, sw, sh);
                break;
            default:
                TAVO_THROW(std::invalid_argument, "Invalid ResizeType passed to DrawBitmap.", kFunction,
                           kFile, 559);
            }
            tg.Flush();
        }
        slot = std::move(prepared);
    }
    Platform::Graphics::Surface& prepared = *slot;
    if (Platform::Graphics::Graphics* g = Current())
        g->DrawSurface(prepared, rect.x, rect.y, 0, 0, prepared.Width(), prepared.Height());
}

TavoResult LGDIRenderer::DrawBitmapRegion(const RCPtr<LRenderContextInfo>& source,
                                          const PointT<int32_t>& position, const RectT<int32_t>& region)
{
    auto* from = dynamic_cast<LGDIRenderContextInfo*>(source.Get());
    if (!from || !from->IsOffscreen())
        return E_INVALIDARG;
    Platform::Graphics::Graphics* g = Current();
    Platform::Graphics::Surface* bitmap = from->GetSurface()->GetBitmap();
    if (!g || !bitmap)
        return E_FAIL;
    g->DrawSurface(*bitmap, position.x, position.y, region.x, region.y, region.width, region.height);
    return S_OK;
}

TavoResult LGDIRenderer::ClearAndDrawBitmap(const RCPtr<LRenderContextInfo>& context,
                                            const PointT<int32_t>& offset)
{
    auto* target = dynamic_cast<LGDIRenderContextInfo*>(context.Get());
    if (!target || !target->IsOffscreen())
        return E_INVALIDARG;
    const RCPtr<LGDIRendererOffscreenSurface> old = target->GetSurface();
    target->SwapSurfaces();
    Platform::Graphics::Surface* fresh = target->GetSurface()->GetBitmap();
    Platform::Graphics::Surface* previous = old->GetBitmap();
    if (!fresh || !previous)
        return E_FAIL;
    fresh->Clear();
    // Drawn in surface pixels, whatever the world transform and clip.
    Platform::Graphics::Graphics plain(*fresh);
    plain.DrawSurface(*previous, offset.x, offset.y, 0, 0, previous->Width(), previous->Height());
    plain.Flush();
    return S_OK;
}

int32_t LGDIRenderer::SetClipRect(const RectT<double>& rect)
{
    LRenderer::SetClipRect(rect);
    if (Platform::Graphics::Graphics* g = Current())
        // Not narrowed to floats: a far but finite edge would become infinite.
        g->SetClip(rect.x, rect.y, rect.width, rect.height);
    return 0;
}

int32_t LGDIRenderer::Translate(const PointT<double>& offset)
{
    LRenderer::Translate(offset);
    if (Platform::Graphics::Graphics* g = Current()) {
        const PointT<double>& t = mCurrent->state.translation;
        g->TranslateWorld(static_cast<float>(t.x) - g->WorldX(), static_cast<float>(t.y) - g->WorldY());
    }
    return 0;
}

}  // namespace Tavo
