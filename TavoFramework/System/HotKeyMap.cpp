#include "System/HotKeyMap.h"

namespace Tavo {

TavoResult HotKeyMap::AddBinding(const KeyCode& key, const WString& name)
{
    if (!FindBinding(key).IsEmpty() || name.IsEmpty())
        return E_INVALIDARG;
    mBindings[GetNotificationID(name.c_str())].Add(key);
    return S_OK;
}

TavoResult HotKeyMap::LoadBindings(const LStringTable* table, const WString& prefix)
{
    if (!table)
        return E_INVALIDARG;
    const WString lead = prefix + u".";
    LStringTable::Pairs pairs;
    table->GetPairs(pairs);
    for (uint32_t i = 0; i < pairs.GetCount(); ++i) {
        const WString& id = pairs[i].first;
        const WString& text = pairs[i].second;
        if (id.Left(static_cast<int32_t>(lead.GetLength())) != lead)
            continue;
        const WString name = id.Mid(id.ReverseFind(u'.') + 1);
        const KeyCode key = KeyCode::FromString(text);
        // Text that names no key parses to a key-down code without a virtual
        // key; it binds nothing rather than a code no press can match.
        const bool namesNoKey = (key.code & KeyCode::kKeyDown) && key.VirtualKey() == 0;
        if ((key.code & KeyCode::kNoKey) == 0 && !namesNoKey)
            AddBinding(key, name);
    }
    return S_OK;
}

WString HotKeyMap::FindBinding(const KeyCode& key) const
{
    for (const auto& [id, keys] : mBindings)
        for (uint32_t i = keys.GetCount(); i-- > 0;)
            if (keys[i] == key)
                return WString(id);
    return WString();
}

Array<KeyCode> HotKeyMap::GetKeyCodes(const WString& name) const
{
    if (name.IsEmpty())
        return {};
    const auto it = mBindings.find(GetNotificationID(name.c_str()));
    return it == mBindings.end() ? Array<KeyCode>() : it->second;
}

bool HotKeyMap::HasBinding(const WString& name) const
{
    return !name.IsEmpty() && mBindings.count(GetNotificationID(name.c_str())) != 0;
}

}  // namespace Tavo
