#pragma once

#include "Renderer/Gdi/GDIRenderContext.h"

#include "Renderer/Bitmap.h"
#include "Renderer/PurgableObjectCache.h"

#include "Platform/Graphics/Text.h"

#include <memory>
#include <unordered_map>

namespace Tavo {

// The back end that draws into offscreen surfaces and copies the dirty
// region to the window when a paint ends.
class LGDIRenderer : public LRenderer
{
public:
    enum ResizeType : int32_t { Stretch = 0, Tile = 1, Center = 2 };

    LGDIRenderer();
    ~LGDIRenderer() override;

    int32_t GetFontMetrics(const RCPtr<LFont>& font, int32_t& lineHeight, int32_t& top,
                           int32_t& descent) override;
    RectT<float> MeasureString(const WString& text, const RCPtr<LFont>& font) override;
    int32_t GetRendererType() override { return 1; }
    TavoResult InitRenderContextInfo(const RectT<int32_t>& viewport, WindowHandle window, bool offscreen,
                                     RCPtr<LRenderContextInfo>& context) override;
    TavoResult RenderStart(const RCPtr<LRenderContextInfo>& context) override;
    TavoResult RenderFinish(const RCPtr<LRenderContextInfo>& context) override;
    void DrawText(const WString& text, const RCPtr<LFont>& font, const PointT<int32_t>& position,
                  const ColorRGBA& colour) override;
    void DrawRect(const RectT<int32_t>& rect, const ColorRGBA& colour, float lineWidth) override;
    void FillRect(const RectT<int32_t>& rect, const ColorRGBA& colour, bool blend) override;
    void FillColorRectList(const ColorRectListT<float>& list, const PointT<double>& offset,
                           bool ignored) override;
    void DrawLine(const PointT<float>& from, const PointT<float>& to, const ColorRGBA& colour,
                  float lineWidth) override;
    void DrawLines(const PolylineT<float>& lines, const ColorRGBA& colour, const PointT<float>& offset,
                   const PointT<float>& scale, bool keepCached) override;
    void DrawPolyline(const PolylineT<float>& line, const ColorRGBA& colour, const PointT<float>& offset,
                      const PointT<float>& scale, bool keepCached) override;
    void DrawPolygon(const PolylineT<float>& polygon, const ColorRGBA& colour, const PointT<float>& offset,
                     const PointT<float>& scale, bool keepCached) override;
    void FillPolygon(const PolylineT<float>& polygon, const ColorRGBA& colour, const PointT<float>& offset,
                     const PointT<float>& scale, bool keepCached) override;
    void DrawBitmap(const RCPtr<LBitmap>& bitmap, const RectT<int32_t>& rect, int32_t resizeType) override;
    TavoResult DrawBitmapRegion(const RCPtr<LRenderContextInfo>& source, const PointT<int32_t>& position,
                                const RectT<int32_t>& region) override;
    TavoResult ClearAndDrawBitmap(const RCPtr<LRenderContextInfo>& context,
                                  const PointT<int32_t>& offset) override;
    int32_t SetClipRect(const RectT<double>& rect) override;
    int32_t Translate(const PointT<double>& offset) override;

    LGDIRenderContextInfo* GetCurrentGdiContext() const { return mCurrent.Get(); }
    uint32_t GetPathCacheCount() const { return mPaths.GetIndexedCount(); }
    uint32_t GetBitmapCacheCount() const { return mBitmaps.GetIndexedCount(); }
    uint32_t GetPreparedBitmapCount() const { return mBitmaps.GetFilledCount(); }
    uint32_t GetLastPurgeTime() const { return mLastPurge; }

    // A bitmap at a target size; the key holds the bitmap so its address is
    // not reused while the entry lives.
    struct BitmapKey
    {
        RCPtr<LBitmap> bitmap;
        int32_t width = 0;
        int32_t height = 0;
        bool operator==(const BitmapKey& o) const
        {
            return bitmap.Get() == o.bitmap.Get() && width == o.width && height == o.height;
        }
    };
    struct BitmapKeyHash
    {
        size_t operator()(const BitmapKey& k) const
        {
            return std::hash<const void*>()(k.bitmap.Get()) ^ (static_cast<size_t>(k.width) << 16) ^
                   static_cast<size_t>(k.height);
        }
    };
    static constexpr uint32_t kCacheCapacity = 256;
    static constexpr int32_t kPurgePeriodMs = 300000;

    // The resolved font of an LFont, made on first use and kept.
    const Platform::Graphics::TextFont& GetTextFont(const LFont& font);

private:
    struct CachedFont
    {
        std::unique_ptr<Platform::Graphics::TextFont> text;
        bool haveMetrics = false;
        int32_t lineHeight = 0;
        int32_t top = 0;
        int32_t descent = 0;
    };
    CachedFont& FindFont(const LFont& font);
    CachedFont& FindFontWithMetrics(const LFont& font);

    enum class PathKind { Lines, Polyline, Polygon, Fill };
    void DrawShape(PathKind kind, const PolylineT<float>& points, const ColorRGBA& colour,
                   const PointT<float>& offset, const PointT<float>& scale, bool keepCached);
    // The drawing graphics, at the current state's opacity.
    Platform::Graphics::Graphics* Current() const;

    float mDpiScale = 1.0f;
    RCPtr<LGDIRenderContextInfo> mCurrent;
    // Path geometry by shape handle; an empty slot has been dropped.
    PurgableObjectCache<uint32_t, std::unique_ptr<Platform::Graphics::Path>> mPaths{kCacheCapacity};
    PurgableObjectCache<BitmapKey, std::unique_ptr<Platform::Graphics::Surface>, BitmapKeyHash> mBitmaps{
        kCacheCapacity};
    uint32_t mLastPurge;
    // By font id; ids are never reused.
    std::unordered_map<uint32_t, CachedFont> mFonts;
};

}  // namespace Tavo
