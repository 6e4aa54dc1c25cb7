#include "Renderer/OpenGL/GLGlyphRenderer.h"

#include <algorithm>
#include <vector>

namespace Tavo {

namespace {

// Whether the atlas can hold the glyph: its box in bytes, its advances in
// 16 bits, its coverage within that box and within an atlas row.
bool FitsTheAtlas(const LGlyphProcessor::SGlyphRecord& record)
{
    const int32_t width = record.bitmap ? static_cast<int32_t>(record.bitmap->GetWidth()) : 0;
    const int32_t height = record.bitmap ? static_cast<int32_t>(record.bitmap->GetHeight()) : 0;
    const auto byte = [](int32_t v) { return v >= -128 && v <= 127; };
    const auto half = [](int32_t v) { return v >= -32768 && v <= 32767; };
    if (record.bitmapScale != 1)
        return false;
    if (record.wide && !(byte(record.wideLeft) && byte(record.wideTop) && byte(record.wideRight) &&
                         byte(record.wideBottom) && half(record.wideAdvanceX) && half(record.wideAdvanceY)))
        return false;
    const int32_t boxWidth = record.right - record.left;
    const int32_t boxHeight = record.bottom - record.top;
    return boxWidth >= 0 && boxHeight >= 0 && width <= boxWidth + 1 && height <= boxHeight + 1 &&
           width <= GlyphAtlas::kWidth - 2;
}

// A cached glyph's index, box and advances into the record; a large
// glyph's are cut down to the record's bytes and 16 bits.
template <class Glyph>
void CopyBox(const Glyph& glyph, LGlyphProcessor::SGlyphRecord& record)
{
    record.glyphIndex = glyph.glyphIndex;
    record.left = static_cast<int8_t>(glyph.left);
    record.top = static_cast<int8_t>(glyph.top);
    record.right = static_cast<int8_t>(glyph.right);
    record.bottom = static_cast<int8_t>(glyph.bottom);
    record.advanceX = static_cast<int16_t>(glyph.advanceX);
    record.advanceY = static_cast<int16_t>(glyph.advanceY);
}

}  // namespace

LGLGlyphRenderer::CachedFont::CachedFont(const RCPtr<LFont>& font, std::unique_ptr<IGlyphTexture> texture,
                                         int32_t maxHeight)
    : font(font), texture(std::move(texture)), atlas(static_cast<int32_t>(font->GetSize()), maxHeight)
{
}

void LGLGlyphRenderer::CachedFont::Upload()
{
    if (atlas.TakeDirty() && texture)
        texture->Upload(atlas.GetPixels(), GlyphAtlas::kWidth, atlas.GetHeight());
}

RCPtr<LGLGlyphRenderer> LGLGlyphRenderer::Create(GlyphTextureFactory textures, int32_t maxTextureSize)
{
    return RCPtr<LGLGlyphRenderer>(new LGLGlyphRenderer(std::move(textures), maxTextureSize));
}

LGLGlyphRenderer::LGLGlyphRenderer(GlyphTextureFactory textures, int32_t maxTextureSize)
    : mTextures(std::move(textures)), mMaxTextureSize(maxTextureSize)
{
}

void LGLGlyphRenderer::BeginText(const RCPtr<LFont>& font, uint32_t flags)
{
    mFlags = flags;
    std::fill(std::begin(mBounds), std::end(mBounds), 0.0f);
    mFound = nullptr;
    mFoundLarge = nullptr;
    if (!font)
        return;
    std::shared_ptr<CachedFont>& slot = mFonts.FindOrAdd(font->GetId());
    if (!slot)
        slot = std::make_shared<CachedFont>(font, mTextures ? mTextures() : nullptr, mMaxTextureSize);
    mCurrent = slot;
    if (mFlags & kKeepTextureCurrent)
        mCurrent->Upload();
}

void LGLGlyphRenderer::EndText()
{
    if (mCurrent && mCurrent->texture)
        mCurrent->texture->Finish();
    mCurrent.reset();
    mFound = nullptr;
    mFoundLarge = nullptr;
}

uint16_t LGLGlyphRenderer::QueryGlyph(SGlyphRecord& record)
{
    mFound = nullptr;
    mFoundLarge = nullptr;
    if (!mCurrent)
        return 0;
    const auto found = mCurrent->glyphs.find(record.character);
    if (found != mCurrent->glyphs.end()) {
        mFound = &found->second;
        CopyBox(*mFound, record);
        return 0;
    }
    const auto large = mCurrent->largeGlyphs.find(record.character);
    if (large == mCurrent->largeGlyphs.end())
        return kNeedGlyph | kNeedBox | kNeedBitmap;
    mFoundLarge = &large->second;
    CopyBox(*mFoundLarge, record);
    record.wide = true;
    record.wideLeft = mFoundLarge->left;
    record.wideTop = mFoundLarge->top;
    record.wideRight = mFoundLarge->right;
    record.wideBottom = mFoundLarge->bottom;
    record.wideAdvanceX = mFoundLarge->advanceX;
    record.wideAdvanceY = mFoundLarge->advanceY;
    return 0;
}

const LGLGlyphRenderer::SLargeGlyph* LGLGlyphRenderer::AddLargeGlyph(const SGlyphRecord& record)
{
    // Only a run that draws keeps it: its texture needs the GL context,
    // which measuring may run without.
    const bool keep = (mFlags & kKeepTextureCurrent) != 0;
    if (keep && mCurrent->largeGlyphs.size() >= kLargeGlyphsKept)
        mCurrent->largeGlyphs.clear();
    mMeasuredLarge = SLargeGlyph{};
    SLargeGlyph& glyph = keep ? mCurrent->largeGlyphs[record.character] : mMeasuredLarge;
    glyph.glyphIndex = record.glyphIndex;
    glyph.left = record.wide ? record.wideLeft : record.left;
    glyph.top = record.wide ? record.wideTop : record.top;
    glyph.right = record.wide ? record.wideRight : record.right;
    glyph.bottom = record.wide ? record.wideBottom : record.bottom;
    glyph.advanceX = record.wide ? record.wideAdvanceX : record.advanceX;
    glyph.advanceY = record.wide ? record.wideAdvanceY : record.advanceY;
    const auto& bitmap = record.bitmap;
    if (!keep || !bitmap || bitmap->GetWidth() == 0 || bitmap->GetHeight() == 0 || !mTextures)
        return &glyph;
    const int32_t width = static_cast<int32_t>(bitmap->GetWidth());
    const int32_t height = static_cast<int32_t>(bitmap->GetHeight());
    glyph.width = width * std::max(1, record.bitmapScale);
    glyph.height = height * std::max(1, record.bitmapScale);
    // Shrunk by a whole factor, each texel the mean of its block, when a
    // texture that large cannot be had.
    const int32_t largest = std::max(1, mMaxTextureSize);
    const int32_t factor = std::max((width + largest - 1) / largest, (height + largest - 1) / largest);
    glyph.textureWidth = (width + factor - 1) / factor;
    glyph.textureHeight = (height + factor - 1) / factor;
    std::vector<uint8_t> coverage(static_cast<size_t>(glyph.textureWidth) *
                                  static_cast<size_t>(glyph.textureHeight));
    const uint8_t* pixels = bitmap->GetPixels();
    const int32_t stride = bitmap->GetStride();
    for (int32_t ty = 0; ty < glyph.textureHeight; ++ty)
        for (int32_t tx = 0; tx < glyph.textureWidth; ++tx) {
            uint32_t sum = 0, count = 0;
            for (int32_t y = ty * factor; y < std::min(height, (ty + 1) * factor); ++y)
                for (int32_t x = tx * factor; x < std::min(width, (tx + 1) * factor); ++x, ++count)
                    sum += pixels[static_cast<ptrdiff_t>(y) * stride + x];
            coverage[static_cast<size_t>(ty) * glyph.textureWidth + tx] =
                static_cast<uint8_t>(count ? sum / count : 0);
        }
    glyph.texture = mTextures();
    if (glyph.texture)
        glyph.texture->Upload(coverage.data(), glyph.textureWidth, glyph.textureHeight);
    return &glyph;
}

void LGLGlyphRenderer::AddGlyph(const SGlyphRecord& record)
{
    if (!mCurrent)
        return;
    const SCachedGlyph* glyph = mFound;
    const SLargeGlyph* large = mFoundLarge;
    mFound = nullptr;
    mFoundLarge = nullptr;
    if (!glyph && !large) {
        SCachedGlyph placed;
        placed.glyphIndex = record.glyphIndex;
        placed.left = record.left;
        placed.top = record.top;
        placed.right = record.right;
        placed.bottom = record.bottom;
        placed.advanceX = record.advanceX;
        placed.advanceY = record.advanceY;
        const auto& bitmap = record.bitmap;
        // A glyph the atlas cannot hold, or that no longer fits in it, is
        // drawn from a texture of its own.
        const bool placedInAtlas =
            FitsTheAtlas(record) &&
            (bitmap ? mCurrent->atlas.Place(bitmap->GetPixels(), static_cast<int32_t>(bitmap->GetWidth()),
                                            static_cast<int32_t>(bitmap->GetHeight()), bitmap->GetStride(),
                                            placed.atlasX, placed.atlasY)
                    : mCurrent->atlas.Place(nullptr, 0, 0, 0, placed.atlasX, placed.atlasY));
        if (placedInAtlas) {
            glyph = &(mCurrent->glyphs[record.character] = placed);
            if (mFlags & kKeepTextureCurrent)
                mCurrent->Upload();
        } else {
            large = AddLargeGlyph(record);
        }
    }
    if (!(mFlags & (kAccumulateBounds | kDraw)))
        return;
    const float ascent = static_cast<float>(mCurrent->font->GetTop());
    float left, top, right, bottom, advance;
    if (large) {
        left = static_cast<float>(large->left);
        top = static_cast<float>(large->top);
        right = static_cast<float>(large->right);
        bottom = static_cast<float>(large->bottom);
        advance = static_cast<float>(large->advanceX >> 6);
    } else {
        left = glyph->left, top = glyph->top, right = glyph->right, bottom = glyph->bottom;
        advance = static_cast<float>(glyph->advanceX >> 6);
    }
    if (mFlags & kDraw) {
        const float x = left + record.penX, y = top - (ascent + record.penY);
        if (large && large->texture) {
            // Its own texture: the atlas's run of quads ends first.
            if (mCurrent->texture)
                mCurrent->texture->Finish();
            const float source[4] = {0, 0, static_cast<float>(large->textureWidth),
                                     static_cast<float>(large->textureHeight)};
            const float target[4] = {x, y, x + static_cast<float>(large->width),
                                     y + static_cast<float>(large->height)};
            large->texture->Draw(source, target);
            large->texture->Finish();
        } else if (glyph && mCurrent->texture) {
            const float source[4] = {static_cast<float>(glyph->atlasX), static_cast<float>(glyph->atlasY),
                                     glyph->atlasX + (right - left), glyph->atlasY + (bottom - top)};
            const float target[4] = {x, y, right + record.penX, bottom - (ascent + record.penY)};
            mCurrent->texture->Draw(source, target);
        }
    }
    if (mFlags & kAccumulateBounds) {
        mBounds[0] = std::min(mBounds[0], record.penX);
        mBounds[1] = std::min(mBounds[1], top + record.penY);
        mBounds[2] = std::max(mBounds[2], record.penX + advance);
        mBounds[3] = std::max(mBounds[3], bottom + record.penY);
    }
}

void LGLGlyphRenderer::GetBounds(float& left, float& top, float& right, float& bottom)
{
    left = mBounds[0];
    top = mBounds[1];
    right = mBounds[2];
    bottom = mBounds[3];
}

}  // namespace Tavo
