#include "Renderer/Renderer.h"

#include "Renderer/D3D9/D3D9Renderer.h"
#include "Renderer/Gdi/GDIRenderer.h"
#include "Renderer/OpenGL/GLRenderer.h"

#include <algorithm>
#include <cmath>

namespace Tavo {

namespace {

constexpr const char* kFile = "Renderer\\Renderer";

RectT<double> Intersect(const RectT<double>& a, const RectT<double>& b)
{
    const double left = std::max(a.x, b.x);
    const double top = std::max(a.y, b.y);
    const double right = std::min(a.x + a.width, b.x + b.width);
    const double bottom = std::min(a.y + a.height, b.y + b.height);
    return {left, top, std::max(0.0, right - left), std::max(0.0, bottom - top)};
}

}  // namespace

RCPtr<LStencil> LStencil::Create(int32_t width, int32_t height)
{
    RCPtr<LStencil> stencil(new LStencil());
    stencil->width = width;
    stencil->height = height;
    stencil->bounds = {0, 0, width, height};
    return stencil;
}

RCPtr<LRenderer> LRenderer::Create(int32_t type, const RectT<int32_t>&, WindowHandle)
{
    if (type == 0)
        return RCPtr<LRenderer>(new LGLRenderer());
    if (type == 1)
        return RCPtr<LRenderer>(new LGDIRenderer());
    if (type == 2)
        return LD3D9Renderer::Create();
    TAVO_THROW(std::domain_error, "", "Tavo::LRenderer::Create", kFile, 129);
}

TavoResult LRenderer::SetViewport(const RectT<int32_t>& rect)
{
    if (mContexts.empty())
        return S_OK;
    mContexts.back()->viewport = rect;
    return S_OK;
}

TavoResult LRenderer::SetStencil(const RCPtr<LStencil>& stencil)
{
    if (mContexts.empty())
        return S_OK;
    RenderState& state = mContexts.back()->state;
    if (state.stencil.Get() != stencil.Get())
        state.stencil = stencil;
    return S_OK;
}

TavoResult LRenderer::RenderStart(const RCPtr<LRenderContextInfo>& context)
{
    if (!context)
        TAVO_THROW(std::runtime_error, "Render context is NULL", "Tavo::LRenderer::RenderStart", kFile, 232);
    for (const auto& entry : mContexts)
        if (entry.Get() == context.Get())
            TAVO_THROW(std::runtime_error, "Render context reentered.", "Tavo::LRenderer::RenderStart", kFile,
                       238);
    mContexts.push_back(context);
    return S_OK;
}

TavoResult LRenderer::RenderFinish(const RCPtr<LRenderContextInfo>& context)
{
    // An empty stack never matches, so a stray finish is reported rather than undefined.
    if (mContexts.empty() || mContexts.back().Get() != context.Get())
        TAVO_THROW(std::runtime_error, "RenderFinish context does not match RenderStart context",
                   "Tavo::LRenderer::RenderFinish", kFile, 251);
    mContexts.pop_back();
    return S_OK;
}

void LRenderer::FillAndFrameRect(const RectT<int32_t>& rect, const ColorRGBA& fillColour,
                                 const ColorRGBA& frameColour, float lineWidth)
{
    if (fillColour.a > 0.0f)
        FillRect(rect, fillColour, true);
    if (frameColour.a > 0.0f)
        DrawRect(rect, frameColour, lineWidth);
}

void LRenderer::PushState()
{
    if (mContexts.empty())
        return;
    LRenderContextInfo* context = mContexts.back().Get();
    context->savedStates.push_back(context->state);
}

void LRenderer::PopState()
{
    if (mContexts.empty())
        return;
    LRenderContextInfo* context = mContexts.back().Get();
    if (context->savedStates.empty())
        return;
    const RenderState saved = context->savedStates.back();
    context->savedStates.pop_back();
    const PointT<double> current = context->state.translation;
    Translate({saved.translation.x - current.x, saved.translation.y - current.y});
    context->state.opacity = saved.opacity;
    SetClipRect(saved.clip);
    SetStencil(saved.stencil);
    context->state.stencilActive = saved.stencilActive;
}

void LRenderer::PushTranslation(const PointT<double>& offset)
{
    if (mContexts.empty())
        return;
    LRenderContextInfo* context = mContexts.back().Get();
    if (context->savedStates.empty())
        return;
    PushState();
    const PointT<double> rounded{std::round(offset.x), std::round(offset.y)};
    Translate(rounded);
    context->state.clip.x -= rounded.x;
    context->state.clip.y -= rounded.y;
}

void LRenderer::PushClip(const RectT<double>& bounds, const RectT<double>& clip,
                         const RCPtr<LStencil>& stencil, bool relative)
{
    if (mContexts.empty())
        return;
    LRenderContextInfo* context = mContexts.back().Get();
    PointT<double> origin{bounds.x, bounds.y};
    if (!relative) {
        origin.x -= context->state.translation.x;
        origin.y -= context->state.translation.y;
    }
    origin = {std::round(origin.x), std::round(origin.y)};
    PushState();
    RectT<double> r = clip;
    if (relative)
        r = Intersect(Intersect(r, bounds), context->state.clip);
    LRect::Normalize(r);
    SetClipRect(r);
    Translate(origin);
    if (relative) {
        context->state.clip.x -= origin.x;
        context->state.clip.y -= origin.y;
    }
    if (stencil) {
        if (context->state.stencilActive == 0) {
            SetStencil(stencil);
            context->state.stencilActive = 1;
        } else {
            SetStencil(LStencil::Create(stencil->width, stencil->height));
        }
    }
}

int32_t LRenderer::SetClipRect(const RectT<double>& rect)
{
    if (mContexts.empty())
        return 0;
    mContexts.back()->state.clip = rect;
    return 0;
}

int32_t LRenderer::Translate(const PointT<double>& offset)
{
    if (mContexts.empty())
        return 0;
    PointT<double>& t = mContexts.back()->state.translation;
    t.x += offset.x;
    t.y += offset.y;
    return 0;
}

CAutoClip::CAutoClip(const RCPtr<LRenderer>& renderer) : mRenderer(renderer)
{
    mRenderer->PushState();
}

CAutoClip::CAutoClip(const RCPtr<LRenderer>& renderer, const ClipParams& params)
{
    switch (params.flavor) {
    case 0:
        renderer->PushState();
        break;
    case 1:
        renderer->PushClip(params.bounds, params.clip, params.stencil, params.relative);
        break;
    case 2:
        renderer->PushTranslation(params.offset);
        break;
    default:
        TAVO_THROW(std::runtime_error, "Unknown PushClip flavor", "Tavo::CAutoClip::CAutoClip", kFile, 405);
    }
    // Held only once pushed, so a throw leaves nothing to pop.
    mRenderer = renderer;
}

CAutoClip::CAutoClip(const RCPtr<LRenderer>& renderer, const RectT<double>& bounds, const RectT<double>& clip,
                     const RCPtr<LStencil>& stencil)
    : CAutoClip(renderer, bounds, clip, stencil, true)
{
}

CAutoClip::CAutoClip(const RCPtr<LRenderer>& renderer, const RectT<double>& bounds, const RectT<double>& clip,
                     const RCPtr<LStencil>& stencil, bool relative)
    : mRenderer(renderer)
{
    mRenderer->PushClip(bounds, clip, stencil, relative);
}

CAutoClip::~CAutoClip()
{
    if (mRenderer)
        mRenderer->PopState();
}

}  // namespace Tavo
