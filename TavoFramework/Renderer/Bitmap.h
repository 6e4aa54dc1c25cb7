#pragma once

#include "ObjectBase/RefCountedObject.h"
#include "Renderer/Colorizer.h"
#include "Renderer/PixelBuffer.h"
#include "Utilities/Graphics/ColorRGBA.h"
#include "Utilities/Storage/StringT.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Tavo {

namespace Platform::Graphics {
class Surface;
}

class LBitmapData;

template <class T>
class IPixelBuffer
{
public:
    virtual ~IPixelBuffer() = default;
    virtual T GetWidth() const = 0;
    virtual T GetHeight() const = 0;
    // Bytes per row.
    virtual T GetStride() const = 0;
    virtual const uint8_t* GetPixelAddress(T x, T y) const = 0;
    virtual uint8_t* GetPixelAddress(T x, T y) = 0;
};

// An image, or a rectangle of a root image sharing its pixels. Names that
// begin with "::" are embedded "GDIPLUS" resources, others file paths.
class LBitmap : public virtual LRefCountedObject
{
public:
    // A failed load leaves no image and a size of 0 x 0.
    LBitmap(const WString& name, const WString& key);
    ~LBitmap() override;

    // The shared bitmap of a name; null when it cannot be loaded.
    static RCPtr<LBitmap> LoadCached(const WString& name);
    // A resource name upper-cased; a file's canonical path, case kept.
    static std::u16string CacheKeyFor(const WString& name);
    static uint32_t GetCacheCount();
    // A new root of the colour; sizes below 1, or too large to hold, throw.
    static RCPtr<LBitmap> CreateFilledBitmap(int32_t width, int32_t height, const ColorRGBA& colour);

    // Blends the bitmap's own pixels towards a solid colour by its alpha times amount.
    static void ApplyColorizer(const RCPtr<LBitmap>& bitmap, const LColorizer* colorizer, float amount);
    static RCPtr<LBitmap> CreateColorizedBitmap(const LColorizer* colorizer, float amount, int32_t width,
                                                int32_t height);
    // Each pixel takes the colorizer's colour at its centre.
    static RCPtr<LBitmap> CreateGradientFilledBitmap(const LColorizer* colorizer, float amount, int32_t width,
                                                     int32_t height);
    // No source: a new colorized bitmap; one source: a recoloured copy of it.
    static RCPtr<LBitmap> GetColorizedBitmap(const LColorizer* colorizer, float amount, int32_t width,
                                             int32_t height, const RCPtr<LBitmap>& sourceA,
                                             const RCPtr<LBitmap>& sourceB);

    // The root's pixels, locked for reading.
    RCPtr<LBitmapData> GetBitmapData();

    // A width or height below 1 means the whole bitmap.
    RCPtr<LBitmap> CreateSubBitmap(int32_t x, int32_t y, int32_t width, int32_t height);
    // A new root with a copy of this bitmap's pixels.
    RCPtr<LBitmap> Duplicate() const;
    // All zero outside the image or without one.
    ColorRGBA GetPixelColor(int32_t x, int32_t y) const;

    // The root's image, null when loading failed.
    Platform::Graphics::Surface* GetGdiplusBitmap() const;
    int32_t GetX() const { return mX; }
    int32_t GetY() const { return mY; }
    int32_t GetWidth() const { return mWidth; }
    int32_t GetHeight() const { return mHeight; }
    const RCPtr<LBitmap>& GetParent() const { return mParent; }
    const WString& GetName() const { return mName; }
    const WString& GetCacheKey() const { return mKey; }

    TavoResult ReleaseInternalReferences() override;

private:
    LBitmap() = default;
    void TakeImage(std::unique_ptr<Platform::Graphics::Surface> image);

    int32_t mX = 0;
    int32_t mY = 0;
    int32_t mWidth = 0;
    int32_t mHeight = 0;
    RCPtr<LBitmap> mParent;
    WString mName;
    WString mKey;
    std::unique_ptr<Platform::Graphics::Surface> mImage;
};

// A bitmap's pixels as unpremultiplied 32-bit ARGB, bytes blue, green, red,
// alpha. A write lock stores changes back when the data goes.
class LBitmapData : public virtual LRefCountedObject, public IPixelBuffer<int32_t>
{
public:
    enum : uint32_t { kLockRead = 1, kLockWrite = 2 };

    LBitmapData(const RCPtr<LBitmap>& bitmap, uint32_t lockMode);
    // Data over a separate pixel buffer is not supported: a non-null buffer
    // throws a domain error.
    LBitmapData(const RCPtr<LBitmap>& bitmap, uint32_t lockMode,
                const RCPtr<LPixelBuffer<int32_t>>& pixelBuffer);
    ~LBitmapData() override;

    int32_t GetWidth() const override { return mWidth; }
    int32_t GetHeight() const override { return mHeight; }
    int32_t GetStride() const override { return mWidth * 4; }
    const uint8_t* GetPixelAddress(int32_t x, int32_t y) const override;
    uint8_t* GetPixelAddress(int32_t x, int32_t y) override;

private:
    RCPtr<LBitmap> mBitmap;
    uint32_t mLockMode;
    int32_t mWidth = 0;
    int32_t mHeight = 0;
    std::vector<uint32_t> mPixels;
    RCPtr<LPixelBuffer<int32_t>> mPixelBuffer;
};

}  // namespace Tavo
