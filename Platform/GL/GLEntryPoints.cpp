// The display's GL is opened on first use rather than at start-up, so that
// a program drawing with the GDI+-style renderer never maps it. Each entry
// point the framework calls forwards to the library's own; while the
// library cannot be had, they do nothing and answer zero.
#define GL_GLEXT_PROTOTYPES
#include "Platform/GL/GLContext.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>
#include <GL/glx.h>

#include <dlfcn.h>
#include <mutex>

namespace Tavo::Platform::GL {

namespace {

enum Library { kGL, kGLU };

struct Libraries
{
    std::string names[2] = {"libGL.so.1", "libGLU.so.1"};
    void* handles[2] = {nullptr, nullptr};
    std::once_flag opened;
};

Libraries& Libs()
{
    static Libraries* const libraries = new Libraries();
    return *libraries;
}

void* Symbol(Library library, const char* name)
{
    return LoadLibraries() ? dlsym(Libs().handles[library], name) : nullptr;
}

}  // namespace

void SetLibraryNames(const std::string& gl, const std::string& glu)
{
    Libs().names[kGL] = gl;
    Libs().names[kGLU] = glu;
}

bool LoadLibraries()
{
    Libraries& libs = Libs();
    std::call_once(libs.opened, [&libs] {
        for (void*& handle : libs.handles)
            handle = dlopen(libs.names[&handle - libs.handles].c_str(), RTLD_NOW | RTLD_GLOBAL);
    });
    return libs.handles[kGL] && libs.handles[kGLU];
}

}  // namespace Tavo::Platform::GL

using Tavo::Platform::GL::kGL;
using Tavo::Platform::GL::kGLU;
using Tavo::Platform::GL::Symbol;

// The body of each entry point: the library's own function, looked up once,
// or a zero answer while the library cannot be had.
#define TAVO_GL_FORWARD(library, name, ...)                                                                  \
    static const auto real = reinterpret_cast<decltype(&name)>(Symbol(library, #name));                      \
    return real ? real(__VA_ARGS__) : decltype(real(__VA_ARGS__))()

extern "C" {

void GLAPIENTRY glAlphaFunc(GLenum a0, GLclampf a1)
{
    TAVO_GL_FORWARD(kGL, glAlphaFunc, a0, a1);
}

void GLAPIENTRY glBegin(GLenum a0)
{
    TAVO_GL_FORWARD(kGL, glBegin, a0);
}

void GLAPIENTRY glBindTexture(GLenum a0, GLuint a1)
{
    TAVO_GL_FORWARD(kGL, glBindTexture, a0, a1);
}

void GLAPIENTRY glBlendFuncSeparate(GLenum a0, GLenum a1, GLenum a2, GLenum a3)
{
    TAVO_GL_FORWARD(kGL, glBlendFuncSeparate, a0, a1, a2, a3);
}

void GLAPIENTRY glCallList(GLuint a0)
{
    TAVO_GL_FORWARD(kGL, glCallList, a0);
}

void GLAPIENTRY glClear(GLbitfield a0)
{
    TAVO_GL_FORWARD(kGL, glClear, a0);
}

void GLAPIENTRY glClearColor(GLclampf a0, GLclampf a1, GLclampf a2, GLclampf a3)
{
    TAVO_GL_FORWARD(kGL, glClearColor, a0, a1, a2, a3);
}

void GLAPIENTRY glColor4f(GLfloat a0, GLfloat a1, GLfloat a2, GLfloat a3)
{
    TAVO_GL_FORWARD(kGL, glColor4f, a0, a1, a2, a3);
}

void GLAPIENTRY glColor4ub(GLubyte a0, GLubyte a1, GLubyte a2, GLubyte a3)
{
    TAVO_GL_FORWARD(kGL, glColor4ub, a0, a1, a2, a3);
}

void GLAPIENTRY glCopyPixels(GLint a0, GLint a1, GLsizei a2, GLsizei a3, GLenum a4)
{
    TAVO_GL_FORWARD(kGL, glCopyPixels, a0, a1, a2, a3, a4);
}

void GLAPIENTRY glDeleteLists(GLuint a0, GLsizei a1)
{
    TAVO_GL_FORWARD(kGL, glDeleteLists, a0, a1);
}

void GLAPIENTRY glDeleteTextures(GLsizei a0, const GLuint* a1)
{
    TAVO_GL_FORWARD(kGL, glDeleteTextures, a0, a1);
}

void GLAPIENTRY glDisable(GLenum a0)
{
    TAVO_GL_FORWARD(kGL, glDisable, a0);
}

void GLAPIENTRY glDrawBuffer(GLenum a0)
{
    TAVO_GL_FORWARD(kGL, glDrawBuffer, a0);
}

void GLAPIENTRY glEnable(GLenum a0)
{
    TAVO_GL_FORWARD(kGL, glEnable, a0);
}

void GLAPIENTRY glEnd(void)
{
    TAVO_GL_FORWARD(kGL, glEnd);
}

void GLAPIENTRY glEndList(void)
{
    TAVO_GL_FORWARD(kGL, glEndList);
}

void GLAPIENTRY glFlush(void)
{
    TAVO_GL_FORWARD(kGL, glFlush);
}

GLuint GLAPIENTRY glGenLists(GLsizei a0)
{
    TAVO_GL_FORWARD(kGL, glGenLists, a0);
}

void GLAPIENTRY glGenTextures(GLsizei a0, GLuint* a1)
{
    TAVO_GL_FORWARD(kGL, glGenTextures, a0, a1);
}

GLenum GLAPIENTRY glGetError(void)
{
    TAVO_GL_FORWARD(kGL, glGetError);
}

void GLAPIENTRY glGetIntegerv(GLenum a0, GLint* a1)
{
    TAVO_GL_FORWARD(kGL, glGetIntegerv, a0, a1);
}

void GLAPIENTRY glGetTexImage(GLenum a0, GLint a1, GLenum a2, GLenum a3, GLvoid* a4)
{
    TAVO_GL_FORWARD(kGL, glGetTexImage, a0, a1, a2, a3, a4);
}

void GLAPIENTRY glGetTexLevelParameteriv(GLenum a0, GLint a1, GLenum a2, GLint* a3)
{
    TAVO_GL_FORWARD(kGL, glGetTexLevelParameteriv, a0, a1, a2, a3);
}

GLboolean GLAPIENTRY glIsList(GLuint a0)
{
    TAVO_GL_FORWARD(kGL, glIsList, a0);
}

GLboolean GLAPIENTRY glIsTexture(GLuint a0)
{
    TAVO_GL_FORWARD(kGL, glIsTexture, a0);
}

void GLAPIENTRY glLoadIdentity(void)
{
    TAVO_GL_FORWARD(kGL, glLoadIdentity);
}

void GLAPIENTRY glMatrixMode(GLenum a0)
{
    TAVO_GL_FORWARD(kGL, glMatrixMode, a0);
}

void GLAPIENTRY glNewList(GLuint a0, GLenum a1)
{
    TAVO_GL_FORWARD(kGL, glNewList, a0, a1);
}

void GLAPIENTRY glOrtho(GLdouble a0, GLdouble a1, GLdouble a2, GLdouble a3, GLdouble a4, GLdouble a5)
{
    TAVO_GL_FORWARD(kGL, glOrtho, a0, a1, a2, a3, a4, a5);
}

void GLAPIENTRY glPixelStorei(GLenum a0, GLint a1)
{
    TAVO_GL_FORWARD(kGL, glPixelStorei, a0, a1);
}

void GLAPIENTRY glPopAttrib(void)
{
    TAVO_GL_FORWARD(kGL, glPopAttrib);
}

void GLAPIENTRY glPopMatrix(void)
{
    TAVO_GL_FORWARD(kGL, glPopMatrix);
}

void GLAPIENTRY glPushAttrib(GLbitfield a0)
{
    TAVO_GL_FORWARD(kGL, glPushAttrib, a0);
}

void GLAPIENTRY glPushMatrix(void)
{
    TAVO_GL_FORWARD(kGL, glPushMatrix);
}

void GLAPIENTRY glRasterPos2i(GLint a0, GLint a1)
{
    TAVO_GL_FORWARD(kGL, glRasterPos2i, a0, a1);
}

void GLAPIENTRY glReadBuffer(GLenum a0)
{
    TAVO_GL_FORWARD(kGL, glReadBuffer, a0);
}

void GLAPIENTRY glReadPixels(GLint a0, GLint a1, GLsizei a2, GLsizei a3, GLenum a4, GLenum a5, GLvoid* a6)
{
    TAVO_GL_FORWARD(kGL, glReadPixels, a0, a1, a2, a3, a4, a5, a6);
}

void GLAPIENTRY glRecti(GLint a0, GLint a1, GLint a2, GLint a3)
{
    TAVO_GL_FORWARD(kGL, glRecti, a0, a1, a2, a3);
}

void GLAPIENTRY glScalef(GLfloat a0, GLfloat a1, GLfloat a2)
{
    TAVO_GL_FORWARD(kGL, glScalef, a0, a1, a2);
}

void GLAPIENTRY glScissor(GLint a0, GLint a1, GLsizei a2, GLsizei a3)
{
    TAVO_GL_FORWARD(kGL, glScissor, a0, a1, a2, a3);
}

void GLAPIENTRY glStencilFunc(GLenum a0, GLint a1, GLuint a2)
{
    TAVO_GL_FORWARD(kGL, glStencilFunc, a0, a1, a2);
}

void GLAPIENTRY glStencilOp(GLenum a0, GLenum a1, GLenum a2)
{
    TAVO_GL_FORWARD(kGL, glStencilOp, a0, a1, a2);
}

void GLAPIENTRY glShadeModel(GLenum a0)
{
    TAVO_GL_FORWARD(kGL, glShadeModel, a0);
}

void GLAPIENTRY glTexCoord2f(GLfloat a0, GLfloat a1)
{
    TAVO_GL_FORWARD(kGL, glTexCoord2f, a0, a1);
}

void GLAPIENTRY glTexEnvi(GLenum a0, GLenum a1, GLint a2)
{
    TAVO_GL_FORWARD(kGL, glTexEnvi, a0, a1, a2);
}

void GLAPIENTRY glTexImage2D(GLenum a0, GLint a1, GLint a2, GLsizei a3, GLsizei a4, GLint a5, GLenum a6,
                             GLenum a7, const GLvoid* a8)
{
    TAVO_GL_FORWARD(kGL, glTexImage2D, a0, a1, a2, a3, a4, a5, a6, a7, a8);
}

void GLAPIENTRY glTexParameteri(GLenum a0, GLenum a1, GLint a2)
{
    TAVO_GL_FORWARD(kGL, glTexParameteri, a0, a1, a2);
}

void GLAPIENTRY glTexSubImage2D(GLenum a0, GLint a1, GLint a2, GLint a3, GLsizei a4, GLsizei a5, GLenum a6,
                                GLenum a7, const GLvoid* a8)
{
    TAVO_GL_FORWARD(kGL, glTexSubImage2D, a0, a1, a2, a3, a4, a5, a6, a7, a8);
}

void GLAPIENTRY glTranslated(GLdouble a0, GLdouble a1, GLdouble a2)
{
    TAVO_GL_FORWARD(kGL, glTranslated, a0, a1, a2);
}

void GLAPIENTRY glTranslatef(GLfloat a0, GLfloat a1, GLfloat a2)
{
    TAVO_GL_FORWARD(kGL, glTranslatef, a0, a1, a2);
}

void GLAPIENTRY glVertex2d(GLdouble a0, GLdouble a1)
{
    TAVO_GL_FORWARD(kGL, glVertex2d, a0, a1);
}

void GLAPIENTRY glVertex2f(GLfloat a0, GLfloat a1)
{
    TAVO_GL_FORWARD(kGL, glVertex2f, a0, a1);
}

void GLAPIENTRY glVertex3dv(const GLdouble* a0)
{
    TAVO_GL_FORWARD(kGL, glVertex3dv, a0);
}

void GLAPIENTRY glViewport(GLint a0, GLint a1, GLsizei a2, GLsizei a3)
{
    TAVO_GL_FORWARD(kGL, glViewport, a0, a1, a2, a3);
}

GLXFBConfig* GLAPIENTRY glXChooseFBConfig(Display* a0, int a1, const int* a2, int* a3)
{
    TAVO_GL_FORWARD(kGL, glXChooseFBConfig, a0, a1, a2, a3);
}

GLXContext GLAPIENTRY glXCreateNewContext(Display* a0, GLXFBConfig a1, int a2, GLXContext a3, Bool a4)
{
    TAVO_GL_FORWARD(kGL, glXCreateNewContext, a0, a1, a2, a3, a4);
}

GLXWindow GLAPIENTRY glXCreateWindow(Display* a0, GLXFBConfig a1, Window a2, const int* a3)
{
    TAVO_GL_FORWARD(kGL, glXCreateWindow, a0, a1, a2, a3);
}

void GLAPIENTRY glXDestroyContext(Display* a0, GLXContext a1)
{
    TAVO_GL_FORWARD(kGL, glXDestroyContext, a0, a1);
}

void GLAPIENTRY glXDestroyWindow(Display* a0, GLXWindow a1)
{
    TAVO_GL_FORWARD(kGL, glXDestroyWindow, a0, a1);
}

GLXContext GLAPIENTRY glXGetCurrentContext(void)
{
    TAVO_GL_FORWARD(kGL, glXGetCurrentContext);
}

GLXDrawable GLAPIENTRY glXGetCurrentDrawable(void)
{
    TAVO_GL_FORWARD(kGL, glXGetCurrentDrawable);
}

int GLAPIENTRY glXGetFBConfigAttrib(Display* a0, GLXFBConfig a1, int a2, int* a3)
{
    TAVO_GL_FORWARD(kGL, glXGetFBConfigAttrib, a0, a1, a2, a3);
}

__GLXextFuncPtr GLAPIENTRY glXGetProcAddressARB(const GLubyte* a0)
{
    TAVO_GL_FORWARD(kGL, glXGetProcAddressARB, a0);
}

XVisualInfo* GLAPIENTRY glXGetVisualFromFBConfig(Display* a0, GLXFBConfig a1)
{
    TAVO_GL_FORWARD(kGL, glXGetVisualFromFBConfig, a0, a1);
}

Bool GLAPIENTRY glXMakeContextCurrent(Display* a0, GLXDrawable a1, GLXDrawable a2, GLXContext a3)
{
    TAVO_GL_FORWARD(kGL, glXMakeContextCurrent, a0, a1, a2, a3);
}

const char* GLAPIENTRY glXQueryExtensionsString(Display* a0, int a1)
{
    TAVO_GL_FORWARD(kGL, glXQueryExtensionsString, a0, a1);
}

void GLAPIENTRY glXSwapBuffers(Display* a0, GLXDrawable a1)
{
    TAVO_GL_FORWARD(kGL, glXSwapBuffers, a0, a1);
}

GLint GLAPIENTRY gluBuild2DMipmaps(GLenum a0, GLint a1, GLsizei a2, GLsizei a3, GLenum a4, GLenum a5,
                                   const void* a6)
{
    TAVO_GL_FORWARD(kGLU, gluBuild2DMipmaps, a0, a1, a2, a3, a4, a5, a6);
}

GLUtesselator* GLAPIENTRY gluNewTess(void)
{
    TAVO_GL_FORWARD(kGLU, gluNewTess);
}

GLint GLAPIENTRY gluScaleImage(GLenum a0, GLsizei a1, GLsizei a2, GLenum a3, const void* a4, GLsizei a5,
                               GLsizei a6, GLenum a7, GLvoid* a8)
{
    TAVO_GL_FORWARD(kGLU, gluScaleImage, a0, a1, a2, a3, a4, a5, a6, a7, a8);
}

void GLAPIENTRY gluTessBeginContour(GLUtesselator* a0)
{
    TAVO_GL_FORWARD(kGLU, gluTessBeginContour, a0);
}

void GLAPIENTRY gluTessBeginPolygon(GLUtesselator* a0, GLvoid* a1)
{
    TAVO_GL_FORWARD(kGLU, gluTessBeginPolygon, a0, a1);
}

void GLAPIENTRY gluTessCallback(GLUtesselator* a0, GLenum a1, _GLUfuncptr a2)
{
    TAVO_GL_FORWARD(kGLU, gluTessCallback, a0, a1, a2);
}

void GLAPIENTRY gluTessEndContour(GLUtesselator* a0)
{
    TAVO_GL_FORWARD(kGLU, gluTessEndContour, a0);
}

void GLAPIENTRY gluTessEndPolygon(GLUtesselator* a0)
{
    TAVO_GL_FORWARD(kGLU, gluTessEndPolygon, a0);
}

void GLAPIENTRY gluTessNormal(GLUtesselator* a0, GLdouble a1, GLdouble a2, GLdouble a3)
{
    TAVO_GL_FORWARD(kGLU, gluTessNormal, a0, a1, a2, a3);
}

void GLAPIENTRY gluTessProperty(GLUtesselator* a0, GLenum a1, GLdouble a2)
{
    TAVO_GL_FORWARD(kGLU, gluTessProperty, a0, a1, a2);
}

void GLAPIENTRY gluTessVertex(GLUtesselator* a0, GLdouble* a1, GLvoid* a2)
{
    TAVO_GL_FORWARD(kGLU, gluTessVertex, a0, a1, a2);
}

}  // extern "C"
