#pragma once

// Building framework controls from descriptors, without a skin file.

#include "ControlBase/ControlFactory.h"
#include "ControlBase/SkinDescriptors.h"
#include "Controls/FrameworkControlClasses.h"

namespace Tavo {

// A descriptor of class cls at (x, y), w x h in absolute pixels.
inline RCPtr<LControlDescriptor> Child(const char16_t* cls, const WString& name, double x, double y, double w,
                                       double h)
{
    RCPtr<LLayoutDescriptor> layout = LLayoutDescriptor::Create();
    layout->x.positionAbs = x, layout->y.positionAbs = y;
    layout->x.sizeRef = layout->y.sizeRef = 2;
    layout->x.sizeAbs = w, layout->y.sizeAbs = h;
    RCPtr<LControlDescriptor> descriptor = LControlDescriptor::Create(cls, name, nullptr);
    descriptor->SetLayout(layout);
    return descriptor;
}

inline void RegisterFrameworkControls(LControlFactory& factory)
{
    for (const ControlClassRow& row : FrameworkControlClasses())
        if (row.create)
            factory.RegisterControlClass(row.name, row.create);
}

}  // namespace Tavo
