#pragma once

#include <cstdint>
#include <string_view>

namespace Tavo {

// Texture sizes are powers of two; 16384 is the most any driver here takes.
// Below 1 gives 0.
int32_t NextPowerOfTwo(int32_t n);

// True when the space-separated extension list names the extension as a
// whole word; a name that is empty or has a space in it never matches.
bool HasExtensionWord(std::string_view extensions, std::string_view name);

// A description of pixels in memory, owning them or not, in the terms GL
// uploads take (format, component type, bytes per pixel).
class GLImage
{
public:
    static constexpr uint32_t kFormatAlpha = 0x1906;
    static constexpr uint32_t kFormatBGRA = 0x80E1;
    static constexpr uint32_t kTypeUnsignedByte = 0x1401;

    GLImage() = default;
    GLImage(const GLImage&) = delete;
    GLImage& operator=(const GLImage&) = delete;
    GLImage(GLImage&& other) noexcept { TakeFrom(other); }
    GLImage& operator=(GLImage&& other) noexcept;
    ~GLImage() { Release(); }

    void Wrap(uint8_t* pixels, int32_t pitch, int32_t bytesPerPixel, int32_t width, int32_t height,
              uint32_t format, uint32_t type);
    void Release();

    // Makes this an owned 8-bit alpha mask of the 32-bit source: dark pixels
    // become opaque, white transparent, the all-zero word transparent.
    void MakeAlphaFrom(int32_t width, int32_t height, const GLImage& source);
    void MakeAlpha();
    // Makes this an owned copy of the source scaled to the new size (GLU's
    // filter); needs a current GL context.
    void RescaleFrom(int32_t newWidth, int32_t newHeight, const GLImage& source);
    void Rescale(int32_t newWidth, int32_t newHeight);
    // Into the bound texture at level 0 (or every level with mipmaps).
    void Upload(uint32_t target, uint32_t internalFormat, bool mipmaps) const;

    uint32_t format = 0;
    uint32_t type = 0;
    bool ownsPixels = false;
    uint8_t* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t pitch = 0;
    int32_t bytesPerPixel = 0;

private:
    void Clear();
    void TakeFrom(GLImage& other);
};

}  // namespace Tavo
