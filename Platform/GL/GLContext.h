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
    // The frame last presented, rows top first, 0xAARRGGBB: presenting
    // always keeps the back buffer, which is where it is read.
    virtual std::vector<uint32_t> ReadFront() = 0;
    virtual bool HasExtension(const char* name) const = 0;
    virtual void* NativeContext() const = 0;
};

// A context with an offscreen drawable of the size on the display named by
// DISPLAY, sharing textures with another context when given; null with the
// reason in error when there is none.
std::unique_ptr<IGLContext> CreateOffscreenContext(int32_t width, int32_t height, const PixelFormat& format,
                                                   const IGLContext* shareWith, std::string& error);

}  // namespace Tavo::Platform::GL
