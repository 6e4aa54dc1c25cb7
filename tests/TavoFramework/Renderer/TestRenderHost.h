#pragma once

#include "Renderer/RenderHost.h"
#include "Renderer/Renderer.h"

namespace Tavo::Test {

// Stands in for the application object while it lives: its measurement
// renderer and its default face.
class TestRenderHost : public IRenderHost
{
public:
    RCPtr<LMeasurementRenderer> measurer;
    WString defaultFace;

    TestRenderHost() : mPrevious(SetRenderHost(this)) {}
    ~TestRenderHost() { SetRenderHost(mPrevious); }
    TestRenderHost(const TestRenderHost&) = delete;
    TestRenderHost& operator=(const TestRenderHost&) = delete;

    RCPtr<LMeasurementRenderer> GetMeasurementRenderer() override { return measurer; }
    TavoResult GetDefaultFont(WString& face, float& size, int32_t& style) override
    {
        face = defaultFace;
        size = 0;
        style = 0;
        return defaultFace.IsEmpty() ? E_FAIL : S_OK;
    }

private:
    IRenderHost* mPrevious;
};

}  // namespace Tavo::Test
