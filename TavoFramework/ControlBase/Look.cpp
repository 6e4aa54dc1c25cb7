#include "ControlBase/Look.h"

#include "Renderer/Renderer.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace Tavo {

namespace {

constexpr const char* kFile = "ControlBase\\Look";
constexpr double kFloatLimit = 8388608.0;

// Skins may give any offsets; layout works in 64 bits and stores what fits.
int32_t Clamp32(int64_t v)
{
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

float ToFloatSize(int32_t v)
{
    return static_cast<float>(std::clamp(static_cast<double>(v), -kFloatLimit, kFloatLimit));
}

RCPtr<LVisualPart> PartOf(const RCPtr<LDockedPart>& docked)
{
    return docked && docked->part ? docked->part->GetVisualPart() : nullptr;
}

RectT<double> ToDouble(const RectT<int32_t>& r)
{
    return {double(r.x), double(r.y), double(r.width), double(r.height)};
}

// Draws at the target's corner. A target wholly inside the area to repaint
// needs no clip of its own (the enclosing clip still holds): moving the
// origin alone costs the renderer far less than changing its clip.
template <class F>
void DrawAt(LRenderer& renderer, const RectT<double>& target, const RectT<double>& used,
            const RCPtr<LStencil>& stencil, F&& draw)
{
    if (!(used == target) || stencil) {
        renderer.PushClip(target, used, stencil, true);
        draw();
        renderer.PopState();
        return;
    }
    const PointT<double> d{std::round(target.x), std::round(target.y)};
    renderer.Translate(d);
    RectT<double>& clip = renderer.GetCurrentContext()->state.clip;
    clip.x -= d.x;
    clip.y -= d.y;
    draw();
    clip.x += d.x;
    clip.y += d.y;
    renderer.Translate({-d.x, -d.y});
}

}  // namespace

RCPtr<LLook> LLook::Create(const RCPtr<LLookDescriptor>& descriptor, bool wordWrap)
{
    if (!descriptor)
        return nullptr;
    RCPtr<LLook> look(new LLook());
    look->SetDescriptor(descriptor, wordWrap);
    return look;
}

LLook::~LLook() = default;

TavoResult LLook::SetDescriptor(const RCPtr<LLookDescriptor>& descriptor, bool wordWrap)
{
    mDescriptor = descriptor;
    const LLookDescriptor* d = descriptor.Get();
    mTextForeground = d && d->textForeground ? d->textForeground->GetVisualPart() : nullptr;
    if (!d || !d->hasTextProperties)
        mText.reset();
    else {
        if (!mText)
            mText = std::make_unique<LFontText>();
        bool changed = false;
        if (mText->wordWrap != wordWrap)
            mText->wordWrap = wordWrap, changed = true;
        if (mText->horizontalAlignment != d->text.hAlign)
            mText->horizontalAlignment = d->text.hAlign, changed = true;
        if (mText->verticalAlignment != d->text.vAlign)
            mText->verticalAlignment = d->text.vAlign, changed = true;
        if (changed)
            mText->ClearLayout();
    }
    mClientPart = d ? PartOf(d->clientPart) : nullptr;
    const size_t count = d ? d->dockedParts.size() : 0;
    mPartRects.assign(count, RectT<int32_t>());
    mParts.assign(count, nullptr);
    mChanged = true;
    const int32_t w = mWidth, h = mHeight;
    mWidth = mHeight = 0;
    SetSize(w, h);
    return S_OK;
}

void LLook::SetPartImage(uint32_t i, const RCPtr<LBitmap>& bitmap)
{
    if (i >= mParts.size())
        return;
    const LDockedPart* docked = mDescriptor ? mDescriptor->dockedParts[i].Get() : nullptr;
    const LVisualPart* old = mParts[i].Get();
    const WString name = old ? old->GetName() : WString();
    const int32_t resize = old ? old->GetResizeType() : int32_t(LVisualPart::kStretch);
    const float alpha = old ? old->GetAlphaModifier() : 1.0f;
    const int32_t width = docked && docked->part ? docked->part->width : 0;
    const int32_t height = docked && docked->part ? docked->part->height : 0;
    mParts[i] =
        RCPtr<LVisualPart>(new LVisualPart(name, bitmap, resize, nullptr, width, height, alpha, nullptr));
    mChanged = true;
}

bool LLook::SetSize(int32_t width, int32_t height)
{
    if (width == mWidth && height == mHeight)
        return true;
    mWidth = width;
    mHeight = height;
    Layout();
    return true;
}

RectT<float> LLook::ComputeTextBox(const TextProperties& t, float width, float height)
{
    const float left = static_cast<float>(t.leftAbs) + t.leftRel * width;
    const float right = static_cast<float>(t.rightAbs) + t.rightRel * width;
    const float top = static_cast<float>(t.topAbs) + t.topRel * height;
    const float bottom = static_cast<float>(t.bottomAbs) + t.bottomRel * height;
    return {left, top, right, bottom};
}

void LLook::Layout()
{
    const int64_t W = mWidth, H = mHeight;
    const LLookDescriptor* d = mDescriptor.Get();
    const LDockedPart* client = d ? d->clientPart.Get() : nullptr;
    const int64_t L = client ? client->offsetLeft : 0, T = client ? client->offsetTop : 0;
    const int64_t R = client ? client->offsetRight : 0, B = client ? client->offsetBottom : 0;
    const int64_t cx = std::clamp<int64_t>(L, 0, std::max<int64_t>(W, 0));
    const int64_t cy = std::clamp<int64_t>(T, 0, std::max<int64_t>(H, 0));
    mClientRect = {Clamp32(cx), Clamp32(cy),
                   Clamp32(std::clamp<int64_t>(W + R - cx, 0, std::max<int64_t>(W - cx, 0))),
                   Clamp32(std::clamp<int64_t>(H + B - cy, 0, std::max<int64_t>(H - cy, 0)))};

    for (size_t i = 0; d && i < d->dockedParts.size(); ++i) {
        const LDockedPart* p = d->dockedParts[i].Get();
        if (!p)
            continue;
        if (!mParts[i])
            mParts[i] = PartOf(d->dockedParts[i]);
        const int64_t pw = p->fixedWidth ? p->width : (p->part ? p->part->width : 0);
        const int64_t ph = p->fixedHeight ? p->height : (p->part ? p->part->height : 0);
        const int32_t m = p->offsetMask;
        int64_t left = (m & LDockedPart::kLeft) ? p->offsetLeft : 0;
        int64_t top = (m & LDockedPart::kTop) ? p->offsetTop : 0;
        int64_t right = (m & LDockedPart::kRight) ? W + p->offsetRight : W;
        int64_t bottom = (m & LDockedPart::kBottom) ? H + p->offsetBottom : H;
        if (!(m & LDockedPart::kLeft))
            left = right - pw;
        if (!(m & LDockedPart::kTop))
            top = bottom - ph;
        if (!(m & LDockedPart::kRight))
            right = left + pw;
        if (!(m & LDockedPart::kBottom))
            bottom = top + ph;
        if (!(m & (LDockedPart::kLeft | LDockedPart::kRight)))
            left = (W - pw) / 2, right = left + pw;
        if (!(m & (LDockedPart::kTop | LDockedPart::kBottom)))
            top = (H - ph) / 2, bottom = top + ph;
        mPartRects[i] = {Clamp32(left), Clamp32(top), Clamp32(right - left), Clamp32(bottom - top)};
    }

    if (mText && d) {
        const RectT<float> box = ComputeTextBox(d->text, ToFloatSize(mWidth), ToFloatSize(mHeight));
        const int32_t bw = RoundToInt32(box.width - box.x);
        const int32_t bh = RoundToInt32(box.height - box.y);
        if (bw != mText->boxWidth || bh != mText->boxHeight) {
            mText->boxWidth = bw;
            mText->boxHeight = bh;
            mText->ClearLayout();
        }
        mTextLeft = static_cast<int32_t>(std::clamp(box.x, -2147483648.0f, 2147483520.0f));
        mTextTop = static_cast<int32_t>(std::clamp(box.y, -2147483648.0f, 2147483520.0f));
    }
    mDrawnClientRect = mClientRect;
    mChanged = true;
    mStencil = nullptr;
}

int32_t LLook::SetFont(const RCPtr<LFont>& font)
{
    if (!mText)
        return 1;
    const bool changed = mText->font.Get() != font.Get();
    mText->font = font;
    if (changed)
        mText->ClearLayout();
    return changed ? 1 : 0;
}

int32_t LLook::SetText(const WString& text)
{
    if (!mText)
        return 1;
    if (mText->text == text)
        return 0;
    mText->text = text;
    mText->ClearLayout();
    return 1;
}

const WString& LLook::GetText() const
{
    static const WString* empty = new WString();
    return mText ? mText->text : *empty;
}

RCPtr<LFont> LLook::GetFont() const
{
    return mText ? mText->font : nullptr;
}

void LLook::SetOverlayPart(const RCPtr<LVisualPart>& part, bool overlayOnly)
{
    mOverlayPart = part;
    mOverlayOnly = overlayOnly;
}

template <class F>
void LLook::ForEachUsedRect(LRenderer& renderer, const RectRegion& region, const RectT<double>& target,
                            F&& draw) const
{
    const LRenderContextInfo* context = renderer.GetCurrentContext();
    if (!context)
        return;
    const PointT<double> t = context->state.translation;
    const RectT<double>& clip = context->state.clip;
    const RectRegion* working = &region;
    RectRegion limited;
    if (!mClipRegion.IsEmpty()) {
        limited = mClipRegion;
        limited.Offset(RoundToInt32(t.x), RoundToInt32(t.y));
        limited.IntersectWith(region);
        limited.Normalize();
        working = &limited;
    }
    for (const RegionRect& r : *working) {
        const double left = std::max(double(r.left) - t.x, target.x);
        const double top = std::max(double(r.top) - t.y, target.y);
        const double right = std::min(double(r.right) - t.x, target.x + target.width);
        const double bottom = std::min(double(r.bottom) - t.y, target.y + target.height);
        if (!(right - left > DBL_EPSILON && bottom - top > DBL_EPSILON))
            continue;
        if (!(left < clip.x + clip.width && clip.x < right && top < clip.y + clip.height && clip.y < bottom))
            continue;
        draw(RectT<double>{left, top, right - left, bottom - top});
    }
}

TavoResult LLook::DrawNonClientParts(LRenderer& renderer, const RectRegion& region)
{
    TavoResult result = S_OK;
    for (size_t i = 0; i < mParts.size(); ++i) {
        LVisualPart* part = mParts[i].Get();
        // A part the skin could not make is left out.
        if (!part)
            continue;
        const RectT<double> target = ToDouble(mPartRects[i]);
        ForEachUsedRect(renderer, region, target, [&](const RectT<double>& used) {
            DrawAt(renderer, target, used, nullptr, [&] {
                if (part->Draw(renderer, ToFloatSize(mPartRects[i].width),
                               ToFloatSize(mPartRects[i].height)) != S_OK)
                    result = S_FALSE;
            });
        });
    }
    return result;
}

TavoResult LLook::DrawClientPart(LRenderer& renderer, const RectRegion& region)
{
    TavoResult result = S_OK;
    const RectT<double> target = ToDouble(mClientRect);
    const float w = ToFloatSize(mClientRect.width), h = ToFloatSize(mClientRect.height);
    ForEachUsedRect(renderer, region, target, [&](const RectT<double>& used) {
        DrawAt(renderer, target, used, mStencil, [&] {
            if (mClientPart && !(mOverlayOnly && mOverlayPart) && mClientPart->Draw(renderer, w, h) != S_OK)
                result = S_FALSE;
            if (mOverlayPart && mOverlayPart->Draw(renderer, w, h) != S_OK)
                result = S_FALSE;
        });
    });
    return result;
}

TavoResult LLook::DrawLabelText(LRenderer& renderer, const RectRegion& region, const PointT<double>& offset)
{
    if (!mText)
        return S_FALSE;
    const RectT<double> box{double(mTextLeft), double(mTextTop), double(mText->boxWidth),
                            double(mText->boxHeight)};
    ForEachUsedRect(renderer, region, box, [&](const RectT<double>& used) {
        const LVisualPart* fg = mTextForeground.Get();
        // Without a foreground part the text has no colour to be drawn in.
        if (!fg)
            return;
        if (fg->GetBitmap())
            TAVO_THROW(std::domain_error, "Bitmap fill for text foreground part not yet implemented.",
                       "Tavo::LLook::DrawLabelText", kFile, 293);
        if (fg->GetColorizer() && fg->GetColorizer()->type != LColorizer::kSolid)
            TAVO_THROW(std::domain_error, "Gradient fill for text foreground part not yet implemented.",
                       "Tavo::LLook::DrawLabelText", kFile, 302);
        if (!fg->GetColorizer())
            return;
        // The used rectangle lies inside the box: one clip serves both.
        renderer.PushClip(box, used, nullptr, true);
        ColorRGBA colour;
        colour.FromARGB(fg->GetColorAtPoint(0, 0));
        const uint32_t lines = mText->GetLineCount();
        for (uint32_t i = 0; i < lines; ++i) {
            const RectT<float>& r = mText->GetLineRects()[i];
            if (mText->GetLines()[i].IsEmpty())
                continue;
            renderer.DrawText(mText->GetLines()[i], mText->font,
                              {RoundToInt32(r.x - offset.x), RoundToInt32(r.y - offset.y)}, colour);
        }
        renderer.PopState();
    });
    return S_OK;
}

uint32_t LLook::GetColorAtPoint(int32_t x, int32_t y) const
{
    uint32_t colour = LVisualPart::kTransparent;
    auto ask = [&](const LVisualPart* part, const RectT<int32_t>& r) {
        if (part && (colour >> 24) == 0)
            colour = part->GetColorAtPoint(float(int64_t(x) - r.x), float(int64_t(y) - r.y),
                                           ToFloatSize(r.width), ToFloatSize(r.height));
    };
    for (size_t i = 0; i < mParts.size(); ++i)
        ask(mParts[i].Get(), mPartRects[i]);
    ask(mOverlayPart.Get(), mClientRect);
    ask(mClientPart.Get(), mClientRect);
    return (colour >> 24) ? colour : LVisualPart::kTransparent;
}

}  // namespace Tavo
