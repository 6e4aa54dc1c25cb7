#include "Utilities/Geometry/Rect.h"

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
    if (r.width < 0)
    {
        r.x += r.width;
        r.width = -r.width;
    }
    if (r.height < 0)
    {
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
