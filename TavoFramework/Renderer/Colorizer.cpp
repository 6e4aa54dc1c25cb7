#include "Renderer/Colorizer.h"

#include <algorithm>
#include <cmath>

namespace Tavo {

RCPtr<LColorizer> LColorizer::Create(const WString& name, int32_t type, const ColorRGBA& color,
                                     const ColorRGBA& endColor, float startX, float startY, float endX,
                                     float endY)
{
    RCPtr<LColorizer> c(new LColorizer());
    c->name = name;
    c->type = type;
    c->color = color;
    c->endColor = endColor;
    c->startX = startX;
    c->startY = startY;
    c->endX = endX;
    c->endY = endY;
    return c;
}

ColorRGBA LColorizer::GetColorAt(float x, float y) const
{
    if (IsSolid())
        return color;
    const float dx = endX - startX;
    const float dy = endY - startY;
    const float length2 = dx * dx + dy * dy;
    // A gradient of no length shows its first colour.
    if (!(length2 > 0.0f))
        return color;
    float t = 0.0f;
    if (type == kRadialGradient)
        t = std::sqrt(((x - startX) * (x - startX) + (y - startY) * (y - startY)) / length2);
    else
        t = ((x - startX) * dx + (y - startY) * dy) / length2;
    t = std::clamp(std::isnan(t) ? 0.0f : t, 0.0f, 1.0f);
    auto mix = [t](float a, float b) { return a + (b - a) * t; };
    return {mix(color.r, endColor.r), mix(color.g, endColor.g), mix(color.b, endColor.b),
            mix(color.a, endColor.a)};
}

}  // namespace Tavo
