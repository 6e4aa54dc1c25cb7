#pragma once

#include "ControlBase/SkinDescriptors.h"
#include "ObjectBase/RefCountedObject.h"

namespace Tavo {

class LRootWindow;

// What the control factory needs of a control. The control base adopts it,
// so the factory can build and re-skin controls without knowing their classes.
class IFactoryControl : public virtual LRefCountedObject
{
public:
    virtual ~IFactoryControl() = default;

    virtual WString GetName() const = 0;
    // The class name of the descriptor the control was built from.
    virtual WString GetDescriptorClassName() const = 0;
    virtual TavoResult SetDescriptor(const RCPtr<LControlDescriptor>& descriptor) = 0;
    // Only for a control without a parent.
    virtual TavoResult SetRootWindow(LRootWindow* window) = 0;
};

}  // namespace Tavo
