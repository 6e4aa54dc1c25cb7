#pragma once

#include "ObjectBase/RCPtr.h"
#include "ObjectBase/RefCountedObject.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace Tavo {

// A reference-counted pixel block: stride × height elements, copied from the
// source rows when given.
template <class T>
class LPixelBuffer : public virtual LRefCountedObject
{
public:
    LPixelBuffer(uint32_t width, uint32_t height, int32_t stride, const T* source = nullptr)
        : mWidth(width), mHeight(height), mStride(stride < 0 ? -stride : stride),
          mPixels(size_t(mStride) * height)
    {
        if (source && !mPixels.empty()) {
            // A negative stride means the source rows run bottom-up.
            for (uint32_t r = 0; r < height; ++r) {
                const T* row =
                    stride < 0 ? source + int64_t(height - 1 - r) * mStride : source + int64_t(r) * mStride;
                std::memcpy(&mPixels[size_t(r) * mStride], row, size_t(mStride) * sizeof(T));
            }
        }
    }
    uint32_t GetWidth() const { return mWidth; }
    uint32_t GetHeight() const { return mHeight; }
    int32_t GetStride() const { return mStride; }
    T* GetPixels() { return mPixels.data(); }
    const T* GetPixels() const { return mPixels.data(); }

private:
    uint32_t mWidth;
    uint32_t mHeight;
    int32_t mStride;
    std::vector<T> mPixels;
};

}  // namespace Tavo
