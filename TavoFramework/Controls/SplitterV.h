#pragma once

#include "Controls/SplitterBase.h"

namespace Tavo {

// A bar standing between a pane on the left and a pane on the right.
class LSplitterV : public LSplitterBase
{
public:
    LSplitterV(const RCPtr<LControl>& parent, const WString& name) : LSplitterBase(parent, name, 1) {}

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LSplitterV>(result, parent, descriptor);
    }
};

}  // namespace Tavo
