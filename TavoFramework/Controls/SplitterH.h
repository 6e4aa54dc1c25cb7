#pragma once

#include "Controls/SplitterBase.h"

namespace Tavo {

// A bar lying across between a pane above and a pane below.
class LSplitterH : public LSplitterBase
{
public:
    LSplitterH(const RCPtr<LControl>& parent, const WString& name) : LSplitterBase(parent, name, 0) {}

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LSplitterH>(result, parent, descriptor);
    }
};

}  // namespace Tavo
