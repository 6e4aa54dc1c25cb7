#pragma once

#include "ControlBase/SkinDescriptors.h"
#include "Renderer/Bitmap.h"
#include "Renderer/Colorizer.h"

#include <cstdint>

namespace Tavo {

class LRenderer;

// The smallest drawable piece of a skin: an image (possibly recoloured) or a
// plain colour fill, with a natural size and a resize type.
class LVisualPart : public virtual LRefCountedObject
{
public:
    enum ResizeType : int32_t { kStretch = 0, kTile = 1, kCenter = 2 };
    // "Nothing here" of every colour query.
    static constexpr uint32_t kTransparent = 0x00FFFFFFu;
    // Recoloured and gradient images larger than this on a side are not made.
    static constexpr int32_t kMaxGeneratedSide = 4096;

    // A colorizer over an image or a mask, or a gradient one, turns the part
    // into a recoloured image; a solid colorizer alone leaves a colour part.
    LVisualPart(const WString& name, const RCPtr<LBitmap>& bitmap, int32_t resizeType,
                const RCPtr<LColorizer>& colorizer, int32_t width, int32_t height, float alphaModifier,
                const RCPtr<LBitmap>& mask);
    ~LVisualPart() override;
    // False when the recoloured image could not be made (an absurd size).
    bool IsUsable() const;

    // Null without a bitmap.
    static RCPtr<LVisualPart> CreateImagePart(const WString& name, const RCPtr<LBitmap>& bitmap,
                                              int32_t resizeType, const RCPtr<LColorizer>& colorizer,
                                              float alphaModifier, const RCPtr<LBitmap>& mask);
    // Null without a colorizer.
    static RCPtr<LVisualPart> CreateColorPart(const WString& name, const RCPtr<LColorizer>& colorizer,
                                              int32_t width, int32_t height, int32_t resizeType,
                                              float alphaModifier, const RCPtr<LBitmap>& mask);

    // Every call counts one more internal link, even with the same record.
    void SetDescriptor(const RCPtr<LVisualPartDescriptor>& descriptor);
    // Breaks the cycle with the record that caches this part.
    TavoResult ReleaseInternalReferences() override;

    // Fills (0, 0, width, height) in the renderer's current coordinates.
    virtual TavoResult Draw(LRenderer& renderer, float width, float height);

    // Packed ARGB at the natural size; transparent outside.
    uint32_t GetColorAtPoint(int32_t x, int32_t y) const;
    // What Draw with that size shows at the point.
    uint32_t GetColorAtPoint(float x, float y, float width, float height) const;

    const WString& GetName() const { return mName; }
    const RCPtr<LBitmap>& GetBitmap() const { return mBitmap; }
    const RCPtr<LColorizer>& GetColorizer() const { return mColorizer; }
    int32_t GetWidth() const { return mWidth; }
    int32_t GetHeight() const { return mHeight; }
    int32_t GetResizeType() const { return mResizeType; }
    float GetAlphaModifier() const { return mAlphaModifier; }
    const RCPtr<LVisualPartDescriptor>& GetDescriptor() const { return mDescriptor; }
    // The fill colour of a colour part, alpha already scaled.
    ColorRGBA GetFillColor() const;

private:
    WString mName;
    RCPtr<LBitmap> mBitmap;
    int32_t mWidth = 0;
    int32_t mHeight = 0;
    int32_t mResizeType = kStretch;
    RCPtr<LColorizer> mColorizer;
    float mAlphaModifier = 1.0f;
    RCPtr<LBitmap> mMask;
    RCPtr<LVisualPartDescriptor> mDescriptor;
};

}  // namespace Tavo
