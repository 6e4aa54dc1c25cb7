// The OpenGL renderer's start-up over a scripted driver: which format it
// keeps, which failures show a box and what it throws. Contexts that are to
// succeed are real ones, on the test program's own Xvfb.
#include "Platform/App/MessageBox.h"
#include "Renderer/OpenGL/GLRenderer.h"
#include "ThrownText.h"
#include "XServer.h"

#include <gtest/gtest.h>

using namespace Tavo;
namespace GL = Tavo::Platform::GL;
using Failure = GL::ContextFailure;

namespace {

struct ScriptedDriver : GL::IGLDriver
{
    GL::FormatInfo first, keeping;
    bool extensionsFail = false;
    std::string extensions = "GLX_ARB_create_context GLX_OML_swap_method";
    Failure firstFails = Failure::NoFailure, keepingFails = Failure::NoFailure,
            windowFails = Failure::NoFailure;
    int chosen = 0;

    GL::FormatInfo ChooseFormat(const GL::PixelFormat&, bool swapCopy) override
    {
        ++chosen;
        return swapCopy ? keeping : first;
    }
    bool GetExtensions(std::string& list, int32_t& code, std::string& text) override
    {
        if (extensionsFail) {
            code = 9;
            text = std::string(1000, 'x');
        }
        list = extensions;
        return !extensionsFail;
    }
    std::unique_ptr<GL::IGLContext> CreateContext(const GL::FormatInfo& format, int32_t width, int32_t height,
                                                  const GL::IGLContext* share, Failure& failure,
                                                  std::string& error) override
    {
        failure = width > 1 ? windowFails : format.id == first.id ? firstFails : keepingFails;
        if (failure != Failure::NoFailure)
            return nullptr;
        GL::IGLDriver& real = GL::GLXDriver();
        return real.CreateContext(real.ChooseFormat({}, false), width, height, share, failure, error);
    }
};

struct Box
{
    std::string text, caption;
    uint32_t style = 0;
};

TEST(GLStartup, KeepsTheFirstFormatUnlessASwapKeepingOneCanBeSetAndShowsEachFailure)
{
    ASSERT_TRUE(TestXServer().Running());
    std::vector<Box> boxes;
    Platform::App::SetMessageBoxHook([&](uintptr_t, const std::string& text, const std::string& caption,
                                         uint32_t style) -> std::optional<int32_t> {
        boxes.push_back({text, caption, style});
        return 1;
    });
    const std::string advice =
        "Updating your video card driver, with the latest driver from the manufacturer of "
        "your video card, may solve this issue.";
    const std::string thrown =
        "Runtime Error : Tavo::LGLRenderer::LGLRenderer : Renderer\\OpenGL\\GLRenderer : Line ";
    const GL::FormatInfo copying{1, true, false, false}, swapping{1, true, true, false};
    const struct
    {
        GL::FormatInfo first, keeping;
        Failure firstFails, keepingFails;
        bool extensionsFail;
        std::string extensions;
        std::string throws;  // empty: the renderer is made
        std::string box;     // the box's text up to the advice; empty: none
        int32_t keptId;
        int chosen;
    } cases[] = {
        {{},
         {},
         Failure::NoFailure,
         Failure::NoFailure,
         false,
         "",
         thrown + "146",
         "ChoosePixelFormat failed.",
         0,
         1},
        {copying, {}, Failure::Drawable, Failure::NoFailure, false, "", thrown + "152", "", 0, 1},
        {copying,
         {},
         Failure::SetFormat,
         Failure::NoFailure,
         false,
         "",
         thrown + "163",
         "SetPixelFormat failed.",
         0,
         1},
        {copying,
         {},
         Failure::CreateContext,
         Failure::NoFailure,
         false,
         "",
         thrown + "173",
         "wglCreateContext failed.",
         0,
         1},
        {swapping,
         {2, true, true, false},
         Failure::NoFailure,
         Failure::NoFailure,
         false,
         "GLX_OML_swap_method",
         "",
         "",
         1,
         1},
        {copying,
         {2, true, true, false},
         Failure::NoFailure,
         Failure::NoFailure,
         false,
         "GLX_OML_swap_methods",
         "",
         "",
         1,
         1},
        {copying,
         {2, true, true, false},
         Failure::NoFailure,
         Failure::NoFailure,
         true,
         "",
         "",
         "wglGetProcAddress(\"wglGetExtensionsStringARB\") failed with error 9: " + std::string(256, 'x') +
             ".",
         1,
         1},
        {copying,
         {2, true, true, true},
         Failure::NoFailure,
         Failure::NoFailure,
         false,
         "GLX_OML_swap_method",
         "",
         "",
         1,
         2},
        {copying, {}, Failure::NoFailure, Failure::NoFailure, false, "GLX_OML_swap_method", "", "", 1, 2},
        {copying,
         {2, true, true, false},
         Failure::NoFailure,
         Failure::CreateContext,
         false,
         "GLX_OML_swap_method",
         "",
         "",
         1,
         2},
        {copying,
         {2, true, true, false},
         Failure::NoFailure,
         Failure::SetFormat,
         false,
         "GLX_OML_swap_method",
         thrown + "249",
         "SetPixelFormat failed.",
         0,
         2},
        {copying,
         {2, true, true, false},
         Failure::NoFailure,
         Failure::NoFailure,
         false,
         "GLX_OML_swap_method",
         "",
         "",
         2,
         2},
    };
    int row = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(row++);
        boxes.clear();
        ScriptedDriver driver;
        driver.first = c.first;
        driver.keeping = c.keeping;
        driver.firstFails = c.firstFails;
        driver.keepingFails = c.keepingFails;
        driver.extensionsFail = c.extensionsFail;
        driver.extensions = c.extensions;
        RCPtr<LGLRenderer> renderer;
        const std::string text = ThrownText([&] { renderer = RCPtr<LGLRenderer>(new LGLRenderer(&driver)); });
        EXPECT_EQ(text, c.throws.empty() ? "nothing thrown" : c.throws);
        EXPECT_EQ(driver.chosen, c.chosen);
        EXPECT_EQ(renderer ? renderer->GetFormat().id : 0, c.keptId);
        ASSERT_EQ(boxes.size(), c.box.empty() ? 0u : 1u);
        if (!c.box.empty()) {
            EXPECT_EQ(boxes[0].text, c.box + advice);
            EXPECT_EQ(boxes[0].caption, "OpenGL Error");
            EXPECT_EQ(boxes[0].style, c.throws.empty() ? 0u : 0x30u);
        }
    }

    // A window's context that cannot be made fails the same way.
    boxes.clear();
    ScriptedDriver driver;
    driver.first = swapping;
    driver.windowFails = Failure::SetFormat;
    RCPtr<LGLRenderer> renderer(new LGLRenderer(&driver));
    RCPtr<LRenderContextInfo> context;
    EXPECT_EQ(
        ThrownText([&] {
            renderer->InitRenderContextInfo({0, 0, 8, 8}, nullptr, true, context);
        }),
        "Runtime Error : Tavo::LGLRenderer::InitRenderContextInfo : Renderer\\OpenGL\\GLRenderer : Line 336");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "SetPixelFormat failed." + advice);
    for (const char* name : {"", "GLX_OML swap_method", "GLX_OML"})
        EXPECT_FALSE(renderer->IsExtensionSupported(name)) << name;
    Platform::App::SetMessageBoxHook(nullptr);
}

}  // namespace
