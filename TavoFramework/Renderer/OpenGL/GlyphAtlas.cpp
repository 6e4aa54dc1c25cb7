#include "Renderer/OpenGL/GlyphAtlas.h"

#include "Renderer/OpenGL/GLImage.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace Tavo {

namespace {

constexpr int32_t kLargestPosition = std::numeric_limits<uint16_t>::max();

int32_t RoundedHeight(int32_t needed)
{
    int32_t height = NextPowerOfTwo(needed);
    while (height < needed)
        height *= 2;
    return height;
}

}  // namespace

GlyphAtlas::GlyphAtlas(int32_t firstRowHeight, int32_t maxHeight) : mMaxHeight(std::max(1, maxHeight))
{
    Reserve(0, std::clamp(firstRowHeight, 0, mMaxHeight));
}

bool GlyphAtlas::Reserve(int32_t width, int32_t height)
{
    if (width > kWidth)
        return false;
    // Worked out before anything changes, so that a refused glyph leaves the
    // shelves as they were.
    int32_t cursorY = mCursorY;
    int32_t rowHeight = mRowHeight;
    const bool newRow = mCursorX + width >= kWidth;
    if (newRow) {
        cursorY += rowHeight;
        rowHeight = 0;
    }
    rowHeight = std::max(rowHeight, height);
    const int32_t needed = cursorY + height;
    if (needed > mMaxHeight || cursorY + 1 > kLargestPosition)
        return false;
    if (newRow)
        mCursorX = 0;
    mCursorY = cursorY;
    mRowHeight = rowHeight;
    if (mPixels.empty() && mHeight == 0) {
        mHeight = mRowHeight;
        mPixels.assign(static_cast<std::size_t>(kWidth) * static_cast<std::size_t>(mHeight), 0);
    }
    if (needed >= mHeight) {
        mHeight = std::min(RoundedHeight(needed), mMaxHeight);
        mPixels.resize(static_cast<std::size_t>(kWidth) * static_cast<std::size_t>(mHeight), 0);
        mDirty[0] = mDirty[1] = 0;
        mDirty[2] = static_cast<float>(kWidth);
        mDirty[3] = static_cast<float>(mHeight);
    }
    return true;
}

bool GlyphAtlas::Place(const uint8_t* bits, int32_t width, int32_t height, int32_t stride, uint16_t& x,
                       uint16_t& y)
{
    if (width < 0 || height < 0 || !Reserve(width + 2, height + 2))
        return false;
    const int32_t left = mCursorX + 1;
    const int32_t top = mCursorY + 1;
    x = static_cast<uint16_t>(left);
    y = static_cast<uint16_t>(top);
    if (height > 0 && bits) {
        for (int32_t row = 0; row < height; ++row)
            std::memcpy(
                &mPixels[static_cast<std::size_t>(top + row) * kWidth + static_cast<std::size_t>(left)],
                bits + static_cast<std::ptrdiff_t>(row) * stride, static_cast<std::size_t>(width));
        MarkDirty(static_cast<float>(left - 1), static_cast<float>(top - 1),
                  static_cast<float>(left + width + 1), static_cast<float>(top + height + 1));
    }
    mCursorX += width + 2;
    return true;
}

void GlyphAtlas::MarkDirty(float left, float top, float right, float bottom)
{
    // The area starts as the empty rectangle at the origin, so it always
    // reaches back to it.
    mDirty[0] = std::min(mDirty[0], left);
    mDirty[1] = std::min(mDirty[1], top);
    mDirty[2] = std::max(mDirty[2], right);
    mDirty[3] = std::max(mDirty[3], bottom);
}

bool GlyphAtlas::TakeDirty()
{
    constexpr float kEpsilon = std::numeric_limits<float>::epsilon();
    const bool due = mDirty[2] - mDirty[0] > kEpsilon && mDirty[3] - mDirty[1] > kEpsilon;
    mDirty[0] = mDirty[1] = mDirty[2] = mDirty[3] = 0;
    return due;
}

}  // namespace Tavo
