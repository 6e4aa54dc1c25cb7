// A machine without the GL libraries: the OpenGL renderer fails as on a
// display without a pixel format, and stray GL calls do nothing. A program
// of its own, since the libraries are loaded once per process.
#include "Platform/App/MessageBox.h"
#include "Platform/GL/GLContext.h"
#include "Renderer/OpenGL/GLRenderer.h"
#include "tests/Common/ThrownText.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

using namespace Tavo;
namespace GL = Tavo::Platform::GL;

TEST(GLMissingLibrary, TheRendererShowsTheOpenGLErrorAndThrows)
{
    GL::SetLibraryNames("libTavoMissingGL.so.1", "libGLU.so.1");
    std::vector<std::string> boxes;
    Platform::App::SetMessageBoxHook([&](uintptr_t, const std::string& text, const std::string& caption,
                                         uint32_t) -> std::optional<int32_t> {
        boxes.push_back(caption + ": " + text);
        return 1;
    });
    RCPtr<LGLRenderer> renderer;
    EXPECT_EQ(ThrownText([&] { renderer = RCPtr<LGLRenderer>(new LGLRenderer(&GL::GLXDriver())); }),
              "Runtime Error : Tavo::LGLRenderer::LGLRenderer : Renderer\\OpenGL\\GLRenderer : Line 146");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("OpenGL Error: ChoosePixelFormat failed.", 0), 0u) << boxes[0];
    Platform::App::SetMessageBoxHook(nullptr);

    EXPECT_FALSE(GL::LoadLibraries());
    std::string list = "unchanged", text;
    int32_t code = -1;
    EXPECT_FALSE(GL::GLXDriver().GetExtensions(list, code, text));
    EXPECT_EQ(list, "unchanged");
    GL::ContextFailure failure = GL::ContextFailure::NoFailure;
    EXPECT_EQ(GL::GLXDriver().CreateContext({1, true, false, false}, 8, 8, nullptr, failure, text), nullptr);
    EXPECT_NE(failure, GL::ContextFailure::NoFailure);
    glBegin(GL_QUADS);
    glEnd();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
