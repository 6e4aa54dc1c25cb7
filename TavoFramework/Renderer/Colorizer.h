#pragma once

#include "ObjectBase/RefCountedObject.h"
#include "Utilities/Graphics/ColorRGBA.h"
#include "Utilities/Storage/StringT.h"

#include <cstdint>

namespace Tavo {

// The colour of a skin part: one colour, or a gradient between two given by
// a start and end point in fractions of the filled size.
class LColorizer : public virtual LRefCountedObject
{
public:
    enum Type : int32_t { kSolid = 0, kLinearGradient = 1, kRadialGradient = 2 };

    static RCPtr<LColorizer> Create(const WString& name, int32_t type, const ColorRGBA& color,
                                    const ColorRGBA& endColor, float startX, float startY, float endX,
                                    float endY);

    // A gradient between equal colours draws like one colour, the first.
    bool IsSolid() const { return type == kSolid || color == endColor; }

    // The colour at (x, y) given in fractions of the filled size.
    ColorRGBA GetColorAt(float x, float y) const;

    WString name;
    int32_t type = kSolid;
    ColorRGBA color;
    ColorRGBA endColor;
    float startX = 0, startY = 0, endX = 0, endY = 0;
};

}  // namespace Tavo
