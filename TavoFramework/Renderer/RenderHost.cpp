#include "Renderer/RenderHost.h"

#include "Renderer/Gdi/GDIRenderer.h"

#include <atomic>

namespace Tavo {

namespace {

std::atomic<IRenderHost*> gHost{nullptr};

}  // namespace

IRenderHost* GetRenderHost()
{
    return gHost.load();
}

IRenderHost* SetRenderHost(IRenderHost* host)
{
    return gHost.exchange(host);
}

RCPtr<LMeasurementRenderer> GetProcessMeasurementRenderer()
{
    static auto* processRenderer = new RCPtr<LMeasurementRenderer>(new LGDIRenderer());
    return *processRenderer;
}

RCPtr<LMeasurementRenderer> GetMeasurementRenderer()
{
    if (IRenderHost* host = GetRenderHost())
        if (RCPtr<LMeasurementRenderer> renderer = host->GetMeasurementRenderer())
            return renderer;
    return GetProcessMeasurementRenderer();
}

WString GetDefaultFontFace()
{
    WString face;
    float size = 0;
    int32_t style = 0;
    if (IRenderHost* host = GetRenderHost())
        if (Failed(host->GetDefaultFont(face, size, style)))
            face = WString();
    return face;
}

}  // namespace Tavo
