#include "Renderer/Bitmap.h"

#include "Platform/Graphics/Graphics.h"
#include "Platform/Kernel/Resources.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <system_error>

namespace Tavo {

namespace {

constexpr const char* kFile = "Utilities\\Graphics\\Bitmap";

std::map<std::u16string, RCPtr<LBitmap>>& Cache()
{
    static auto* cache = new std::map<std::u16string, RCPtr<LBitmap>>();
    return *cache;
}

bool IsResourceName(const WString& name)
{
    const char16_t* p = name.c_str();
    return p[0] == u':' && p[1] == u':';
}

std::u16string Upper(const char16_t* p)
{
    std::u16string out;
    for (; *p; ++p)
        out.push_back(*p >= u'a' && *p <= u'z' ? static_cast<char16_t>(*p - 32) : *p);
    return out;
}

}  // namespace

LBitmap::LBitmap(const WString& name, const WString& key) : mName(name), mKey(key)
{
    if (IsResourceName(name)) {
        std::u16string resource = Upper(name.c_str() + 2);
        for (char16_t& c : resource)
            if (c == u'.' || c == u' ')
                c = u'_';
        const NString narrow(WString(resource.c_str()));
        const std::span<const uint8_t> bytes = Platform::FindResource("GDIPLUS", narrow.c_str());
        TakeImage(Platform::Graphics::Surface::FromPng(bytes.data(), bytes.size()));
    } else {
        const NString path(name);
        TakeImage(Platform::Graphics::Surface::FromPngFile(path.c_str()));
    }
}

LBitmap::~LBitmap() = default;

void LBitmap::TakeImage(std::unique_ptr<Platform::Graphics::Surface> image)
{
    mImage = std::move(image);
    mX = mY = 0;
    mWidth = mImage ? mImage->Width() : 0;
    mHeight = mImage ? mImage->Height() : 0;
}

std::u16string LBitmap::CacheKeyFor(const WString& name)
{
    // Resource names match without regard to case; files by their canonical
    // path, which on this platform tells apart names that differ in case.
    if (IsResourceName(name))
        return Upper(name.c_str());
    const NString narrow(name);
    char* canonical = realpath(narrow.c_str(), nullptr);
    if (!canonical)
        return std::u16string(name.c_str());
    const std::u16string key(WString(canonical).c_str());
    free(canonical);
    return key;
}

RCPtr<LBitmap> LBitmap::LoadCached(const WString& name)
{
    const std::u16string key = CacheKeyFor(name);
    auto found = Cache().find(key);
    if (found != Cache().end())
        return found->second;
    RCPtr<LBitmap> bitmap(new LBitmap(name, WString(key.c_str())));
    if (!bitmap->mImage)
        return nullptr;
    Cache().emplace(key, bitmap);
    bitmap->AddInternalReferences(1);
    return bitmap;
}

uint32_t LBitmap::GetCacheCount()
{
    return static_cast<uint32_t>(Cache().size());
}

TavoResult LBitmap::ReleaseInternalReferences()
{
    if (!mKey.IsEmpty()) {
        auto found = Cache().find(std::u16string(mKey.c_str()));
        if (found != Cache().end() && found->second.Get() == this) {
            // Uncounted first, so the cache's release is a plain one.
            AddInternalReferences(-1);
            RCPtr<LBitmap> keep = std::move(found->second);
            Cache().erase(found);
            keep = nullptr;
        }
    }
    return (GetInternalRefCount() == 0 && GetRefCount() == 1) ? S_OK : E_FAIL;
}

RCPtr<LBitmap> LBitmap::CreateFilledBitmap(int32_t width, int32_t height, const ColorRGBA& colour)
{
    if (width < 1 || height < 1)
        TAVO_THROW(std::runtime_error, "", "Tavo::LBitmap::CreateFilledBitmap", kFile, 327);
    std::unique_ptr<Platform::Graphics::Surface> image;
    try {
        image = std::make_unique<Platform::Graphics::Surface>(width, height);
    } catch (const Platform::Graphics::SurfaceError&) {
        // Larger than an image can be here: refused like a size below 1.
        TAVO_THROW(std::runtime_error, "", "Tavo::LBitmap::CreateFilledBitmap", kFile, 327);
    }
    image->Fill(0, 0, width, height, colour.ToARGB());
    RCPtr<LBitmap> bitmap(new LBitmap());
    // The size is set too, so the bitmap draws like a loaded one.
    bitmap->TakeImage(std::move(image));
    return bitmap;
}

void LBitmap::ApplyColorizer(const RCPtr<LBitmap>& bitmap, const LColorizer* colorizer, float amount)
{
    if (!bitmap || !colorizer)
        TAVO_THROW(std::runtime_error, "", "Tavo::LBitmap::ApplyColorizer", kFile, 374);
    Platform::Graphics::Surface* image = bitmap->GetGdiplusBitmap();
    if (!image)
        TAVO_THROW(std::runtime_error, "", "Tavo::LBitmap::ApplyColorizer", kFile, 398);
    const bool solid = colorizer->IsSolid();
    const float w = static_cast<float>(std::max(bitmap->mWidth, 1));
    const float h = static_cast<float>(std::max(bitmap->mHeight, 1));
    // A sub-bitmap may reach past its root: only pixels the image has change.
    const int32_t rows = std::min(bitmap->mHeight, image->Height() - bitmap->mY);
    const int32_t columns = std::min(bitmap->mWidth, image->Width() - bitmap->mX);
    for (int32_t y = std::max(0, -bitmap->mY); y < rows; ++y)
        for (int32_t x = std::max(0, -bitmap->mX); x < columns; ++x) {
            // A gradient blends each pixel towards its own colour of the gradient.
            const ColorRGBA c = solid ? colorizer->color
                                      : colorizer->GetColorAt((static_cast<float>(x) + 0.5f) / w,
                                                              (static_cast<float>(y) + 0.5f) / h);
            const float t = c.a * amount;
            const float add[3] = {c.r * t, c.g * t, c.b * t};
            uint32_t argb = image->GetPixel(bitmap->mX + x, bitmap->mY + y);
            for (int channel = 0; channel < 3; ++channel) {
                const int shift = 16 - 8 * channel;
                const float v = static_cast<float>((argb >> shift) & 0xFF) / 255.0f;
                const float blended = (v * (1 - t) + add[channel]) * 255.0f + 0.5f;
                const uint32_t out = static_cast<uint32_t>(std::clamp(blended, 0.0f, 255.0f));
                argb = (argb & ~(0xFFu << shift)) | (out << shift);
            }
            image->SetPixel(bitmap->mX + x, bitmap->mY + y, argb);
        }
}

RCPtr<LBitmap> LBitmap::CreateColorizedBitmap(const LColorizer* colorizer, float amount, int32_t width,
                                              int32_t height)
{
    if (!colorizer || width < 1 || height < 1)
        TAVO_THROW(std::runtime_error, "", "Tavo::LBitmap::CreateColorizedBitmap", kFile, 298);
    if (!colorizer->IsSolid())
        return CreateGradientFilledBitmap(colorizer, amount, width, height);
    const ColorRGBA& c = colorizer->color;
    return CreateFilledBitmap(width, height, {c.r, c.g, c.b, c.a * amount});
}

RCPtr<LBitmap> LBitmap::CreateGradientFilledBitmap(const LColorizer* colorizer, float amount, int32_t width,
                                                   int32_t height)
{
    if (!colorizer || width < 1 || height < 1)
        TAVO_THROW(std::runtime_error, "", "Tavo::LBitmap::CreateGradientFilledBitmap", kFile, 362);
    auto image = std::make_unique<Platform::Graphics::Surface>(width, height);
    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            ColorRGBA c =
                colorizer->GetColorAt((static_cast<float>(x) + 0.5f) / w, (static_cast<float>(y) + 0.5f) / h);
            c.a *= amount;
            image->SetPixel(x, y, c.ToARGB());
        }
    RCPtr<LBitmap> bitmap(new LBitmap());
    bitmap->TakeImage(std::move(image));
    return bitmap;
}

RCPtr<LBitmap> LBitmap::GetColorizedBitmap(const LColorizer* colorizer, float amount, int32_t width,
                                           int32_t height, const RCPtr<LBitmap>& sourceA,
                                           const RCPtr<LBitmap>& sourceB)
{
    if (sourceA && sourceB)
        TAVO_THROW(std::domain_error, "", "Tavo::LBitmap::ApplyColorizer", kFile, 444);
    if (!sourceA && !sourceB)
        return CreateColorizedBitmap(colorizer, amount, width, height);
    RCPtr<LBitmap> copy = (sourceA ? sourceA : sourceB)->Duplicate();
    ApplyColorizer(copy, colorizer, amount);
    return copy;
}

RCPtr<LBitmapData> LBitmap::GetBitmapData()
{
    if (mParent)
        return mParent->GetBitmapData();
    return RCPtr<LBitmapData>(new LBitmapData(RCPtr<LBitmap>(this), LBitmapData::kLockRead));
}

LBitmapData::LBitmapData(const RCPtr<LBitmap>& bitmap, uint32_t lockMode)
    : LBitmapData(bitmap, lockMode, nullptr)
{
}

LBitmapData::LBitmapData(const RCPtr<LBitmap>& bitmap, uint32_t lockMode,
                         const RCPtr<LPixelBuffer<int32_t>>& pixelBuffer)
    : mBitmap(bitmap), mLockMode(lockMode), mPixelBuffer(pixelBuffer)
{
    // Pixel data always comes from the bitmap's own image.
    if (mPixelBuffer)
        TAVO_THROW(std::domain_error, "", "Tavo::LBitmapData::LBitmapData", kFile, 489);
    Platform::Graphics::Surface* image = bitmap ? bitmap->GetGdiplusBitmap() : nullptr;
    if (!image)
        return;
    // A sub-bitmap may reach past its root; the data covers what the image has.
    mWidth = std::max(0, std::min(bitmap->GetWidth(), image->Width() - bitmap->GetX()));
    mHeight = std::max(0, std::min(bitmap->GetHeight(), image->Height() - bitmap->GetY()));
    mPixels.resize(static_cast<size_t>(mWidth) * static_cast<size_t>(mHeight));
    for (int32_t y = 0; y < mHeight; ++y)
        for (int32_t x = 0; x < mWidth; ++x)
            mPixels[static_cast<size_t>(y) * mWidth + x] =
                image->GetPixel(bitmap->GetX() + x, bitmap->GetY() + y);
}

LBitmapData::~LBitmapData()
{
    Platform::Graphics::Surface* image = mBitmap ? mBitmap->GetGdiplusBitmap() : nullptr;
    if (!image || !(mLockMode & kLockWrite))
        return;
    for (int32_t y = 0; y < mHeight; ++y)
        for (int32_t x = 0; x < mWidth; ++x)
            image->SetPixel(mBitmap->GetX() + x, mBitmap->GetY() + y,
                            mPixels[static_cast<size_t>(y) * mWidth + x]);
}

uint8_t* LBitmapData::GetPixelAddress(int32_t x, int32_t y)
{
    if (x < 0 || y < 0 || x >= mWidth || y >= mHeight)
        return nullptr;
    return reinterpret_cast<uint8_t*>(&mPixels[static_cast<size_t>(y) * mWidth + x]);
}

const uint8_t* LBitmapData::GetPixelAddress(int32_t x, int32_t y) const
{
    return const_cast<LBitmapData*>(this)->GetPixelAddress(x, y);
}

RCPtr<LBitmap> LBitmap::CreateSubBitmap(int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (width < 1 || height < 1) {
        x = y = 0;
        width = mWidth;
        height = mHeight;
    }
    RCPtr<LBitmap> sub(new LBitmap());
    sub->mX = mX + x;
    sub->mY = mY + y;
    sub->mWidth = width;
    sub->mHeight = height;
    sub->mParent = mParent ? mParent : RCPtr<LBitmap>(this);
    return sub;
}

RCPtr<LBitmap> LBitmap::Duplicate() const
{
    Platform::Graphics::Surface* image = GetGdiplusBitmap();
    if (!image)
        return nullptr;
    RCPtr<LBitmap> copy(new LBitmap());
    try {
        copy->TakeImage(image->CopyArea(mX, mY, mWidth, mHeight));
    } catch (const Platform::Graphics::SurfaceError&) {
        return nullptr;
    }
    return copy;
}

ColorRGBA LBitmap::GetPixelColor(int32_t x, int32_t y) const
{
    ColorRGBA colour;
    if (Platform::Graphics::Surface* image = GetGdiplusBitmap())
        colour.FromARGB(image->GetPixel(x + mX, y + mY));
    return colour;
}

Platform::Graphics::Surface* LBitmap::GetGdiplusBitmap() const
{
    for (const LBitmap* b = this; b; b = b->mParent.Get())
        if (b->mImage)
            return b->mImage.get();
    return nullptr;
}

}  // namespace Tavo
