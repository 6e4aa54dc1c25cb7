#include "ControlBase/VisualPart.h"

#include "Renderer/Renderer.h"

#include <algorithm>
#include <cmath>

namespace Tavo {

namespace {

constexpr const char* kFile = "ControlBase\\VisualPart";
constexpr float kSizeTolerance = 1.1920929e-6f;
constexpr double kFloatLimit = 8388608.0;

float ClampToFloatRange(int32_t v)
{
    return static_cast<float>(std::clamp(static_cast<double>(v), -kFloatLimit, kFloatLimit));
}

bool SizeFitsGeneratedImage(int32_t width, int32_t height)
{
    return width >= 1 && height >= 1 && width <= LVisualPart::kMaxGeneratedSide &&
           height <= LVisualPart::kMaxGeneratedSide;
}

// Rounds down, treating a value a float rounding error below a whole number as
// that number.
double SnapDown(double v)
{
    const double up = std::ceil(v);
    if (up - v <= std::fabs(up) * 1.1920929e-7)
        return up;
    return std::floor(v);
}

RCPtr<LBitmap> LoadSubBitmap(const WString& file, const SourceRect& rect)
{
    if (file.IsEmpty())
        return nullptr;
    RCPtr<LBitmap> bitmap = LBitmap::LoadCached(file);
    if (!bitmap)
        return nullptr;
    return bitmap->CreateSubBitmap(rect.x, rect.y, rect.width, rect.height);
}

}  // namespace

LVisualPart::LVisualPart(const WString& name, const RCPtr<LBitmap>& bitmap, int32_t resizeType,
                         const RCPtr<LColorizer>& colorizer, int32_t width, int32_t height,
                         float alphaModifier, const RCPtr<LBitmap>& mask)
    : mName(name), mBitmap(bitmap), mWidth(width), mHeight(height), mResizeType(resizeType),
      mColorizer(colorizer), mAlphaModifier(alphaModifier), mMask(mask)
{
    if (mBitmap) {
        mWidth = mBitmap->GetWidth();
        mHeight = mBitmap->GetHeight();
    }
    if (mColorizer && (mBitmap || mMask || mColorizer->type != LColorizer::kSolid)) {
        RCPtr<LBitmap> source = mBitmap;
        mBitmap = nullptr;
        // Recolouring copies the whole source, so an absurd size leaves the part unusable
        // instead of exhausting memory.
        const RCPtr<LBitmap>& sized = source ? source : mMask;
        const int32_t w = sized ? sized->GetWidth() : mWidth;
        const int32_t h = sized ? sized->GetHeight() : mHeight;
        if (SizeFitsGeneratedImage(w, h))
            mBitmap =
                LBitmap::GetColorizedBitmap(mColorizer.Get(), mAlphaModifier, mWidth, mHeight, source, mask);
    }
}

LVisualPart::~LVisualPart() = default;

bool LVisualPart::IsUsable() const
{
    return mBitmap || (mColorizer && mColorizer->type == LColorizer::kSolid && !mMask);
}

RCPtr<LVisualPart> LVisualPart::CreateImagePart(const WString& name, const RCPtr<LBitmap>& bitmap,
                                                int32_t resizeType, const RCPtr<LColorizer>& colorizer,
                                                float alphaModifier, const RCPtr<LBitmap>& mask)
{
    if (!bitmap)
        return nullptr;
    RCPtr<LVisualPart> part(new LVisualPart(name, bitmap, resizeType, colorizer, 0, 0, alphaModifier, mask));
    return part->IsUsable() ? part : nullptr;
}

RCPtr<LVisualPart> LVisualPart::CreateColorPart(const WString& name, const RCPtr<LColorizer>& colorizer,
                                                int32_t width, int32_t height, int32_t resizeType,
                                                float alphaModifier, const RCPtr<LBitmap>& mask)
{
    if (!colorizer)
        return nullptr;
    RCPtr<LVisualPart> part(
        new LVisualPart(name, nullptr, resizeType, colorizer, width, height, alphaModifier, mask));
    return part->IsUsable() ? part : nullptr;
}

void LVisualPart::SetDescriptor(const RCPtr<LVisualPartDescriptor>& descriptor)
{
    mDescriptor = descriptor;
    AddInternalReferences(1);
}

TavoResult LVisualPart::ReleaseInternalReferences()
{
    if (GetInternalRefCount() < 1)
        return S_FALSE;
    if (mDescriptor && mDescriptor->cachedPart.Get() == this) {
        RCPtr<LVisualPart> cached = mDescriptor->cachedPart;
        mDescriptor->cachedPart = nullptr;
        cached = nullptr;
        AddInternalReferences(-1);
    }
    return S_OK;
}

ColorRGBA LVisualPart::GetFillColor() const
{
    ColorRGBA c = mColorizer ? mColorizer->color : ColorRGBA();
    c.a *= mAlphaModifier;
    return c;
}

TavoResult LVisualPart::Draw(LRenderer& renderer, float width, float height)
{
    // A size that is no number or infinite has nowhere to draw.
    if (!std::isfinite(width) || !std::isfinite(height))
        return S_OK;
    const int32_t w = RoundToInt32(width);
    const int32_t h = RoundToInt32(height);
    if (mBitmap) {
        renderer.DrawBitmap(mBitmap, {0, 0, w, h}, mResizeType);
        return S_OK;
    }
    if (!mColorizer)
        TAVO_THROW(std::runtime_error, "", "Tavo::LVisualPart::Draw", kFile, 218);
    const ColorRGBA colour = GetFillColor();
    if (!(colour.a > 0.0f))
        return S_OK;
    RectT<int32_t> rect{0, 0, w, h};
    if (mResizeType == kCenter)
        rect = {static_cast<int32_t>((static_cast<int64_t>(w) - mWidth) / 2),
                static_cast<int32_t>((static_cast<int64_t>(h) - mHeight) / 2), mWidth, mHeight};
    renderer.FillRect(rect, colour, true);
    return S_OK;
}

uint32_t LVisualPart::GetColorAtPoint(int32_t x, int32_t y) const
{
    if (x < 0 || x >= mWidth || y < 0 || y >= mHeight)
        return kTransparent;
    if (mBitmap)
        return mBitmap->GetPixelColor(x, y).ToARGB();
    if (!mColorizer)
        TAVO_THROW(std::runtime_error, "", "Tavo::LVisualPart::GetColorAtPoint", kFile, 91);
    if (mColorizer->type == LColorizer::kLinearGradient)
        TAVO_THROW(std::runtime_error, "", "Tavo::LVisualPart::GetColorAtPoint", kFile, 76);
    if (mColorizer->type != LColorizer::kSolid)
        TAVO_THROW(std::runtime_error, "", "Tavo::LVisualPart::GetColorAtPoint", kFile, 81);
    return GetFillColor().ToARGB();
}

uint32_t LVisualPart::GetColorAtPoint(float px, float py, float sw, float sh) const
{
    const float width = ClampToFloatRange(mWidth);
    const float height = ClampToFloatRange(mHeight);
    if (std::fabs(sw - width) < kSizeTolerance && std::fabs(sh - height) < kSizeTolerance)
        return GetColorAtPoint(RoundToInt32(px), RoundToInt32(py));
    // Written so that NaN coordinates fall outside too.
    if (!(px >= 0 && px < sw && py >= 0 && py < sh))
        return kTransparent;
    switch (mResizeType) {
    case kTile: {
        const int64_t tileW = static_cast<int64_t>(width + 0.5f);
        const int64_t tileH = static_cast<int64_t>(height + 0.5f);
        // A part under half a pixel tiles nothing.
        if (tileW <= 0 || tileH <= 0)
            return kTransparent;
        const int64_t tx = static_cast<int64_t>(px + 0.5f) % tileW;
        const int64_t ty = static_cast<int64_t>(py + 0.5f) % tileH;
        return GetColorAtPoint(static_cast<int32_t>(tx), static_cast<int32_t>(ty));
    }
    case kCenter:
        return GetColorAtPoint(RoundToInt32(px - (sw - width) * 0.5f),
                               RoundToInt32(py - (sh - height) * 0.5f));
    case kStretch: {
        const double fx = static_cast<double>(width) / sw;
        const double fy = static_cast<double>(height) / sh;
        if (sw >= width && sh >= height)
            return GetColorAtPoint(static_cast<int32_t>(fx * px), static_cast<int32_t>(fy * py));
        // Shown smaller: the point covers a box of source pixels; any opaque one counts.
        const double left = SnapDown(fx * px);
        const double top = SnapDown(fy * py);
        const double right = SnapDown(left + std::max(1.0, fx));
        const double bottom = SnapDown(top + std::max(1.0, fy));
        // Only pixels of the part can answer, which also bounds the scan.
        const int32_t x0 = static_cast<int32_t>(std::clamp(left, 0.0, static_cast<double>(mWidth)));
        const int32_t x1 =
            static_cast<int32_t>(std::clamp(std::max(right, left + 1), 0.0, static_cast<double>(mWidth)));
        const int32_t y0 = static_cast<int32_t>(std::clamp(top, 0.0, static_cast<double>(mHeight)));
        const int32_t y1 =
            static_cast<int32_t>(std::clamp(std::max(bottom, top + 1), 0.0, static_cast<double>(mHeight)));
        for (int32_t x = x0; x < x1; ++x)
            for (int32_t y = y0; y < y1; ++y) {
                const uint32_t c = GetColorAtPoint(x, y);
                if (c >> 24)
                    return c;
            }
        return kTransparent;
    }
    default:
        TAVO_THROW(std::runtime_error, "", "Tavo::LVisualPart::GetColorAtPoint", kFile, 165);
    }
}

LVisualPartDescriptor::~LVisualPartDescriptor() = default;

RCPtr<LVisualPart> LVisualPartDescriptor::GetVisualPart()
{
    if (cachedPart)
        return cachedPart;
    RCPtr<LBitmap> maskBitmap = LoadSubBitmap(mask, maskRect);
    RCPtr<LVisualPart> part;
    if (!image.IsEmpty())
        part = LVisualPart::CreateImagePart(name, LoadSubBitmap(image, imageRect), resizeType, colorizer,
                                            alphaModifier, maskBitmap);
    else
        part = LVisualPart::CreateColorPart(name, colorizer, width, height, resizeType, alphaModifier,
                                            maskBitmap);
    cachedPart = part;
    if (part)
        part->SetDescriptor(RCPtr<LVisualPartDescriptor>(this));
    return part;
}

}  // namespace Tavo
