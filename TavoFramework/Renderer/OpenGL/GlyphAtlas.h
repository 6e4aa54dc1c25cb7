#pragma once

#include <cstdint>
#include <vector>

namespace Tavo {

// One font's glyph coverage, packed in shelves into an 8-bit image 512
// pixels wide whose height grows in powers of two up to the largest texture
// the context takes. Glyphs that would not fit are refused rather than
// written past the image.
class GlyphAtlas
{
public:
    static constexpr int32_t kWidth = 512;

    // The first shelf is made as tall as the font's size.
    GlyphAtlas(int32_t firstRowHeight, int32_t maxHeight);

    // Copies a w x h coverage bitmap with a one-pixel border around it and
    // gives the position of its top-left pixel; false when it cannot fit.
    bool Place(const uint8_t* bits, int32_t width, int32_t height, int32_t stride, uint16_t& x, uint16_t& y);

    // True, once, when something changed since the last call: the whole
    // image is then due for upload.
    bool TakeDirty();

    const uint8_t* GetPixels() const { return mPixels.data(); }
    int32_t GetHeight() const { return mHeight; }
    int32_t GetCursorX() const { return mCursorX; }
    int32_t GetCursorY() const { return mCursorY; }

private:
    bool Reserve(int32_t width, int32_t height);
    void MarkDirty(float left, float top, float right, float bottom);

    int32_t mMaxHeight;
    int32_t mCursorX = 0;
    int32_t mCursorY = 0;
    int32_t mRowHeight = 0;
    int32_t mHeight = 0;
    std::vector<uint8_t> mPixels;
    // Left, top, right, bottom; all zero when nothing is due.
    float mDirty[4] = {0, 0, 0, 0};
};

}  // namespace Tavo
