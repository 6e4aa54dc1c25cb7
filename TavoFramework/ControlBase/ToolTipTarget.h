#pragma once

#include "ObjectBase/Result.h"

namespace Tavo {

// What a control's ShowToolTip asks of the tooltip it creates; the tooltip
// widget lives above the control base.
class IToolTipTarget
{
public:
    virtual TavoResult Open() = 0;
    virtual TavoResult Close() = 0;

protected:
    ~IToolTipTarget() = default;
};

}  // namespace Tavo
