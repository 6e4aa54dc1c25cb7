#pragma once

#include "ObjectBase/RefCountedObject.h"
#include "ObjectBase/Result.h"
#include "Utilities/Storage/StringT.h"

#include <cstdint>

namespace Tavo {

class LMeasurementRenderer;

// What the renderer layer asks of the application object: the renderer
// text is measured with and the default font. The application object
// registers itself for its lifetime.
class IRenderHost
{
public:
    // Null when the host has no renderer to offer yet.
    virtual RCPtr<LMeasurementRenderer> GetMeasurementRenderer() = 0;
    virtual TavoResult GetDefaultFont(WString& face, float& size, int32_t& style) = 0;
    // A text of the framework's string table (renderer failure messages);
    // false where the host has none, and the caller keeps its own.
    virtual bool FindFrameworkText(const WString& id, WString& text)
    {
        (void)id;
        (void)text;
        return false;
    }

protected:
    ~IRenderHost() = default;
};

// The registered host, null when none is.
IRenderHost* GetRenderHost();
// Returns the host that was registered before.
IRenderHost* SetRenderHost(IRenderHost* host);

// One renderer made for the process on first use and kept, so that fonts
// measure before any window exists.
RCPtr<LMeasurementRenderer> GetProcessMeasurementRenderer();
// The host's measurement renderer, or else the process's.
RCPtr<LMeasurementRenderer> GetMeasurementRenderer();
// The host's default face; empty without a host or a face.
WString GetDefaultFontFace();

}  // namespace Tavo
