#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Tavo::Platform::GL {

// What a render context asks of its pixel format.
struct PixelFormat
{
    bool doubleBuffered = true;
    int32_t stencilBits = 8;
};

// An OpenGL context and the drawable it draws into, current on the thread
// that calls MakeCurrent. Present shows the frame: a swap where swapping
// keeps the back buffer, else a copy of the back buffer to the front.
class IGLContext
{
public:
    virtual ~IGLContext() = default;
    virtual bool MakeCurrent() = 0;
    virtual void Present() = 0;
    virtual bool IsDoubleBuffered() const = 0;
    virtual bool SwapKeepsBackBuffer() const = 0;
    // Forces the copy path even where swapping would keep the back buffer.
    virtual void SetPresentByCopy(bool copy) = 0;
    virtual int32_t Width() const = 0;
    virtual int32_t Height() const = 0;
    // Gives the drawable a new size (below 1 becomes 1); false, keeping the
    // old one, for a size the display's GL cannot draw. What the drawable
    // held is undefined afterwards: a full repaint follows. Leaves the
    // context current.
    virtual bool Resize(int32_t width, int32_t height) = 0;
    // The frame last presented, rows top first, 0xAARRGGBB: presenting
    // always keeps the back buffer, which is where it is read.
    virtual std::vector<uint32_t> ReadFront() = 0;
    virtual bool HasExtension(const char* name) const = 0;
    virtual void* NativeContext() const = 0;
};

// A framebuffer configuration of the display, as a renderer chose it.
struct FormatInfo
{
    int32_t id = 0;  // 0: none
    bool doubleBuffered = false;
    bool swapKeepsBackBuffer = false;
    // The server marks it slow: a software fallback.
    bool slow = false;
};

// The step at which making a context failed.
enum class ContextFailure { NoFailure, Drawable, SetFormat, CreateContext };

// The display's GL: its formats, its extensions and contexts of a chosen
// format. GLX on the display named by DISPLAY; tests put their own in its
// place.
class IGLDriver
{
public:
    virtual ~IGLDriver() = default;
    // The first format that matches, asking that swapping keep the back
    // buffer when swapCopy is set; id 0 when none does.
    virtual FormatInfo ChooseFormat(const PixelFormat& format, bool swapCopy) = 0;
    // The space-separated extension list; false when the call that gives it
    // cannot be had, with the error's number and the system's text for it.
    virtual bool GetExtensions(std::string& list, int32_t& errorCode, std::string& errorText) = 0;
    // A context with an offscreen drawable of the size in the format,
    // sharing textures and lists with another when given; null with the
    // failed step and the reason when there is none, also for a size larger
    // than the display's GL can draw (failing as the drawable's format).
    virtual std::unique_ptr<IGLContext> CreateContext(const FormatInfo& format, int32_t width, int32_t height,
                                                      const IGLContext* shareWith, ContextFailure& failure,
                                                      std::string& error) = 0;
};

// The process's GLX driver, made on first use; it opens the display and
// loads the GL libraries only when first asked.
IGLDriver& GLXDriver();

// Loads libGL and libGLU on the first call; false when either cannot be
// loaded, and then every GL call does nothing.
bool LoadLibraries();
// The file names LoadLibraries opens, for tests (before its first call).
void SetLibraryNames(const std::string& gl, const std::string& glu);

}  // namespace Tavo::Platform::GL
