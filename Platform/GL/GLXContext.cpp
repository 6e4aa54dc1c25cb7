#include "Platform/GL/GLContext.h"

#include <GL/gl.h>
#include <GL/glx.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace Tavo::Platform::GL {

namespace {

#ifndef GLX_SWAP_METHOD_OML
#define GLX_SWAP_METHOD_OML 0x8060
#define GLX_SWAP_COPY_OML 0x8062
#endif

bool HasWord(const char* list, const char* name)
{
    if (!list || !name || !*name || std::strchr(name, ' '))
        return false;
    const size_t length = std::strlen(name);
    for (const char* at = std::strstr(list, name); at; at = std::strstr(at + length, name))
        if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0'))
            return true;
    return false;
}

// Errors from the server arrive asynchronously; while a trap is set they
// are noted rather than ending the process, and the trap's Sync collects
// those of the requests made under it.
int gLastError = 0;
int NoteError(Display*, XErrorEvent* event)
{
    gLastError = event->error_code;
    return 0;
}

class XErrorTrap
{
public:
    explicit XErrorTrap(Display* display) : mDisplay(display), mPrevious(XSetErrorHandler(NoteError))
    {
        gLastError = 0;
    }
    ~XErrorTrap()
    {
        XSync(mDisplay, False);
        XSetErrorHandler(mPrevious);
    }
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;
    // The first error since the trap was set, 0 when none.
    int Sync()
    {
        XSync(mDisplay, False);
        return gLastError;
    }

private:
    Display* mDisplay;
    int (*mPrevious)(Display*, XErrorEvent*);
};

// The largest drawable side the display's GL draws: its viewport limit,
// within what an X window can be. Read from the first context made.
int32_t gLargestSide = 0;
constexpr int32_t kLargestWindowSide = 32767;

std::string ServerErrorText(Display* display, int code)
{
    char text[160] = {};
    XGetErrorText(display, code, text, sizeof text - 1);
    return text;
}

// One connection for every context, so that contexts can share textures;
// opened on first use and kept.
Display* SharedDisplay()
{
    static Display* const display = XOpenDisplay(nullptr);
    return display;
}

class GLXOffscreenContext : public IGLContext
{
public:
    ~GLXOffscreenContext() override
    {
        if (mContext) {
            glXMakeContextCurrent(mDisplay, None, None, nullptr);
            glXDestroyContext(mDisplay, mContext);
        }
        if (mDrawable)
            glXDestroyWindow(mDisplay, mDrawable);
        if (mWindow)
            XDestroyWindow(mDisplay, mWindow);
        if (mColormap)
            XFreeColormap(mDisplay, mColormap);
        if (mDisplay)
            XFlush(mDisplay);
    }

    bool Open(Display* display, GLXFBConfig config, const FormatInfo& format, int32_t width, int32_t height,
              const IGLContext* shareWith, ContextFailure& failure, std::string& error)
    {
        mDisplay = display;
        mWidth = 1;
        mHeight = 1;
        mDoubleBuffered = format.doubleBuffered;
        mSwapKeeps = format.swapKeepsBackBuffer;
        const int screen = DefaultScreen(mDisplay);
        mExtensions = glXQueryExtensionsString(mDisplay, screen);
        {
            XErrorTrap trap(mDisplay);
            // An unmapped window of the config's visual: never shown, its
            // frames are read back from the back buffer. Made at 1 x 1 and
            // sized once the GL's limits are known.
            if (XVisualInfo* visual = glXGetVisualFromFBConfig(mDisplay, config)) {
                const ::Window root = RootWindow(mDisplay, screen);
                XSetWindowAttributes attributes{};
                attributes.colormap = mColormap = XCreateColormap(mDisplay, root, visual->visual, AllocNone);
                attributes.override_redirect = True;
                mWindow =
                    XCreateWindow(mDisplay, root, 0, 0, 1, 1, 0, visual->depth, InputOutput, visual->visual,
                                  CWColormap | CWBorderPixel | CWOverrideRedirect, &attributes);
                XFree(visual);
            }
            if (mWindow && !trap.Sync())
                mDrawable = glXCreateWindow(mDisplay, config, mWindow, nullptr);
            const int drawableError = trap.Sync();
            if (mDrawable && !drawableError)
                mContext = glXCreateNewContext(
                    mDisplay, config, GLX_RGBA_TYPE,
                    shareWith ? static_cast<GLXContext>(shareWith->NativeContext()) : nullptr, True);
            const int contextError = trap.Sync();
            failure = !mWindow                      ? ContextFailure::Drawable
                      : !mDrawable || drawableError ? ContextFailure::SetFormat
                      : !mContext || contextError   ? ContextFailure::CreateContext
                                                    : ContextFailure::NoFailure;
            if (failure == ContextFailure::NoFailure && (!MakeCurrent() || trap.Sync()))
                failure = ContextFailure::CreateContext;
            if (failure != ContextFailure::NoFailure) {
                error = gLastError ? ServerErrorText(mDisplay, gLastError) : "the server refused it";
                return false;
            }
        }
        if (gLargestSide == 0) {
            GLint largest[2] = {0, 0};
            glGetIntegerv(GL_MAX_VIEWPORT_DIMS, largest);
            gLargestSide = std::clamp(std::min(largest[0], largest[1]), 1, kLargestWindowSide);
        }
        if (!Resize(width, height)) {
            failure = ContextFailure::SetFormat;
            error = "larger than the largest drawable, " + std::to_string(gLargestSide) + " pixels a side";
            return false;
        }
        return true;
    }

    bool Resize(int32_t width, int32_t height) override
    {
        width = std::max(width, 1);
        height = std::max(height, 1);
        if (width == mWidth && height == mHeight)
            return true;
        if (width > gLargestSide || height > gLargestSide)
            return false;
        XErrorTrap trap(mDisplay);
        XResizeWindow(mDisplay, mWindow, static_cast<unsigned>(width), static_cast<unsigned>(height));
        if (trap.Sync())
            return false;
        mWidth = width;
        mHeight = height;
        // A swap makes the GL read the drawable's size again (binding it
        // anew does not); what it shows is repainted in full. Leaves the
        // context current.
        if (MakeCurrent() && mDoubleBuffered)
            glXSwapBuffers(mDisplay, mDrawable);
        return true;
    }

    bool MakeCurrent() override
    {
        // Making the current context current again still costs the driver a
        // flush and a trip to the server for the drawable's size.
        if (glXGetCurrentContext() == mContext && glXGetCurrentDrawable() == mDrawable)
            return true;
        return glXMakeContextCurrent(mDisplay, mDrawable, mDrawable, mContext);
    }

    void Present() override
    {
        if (!mDoubleBuffered) {
            glFlush();
            return;
        }
        if (mSwapKeeps && !mByCopy) {
            glXSwapBuffers(mDisplay, mDrawable);
            return;
        }
        // Copy back to front: what is drawn next builds on the same frame.
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_PIXEL_MODE_BIT | GL_TRANSFORM_BIT);
        glDisable(GL_SCISSOR_TEST);
        glDisable(GL_BLEND);
        glDisable(GL_ALPHA_TEST);
        glDisable(GL_TEXTURE_2D);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glOrtho(0, mWidth, 0, mHeight, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        glViewport(0, 0, mWidth, mHeight);
        glReadBuffer(GL_BACK);
        glDrawBuffer(GL_FRONT);
        glRasterPos2i(0, 0);
        glCopyPixels(0, 0, mWidth, mHeight, GL_COLOR);
        glDrawBuffer(GL_BACK);
        glPopMatrix();
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glPopAttrib();
        glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
        glFlush();
    }

    bool IsDoubleBuffered() const override { return mDoubleBuffered; }
    bool SwapKeepsBackBuffer() const override { return mSwapKeeps; }
    void SetPresentByCopy(bool copy) override { mByCopy = copy; }
    int32_t Width() const override { return mWidth; }
    int32_t Height() const override { return mHeight; }
    bool HasExtension(const char* name) const override { return HasWord(mExtensions.c_str(), name); }
    void* NativeContext() const override { return mContext; }

    std::vector<uint32_t> ReadFront() override
    {
        std::vector<uint32_t> rows(static_cast<size_t>(mWidth) * static_cast<size_t>(mHeight));
        std::vector<uint32_t> flipped(rows.size());
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, mWidth, mHeight, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, flipped.data());
        glReadBuffer(GL_BACK);
        for (int32_t y = 0; y < mHeight; ++y)
            std::memcpy(&rows[static_cast<size_t>(y) * mWidth],
                        &flipped[static_cast<size_t>(mHeight - 1 - y) * mWidth],
                        static_cast<size_t>(mWidth) * sizeof(uint32_t));
        return rows;
    }

private:
    Display* mDisplay = nullptr;
    GLXWindow mDrawable = 0;
    ::Window mWindow = 0;
    Colormap mColormap = 0;
    GLXContext mContext = nullptr;
    std::string mExtensions;
    int32_t mWidth = 0;
    int32_t mHeight = 0;
    bool mDoubleBuffered = false;
    bool mSwapKeeps = false;
    bool mByCopy = false;
};

class GLXDriverImpl : public IGLDriver
{
public:
    FormatInfo ChooseFormat(const PixelFormat& format, bool swapCopy) override
    {
        // Without the GL there is no format: the renderer reports that.
        if (!LoadLibraries())
            return {};
        Display* display = SharedDisplay();
        if (!display)
            return {};
        const int screen = DefaultScreen(display);
        const bool swapMethod = HasWord(glXQueryExtensionsString(display, screen), "GLX_OML_swap_method");
        if (swapCopy && !swapMethod)
            return {};
        std::vector<int> attributes = {GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT,
                                       GLX_RENDER_TYPE,   GLX_RGBA_BIT,
                                       GLX_RED_SIZE,      8,
                                       GLX_GREEN_SIZE,    8,
                                       GLX_BLUE_SIZE,     8,
                                       GLX_ALPHA_SIZE,    8,
                                       GLX_STENCIL_SIZE,  format.stencilBits,
                                       GLX_DOUBLEBUFFER,  format.doubleBuffered ? True : False};
        if (swapCopy)
            attributes.insert(attributes.end(), {GLX_SWAP_METHOD_OML, GLX_SWAP_COPY_OML});
        attributes.push_back(None);
        int count = 0;
        GLXFBConfig* configs = glXChooseFBConfig(display, screen, attributes.data(), &count);
        FormatInfo chosen;
        if (configs && count > 0) {
            int value = 0;
            glXGetFBConfigAttrib(display, configs[0], GLX_FBCONFIG_ID, &value);
            chosen.id = value;
            glXGetFBConfigAttrib(display, configs[0], GLX_DOUBLEBUFFER, &value);
            chosen.doubleBuffered = value != 0;
            value = 0;
            if (swapMethod)
                glXGetFBConfigAttrib(display, configs[0], GLX_SWAP_METHOD_OML, &value);
            chosen.swapKeepsBackBuffer = value == GLX_SWAP_COPY_OML;
            glXGetFBConfigAttrib(display, configs[0], GLX_CONFIG_CAVEAT, &value);
            chosen.slow = value == GLX_SLOW_CONFIG;
        }
        if (configs)
            XFree(configs);
        return chosen;
    }

    bool GetExtensions(std::string& list, int32_t& errorCode, std::string& errorText) override
    {
        using Query = const char* (*)(Display*, int);
        if (!LoadLibraries()) {
            errorCode = 0;
            errorText = "cannot load the GL libraries";
            return false;
        }
        Display* display = SharedDisplay();
        const auto query = reinterpret_cast<Query>(
            glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXQueryExtensionsString")));
        if (!display || !query) {
            errorCode = display ? gLastError : 0;
            errorText = display ? ServerErrorText(display, gLastError) : "cannot open the display";
            return false;
        }
        const char* extensions = query(display, DefaultScreen(display));
        list = extensions ? extensions : "";
        return true;
    }

    std::unique_ptr<IGLContext> CreateContext(const FormatInfo& format, int32_t width, int32_t height,
                                              const IGLContext* shareWith, ContextFailure& failure,
                                              std::string& error) override
    {
        failure = ContextFailure::SetFormat;
        if (!LoadLibraries()) {
            error = "cannot load the GL libraries";
            return nullptr;
        }
        Display* display = SharedDisplay();
        if (!display) {
            error = "cannot open the display";
            return nullptr;
        }
        const int attributes[] = {GLX_FBCONFIG_ID, format.id, None};
        int count = 0;
        GLXFBConfig* configs = glXChooseFBConfig(display, DefaultScreen(display), attributes, &count);
        if (!configs || count < 1) {
            if (configs)
                XFree(configs);
            error = "no framebuffer configuration " + std::to_string(format.id);
            return nullptr;
        }
        auto context = std::make_unique<GLXOffscreenContext>();
        const bool opened =
            context->Open(display, configs[0], format, width, height, shareWith, failure, error);
        XFree(configs);
        if (!opened)
            return nullptr;
        return context;
    }
};

}  // namespace

IGLDriver& GLXDriver()
{
    static GLXDriverImpl* const driver = new GLXDriverImpl();
    return *driver;
}

}  // namespace Tavo::Platform::GL
