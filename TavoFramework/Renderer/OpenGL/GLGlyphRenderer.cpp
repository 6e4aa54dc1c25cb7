#include "Renderer/OpenGL/GLGlyphRenderer.h"

#include <algorithm>

namespace Tavo {

namespace {

// A coverage bitmap must lie within the box the record gives, or the box
// wrapped around its bytes.
bool FitsItsBox(const LGlyphProcessor::SGlyphRecord& record)
{
    const int32_t width = record.bitmap ? static_cast<int32_t>(record.bitmap->GetWidth()) : 0;
    const int32_t height = record.bitmap ? static_cast<int32_t>(record.bitmap->GetHeight()) : 0;
    const int32_t boxWidth = record.right - record.left;
    const int32_t boxHeight = record.bottom - record.top;
    return boxWidth >= 0 && boxHeight >= 0 && width <= boxWidth + 1 && height <= boxHeight + 1 &&
           width <= GlyphAtlas::kWidth - 2;
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
}

uint16_t LGLGlyphRenderer::QueryGlyph(SGlyphRecord& record)
{
    mFound = nullptr;
    if (!mCurrent)
        return 0;
    const auto found = mCurrent->glyphs.find(record.character);
    if (found == mCurrent->glyphs.end())
        return kNeedGlyph | kNeedBox | kNeedBitmap;
    mFound = &found->second;
    record.left = mFound->left;
    record.top = mFound->top;
    record.right = mFound->right;
    record.bottom = mFound->bottom;
    record.advanceX = mFound->advanceX;
    record.advanceY = mFound->advanceY;
    record.glyphIndex = mFound->glyphIndex;
    return 0;
}

void LGLGlyphRenderer::AddGlyph(const SGlyphRecord& record)
{
    if (!mCurrent)
        return;
    const SCachedGlyph* glyph = mFound;
    mFound = nullptr;
    if (!glyph) {
        // Code 0 cannot be told from an absent entry, and a glyph too large
        // for the atlas or its box bytes cannot be drawn right: skip both.
        if (record.character == 0 || !FitsItsBox(record))
            return;
        SCachedGlyph placed;
        placed.glyphIndex = record.glyphIndex;
        placed.left = record.left;
        placed.top = record.top;
        placed.right = record.right;
        placed.bottom = record.bottom;
        placed.advanceX = record.advanceX;
        placed.advanceY = record.advanceY;
        const auto& bitmap = record.bitmap;
        const bool fits =
            bitmap ? mCurrent->atlas.Place(bitmap->GetPixels(), static_cast<int32_t>(bitmap->GetWidth()),
                                           static_cast<int32_t>(bitmap->GetHeight()), bitmap->GetStride(),
                                           placed.atlasX, placed.atlasY)
                   : mCurrent->atlas.Place(nullptr, 0, 0, 0, placed.atlasX, placed.atlasY);
        if (!fits)
            return;
        glyph = &(mCurrent->glyphs[record.character] = placed);
        if (mFlags & kKeepTextureCurrent)
            mCurrent->Upload();
    }
    if (!(mFlags & (kAccumulateBounds | kDraw)))
        return;
    const float left = glyph->left, top = glyph->top, right = glyph->right, bottom = glyph->bottom;
    const float ascent = static_cast<float>(mCurrent->font->GetTop());
    if (mFlags & kDraw && mCurrent->texture) {
        const float source[4] = {static_cast<float>(glyph->atlasX), static_cast<float>(glyph->atlasY),
                                 glyph->atlasX + (right - left), glyph->atlasY + (bottom - top)};
        const float target[4] = {left + record.penX, top - (ascent + record.penY), right + record.penX,
                                 bottom - (ascent + record.penY)};
        mCurrent->texture->Draw(source, target);
    }
    if (mFlags & kAccumulateBounds) {
        const float advance = static_cast<float>(glyph->advanceX >> 6);
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
