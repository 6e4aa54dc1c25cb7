#pragma once

#include "ObjectBase/RCPtr.h"
#include "ObjectBase/RefCountedObject.h"
#include "ObjectBase/Result.h"
#include "Renderer/OpenGL/GLImage.h"

#include <cstdint>

namespace Tavo {

class LBitmap;

// A GL texture of power-of-two size holding an image in its top-left
// corner. Loading reports nothing: GL errors are drained and a texture the
// implementation cannot hold ends up empty.
class LGLTexture : public virtual LRefCountedObject
{
public:
    enum : uint32_t { kNearest = 0x1, kRepeat = 0x2, kMipmaps = 0x4 };
    static constexpr uint32_t kNoName = 0xFFFFFFFFu;

    LGLTexture() = default;
    ~LGLTexture() override;

    // Uploads the bitmap's pixels once; the bitmap is kept while the
    // texture lives, so the texture may stand for it in a cache.
    void LoadFromBitmap(const RCPtr<LBitmap>& bitmap);
    // The image may be rescaled or converted in place.
    void LoadImage(GLImage& image, uint32_t internalFormat, uint32_t flags, float scale);

    // Source in texture pixels, target in drawing units; both left, top,
    // right, bottom. Enables, binds, draws one quad, disables.
    void DrawRegion(const float source[4], const float target[4]) const;
    // The quad alone, for callers that bound the texture inside glBegin.
    void Quad(const float source[4], const float target[4]) const;

    // Every pixel of the loaded bitmap has full alpha: it may be drawn
    // without blending, to the same result.
    bool IsOpaque() const { return mOpaque; }
    // Every pixel of the loaded bitmap is the same 0xAARRGGBB colour: any
    // stretch of it is a plain fill of that colour.
    bool IsUniform() const { return mUniform; }
    uint32_t GetUniformColour() const { return mUniformColour; }
    // Nearest or linear filtering of the bound texture, changed only when
    // it differs: a copy at its own size samples exact texels either way,
    // and nearest costs a software rasteriser far less.
    void SetNearest(bool nearest);

    uint32_t GetName() const { return mName; }
    bool IsLoaded() const;
    float GetTextureWidth() const { return mTextureWidth; }
    float GetTextureHeight() const { return mTextureHeight; }
    float GetImageWidth() const { return mImageWidth; }
    float GetImageHeight() const { return mImageHeight; }
    const RCPtr<LBitmap>& GetBitmap() const { return mBitmap; }

private:
    void EnsureBound();
    int32_t ProbeSize(uint32_t internalFormat, uint32_t format, uint32_t type);

    uint32_t mTarget = 0x0DE1;  // GL_TEXTURE_2D
    uint32_t mName = kNoName;
    float mTextureWidth = 0, mTextureHeight = 0;
    float mImageWidth = 0, mImageHeight = 0;
    float mScaledWidth = 0, mScaledHeight = 0;
    RCPtr<LBitmap> mBitmap;
    bool mOpaque = false;
    bool mUniform = false;
    uint32_t mUniformColour = 0;
    bool mNearest = false;
};

// A run of GL display lists made on first recording.
class LGLDisplayList : public virtual LRefCountedObject
{
public:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;

    // Null for a count of 0.
    static RCPtr<LGLDisplayList> Create(uint32_t count);
    ~LGLDisplayList() override;

    TavoResult BeginList(uint32_t index);
    TavoResult EndList();
    TavoResult CallLists(uint32_t first, uint32_t count);

    uint32_t GetBase() const { return mBase; }
    uint32_t GetCount() const { return mCount; }

private:
    explicit LGLDisplayList(uint32_t count) : mCount(count) {}

    uint32_t mBase = kNone;
    uint32_t mCount;
};

// Reads glGetError until it has nothing more: errors are dropped, not
// reported. Returns how many there were.
uint32_t DrainGLErrors();

}  // namespace Tavo
