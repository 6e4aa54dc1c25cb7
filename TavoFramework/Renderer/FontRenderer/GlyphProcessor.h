#pragma once

#include "ObjectBase/RCPtr.h"
#include "Renderer/Font.h"
#include "Renderer/PixelBuffer.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace Tavo {

// The consumer of a glyph walk: it measures or draws the glyphs the font
// renderer positions, and may answer from its own cache of glyphs.
class LGlyphProcessor : public virtual LRefCountedObject
{
public:
    // What QueryGlyph asks for. Any bit: glyph index and advances; the box
    // bits also the control box; kNeedBitmap also the coverage bitmap.
    enum : uint16_t { kNeedGlyph = 0x1, kNeedBox = 0x2, kNeedBitmap = 0x4 };

    struct SGlyphRecord
    {
        uint32_t position = 0;
        uint32_t character = 0;
        float penX = 0;
        float penY = 0;
        // Whole pixels relative to the pen, y growing downward.
        int8_t left = 0;
        int8_t top = 0;
        int8_t right = 0;
        int8_t bottom = 0;
        // 26.6 fixed point.
        int16_t advanceX = 0;
        int16_t advanceY = 0;
        uint32_t glyphIndex = 0;
        RCPtr<LPixelBuffer<unsigned char>> bitmap;
        // The box and the advances at full width, for glyphs of large fonts
        // whose box outgrows the bytes and whose advance the 16 bits above;
        // read in their place while wide is set.
        bool wide = false;
        int32_t wideLeft = 0;
        int32_t wideTop = 0;
        int32_t wideRight = 0;
        int32_t wideBottom = 0;
        int32_t wideAdvanceX = 0;
        int32_t wideAdvanceY = 0;
        // The bitmap is this many times smaller than the glyph: glyphs of
        // thousands of pixels are rasterised at a reduced size.
        int32_t bitmapScale = 1;
    };

    virtual void BeginText(const RCPtr<LFont>& font, uint32_t flags) = 0;
    virtual void EndText() = 0;
    // 0 when the processor filled the glyph index, box and advances itself.
    virtual uint16_t QueryGlyph(SGlyphRecord& record) = 0;
    virtual void AddGlyph(const SGlyphRecord& record) = 0;
    // Of what was added since BeginText.
    virtual void GetBounds(float& left, float& top, float& right, float& bottom) = 0;
};

}  // namespace Tavo
