#pragma once

#include "ControlBase/SkinDescriptors.h"
#include "ControlBase/VisualPart.h"
#include "Renderer/TextLayout.h"
#include "Utilities/Geometry/Rect.h"
#include "Utilities/Geometry/RectRegion.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Tavo {

class LRenderer;
class LStencil;

// The appearance of a control in one state: parts docked to the edges of the
// control's area, one client part filling the area inside its offsets, and
// optionally a label text with its box, alignment and colour.
class LLook : public virtual LRefCountedObject
{
public:
    // An empty descriptor gives an empty pointer (an empty look slot).
    static RCPtr<LLook> Create(const RCPtr<LLookDescriptor>& descriptor, bool wordWrap = false);
    ~LLook() override;

    TavoResult SetDescriptor(const RCPtr<LLookDescriptor>& descriptor, bool wordWrap = false);
    // Lays the look out for a new size; true unless that fails.
    bool SetSize(int32_t width, int32_t height);
    // 1 without a text block or when the font changed, else 0.
    int32_t SetFont(const RCPtr<LFont>& font);
    // 1 without a text block or when the text changed, else 0.
    int32_t SetText(const WString& text);
    // The label text and font; empty without a text block.
    const WString& GetText() const;
    RCPtr<LFont> GetFont() const;

    // Each draws for every rectangle of the region (window coordinates) that
    // meets its target and the renderer's clip.
    virtual TavoResult DrawNonClientParts(LRenderer& renderer, const RectRegion& region);
    virtual TavoResult DrawClientPart(LRenderer& renderer, const RectRegion& region);
    virtual TavoResult DrawLabelText(LRenderer& renderer, const RectRegion& region,
                                     const PointT<double>& offset);

    // Packed ARGB of the first part, docked ones first, that shows a colour at
    // the point; transparent when none does.
    virtual uint32_t GetColorAtPoint(int32_t x, int32_t y) const;

    const RCPtr<LLookDescriptor>& GetDescriptor() const { return mDescriptor; }
    int32_t GetWidth() const { return mWidth; }
    int32_t GetHeight() const { return mHeight; }
    const RectT<int32_t>& GetClientRect() const { return mClientRect; }
    const RectT<int32_t>& GetDrawnClientRect() const { return mDrawnClientRect; }
    uint32_t GetPartCount() const { return static_cast<uint32_t>(mParts.size()); }
    const RectT<int32_t>& GetPartRect(uint32_t i) const { return mPartRects[i]; }
    const RCPtr<LVisualPart>& GetPart(uint32_t i) const { return mParts[i]; }
    const RCPtr<LVisualPart>& GetClientPart() const { return mClientPart; }
    const RCPtr<LVisualPart>& GetTextForegroundPart() const { return mTextForeground; }
    // Null when the record has no text properties.
    LFontText* GetTextBlock() const { return mText.get(); }
    // The text box's corner; its size is the block's box size.
    PointT<int32_t> GetTextOrigin() const { return {mTextLeft, mTextTop}; }
    // The text box of the record for a size, unrounded (left, top, right, bottom).
    static RectT<float> ComputeTextBox(const TextProperties& text, float width, float height);

    void SetOverlayPart(const RCPtr<LVisualPart>& part, bool overlayOnly);
    // Docked part i shows the bitmap in place of its own image, or nothing
    // for an empty one, until the look's record is set again.
    void SetPartImage(uint32_t i, const RCPtr<LBitmap>& bitmap);
    // Further limits drawing, in the look's coordinates; empty for none.
    // The control's look regions (an overlay restricted to a selection) are
    // this one.
    void SetClipRegion(const RectRegion& region) { mClipRegion = region; }
    RectRegion& GetRegion() { return mClipRegion; }
    const RectRegion& GetRegion() const { return mClipRegion; }
    bool IsChanged() const { return mChanged; }
    void ClearChanged() { mChanged = false; }

private:
    LLook() = default;
    void Layout();
    // Calls draw(used rectangle) for each rectangle of the working region
    // that meets the target.
    template <class F>
    void ForEachUsedRect(LRenderer& renderer, const RectRegion& region, const RectT<double>& target,
                         F&& draw) const;

    RCPtr<LLookDescriptor> mDescriptor;
    RCPtr<LVisualPart> mTextForeground;
    int32_t mWidth = 0;
    int32_t mHeight = 0;
    RectT<int32_t> mClientRect;
    std::vector<RectT<int32_t>> mPartRects;
    std::vector<RCPtr<LVisualPart>> mParts;
    RCPtr<LVisualPart> mClientPart;
    RCPtr<LVisualPart> mOverlayPart;
    bool mOverlayOnly = false;
    bool mChanged = true;
    RectT<int32_t> mDrawnClientRect;
    RCPtr<LStencil> mStencil;
    std::unique_ptr<LFontText> mText;
    int32_t mTextLeft = 0;
    int32_t mTextTop = 0;
    RectRegion mClipRegion;
};

}  // namespace Tavo
