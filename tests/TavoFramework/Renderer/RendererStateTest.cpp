#include "FakeRenderer.h"
#include "tests/Common/ThrownText.h"

#include <gtest/gtest.h>

#include <string>

using namespace Tavo;
using Tavo::Test::FakeContext;
using Tavo::Test::FakeRenderer;

namespace {

struct RendererState : ::testing::Test
{
    RCPtr<FakeRenderer> renderer{new FakeRenderer()};
    RCPtr<LRenderContextInfo> context{new FakeContext()};

    void SetUp() override { renderer->RenderStart(context); }
    void TearDown() override
    {
        if (renderer->GetContextDepth())
            renderer->RenderFinish(context);
    }
    RenderState& State() { return context->state; }
};

}  // namespace

TEST(RendererContexts, StartAndFinishNestInReverseOrderAndRejectMisuse)
{
    RCPtr<FakeRenderer> renderer(new FakeRenderer());
    RCPtr<LRenderContextInfo> a(new FakeContext());
    RCPtr<LRenderContextInfo> b(new FakeContext());

    EXPECT_EQ(ThrownText([&] { renderer->RenderStart(nullptr); }),
              "Runtime Error : Render context is NULL : Tavo::LRenderer::RenderStart : Renderer\\Renderer : "
              "Line 232");
    renderer->RenderStart(a);
    EXPECT_EQ(
        ThrownText([&] { renderer->RenderStart(a); }),
        "Runtime Error : Render context reentered. : Tavo::LRenderer::RenderStart : Renderer\\Renderer : "
        "Line 238");
    renderer->RenderStart(b);

    const std::string mismatch = "Runtime Error : RenderFinish context does not match RenderStart context : "
                                 "Tavo::LRenderer::RenderFinish : Renderer\\Renderer : Line 251";
    EXPECT_EQ(ThrownText([&] { renderer->RenderFinish(a); }), mismatch);
    EXPECT_EQ(renderer->GetContextDepth(), 2u);
    renderer->RenderFinish(b);
    renderer->RenderFinish(a);
    // A stray finish on an empty stack is reported, not undefined.
    EXPECT_EQ(ThrownText([&] { renderer->RenderFinish(a); }), mismatch);
    EXPECT_EQ(a->GetRefCount(), 1);
}

TEST(RendererContexts, FactoryBuildsTheOffscreenBackEndAndRejectsOthers)
{
    EXPECT_EQ(LRenderer::Create(1, {}, nullptr)->GetRendererType(), 1);
    EXPECT_EQ(ThrownText([] { LRenderer::Create(3, {}, nullptr); }),
              "Domain Error : Tavo::LRenderer::Create : Renderer\\Renderer : Line 129");
}

TEST_F(RendererState, DefaultsMeanNoClippingAndPopWithoutPushChangesNothing)
{
    EXPECT_EQ(State().clip.x, -5000000136282112.0);
    EXPECT_EQ(State().clip.width, 10000000272564224.0);
    EXPECT_EQ(State().opacity, 1.0f);
    renderer->PopState();
    EXPECT_EQ(renderer->translateCalls, 0);
    EXPECT_EQ(State().translation.x, 0.0);
}

TEST_F(RendererState, PopRestoresEveryFieldThroughTheVirtualOperations)
{
    renderer->PushState();
    renderer->Translate({10, 20});
    State().opacity = 0.5f;
    renderer->SetClipRect({1, 2, 3, 4});
    renderer->SetStencil(LStencil::Create(5, 6));
    State().stencilActive = 1;
    const int before = renderer->translateCalls;

    renderer->PopState();
    EXPECT_EQ(renderer->translateCalls, before + 1);
    EXPECT_EQ(State().translation, PointT<double>(0, 0));
    EXPECT_EQ(State().opacity, 1.0f);
    EXPECT_EQ(State().clip, RectT<double>(RenderState().clip));
    EXPECT_FALSE(State().stencil);
    EXPECT_EQ(State().stencilActive, 0);
    EXPECT_TRUE(context->savedStates.empty());
}

TEST_F(RendererState, PushClipRoundsOriginAndSnapsTheClip)
{
    renderer->PushClip({2.5, -2.5, 50, 50}, {0.3, 0.3, 10.4, 10.4}, nullptr, true);
    EXPECT_EQ(State().translation, PointT<double>(3, -3));
    // Clip 0.3..10.7 cut at the bounds edge 2.5, snapped to 2..10 by 0..10, then moved by the origin.
    EXPECT_EQ(State().clip, RectT<double>(-1, 3, 8, 10));

    renderer->PopState();
    renderer->PushClip({0, 0, 0, 0}, {10.7, 10.7, -10.4, -10.4}, nullptr, false);
    EXPECT_EQ(State().clip, RectT<double>(0, 0, 10, 10));

    // Absolute bounds subtract the current translation.
    renderer->PopState();
    renderer->Translate({100, 40});
    renderer->PushClip({130, 50, 10, 10}, {0, 0, 5, 5}, nullptr, false);
    EXPECT_EQ(State().translation, PointT<double>(130, 50));
}

TEST_F(RendererState, SecondStencilGetsAFreshOneOfItsSize)
{
    RCPtr<LStencil> first = LStencil::Create(10, 10);
    RCPtr<LStencil> second = LStencil::Create(20, 30);
    renderer->PushClip({}, {0, 0, 5, 5}, first, true);
    EXPECT_EQ(State().stencil.Get(), first.Get());
    renderer->PushClip({}, {0, 0, 5, 5}, second, true);
    ASSERT_TRUE(State().stencil);
    EXPECT_NE(State().stencil.Get(), second.Get());
    EXPECT_EQ(State().stencil->bounds, RectT<int32_t>(0, 0, 20, 30));
    renderer->PopState();
    EXPECT_EQ(State().stencil.Get(), first.Get());
    renderer->PopState();
    EXPECT_FALSE(State().stencil);
    EXPECT_EQ(first->GetRefCount(), 1);
}

TEST_F(RendererState, PushTranslationNeedsAnOpenStateAndKeepsTheClipInPlace)
{
    renderer->PushTranslation({5, 5});
    EXPECT_EQ(State().translation.x, 0.0);
    EXPECT_TRUE(context->savedStates.empty());

    renderer->PushState();
    renderer->SetClipRect({0, 0, 100, 100});
    renderer->PushTranslation({-2.5, 7.4});
    EXPECT_EQ(State().translation, PointT<double>(-3, 7));
    EXPECT_EQ(State().clip, RectT<double>(3, -7, 100, 100));
}

TEST_F(RendererState, AutoClipPopsWhatItPushedAndRejectsUnknownFlavours)
{
    RCPtr<LRenderer> base = renderer;
    {
        CAutoClip outer(base);
        ClipParams params;
        params.flavor = 1;
        params.bounds = {10, 10, 20, 20};
        params.clip = {0, 0, 20, 20};
        params.relative = true;
        CAutoClip inner(base, params);
        EXPECT_EQ(context->savedStates.size(), 2u);
        EXPECT_EQ(State().translation.x, 10.0);
    }
    EXPECT_TRUE(context->savedStates.empty());
    EXPECT_EQ(State().translation.x, 0.0);

    ClipParams bad;
    bad.flavor = 3;
    EXPECT_EQ(ThrownText([&] { CAutoClip guard(base, bad); }),
              "Runtime Error : Unknown PushClip flavor : Tavo::CAutoClip::CAutoClip : Renderer\\Renderer : "
              "Line 405");
    EXPECT_TRUE(context->savedStates.empty());
}

TEST_F(RendererState, FillAndFrameSkipsTransparentParts)
{
    struct Counting : FakeRenderer
    {
        int fills = 0, frames = 0;
        void FillRect(const RectT<int32_t>&, const ColorRGBA&, bool) override { ++fills; }
        void DrawRect(const RectT<int32_t>&, const ColorRGBA&, float) override { ++frames; }
    };
    RCPtr<Counting> r(new Counting());
    r->FillAndFrameRect({0, 0, 1, 1}, {1, 0, 0, 0}, {0, 0, 0, 1}, 1);
    r->FillAndFrameRect({0, 0, 1, 1}, {1, 0, 0, 0.5f}, {0, 0, 0, 0}, 1);
    EXPECT_EQ(r->fills, 1);
    EXPECT_EQ(r->frames, 1);
}
