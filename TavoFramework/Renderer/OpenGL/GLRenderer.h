#pragma once

#include "Platform/GL/GLContext.h"
#include "Renderer/FontRenderer/FontRenderer.h"
#include "Renderer/OpenGL/GLGlyphRenderer.h"
#include "Renderer/OpenGL/GLTexture.h"
#include "Renderer/PurgableObjectCache.h"
#include "Renderer/Renderer.h"

#include <array>
#include <memory>
#include <vector>

namespace Tavo {

// A render context drawing into a GL context of the viewport's size; a
// window's frames are read back into its surface when presented.
class LGLRenderContextInfo : public LRenderContextInfo
{
public:
    LGLRenderContextInfo(const RectT<int32_t>& viewport, WindowHandle window, uint8_t flag,
                         std::unique_ptr<Platform::GL::IGLContext> gl);
    RectT<int32_t> GetMaxViewportSize() override;
    Platform::GL::IGLContext& GL() { return *mGL; }

    // The scissor box last set in this context, so that unchanged clips
    // cost no GL call.
    int32_t scissor[4] = {-1, -1, -1, -1};

private:
    std::unique_ptr<Platform::GL::IGLContext> mGL;
};

// Renderer type 0: OpenGL 1.x in immediate mode, text through the FreeType
// font renderer and the glyph atlas.
class LGLRenderer : public LRenderer
{
public:
    // Chooses the pixel format and makes the context windows share; a
    // failure shows its message box and throws. Null driver: GLX.
    explicit LGLRenderer(Platform::GL::IGLDriver* driver = nullptr);
    ~LGLRenderer() override;

    // Whether the display's GL lists the extension as a whole word; a
    // failure to get the list is shown in a box and answers false.
    bool IsExtensionSupported(const char* name);
    const Platform::GL::FormatInfo& GetFormat() const { return mFormat; }

    int32_t GetRendererType() override { return 0; }
    int32_t GetFontMetrics(const RCPtr<LFont>& font, int32_t& lineHeight, int32_t& top,
                           int32_t& descent) override;
    RectT<float> MeasureString(const WString& text, const RCPtr<LFont>& font) override;
    TavoResult InitRenderContextInfo(const RectT<int32_t>& viewport, WindowHandle window, bool offscreen,
                                     RCPtr<LRenderContextInfo>& context) override;
    // Sizes the context's drawable to the viewport as well.
    TavoResult SetViewport(const RectT<int32_t>& rect) override;
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

    static constexpr uint32_t kPurgePeriodMs = 300000;
    static constexpr uint32_t kListCacheCapacity = 256;
    static constexpr uint32_t kTextureCacheCapacity = 64;

    // Display lists by shape handle, one cache per kind of shape.
    using ListCache = PurgableObjectCache<uint32_t, RCPtr<LGLDisplayList>>;
    // Textures by bitmap; the texture holds its bitmap, so the address is
    // not reused while the entry lives.
    using TextureCache = PurgableObjectCache<uintptr_t, RCPtr<LGLTexture>>;
    enum ShapeKind { kFill, kOutline, kLines, kPolyline, kRectList, kShapeKinds };
    const ListCache& GetListCache(ShapeKind kind) const { return mLists[kind]; }
    const TextureCache& GetTextureCache() const { return mTextures; }
    const TextureCache& GetSecondTextureCache() const { return mSecondTextures; }
    uint32_t GetLastPurgeTime() const { return mLastPurge; }
    // GL errors drained at the ends of frames: dropped, but counted.
    uint32_t GetGLErrorCount() const { return mGLErrors; }

private:
    void Start();
    LGLRenderContextInfo* Current();
    // The colour with its alpha times the current state's opacity.
    void Colour(const ColorRGBA& c);
    float Opacity();
    void ApplyClip(LGLRenderContextInfo& current);
    void SetTexturing(bool on);
    // Fills the rectangle with the colour by a scissored clear; false when
    // the translation is not whole pixels.
    bool ClearRect(LGLRenderContextInfo& current, const RectT<int32_t>& rect, const ColorRGBA& colour);
    // Replays the shape's list, or records it while drawing; false when the
    // caller must draw it uncached.
    template <class Draw>
    void Cached(ShapeKind kind, uint32_t handle, bool changed, bool keepCached, const Draw& draw);
    void Shape(ShapeKind kind, PolylineT<float>& points, const ColorRGBA& colour, const PointT<float>& offset,
               const PointT<float>& scale, bool keepCached);
    void ShowOnSurface(LGLRenderContextInfo& current);
    // Pixels of a context's region into mReadBack, rows top first; leaves
    // that context current.
    bool ReadRegion(LGLRenderContextInfo& from, const RectT<int32_t>& region);
    void DrawReadBack(int32_t width, int32_t height, const PointT<int32_t>& at, float opacity);
    void PurgeWhenDue();

    Platform::GL::IGLDriver* mDriver;
    Platform::GL::FormatInfo mFormat;
    std::unique_ptr<Platform::GL::IGLContext> mRoot;
    RCPtr<LGLGlyphRenderer> mGlyphs;
    RCPtr<LFontRenderer> mFonts;
    ListCache mLists[kShapeKinds] = {ListCache(kListCacheCapacity), ListCache(kListCacheCapacity),
                                     ListCache(kListCacheCapacity), ListCache(kListCacheCapacity),
                                     ListCache(kListCacheCapacity)};
    TextureCache mTextures{kTextureCacheCapacity};
    // Kept beside the first, keyed the same way; nothing draws from it, so
    // it is only purged and emptied with the others.
    TextureCache mSecondTextures{kTextureCacheCapacity};
    RCPtr<LGLTexture> mScratch;
    uint32_t mLastPurge;
    uint32_t mGLErrors = 0;
    // Whether GL_TEXTURE_2D is on in the current context: drawing switches
    // it only where it changes.
    bool mTexturing = false;
    std::vector<uint32_t> mReadBack;
    std::vector<std::array<float, 8>> mQuads;
};

}  // namespace Tavo
