#include "Renderer/D3D9/D3D9Renderer.h"

namespace Tavo {

RCPtr<LRenderer> LD3D9Renderer::Create()
{
    return RCPtr<LRenderer>(new LD3D9Renderer());
}

TavoResult LD3D9Renderer::InitRenderContextInfo(const RectT<int32_t>& viewport, WindowHandle window,
                                                bool offscreen, RCPtr<LRenderContextInfo>& context)
{
    context = RCPtr<LRenderContextInfo>(new LD3D9RenderContextInfo(viewport, window, offscreen ? 1 : 0));
    return S_OK;
}

}  // namespace Tavo
