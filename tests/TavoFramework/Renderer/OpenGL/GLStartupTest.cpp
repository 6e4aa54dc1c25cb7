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

constexpr GL::FormatInfo kCopying{1, true, false, false}, kSwapping{2, true, true, false};

struct Script
{
    GL::FormatInfo first = kCopying, keeping = kSwapping;
    Failure firstFails = Failure::NoFailure, keepingFails = Failure::NoFailure,
            windowFails = Failure::NoFailure;
    bool extensionsFail = false;
    const char* extensions = "GLX_ARB_create_context GLX_OML_swap_method";
};

struct ScriptedDriver : GL::IGLDriver
{
    explicit ScriptedDriver(const Script& script) : script(script) {}
    Script script;
    int chosen = 0;

    GL::FormatInfo ChooseFormat(const GL::PixelFormat&, bool swapCopy) override
    {
        ++chosen;
        return swapCopy ? script.keeping : script.first;
    }
    bool GetExtensions(std::string& list, int32_t& code, std::string& text) override
    {
        code = 9;
        text = std::string(1000, 'x');
        list = script.extensions;
        return !script.extensionsFail;
    }
    std::unique_ptr<GL::IGLContext> CreateContext(const GL::FormatInfo& format, int32_t width, int32_t height,
                                                  const GL::IGLContext* share, Failure& failure,
                                                  std::string& error) override
    {
        failure = width > 1                      ? script.windowFails
                  : format.id == script.first.id ? script.firstFails
                                                 : script.keepingFails;
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
    const std::string proc = "wglGetProcAddress(\"wglGetExtensionsStringARB\") failed with error 9: ";
    const struct
    {
        Script script;
        int throwsAt;     // 0: the renderer is made
        std::string box;  // up to the advice; empty: no box
        int32_t keptId;
        int chosen;
    } cases[] = {{{.first = {}}, 146, "ChoosePixelFormat failed.", 0, 1},
                 {{.firstFails = Failure::Drawable}, 152, "", 0, 1},
                 {{.firstFails = Failure::SetFormat}, 163, "SetPixelFormat failed.", 0, 1},
                 {{.firstFails = Failure::CreateContext}, 173, "wglCreateContext failed.", 0, 1},
                 {{.first = {3, true, true, false}}, 0, "", 3, 1},
                 {{.extensions = "GLX_OML_swap_methods"}, 0, "", 1, 1},
                 {{.extensionsFail = true}, 0, proc + std::string(256, 'x') + ".", 1, 1},
                 {{.keeping = {2, true, true, true}}, 0, "", 1, 2},
                 {{.keeping = {}}, 0, "", 1, 2},
                 {{.keepingFails = Failure::CreateContext}, 0, "", 1, 2},
                 {{.keepingFails = Failure::SetFormat}, 249, "SetPixelFormat failed.", 0, 2},
                 {{}, 0, "", 2, 2}};
    int row = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(row++);
        boxes.clear();
        ScriptedDriver driver(c.script);
        RCPtr<LGLRenderer> renderer;
        const std::string text = ThrownText([&] { renderer = RCPtr<LGLRenderer>(new LGLRenderer(&driver)); });
        EXPECT_EQ(text, c.throwsAt ? thrown + std::to_string(c.throwsAt) : "nothing thrown");
        EXPECT_EQ(driver.chosen, c.chosen);
        EXPECT_EQ(renderer ? renderer->GetFormat().id : 0, c.keptId);
        ASSERT_EQ(boxes.size(), c.box.empty() ? 0u : 1u);
        if (!c.box.empty()) {
            EXPECT_EQ(boxes[0].text, c.box + advice);
            EXPECT_EQ(boxes[0].caption, "OpenGL Error");
            EXPECT_EQ(boxes[0].style, c.throwsAt ? 0x30u : 0u);
        }
    }

    // A window's context that cannot be made fails the same way.
    boxes.clear();
    ScriptedDriver driver({.first = kSwapping, .windowFails = Failure::SetFormat});
    RCPtr<LGLRenderer> renderer(new LGLRenderer(&driver));
    RCPtr<LRenderContextInfo> context;
    EXPECT_EQ(
        ThrownText([&] {
            renderer->InitRenderContextInfo({0, 0, 8, 8}, nullptr, true, context);
        }),
        "Runtime Error : Tavo::LGLRenderer::InitRenderContextInfo : Renderer\\OpenGL\\GLRenderer : Line 336");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "SetPixelFormat failed." + advice);
    Platform::App::SetMessageBoxHook(nullptr);
}

}  // namespace
