#include "Renderer/D3D9/D3D9Renderer.h"
#include "Renderer/Font.h"

#include <gtest/gtest.h>

using namespace Tavo;

namespace {

TEST(D3D9Renderer, ReportsItsTypeMeasuresNothingAndRefusesBitmapRegions)
{
    RCPtr<LRenderer> renderer = LRenderer::Create(2, {}, nullptr);
    EXPECT_EQ(renderer->GetRendererType(), 2);
    int32_t line = -1, top = -1, descent = -1;
    EXPECT_EQ(renderer->GetFontMetrics({}, line, top, descent), 0);
    EXPECT_EQ(line, -1);  // outputs are left alone
    const RectT<float> size = renderer->MeasureString(u"Zenta", {});
    EXPECT_EQ(size, (RectT<float>{0, 0, 0, 0}));

    RCPtr<LRenderContextInfo> context;
    ASSERT_EQ(renderer->InitRenderContextInfo({1, 2, 30, 40}, nullptr, false, context), S_OK);
    EXPECT_EQ(context->GetMaxViewportSize(), (RectT<int32_t>{0, 0, 0, 0}));
    EXPECT_EQ(context->state.clip.x, RenderState::kNoClipOrigin);
    EXPECT_EQ(renderer->DrawBitmapRegion(context, {0, 0}, {0, 0, 5, 5}), E_NOTIMPL);
    EXPECT_EQ(renderer->ClearAndDrawBitmap(context, {0, 0}), E_NOTIMPL);
}

// The render pair pushes no context, so the inherited state operations have
// nothing to act on and must leave memory alone.
TEST(D3D9Renderer, StateOperationsWithoutAContextDoNothing)
{
    RCPtr<LRenderer> renderer = LRenderer::Create(2, {}, nullptr);
    RCPtr<LRenderContextInfo> context;
    renderer->InitRenderContextInfo({0, 0, 10, 10}, nullptr, false, context);
    ASSERT_EQ(renderer->RenderStart(context), S_OK);
    EXPECT_EQ(renderer->GetContextDepth(), 0u);
    renderer->SetViewport({0, 0, 5, 5});
    EXPECT_EQ(renderer->SetStencil(LStencil::Create(4, 4)), S_OK);
    renderer->PushState();
    renderer->PushTranslation({3, 4});
    renderer->PushClip({0, 0, 5, 5}, {1, 1, 2, 2}, LStencil::Create(4, 4), true);
    EXPECT_EQ(renderer->SetClipRect({0, 0, 1, 1}), 0);
    EXPECT_EQ(renderer->Translate({1, 1}), 0);
    renderer->PopState();
    {
        CAutoClip clip(renderer, {0, 0, 5, 5}, {0, 0, 5, 5}, {});
        renderer->FillRect({0, 0, 5, 5}, ColorRGBA{1, 0, 0, 1}, true);
    }
    EXPECT_EQ(renderer->RenderFinish(context), S_OK);
    EXPECT_EQ(renderer->RenderFinish(context), S_OK);
    EXPECT_EQ(renderer->GetContextDepth(), 0u);
    EXPECT_EQ(context->viewport, (RectT<int32_t>{0, 0, 10, 10}));
}

}  // namespace
