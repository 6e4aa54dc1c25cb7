#include "System/HotKeyMap.h"

namespace Tavo {

TavoResult HotKeyMap::AddBinding(const KeyCode& key, const SkinString& name)
{
    if (!FindBinding(key).empty() || name.empty())
        return E_INVALIDARG;
    mBindings[HotKeyName(name)].push_back(key);
    return S_OK;
}

TavoResult HotKeyMap::LoadBindings(const LStringTable* table, const SkinString& prefix)
{
    if (!table)
        return E_INVALIDARG;
    const SkinString lead = prefix + u".";
    std::vector<std::pair<SkinString, SkinString>> pairs;
    table->GetPairs(pairs);
    for (const auto& [id, text] : pairs)
    {
        if (id.compare(0, lead.size(), lead) != 0)
            continue;
        const SkinString name = id.substr(id.rfind(u'.') + 1);
        const KeyCode key = KeyCode::FromString(text);
        if ((key.code & KeyCode::kNoKey) == 0)
            AddBinding(key, name);
    }
    return S_OK;
}

SkinString HotKeyMap::FindBinding(const KeyCode& key) const
{
    for (const auto& [name, keys] : mBindings)
        for (auto it = keys.rbegin(); it != keys.rend(); ++it)
            if (*it == key)
                return name.GetName();
    return SkinString();
}

std::vector<KeyCode> HotKeyMap::GetKeyCodes(const SkinString& name) const
{
    if (name.empty())
        return {};
    const auto it = mBindings.find(HotKeyName(name));
    return it == mBindings.end() ? std::vector<KeyCode>() : it->second;
}

bool HotKeyMap::HasBinding(const SkinString& name) const
{
    return !name.empty() && mBindings.count(HotKeyName(name)) != 0;
}

}  // namespace Tavo
