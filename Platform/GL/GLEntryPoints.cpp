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

extern "C" {

void GLAPIENTRY glAlphaFunc(GLenum a0, GLclampf a1)
{
    static const auto real = reinterpret_cast<decltype(&glAlphaFunc)>(Symbol(kGL, "glAlphaFunc"));
    if (real)
        real(a0, a1);
}

void GLAPIENTRY glBegin(GLenum a0)
{
    static const auto real = reinterpret_cast<decltype(&glBegin)>(Symbol(kGL, "glBegin"));
    if (real)
        real(a0);
}

void GLAPIENTRY glBindTexture(GLenum a0, GLuint a1)
{
    static const auto real = reinterpret_cast<decltype(&glBindTexture)>(Symbol(kGL, "glBindTexture"));
    if (real)
        real(a0, a1);
}

void GLAPIENTRY glBlendFuncSeparate(GLenum a0, GLenum a1, GLenum a2, GLenum a3)
{
    static const auto real =
        reinterpret_cast<decltype(&glBlendFuncSeparate)>(Symbol(kGL, "glBlendFuncSeparate"));
    if (real)
        real(a0, a1, a2, a3);
}

void GLAPIENTRY glCallList(GLuint a0)
{
    static const auto real = reinterpret_cast<decltype(&glCallList)>(Symbol(kGL, "glCallList"));
    if (real)
        real(a0);
}

void GLAPIENTRY glClear(GLbitfield a0)
{
    static const auto real = reinterpret_cast<decltype(&glClear)>(Symbol(kGL, "glClear"));
    if (real)
        real(a0);
}

void GLAPIENTRY glClearColor(GLclampf a0, GLclampf a1, GLclampf a2, GLclampf a3)
{
    static const auto real = reinterpret_cast<decltype(&glClearColor)>(Symbol(kGL, "glClearColor"));
    if (real)
        real(a0, a1, a2, a3);
}

void GLAPIENTRY glColor4f(GLfloat a0, GLfloat a1, GLfloat a2, GLfloat a3)
{
    static const auto real = reinterpret_cast<decltype(&glColor4f)>(Symbol(kGL, "glColor4f"));
    if (real)
        real(a0, a1, a2, a3);
}

void GLAPIENTRY glColor4ub(GLubyte a0, GLubyte a1, GLubyte a2, GLubyte a3)
{
    static const auto real = reinterpret_cast<decltype(&glColor4ub)>(Symbol(kGL, "glColor4ub"));
    if (real)
        real(a0, a1, a2, a3);
}

void GLAPIENTRY glCopyPixels(GLint a0, GLint a1, GLsizei a2, GLsizei a3, GLenum a4)
{
    static const auto real = reinterpret_cast<decltype(&glCopyPixels)>(Symbol(kGL, "glCopyPixels"));
    if (real)
        real(a0, a1, a2, a3, a4);
}

void GLAPIENTRY glDeleteLists(GLuint a0, GLsizei a1)
{
    static const auto real = reinterpret_cast<decltype(&glDeleteLists)>(Symbol(kGL, "glDeleteLists"));
    if (real)
        real(a0, a1);
}

void GLAPIENTRY glDeleteTextures(GLsizei a0, const GLuint* a1)
{
    static const auto real = reinterpret_cast<decltype(&glDeleteTextures)>(Symbol(kGL, "glDeleteTextures"));
    if (real)
        real(a0, a1);
}

void GLAPIENTRY glDisable(GLenum a0)
{
    static const auto real = reinterpret_cast<decltype(&glDisable)>(Symbol(kGL, "glDisable"));
    if (real)
        real(a0);
}

void GLAPIENTRY glDrawBuffer(GLenum a0)
{
    static const auto real = reinterpret_cast<decltype(&glDrawBuffer)>(Symbol(kGL, "glDrawBuffer"));
    if (real)
        real(a0);
}

void GLAPIENTRY glEnable(GLenum a0)
{
    static const auto real = reinterpret_cast<decltype(&glEnable)>(Symbol(kGL, "glEnable"));
    if (real)
        real(a0);
}

void GLAPIENTRY glEnd(void)
{
    static const auto real = reinterpret_cast<decltype(&glEnd)>(Symbol(kGL, "glEnd"));
    if (real)
        real();
}

void GLAPIENTRY glEndList(void)
{
    static const auto real = reinterpret_cast<decltype(&glEndList)>(Symbol(kGL, "glEndList"));
    if (real)
        real();
}

void GLAPIENTRY glFlush(void)
{
    static const auto real = reinterpret_cast<decltype(&glFlush)>(Symbol(kGL, "glFlush"));
    if (real)
        real();
}

GLuint GLAPIENTRY glGenLists(GLsizei a0)
{
    static const auto real = reinterpret_cast<decltype(&glGenLists)>(Symbol(kGL, "glGenLists"));
    return real ? real(a0) : GLuint{};
}

void GLAPIENTRY glGenTextures(GLsizei a0, GLuint* a1)
{
    static const auto real = reinterpret_cast<decltype(&glGenTextures)>(Symbol(kGL, "glGenTextures"));
    if (real)
        real(a0, a1);
}

GLenum GLAPIENTRY glGetError(void)
{
    static const auto real = reinterpret_cast<decltype(&glGetError)>(Symbol(kGL, "glGetError"));
    return real ? real() : GLenum{};
}

void GLAPIENTRY glGetIntegerv(GLenum a0, GLint* a1)
{
    static const auto real = reinterpret_cast<decltype(&glGetIntegerv)>(Symbol(kGL, "glGetIntegerv"));
    if (real)
        real(a0, a1);
}

void GLAPIENTRY glGetTexImage(GLenum a0, GLint a1, GLenum a2, GLenum a3, GLvoid* a4)
{
    static const auto real = reinterpret_cast<decltype(&glGetTexImage)>(Symbol(kGL, "glGetTexImage"));
    if (real)
        real(a0, a1, a2, a3, a4);
}

void GLAPIENTRY glGetTexLevelParameteriv(GLenum a0, GLint a1, GLenum a2, GLint* a3)
{
    static const auto real =
        reinterpret_cast<decltype(&glGetTexLevelParameteriv)>(Symbol(kGL, "glGetTexLevelParameteriv"));
    if (real)
        real(a0, a1, a2, a3);
}

GLboolean GLAPIENTRY glIsList(GLuint a0)
{
    static const auto real = reinterpret_cast<decltype(&glIsList)>(Symbol(kGL, "glIsList"));
    return real ? real(a0) : GLboolean{};
}

GLboolean GLAPIENTRY glIsTexture(GLuint a0)
{
    static const auto real = reinterpret_cast<decltype(&glIsTexture)>(Symbol(kGL, "glIsTexture"));
    return real ? real(a0) : GLboolean{};
}

void GLAPIENTRY glLoadIdentity(void)
{
    static const auto real = reinterpret_cast<decltype(&glLoadIdentity)>(Symbol(kGL, "glLoadIdentity"));
    if (real)
        real();
}

void GLAPIENTRY glMatrixMode(GLenum a0)
{
    static const auto real = reinterpret_cast<decltype(&glMatrixMode)>(Symbol(kGL, "glMatrixMode"));
    if (real)
        real(a0);
}

void GLAPIENTRY glNewList(GLuint a0, GLenum a1)
{
    static const auto real = reinterpret_cast<decltype(&glNewList)>(Symbol(kGL, "glNewList"));
    if (real)
        real(a0, a1);
}

void GLAPIENTRY glOrtho(GLdouble a0, GLdouble a1, GLdouble a2, GLdouble a3, GLdouble a4, GLdouble a5)
{
    static const auto real = reinterpret_cast<decltype(&glOrtho)>(Symbol(kGL, "glOrtho"));
    if (real)
        real(a0, a1, a2, a3, a4, a5);
}

void GLAPIENTRY glPixelStorei(GLenum a0, GLint a1)
{
    static const auto real = reinterpret_cast<decltype(&glPixelStorei)>(Symbol(kGL, "glPixelStorei"));
    if (real)
        real(a0, a1);
}

void GLAPIENTRY glPopAttrib(void)
{
    static const auto real = reinterpret_cast<decltype(&glPopAttrib)>(Symbol(kGL, "glPopAttrib"));
    if (real)
        real();
}

void GLAPIENTRY glPopMatrix(void)
{
    static const auto real = reinterpret_cast<decltype(&glPopMatrix)>(Symbol(kGL, "glPopMatrix"));
    if (real)
        real();
}

void GLAPIENTRY glPushAttrib(GLbitfield a0)
{
    static const auto real = reinterpret_cast<decltype(&glPushAttrib)>(Symbol(kGL, "glPushAttrib"));
    if (real)
        real(a0);
}

void GLAPIENTRY glPushMatrix(void)
{
    static const auto real = reinterpret_cast<decltype(&glPushMatrix)>(Symbol(kGL, "glPushMatrix"));
    if (real)
        real();
}

void GLAPIENTRY glRasterPos2i(GLint a0, GLint a1)
{
    static const auto real = reinterpret_cast<decltype(&glRasterPos2i)>(Symbol(kGL, "glRasterPos2i"));
    if (real)
        real(a0, a1);
}

void GLAPIENTRY glReadBuffer(GLenum a0)
{
    static const auto real = reinterpret_cast<decltype(&glReadBuffer)>(Symbol(kGL, "glReadBuffer"));
    if (real)
        real(a0);
}

void GLAPIENTRY glReadPixels(GLint a0, GLint a1, GLsizei a2, GLsizei a3, GLenum a4, GLenum a5, GLvoid* a6)
{
    static const auto real = reinterpret_cast<decltype(&glReadPixels)>(Symbol(kGL, "glReadPixels"));
    if (real)
        real(a0, a1, a2, a3, a4, a5, a6);
}

void GLAPIENTRY glRecti(GLint a0, GLint a1, GLint a2, GLint a3)
{
    static const auto real = reinterpret_cast<decltype(&glRecti)>(Symbol(kGL, "glRecti"));
    if (real)
        real(a0, a1, a2, a3);
}

void GLAPIENTRY glScalef(GLfloat a0, GLfloat a1, GLfloat a2)
{
    static const auto real = reinterpret_cast<decltype(&glScalef)>(Symbol(kGL, "glScalef"));
    if (real)
        real(a0, a1, a2);
}

void GLAPIENTRY glScissor(GLint a0, GLint a1, GLsizei a2, GLsizei a3)
{
    static const auto real = reinterpret_cast<decltype(&glScissor)>(Symbol(kGL, "glScissor"));
    if (real)
        real(a0, a1, a2, a3);
}

void GLAPIENTRY glShadeModel(GLenum a0)
{
    static const auto real = reinterpret_cast<decltype(&glShadeModel)>(Symbol(kGL, "glShadeModel"));
    if (real)
        real(a0);
}

void GLAPIENTRY glTexCoord2f(GLfloat a0, GLfloat a1)
{
    static const auto real = reinterpret_cast<decltype(&glTexCoord2f)>(Symbol(kGL, "glTexCoord2f"));
    if (real)
        real(a0, a1);
}

void GLAPIENTRY glTexEnvi(GLenum a0, GLenum a1, GLint a2)
{
    static const auto real = reinterpret_cast<decltype(&glTexEnvi)>(Symbol(kGL, "glTexEnvi"));
    if (real)
        real(a0, a1, a2);
}

void GLAPIENTRY glTexImage2D(GLenum a0, GLint a1, GLint a2, GLsizei a3, GLsizei a4, GLint a5, GLenum a6,
                             GLenum a7, const GLvoid* a8)
{
    static const auto real = reinterpret_cast<decltype(&glTexImage2D)>(Symbol(kGL, "glTexImage2D"));
    if (real)
        real(a0, a1, a2, a3, a4, a5, a6, a7, a8);
}

void GLAPIENTRY glTexParameteri(GLenum a0, GLenum a1, GLint a2)
{
    static const auto real = reinterpret_cast<decltype(&glTexParameteri)>(Symbol(kGL, "glTexParameteri"));
    if (real)
        real(a0, a1, a2);
}

void GLAPIENTRY glTexSubImage2D(GLenum a0, GLint a1, GLint a2, GLint a3, GLsizei a4, GLsizei a5, GLenum a6,
                                GLenum a7, const GLvoid* a8)
{
    static const auto real = reinterpret_cast<decltype(&glTexSubImage2D)>(Symbol(kGL, "glTexSubImage2D"));
    if (real)
        real(a0, a1, a2, a3, a4, a5, a6, a7, a8);
}

void GLAPIENTRY glTranslated(GLdouble a0, GLdouble a1, GLdouble a2)
{
    static const auto real = reinterpret_cast<decltype(&glTranslated)>(Symbol(kGL, "glTranslated"));
    if (real)
        real(a0, a1, a2);
}

void GLAPIENTRY glTranslatef(GLfloat a0, GLfloat a1, GLfloat a2)
{
    static const auto real = reinterpret_cast<decltype(&glTranslatef)>(Symbol(kGL, "glTranslatef"));
    if (real)
        real(a0, a1, a2);
}

void GLAPIENTRY glVertex2d(GLdouble a0, GLdouble a1)
{
    static const auto real = reinterpret_cast<decltype(&glVertex2d)>(Symbol(kGL, "glVertex2d"));
    if (real)
        real(a0, a1);
}

void GLAPIENTRY glVertex2f(GLfloat a0, GLfloat a1)
{
    static const auto real = reinterpret_cast<decltype(&glVertex2f)>(Symbol(kGL, "glVertex2f"));
    if (real)
        real(a0, a1);
}

void GLAPIENTRY glVertex3dv(const GLdouble* a0)
{
    static const auto real = reinterpret_cast<decltype(&glVertex3dv)>(Symbol(kGL, "glVertex3dv"));
    if (real)
        real(a0);
}

void GLAPIENTRY glViewport(GLint a0, GLint a1, GLsizei a2, GLsizei a3)
{
    static const auto real = reinterpret_cast<decltype(&glViewport)>(Symbol(kGL, "glViewport"));
    if (real)
        real(a0, a1, a2, a3);
}

GLXFBConfig* GLAPIENTRY glXChooseFBConfig(Display* a0, int a1, const int* a2, int* a3)
{
    static const auto real = reinterpret_cast<decltype(&glXChooseFBConfig)>(Symbol(kGL, "glXChooseFBConfig"));
    return real ? real(a0, a1, a2, a3) : nullptr;
}

GLXContext GLAPIENTRY glXCreateNewContext(Display* a0, GLXFBConfig a1, int a2, GLXContext a3, Bool a4)
{
    static const auto real =
        reinterpret_cast<decltype(&glXCreateNewContext)>(Symbol(kGL, "glXCreateNewContext"));
    return real ? real(a0, a1, a2, a3, a4) : GLXContext{};
}

GLXWindow GLAPIENTRY glXCreateWindow(Display* a0, GLXFBConfig a1, Window a2, const int* a3)
{
    static const auto real = reinterpret_cast<decltype(&glXCreateWindow)>(Symbol(kGL, "glXCreateWindow"));
    return real ? real(a0, a1, a2, a3) : GLXWindow{};
}

void GLAPIENTRY glXDestroyContext(Display* a0, GLXContext a1)
{
    static const auto real = reinterpret_cast<decltype(&glXDestroyContext)>(Symbol(kGL, "glXDestroyContext"));
    if (real)
        real(a0, a1);
}

void GLAPIENTRY glXDestroyWindow(Display* a0, GLXWindow a1)
{
    static const auto real = reinterpret_cast<decltype(&glXDestroyWindow)>(Symbol(kGL, "glXDestroyWindow"));
    if (real)
        real(a0, a1);
}

GLXContext GLAPIENTRY glXGetCurrentContext(void)
{
    static const auto real =
        reinterpret_cast<decltype(&glXGetCurrentContext)>(Symbol(kGL, "glXGetCurrentContext"));
    return real ? real() : GLXContext{};
}

GLXDrawable GLAPIENTRY glXGetCurrentDrawable(void)
{
    static const auto real =
        reinterpret_cast<decltype(&glXGetCurrentDrawable)>(Symbol(kGL, "glXGetCurrentDrawable"));
    return real ? real() : GLXDrawable{};
}

int GLAPIENTRY glXGetFBConfigAttrib(Display* a0, GLXFBConfig a1, int a2, int* a3)
{
    static const auto real =
        reinterpret_cast<decltype(&glXGetFBConfigAttrib)>(Symbol(kGL, "glXGetFBConfigAttrib"));
    return real ? real(a0, a1, a2, a3) : int{};
}

__GLXextFuncPtr GLAPIENTRY glXGetProcAddressARB(const GLubyte* a0)
{
    static const auto real =
        reinterpret_cast<decltype(&glXGetProcAddressARB)>(Symbol(kGL, "glXGetProcAddressARB"));
    return real ? real(a0) : __GLXextFuncPtr{};
}

XVisualInfo* GLAPIENTRY glXGetVisualFromFBConfig(Display* a0, GLXFBConfig a1)
{
    static const auto real =
        reinterpret_cast<decltype(&glXGetVisualFromFBConfig)>(Symbol(kGL, "glXGetVisualFromFBConfig"));
    return real ? real(a0, a1) : nullptr;
}

Bool GLAPIENTRY glXMakeContextCurrent(Display* a0, GLXDrawable a1, GLXDrawable a2, GLXContext a3)
{
    static const auto real =
        reinterpret_cast<decltype(&glXMakeContextCurrent)>(Symbol(kGL, "glXMakeContextCurrent"));
    return real ? real(a0, a1, a2, a3) : Bool{};
}

const char* GLAPIENTRY glXQueryExtensionsString(Display* a0, int a1)
{
    static const auto real =
        reinterpret_cast<decltype(&glXQueryExtensionsString)>(Symbol(kGL, "glXQueryExtensionsString"));
    return real ? real(a0, a1) : nullptr;
}

void GLAPIENTRY glXSwapBuffers(Display* a0, GLXDrawable a1)
{
    static const auto real = reinterpret_cast<decltype(&glXSwapBuffers)>(Symbol(kGL, "glXSwapBuffers"));
    if (real)
        real(a0, a1);
}

GLint GLAPIENTRY gluBuild2DMipmaps(GLenum a0, GLint a1, GLsizei a2, GLsizei a3, GLenum a4, GLenum a5,
                                   const void* a6)
{
    static const auto real =
        reinterpret_cast<decltype(&gluBuild2DMipmaps)>(Symbol(kGLU, "gluBuild2DMipmaps"));
    return real ? real(a0, a1, a2, a3, a4, a5, a6) : GLint{};
}

GLUtesselator* GLAPIENTRY gluNewTess(void)
{
    static const auto real = reinterpret_cast<decltype(&gluNewTess)>(Symbol(kGLU, "gluNewTess"));
    return real ? real() : nullptr;
}

GLint GLAPIENTRY gluScaleImage(GLenum a0, GLsizei a1, GLsizei a2, GLenum a3, const void* a4, GLsizei a5,
                               GLsizei a6, GLenum a7, GLvoid* a8)
{
    static const auto real = reinterpret_cast<decltype(&gluScaleImage)>(Symbol(kGLU, "gluScaleImage"));
    return real ? real(a0, a1, a2, a3, a4, a5, a6, a7, a8) : GLint{};
}

void GLAPIENTRY gluTessBeginContour(GLUtesselator* a0)
{
    static const auto real =
        reinterpret_cast<decltype(&gluTessBeginContour)>(Symbol(kGLU, "gluTessBeginContour"));
    if (real)
        real(a0);
}

void GLAPIENTRY gluTessBeginPolygon(GLUtesselator* a0, GLvoid* a1)
{
    static const auto real =
        reinterpret_cast<decltype(&gluTessBeginPolygon)>(Symbol(kGLU, "gluTessBeginPolygon"));
    if (real)
        real(a0, a1);
}

void GLAPIENTRY gluTessCallback(GLUtesselator* a0, GLenum a1, _GLUfuncptr a2)
{
    static const auto real = reinterpret_cast<decltype(&gluTessCallback)>(Symbol(kGLU, "gluTessCallback"));
    if (real)
        real(a0, a1, a2);
}

void GLAPIENTRY gluTessEndContour(GLUtesselator* a0)
{
    static const auto real =
        reinterpret_cast<decltype(&gluTessEndContour)>(Symbol(kGLU, "gluTessEndContour"));
    if (real)
        real(a0);
}

void GLAPIENTRY gluTessEndPolygon(GLUtesselator* a0)
{
    static const auto real =
        reinterpret_cast<decltype(&gluTessEndPolygon)>(Symbol(kGLU, "gluTessEndPolygon"));
    if (real)
        real(a0);
}

void GLAPIENTRY gluTessNormal(GLUtesselator* a0, GLdouble a1, GLdouble a2, GLdouble a3)
{
    static const auto real = reinterpret_cast<decltype(&gluTessNormal)>(Symbol(kGLU, "gluTessNormal"));
    if (real)
        real(a0, a1, a2, a3);
}

void GLAPIENTRY gluTessProperty(GLUtesselator* a0, GLenum a1, GLdouble a2)
{
    static const auto real = reinterpret_cast<decltype(&gluTessProperty)>(Symbol(kGLU, "gluTessProperty"));
    if (real)
        real(a0, a1, a2);
}

void GLAPIENTRY gluTessVertex(GLUtesselator* a0, GLdouble* a1, GLvoid* a2)
{
    static const auto real = reinterpret_cast<decltype(&gluTessVertex)>(Symbol(kGLU, "gluTessVertex"));
    if (real)
        real(a0, a1, a2);
}

}  // extern "C"
