#pragma once

#include "Renderer/FontRenderer/GlyphProcessor.h"
#include "Renderer/OpenGL/GlyphAtlas.h"
#include "Renderer/PurgableObjectCache.h"

#include <functional>
#include <memory>
#include <unordered_map>

namespace Tavo {

// Where a font's atlas goes: the GL alpha texture on screen, a recorder in
// tests. Rectangles are left, top, right, bottom.
class IGlyphTexture
{
public:
    virtual ~IGlyphTexture() = default;
    virtual void Upload(const uint8_t* alpha, int32_t width, int32_t height) = 0;
    virtual void Draw(const float source[4], const float target[4]) = 0;
    // The run of text ended: quads drawn so far must be out.
    virtual void Finish() {}
};

using GlyphTextureFactory = std::function<std::unique_ptr<IGlyphTexture>()>;

// Draws and measures the font renderer's glyphs from one coverage atlas per
// font, rasterising each character once per cached font.
class LGLGlyphRenderer : public LGlyphProcessor
{
public:
    enum : uint32_t { kAccumulateBounds = 0x2, kKeepTextureCurrent = 0x4, kDraw = 0x8 };
    static constexpr uint32_t kFontCapacity = 16;

    static RCPtr<LGLGlyphRenderer> Create(GlyphTextureFactory textures, int32_t maxTextureSize);

    void BeginText(const RCPtr<LFont>& font, uint32_t flags) override;
    void EndText() override;
    uint16_t QueryGlyph(SGlyphRecord& record) override;
    void AddGlyph(const SGlyphRecord& record) override;
    void GetBounds(float& left, float& top, float& right, float& bottom) override;

    struct SCachedGlyph
    {
        uint32_t glyphIndex = 0;
        int8_t left = 0, top = 0, right = 0, bottom = 0;
        int16_t advanceX = 0, advanceY = 0;
        uint16_t atlasX = 0, atlasY = 0;
    };

    // A glyph too large for the atlas's byte boxes or for the atlas itself:
    // its coverage in a texture of its own, shrunk by a whole factor where
    // it is larger than a texture can be.
    struct SLargeGlyph
    {
        uint32_t glyphIndex = 0;
        int32_t left = 0, top = 0, right = 0, bottom = 0;
        int32_t advanceX = 0, advanceY = 0;
        int32_t width = 0, height = 0;  // of the coverage, as drawn
        int32_t textureWidth = 0, textureHeight = 0;
        std::unique_ptr<IGlyphTexture> texture;
    };
    // Large glyphs kept per font; past this many they are all let go.
    static constexpr size_t kLargeGlyphsKept = 64;

    struct CachedFont
    {
        CachedFont(const RCPtr<LFont>& font, std::unique_ptr<IGlyphTexture> texture, int32_t maxHeight);
        void Upload();

        RCPtr<LFont> font;
        std::unique_ptr<IGlyphTexture> texture;
        GlyphAtlas atlas;
        std::unordered_map<uint32_t, SCachedGlyph> glyphs;
        std::unordered_map<uint32_t, SLargeGlyph> largeGlyphs;
    };

    // The cached font of the current run, null outside a run.
    const CachedFont* GetCurrentFont() const { return mCurrent.get(); }

private:
    LGLGlyphRenderer(GlyphTextureFactory textures, int32_t maxTextureSize);

    GlyphTextureFactory mTextures;
    int32_t mMaxTextureSize;
    PurgableObjectCache<uint32_t, std::shared_ptr<CachedFont>> mFonts{kFontCapacity};
    std::shared_ptr<CachedFont> mCurrent;
    // Caches the record's glyph in a texture of its own; null when it has
    // no coverage to show.
    const SLargeGlyph* AddLargeGlyph(const SGlyphRecord& record);

    // What the last query found; a miss has no entry.
    const SCachedGlyph* mFound = nullptr;
    const SLargeGlyph* mFoundLarge = nullptr;
    // A large glyph met while only measuring: its metrics, not kept.
    SLargeGlyph mMeasuredLarge;
    float mBounds[4] = {0, 0, 0, 0};
    uint32_t mFlags = 0;
};

}  // namespace Tavo
