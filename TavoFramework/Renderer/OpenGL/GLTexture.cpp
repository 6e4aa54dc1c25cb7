#include "Renderer/OpenGL/GLTexture.h"

#include "Renderer/Bitmap.h"

#include <GL/gl.h>

#include <cstring>

namespace Tavo {

uint32_t DrainGLErrors()
{
    // Bounded: a lost context may answer an error for ever.
    uint32_t count = 0;
    while (count < 64 && glGetError() != GL_NO_ERROR)
        ++count;
    return count;
}

LGLTexture::~LGLTexture()
{
    if (mName != kNoName && glIsTexture(mName))
        glDeleteTextures(1, &mName);
    mName = kNoName;
    mTextureWidth = mTextureHeight = mImageWidth = mImageHeight = 0;
    mBitmap = nullptr;
}

bool LGLTexture::IsLoaded() const
{
    return mName != kNoName && glIsTexture(mName);
}

void LGLTexture::EnsureBound()
{
    if (mName == kNoName || !glIsTexture(mName)) {
        GLuint name = 0;
        glGenTextures(1, &name);
        mName = name;
    }
    glBindTexture(mTarget, mName);
}

void LGLTexture::LoadFromBitmap(const RCPtr<LBitmap>& bitmap)
{
    mBitmap = bitmap;
    if (!bitmap)
        return;
    LBitmapData data(bitmap, LBitmapData::kLockRead);
    uint8_t* pixels = data.GetPixelAddress(0, 0);
    if (!pixels)
        return;
    uint32_t first;
    std::memcpy(&first, pixels, sizeof first);
    mOpaque = mUniform = true;
    mUniformColour = first;
    for (int32_t y = 0; y < data.GetHeight() && (mOpaque || mUniform); ++y) {
        const uint8_t* row = data.GetPixelAddress(0, y);
        for (int32_t x = 0; x < data.GetWidth(); ++x) {
            uint32_t argb;
            std::memcpy(&argb, row + x * 4, sizeof argb);
            mOpaque = mOpaque && (argb >> 24) == 255;
            mUniform = mUniform && argb == first;
        }
    }
    GLImage image;
    image.Wrap(pixels, data.GetStride(), 4, data.GetWidth(), data.GetHeight(), GLImage::kFormatBGRA,
               GLImage::kTypeUnsignedByte);
    LoadImage(image, GL_RGBA8, 0, 1.0f);
}

int32_t LGLTexture::ProbeSize(uint32_t internalFormat, uint32_t format, uint32_t type)
{
    EnsureBound();
    int32_t factor = 1;
    DrainGLErrors();
    while (mTextureWidth > 1 && mTextureHeight > 1) {
        const GLsizei width = static_cast<GLsizei>(mTextureWidth);
        const GLsizei height = static_cast<GLsizei>(mTextureHeight);
        glTexImage2D(GL_PROXY_TEXTURE_2D, 0, static_cast<GLint>(internalFormat), width, height, 0, format,
                     type, nullptr);
        if (glGetError() == GL_NO_ERROR) {
            // A proxy that fits keeps its size; one that does not reads 0.
            GLint proxyWidth = 0, proxyHeight = 0;
            glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &proxyWidth);
            glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &proxyHeight);
            if (proxyWidth == width && proxyHeight == height)
                break;
        }
        mTextureWidth /= 2;
        mTextureHeight /= 2;
        factor *= 2;
    }
    DrainGLErrors();
    return factor;
}

void LGLTexture::LoadImage(GLImage& image, uint32_t internalFormat, uint32_t flags, float scale)
{
    const bool alpha = internalFormat == GL_ALPHA8 || internalFormat == GL_ALPHA4;
    EnsureBound();
    const uint32_t format = alpha ? GL_ALPHA : image.format;
    const uint32_t type = alpha ? GL_UNSIGNED_BYTE : image.type;
    mImageWidth = static_cast<float>(image.width);
    mImageHeight = static_cast<float>(image.height);
    mScaledWidth = scale != 0 ? mImageWidth / scale : mImageWidth;
    mScaledHeight = scale != 0 ? mImageHeight / scale : mImageHeight;
    mTextureWidth = static_cast<float>(NextPowerOfTwo(image.width));
    mTextureHeight = static_cast<float>(NextPowerOfTwo(image.height));
    const bool nearest = flags & kNearest;
    mNearest = nearest;
    const bool mipmaps = flags & kMipmaps;
    GLint minFilter = nearest ? GL_NEAREST : GL_LINEAR;
    if (mipmaps)
        minFilter = nearest ? GL_NEAREST_MIPMAP_NEAREST : GL_LINEAR_MIPMAP_LINEAR;
    glTexParameteri(mTarget, GL_TEXTURE_MIN_FILTER, minFilter);
    glTexParameteri(mTarget, GL_TEXTURE_MAG_FILTER, nearest ? GL_NEAREST : GL_LINEAR);
    // To the edge: plain clamping would blend the border colour into the
    // image's outer pixels.
    const GLint wrap = flags & kRepeat ? GL_REPEAT : GL_CLAMP_TO_EDGE;
    glTexParameteri(mTarget, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(mTarget, GL_TEXTURE_WRAP_T, wrap);
    DrainGLErrors();
    if (mTextureWidth < 1 || mTextureHeight < 1)
        return;
    const int32_t factor = ProbeSize(internalFormat, format, type);
    const GLsizei width = static_cast<GLsizei>(mTextureWidth);
    const GLsizei height = static_cast<GLsizei>(mTextureHeight);
    glTexImage2D(mTarget, 0, static_cast<GLint>(internalFormat), width, height, 0, format, type, nullptr);
    DrainGLErrors();
    // An image larger than the texture that holds it, or one that repeats,
    // must fill the texture exactly.
    if ((factor >= 2 || flags & kRepeat) && (image.width != width || image.height != height)) {
        image.Rescale(width, height);
        mImageWidth = mTextureWidth;
        mImageHeight = mTextureHeight;
    }
    if (alpha)
        image.MakeAlpha();
    image.Upload(mTarget, internalFormat, mipmaps);
}

void LGLTexture::SetNearest(bool nearest)
{
    if (mNearest == nearest)
        return;
    mNearest = nearest;
    glTexParameteri(mTarget, GL_TEXTURE_MIN_FILTER, nearest ? GL_NEAREST : GL_LINEAR);
    glTexParameteri(mTarget, GL_TEXTURE_MAG_FILTER, nearest ? GL_NEAREST : GL_LINEAR);
}

void LGLTexture::Quad(const float source[4], const float target[4]) const
{
    if (mTextureWidth <= 0 || mTextureHeight <= 0)
        return;
    const float s0 = source[0] / mTextureWidth, s1 = source[2] / mTextureWidth;
    const float t0 = source[1] / mTextureHeight, t1 = source[3] / mTextureHeight;
    glTexCoord2f(s0, t0);
    glVertex2f(target[0], target[1]);
    glTexCoord2f(s0, t1);
    glVertex2f(target[0], target[3]);
    glTexCoord2f(s1, t1);
    glVertex2f(target[2], target[3]);
    glTexCoord2f(s1, t0);
    glVertex2f(target[2], target[1]);
}

void LGLTexture::DrawRegion(const float source[4], const float target[4]) const
{
    if (mName == kNoName)
        return;
    glEnable(mTarget);
    glBindTexture(mTarget, mName);
    glBegin(GL_QUADS);
    Quad(source, target);
    glEnd();
    glDisable(mTarget);
}

RCPtr<LGLDisplayList> LGLDisplayList::Create(uint32_t count)
{
    if (count == 0)
        return nullptr;
    return RCPtr<LGLDisplayList>(new LGLDisplayList(count));
}

LGLDisplayList::~LGLDisplayList()
{
    if (mBase != kNone && glIsList(mBase))
        glDeleteLists(mBase, static_cast<GLsizei>(mCount));
    mBase = kNone;
}

TavoResult LGLDisplayList::BeginList(uint32_t index)
{
    if (mBase == kNone) {
        const GLuint base = glGenLists(static_cast<GLsizei>(mCount));
        mBase = base == 0 ? kNone : base;
    }
    if (mBase == kNone || index >= mCount)
        return E_FAIL;
    glNewList(mBase + index, GL_COMPILE);
    return S_OK;
}

TavoResult LGLDisplayList::EndList()
{
    if (mBase == kNone)
        return E_FAIL;
    glEndList();
    return S_OK;
}

TavoResult LGLDisplayList::CallLists(uint32_t first, uint32_t count)
{
    if (mBase == kNone)
        return E_FAIL;
    if (first + count > mCount || first + count < first)
        return E_INVALIDARG;
    for (uint32_t i = first; i < first + count; ++i) {
        if (!glIsList(mBase + i))
            return E_FAIL;
        glCallList(mBase + i);
    }
    return S_OK;
}

}  // namespace Tavo
