#pragma once

#include "Controls/CheckedListBox.h"

namespace Tavo {

// A row of a popup menu: the checked row with its "checkBox" (the check
// mark) and "hotKeyLabel" (the shortcut text) parts.
class LMenuListBoxItem : public LCheckedListBoxItem
{
public:
    LMenuListBoxItem(const RCPtr<LControl>& parent, const WString& name) : LCheckedListBoxItem(parent, name)
    {
    }

    static void Create(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                       const RCPtr<LControlDescriptor>& descriptor)
    {
        CreateT<LMenuListBoxItem>(result, parent, descriptor);
    }

    // A menu row always takes the look asked for, whatever its check mark has.
    bool SetRowLook(int32_t index, float state) override;
};

}  // namespace Tavo
