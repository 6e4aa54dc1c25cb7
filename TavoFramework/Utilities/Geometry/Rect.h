#pragma once

#include <cstdint>

namespace Tavo {

template <class T>
struct PointT
{
    T x{};
    T y{};

    constexpr PointT() = default;
    constexpr PointT(T px, T py) : x(px), y(py) {}

    friend constexpr bool operator==(const PointT&, const PointT&) = default;
};

// Layout works on float and double rectangles, drawing and regions on
// int32_t ones.
template <class T>
struct RectT
{
    T x{};
    T y{};
    T width{};
    T height{};

    constexpr RectT() = default;
    constexpr RectT(T px, T py, T w, T h) : x(px), y(py), width(w), height(h) {}

    friend constexpr bool operator==(const RectT&, const RectT&) = default;
};

// Edges of an integer rectangle; right and bottom are exclusive.
struct RegionRect
{
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    constexpr bool IsEmpty() const { return right <= left || bottom <= top; }

    // Touching edges do not count as overlap.
    constexpr bool Overlaps(const RegionRect& o) const
    {
        return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
    }

    friend constexpr bool operator==(const RegionRect&, const RegionRect&) = default;
};

// NaN and values below the int32_t range give INT32_MIN, values above give
// INT32_MAX; the rest round half away from zero (2.5 -> 3, -2.5 -> -3).
int32_t RoundToInt32(double v);

RectT<int32_t> ToIntRect(const RectT<double>& r);
RectT<int32_t> ToIntRect(const RectT<float>& r);
PointT<int32_t> ToIntPoint(const PointT<double>& p);
PointT<int32_t> ToIntPoint(const PointT<float>& p);

// Clamps each value to +-2^23, where floats still hold every integer; NaN
// gives -2^23.
PointT<float> ToFloatPoint(const PointT<double>& p);

class RectRegion;

// Widens to double clamped to +-2^52 (4503599627370496).
double ClampToDoubleRange(double v);

struct LPoint
{
    // Each coordinate clamped to the int32_t range, then rounded half away
    // from zero.
    static PointT<int32_t> ToIntPoint(const PointT<double>& p) { return Tavo::ToIntPoint(p); }
    // Adds a rounded double offset to an integer point.
    static PointT<int32_t> OffsetBy(const PointT<int32_t>& p, const PointT<double>& offset);
    static PointT<double> FromIntPoint(const PointT<int32_t>& p);
};

struct LRect
{
    // x, y, width and height each plus 0.5, truncated: the edges of the
    // rectangle (left, top, left + width, top + height).
    static RegionRect ToIntRect(const RectT<double>& r);
    // The same rectangle added to a region.
    static void ToIntRect(const RectT<double>& r, RectRegion& region);
    static RectT<double> FromIntRect(const RectT<int32_t>& r);

    // Makes width and height non-negative by moving the origin, then snaps
    // every edge down to a whole pixel with a relative tolerance, so that an
    // edge a rounding error below an integer lands on that integer.
    static void Normalize(RectT<double>& r);
};

}  // namespace Tavo
