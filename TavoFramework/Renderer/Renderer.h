#pragma once

#include "ObjectBase/RefCountedObject.h"
#include "Utilities/Geometry/Rect.h"
#include "Utilities/Geometry/RectRegion.h"
#include "Utilities/Geometry/Shapes.h"
#include "Utilities/Graphics/ColorRGBA.h"
#include "Utilities/Storage/StringT.h"

#include <cstdint>
#include <deque>
#include <vector>

namespace Tavo {

class LFont;
class LBitmap;

namespace Platform::Graphics {
class IWindowTarget;
}

// The native window a context presents into, passed by the window that
// owns the renderer; null for offscreen targets.
using WindowHandle = Platform::Graphics::IWindowTarget*;

class LStencil : public virtual LRefCountedObject
{
public:
    static RCPtr<LStencil> Create(int32_t width, int32_t height);

    int32_t width = 0;
    int32_t height = 0;
    RectT<int32_t> bounds;
};

class RenderState
{
public:
    RenderState() = default;
    RenderState(const RenderState&) = default;
    RenderState& operator=(const RenderState&) = default;
    virtual ~RenderState() = default;

    // The single-precision values of -5e15 and 1e16, widened: no clipping.
    static constexpr double kNoClipOrigin = -5000000136282112.0;
    static constexpr double kNoClipSize = 10000000272564224.0;

    PointT<double> translation{0.0, 0.0};
    RectT<double> clip{kNoClipOrigin, kNoClipOrigin, kNoClipSize, kNoClipSize};
    float opacity = 1.0f;
    uint8_t stencilActive = 0;
    RCPtr<LStencil> stencil;
    // Set by a renderer whose target lost what it showed: the root window
    // then draws nothing and invalidates the whole window instead.
    bool redrawAll = false;
};

class LRenderContextInfo : public virtual LRefCountedObject
{
public:
    LRenderContextInfo(const RectT<int32_t>& viewport, WindowHandle window, uint8_t flag)
        : window(window), flag(flag), viewport(viewport)
    {
    }
    ~LRenderContextInfo() override = default;
    virtual RectT<int32_t> GetMaxViewportSize() = 0;

    WindowHandle window = nullptr;
    uint8_t flag = 0;
    RectRegion dirtyRegion;
    RectT<int32_t> viewport;
    RenderState state;
    std::deque<RenderState> savedStates;
};

// Measuring without a window; fonts and text layout need only this.
class LMeasurementRenderer : public virtual LRefCountedObject
{
public:
    virtual int32_t GetFontMetrics(const RCPtr<LFont>& font, int32_t& lineHeight, int32_t& top,
                                   int32_t& descent) = 0;
    virtual RectT<float> MeasureString(const WString& text, const RCPtr<LFont>& font) = 0;
};

class LRenderer : public LMeasurementRenderer
{
public:
    // 0 OpenGL, 1 GDI+, 2 Direct3D 9. The rectangle is not used.
    static RCPtr<LRenderer> Create(int32_t type, const RectT<int32_t>& rect, WindowHandle window);

    virtual int32_t GetRendererType() = 0;
    virtual TavoResult InitRenderContextInfo(const RectT<int32_t>& viewport, WindowHandle window,
                                             bool offscreen, RCPtr<LRenderContextInfo>& context) = 0;
    virtual TavoResult SetViewport(const RectT<int32_t>& rect);
    virtual TavoResult SetStencil(const RCPtr<LStencil>& stencil);
    virtual TavoResult RenderStart(const RCPtr<LRenderContextInfo>& context);
    virtual TavoResult RenderFinish(const RCPtr<LRenderContextInfo>& context);
    virtual void DrawText(const WString& text, const RCPtr<LFont>& font, const PointT<int32_t>& position,
                          const ColorRGBA& colour) = 0;
    virtual void DrawRect(const RectT<int32_t>& rect, const ColorRGBA& colour, float lineWidth) = 0;
    virtual void FillRect(const RectT<int32_t>& rect, const ColorRGBA& colour, bool blend) = 0;
    virtual void FillAndFrameRect(const RectT<int32_t>& rect, const ColorRGBA& fillColour,
                                  const ColorRGBA& frameColour, float lineWidth);
    virtual void FillColorRectList(const ColorRectListT<float>& list, const PointT<double>& offset,
                                   bool ignored) = 0;
    virtual void DrawLine(const PointT<float>& from, const PointT<float>& to, const ColorRGBA& colour,
                          float lineWidth) = 0;
    virtual void DrawLines(const PolylineT<float>& lines, const ColorRGBA& colour,
                           const PointT<float>& offset, const PointT<float>& scale, bool keepCached) = 0;
    virtual void DrawPolyline(const PolylineT<float>& line, const ColorRGBA& colour,
                              const PointT<float>& offset, const PointT<float>& scale, bool keepCached) = 0;
    virtual void DrawPolygon(const PolylineT<float>& polygon, const ColorRGBA& colour,
                             const PointT<float>& offset, const PointT<float>& scale, bool keepCached) = 0;
    virtual void FillPolygon(const PolylineT<float>& polygon, const ColorRGBA& colour,
                             const PointT<float>& offset, const PointT<float>& scale, bool keepCached) = 0;
    virtual void DrawBitmap(const RCPtr<LBitmap>& bitmap, const RectT<int32_t>& rect, int32_t resizeType) = 0;
    virtual TavoResult DrawBitmapRegion(const RCPtr<LRenderContextInfo>& source,
                                        const PointT<int32_t>& position, const RectT<int32_t>& region) = 0;
    virtual TavoResult ClearAndDrawBitmap(const RCPtr<LRenderContextInfo>& context,
                                          const PointT<int32_t>& offset) = 0;
    virtual void PushTranslation(const PointT<double>& offset);
    virtual void PushClip(const RectT<double>& bounds, const RectT<double>& clip,
                          const RCPtr<LStencil>& stencil, bool relative);
    virtual void PushState();
    virtual void PopState();
    virtual int32_t SetClipRect(const RectT<double>& rect);
    virtual int32_t Translate(const PointT<double>& offset);

    // The top context, null when nothing is being drawn.
    LRenderContextInfo* GetCurrentContext() const
    {
        return mContexts.empty() ? nullptr : mContexts.back().Get();
    }
    uint32_t GetContextDepth() const { return static_cast<uint32_t>(mContexts.size()); }

private:
    std::vector<RCPtr<LRenderContextInfo>> mContexts;
};

// Which push a CAutoClip makes: 0 state, 1 clip, 2 translation.
struct ClipParams
{
    int32_t flavor = 0;
    RectT<double> bounds;
    RectT<double> clip;
    RCPtr<LStencil> stencil;
    bool relative = false;
    PointT<double> offset;
};

// Pushes renderer state for a scope and pops it at the end.
class CAutoClip
{
public:
    explicit CAutoClip(const RCPtr<LRenderer>& renderer);
    CAutoClip(const RCPtr<LRenderer>& renderer, const ClipParams& params);
    CAutoClip(const RCPtr<LRenderer>& renderer, const RectT<double>& bounds, const RectT<double>& clip,
              const RCPtr<LStencil>& stencil);
    CAutoClip(const RCPtr<LRenderer>& renderer, const RectT<double>& bounds, const RectT<double>& clip,
              const RCPtr<LStencil>& stencil, bool relative);
    ~CAutoClip();
    CAutoClip(const CAutoClip&) = delete;
    CAutoClip& operator=(const CAutoClip&) = delete;
    static void* operator new(std::size_t) = delete;

private:
    RCPtr<LRenderer> mRenderer;
};

}  // namespace Tavo
