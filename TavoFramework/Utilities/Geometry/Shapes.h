#pragma once

#include "Utilities/Geometry/Rect.h"
#include "Utilities/Storage/Array.h"

#include <cstdint>

namespace Tavo {

// A fresh identity for a shape object. Renderer caches key their prepared
// shapes by it, so an identity is not handed out again (until 2^28 shapes have
// been made), unlike an address, which would bring back a destroyed shape's
// cached path. Identities step by 16 so that the bits a cache hashes on change
// from one shape to the next.
uint32_t NewShapeHandle();

// The points of a line, polyline or polygon. Whoever edits the points sets the
// changed flag; a cached draw reads and clears it. A new shape, and a copy,
// starts changed with an identity of its own.
template <class T>
class PolylineT : public Array<PointT<T>>
{
public:
    PolylineT() = default;
    PolylineT(const PolylineT& other) : Array<PointT<T>>(other), mLineWidth(other.mLineWidth) {}
    PolylineT& operator=(const PolylineT& other)
    {
        Array<PointT<T>>::operator=(other);
        mLineWidth = other.mLineWidth;
        mChanged = 1;
        return *this;
    }

    T GetLineWidth() const { return mLineWidth; }
    void SetLineWidth(T width)
    {
        mLineWidth = width;
        mChanged = 1;
    }

    bool IsChanged() const { return mChanged != 0; }
    void SetChanged(bool changed) { mChanged = changed ? 1 : 0; }

    uint32_t GetHandle() const { return mHandle; }

private:
    T mLineWidth = 1;
    uint8_t mChanged = 1;
    uint32_t mHandle = NewShapeHandle();
};

// Rectangles with one packed 0xAARRGGBB colour each, drawn scaled.
template <class T>
class ColorRectListT : public Array<RectT<T>>
{
public:
    ColorRectListT() = default;
    ColorRectListT(const ColorRectListT& other)
        : Array<RectT<T>>(other), mColors(other.mColors), mScaleX(other.mScaleX), mScaleY(other.mScaleY)
    {
    }
    ColorRectListT& operator=(const ColorRectListT& other)
    {
        Array<RectT<T>>::operator=(other);
        mColors = other.mColors;
        mScaleX = other.mScaleX;
        mScaleY = other.mScaleY;
        mChanged = 1;
        return *this;
    }

    // Keeps the colours in step with the rectangles. Returns the index.
    TavoResult AddRect(const RectT<T>& rect, uint32_t argb)
    {
        const TavoResult r = this->Add(rect);
        if (r >= 0) {
            mColors.SetCount(this->GetCount());
            mColors[static_cast<uint32_t>(r)] = argb;
            mChanged = 1;
        }
        return r;
    }

    // The colour of each rectangle, by index.
    Array<uint32_t>& GetColors() { return mColors; }
    const Array<uint32_t>& GetColors() const { return mColors; }

    T GetScaleX() const { return mScaleX; }
    T GetScaleY() const { return mScaleY; }
    void SetScale(T x, T y)
    {
        mScaleX = x;
        mScaleY = y;
        mChanged = 1;
    }

    bool IsChanged() const { return mChanged != 0; }
    void SetChanged(bool changed) { mChanged = changed ? 1 : 0; }

    uint32_t GetHandle() const { return mHandle; }

private:
    Array<uint32_t> mColors;
    T mScaleX = 1;
    T mScaleY = 1;
    uint8_t mChanged = 1;
    uint32_t mHandle = NewShapeHandle();
};

}  // namespace Tavo
