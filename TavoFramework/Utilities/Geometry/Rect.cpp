#include "Utilities/Geometry/Rect.h"

#include "Utilities/Geometry/RectRegion.h"

#include <cfloat>
#include <cmath>

namespace Tavo {

int32_t RoundToInt32(double v)
{
    if (std::isnan(v) || v < -2147483648.0)
        return INT32_MIN;
    if (v > 2147483647.0)
        return INT32_MAX;
    // Within the range, v +- 0.5 truncates to a value that still fits.
    return static_cast<int32_t>(v >= 0 ? v + 0.5 : v - 0.5);
}

RectT<int32_t> ToIntRect(const RectT<double>& r)
{
    return {RoundToInt32(r.x), RoundToInt32(r.y), RoundToInt32(r.width), RoundToInt32(r.height)};
}

RectT<int32_t> ToIntRect(const RectT<float>& r)
{
    return {RoundToInt32(r.x), RoundToInt32(r.y), RoundToInt32(r.width), RoundToInt32(r.height)};
}

PointT<int32_t> ToIntPoint(const PointT<double>& p)
{
    return {RoundToInt32(p.x), RoundToInt32(p.y)};
}

PointT<int32_t> ToIntPoint(const PointT<float>& p)
{
    return {RoundToInt32(p.x), RoundToInt32(p.y)};
}

namespace {

float ClampToFloatRange(double v)
{
    constexpr double kLimit = 8388608.0;
    if (std::isnan(v) || v < -kLimit)
        return static_cast<float>(-kLimit);
    if (v > kLimit)
        return static_cast<float>(kLimit);
    return static_cast<float>(v);
}

double SnapEdge(double e)
{
    if (e >= 0)
        return std::trunc(e + e * DBL_EPSILON);
    return std::trunc(e - (e * DBL_EPSILON + 1.0));
}

}  // namespace

PointT<float> ToFloatPoint(const PointT<double>& p)
{
    return {ClampToFloatRange(p.x), ClampToFloatRange(p.y)};
}

void LRect::Normalize(RectT<double>& r)
{
    if (r.width < 0) {
        r.x += r.width;
        r.width = -r.width;
    }
    if (r.height < 0) {
        r.y += r.height;
        r.height = -r.height;
    }
    const double left = SnapEdge(r.x);
    const double top = SnapEdge(r.y);
    const double right = SnapEdge(r.x + r.width);
    const double bottom = SnapEdge(r.y + r.height);
    r = {left, top, right - left, bottom - top};
}

}  // namespace Tavo

namespace Tavo {

namespace {

constexpr double kDoubleLimit = 4503599627370496.0;

// v + 0.5 truncated; out-of-range values clamp, NaN gives 0.
int32_t AddHalfTruncate(double v)
{
    const double t = std::trunc(v + 0.5);
    if (std::isnan(t))
        return 0;
    if (t < -2147483648.0)
        return INT32_MIN;
    if (t > 2147483647.0)
        return INT32_MAX;
    return static_cast<int32_t>(t);
}

int32_t SaturatingAdd(int32_t a, int32_t b)
{
    const int64_t sum = int64_t(a) + int64_t(b);
    return sum > INT32_MAX ? INT32_MAX : sum < INT32_MIN ? INT32_MIN : int32_t(sum);
}

}  // namespace

double ClampToDoubleRange(double v)
{
    if (v > kDoubleLimit)
        return kDoubleLimit;
    if (v < -kDoubleLimit)
        return -kDoubleLimit;
    return v;
}

PointT<int32_t> LPoint::OffsetBy(const PointT<int32_t>& p, const PointT<double>& offset)
{
    const PointT<int32_t> o = ToIntPoint(offset);
    return {SaturatingAdd(p.x, o.x), SaturatingAdd(p.y, o.y)};
}

PointT<double> LPoint::FromIntPoint(const PointT<int32_t>& p)
{
    return {ClampToDoubleRange(p.x), ClampToDoubleRange(p.y)};
}

RegionRect LRect::ToIntRect(const RectT<double>& r)
{
    const int32_t left = AddHalfTruncate(r.x);
    const int32_t top = AddHalfTruncate(r.y);
    return {left, top, SaturatingAdd(left, AddHalfTruncate(r.width)),
            SaturatingAdd(top, AddHalfTruncate(r.height))};
}

void LRect::ToIntRect(const RectT<double>& r, RectRegion& region)
{
    region.AddRect(ToIntRect(r));
}

RectT<double> LRect::FromIntRect(const RectT<int32_t>& r)
{
    return {ClampToDoubleRange(r.x), ClampToDoubleRange(r.y), ClampToDoubleRange(r.width),
            ClampToDoubleRange(r.height)};
}

}  // namespace Tavo
