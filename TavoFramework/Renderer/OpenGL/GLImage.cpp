#include "Renderer/OpenGL/GLImage.h"

#include "Renderer/OpenGL/GLTexture.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>

namespace Tavo {

int32_t NextPowerOfTwo(int32_t n)
{
    constexpr int32_t kLargest = 16384;
    if (n < 1)
        return 0;
    int32_t size = 1;
    while (size < n && size < kLargest)
        size <<= 1;
    return size;
}

bool HasExtensionWord(std::string_view extensions, std::string_view name)
{
    if (name.empty() || name.find(' ') != std::string_view::npos)
        return false;
    for (std::size_t at = extensions.find(name); at != std::string_view::npos;
         at = extensions.find(name, at + name.size())) {
        const std::size_t end = at + name.size();
        if ((at == 0 || extensions[at - 1] == ' ') && (end == extensions.size() || extensions[end] == ' '))
            return true;
    }
    return false;
}

GLImage& GLImage::operator=(GLImage&& other) noexcept
{
    if (this != &other) {
        Release();
        TakeFrom(other);
    }
    return *this;
}

void GLImage::Clear()
{
    format = type = 0;
    ownsPixels = false;
    pixels = nullptr;
    width = height = pitch = bytesPerPixel = 0;
}

void GLImage::TakeFrom(GLImage& other)
{
    format = other.format;
    type = other.type;
    ownsPixels = other.ownsPixels;
    pixels = other.pixels;
    width = other.width;
    height = other.height;
    pitch = other.pitch;
    bytesPerPixel = other.bytesPerPixel;
    other.Clear();
}

void GLImage::Release()
{
    if (ownsPixels)
        delete[] pixels;
    Clear();
}

void GLImage::Wrap(uint8_t* source, int32_t rowPitch, int32_t pixelBytes, int32_t w, int32_t h, uint32_t fmt,
                   uint32_t componentType)
{
    Release();
    pixels = source;
    pitch = rowPitch;
    bytesPerPixel = pixelBytes;
    width = w;
    height = h;
    format = fmt;
    type = componentType;
}

void GLImage::MakeAlphaFrom(int32_t w, int32_t h, const GLImage& source)
{
    Release();
    w = std::max(w, 0);
    h = std::max(h, 0);
    const int32_t rowPitch = (w + 3) & ~3;
    pixels = new uint8_t[static_cast<std::size_t>(rowPitch) * static_cast<std::size_t>(h)]();
    ownsPixels = true;
    format = kFormatAlpha;
    type = kTypeUnsignedByte;
    bytesPerPixel = 1;
    pitch = rowPitch;
    width = w;
    height = h;
    // Only 32-bit pixels are read; anything else leaves the mask transparent.
    const int32_t rows = source.bytesPerPixel == 4 && source.pixels ? std::min(h, source.height) : 0;
    const int32_t columns = std::min(w, source.width);
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* in = source.pixels + static_cast<std::ptrdiff_t>(y) * source.pitch;
        uint8_t* out = pixels + static_cast<std::ptrdiff_t>(y) * rowPitch;
        for (int32_t x = 0; x < columns; ++x, in += 4) {
            const uint8_t blue = in[0], green = in[1], red = in[2], alpha = in[3];
            if ((blue | green | red | alpha) == 0)
                out[x] = 0;
            else
                out[x] =
                    static_cast<uint8_t>(255 - static_cast<int32_t>(0.3 * red + 0.59 * green + 0.11 * blue));
        }
    }
}

void GLImage::MakeAlpha()
{
    GLImage old(std::move(*this));
    MakeAlphaFrom(old.width, old.height, old);
}

namespace {

// Rows of pitch bytes of pixels of the given size, as GL unpacks them.
void UnpackRows(int32_t pitch, int32_t bytesPerPixel)
{
    if (bytesPerPixel < 1)
        return;
    const int32_t slack = pitch % bytesPerPixel;
    int32_t alignment = 1;
    while (slack != 0 && alignment <= slack)
        alignment <<= 1;
    glPixelStorei(GL_UNPACK_ROW_LENGTH, pitch / bytesPerPixel);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

}  // namespace

void GLImage::RescaleFrom(int32_t newWidth, int32_t newHeight, const GLImage& source)
{
    Release();
    newWidth = std::max(newWidth, 0);
    newHeight = std::max(newHeight, 0);
    const int32_t rowPitch = (source.bytesPerPixel * newWidth + 3) & ~3;
    pixels = new uint8_t[static_cast<std::size_t>(rowPitch) * static_cast<std::size_t>(newHeight)]();
    ownsPixels = true;
    format = source.format;
    type = source.type;
    bytesPerPixel = source.bytesPerPixel;
    pitch = rowPitch;
    width = newWidth;
    height = newHeight;
    if (!source.pixels || source.width < 1 || source.height < 1 || newWidth < 1 || newHeight < 1)
        return;
    UnpackRows(source.pitch, source.bytesPerPixel);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    gluScaleImage(source.format, source.width, source.height, source.type, source.pixels, newWidth, newHeight,
                  type, pixels);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    DrainGLErrors();
}

void GLImage::Rescale(int32_t newWidth, int32_t newHeight)
{
    GLImage old(std::move(*this));
    RescaleFrom(newWidth, newHeight, old);
}

void GLImage::Upload(uint32_t target, uint32_t internalFormat, bool mipmaps) const
{
    UnpackRows(pitch, bytesPerPixel);
    if (mipmaps)
        gluBuild2DMipmaps(target, static_cast<GLint>(internalFormat), width, height, format, type, pixels);
    else
        glTexSubImage2D(target, 0, 0, 0, width, height, format, type, pixels);
    // The renderer's own state unpacks bytes one by one.
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    DrainGLErrors();
}

}  // namespace Tavo
