#pragma once

#include "ControlBase/SkinDescriptors.h"
#include "Notification/NotificationID.h"
#include "System/KeyCode.h"

#include "Utilities/Storage/Array.h"

#include <map>

namespace Tavo {

// Binds keys to notification names; each key belongs to one binding only.
class HotKeyMap
{
public:
    // E_INVALIDARG when the key is bound already (to any name) or the name is empty.
    TavoResult AddBinding(const KeyCode& key, const WString& name);
    // Entries "<prefix>.<...>.<name>" whose text is a key; refusals are ignored.
    TavoResult LoadBindings(const LStringTable* table, const WString& prefix);
    // The name bound to a key equal to the given one, or empty.
    WString FindBinding(const KeyCode& key) const;
    // A copy of the keys bound to the name, in the order added.
    Array<KeyCode> GetKeyCodes(const WString& name) const;
    bool HasBinding(const WString& name) const;
    bool IsEmpty() const { return mBindings.empty(); }

private:
    // By interned notification id, in id order.
    std::map<LNotificationId, Array<KeyCode>> mBindings;
};

}  // namespace Tavo
