#include "ControlBase/MenuDescriptor.h"

#include <climits>

namespace Tavo {

namespace {

// Leading decimal digits as the runtime's wide atoi reads them.
int32_t LeadingNumber(const SkinString& s)
{
    size_t i = 0;
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-'))
        negative = s[i++] == u'-';
    int64_t v = 0;
    for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i)
        if ((v = v * 10 + (s[i] - u'0')) > INT32_MAX)
            v = INT32_MAX;
    return static_cast<int32_t>(negative ? -v : v);
}

std::vector<SkinString> SplitKey(const SkinString& key)
{
    std::vector<SkinString> parts;
    size_t start = 0;
    while (start < key.size())
    {
        const size_t dot = key.find(u'.', start);
        if (dot == SkinString::npos)
        {
            parts.push_back(key.substr(start));
            break;
        }
        parts.push_back(key.substr(start, dot - start));
        start = dot + 1;
    }
    return parts;
}

}  // namespace

LMenuDescriptor::~LMenuDescriptor() = default;

SkinRef<LMenuDescriptor> LMenuDescriptor::Create()
{
    return std::make_shared<LMenuDescriptor>();
}

int32_t LMenuDescriptor::InsertItem(int32_t index, const SkinRef<LMenuItemDescriptor>& item)
{
    if (index < 0 || index > GetItemCount() || !item)
        return E_INVALIDARG;
    mItems.insert(mItems.begin() + index, item);
    item->SetOwner(shared_from_this());
    return index;
}

int32_t LMenuDescriptor::InsertItem(int32_t index, const SkinString& label, const SkinString& key,
                                    bool firstFlag, bool secondFlag)
{
    return InsertItem(index, LMenuItemDescriptor::Create(label, key, firstFlag, secondFlag));
}

int32_t LMenuDescriptor::InsertSeparator(int32_t index)
{
    return InsertItem(index, LMenuItemDescriptor::CreateSeparator());
}

TavoResult LMenuDescriptor::GetItemInfo(int32_t index, ItemInfo& info) const
{
    info = ItemInfo();
    if (index < 0 || index >= GetItemCount())
        return E_INVALIDARG;
    const auto& item = *mItems[static_cast<size_t>(index)];
    info.firstFlag = item.firstFlag;
    info.secondFlag = item.secondFlag;
    info.label = item.label;
    return S_OK;
}

SkinRef<LMenuItemDescriptor> LMenuDescriptor::GetItem(int32_t index) const
{
    if (index < 0 || index >= GetItemCount())
        return nullptr;
    return mItems[static_cast<size_t>(index)];
}

SkinRef<LMenuDescriptor> LMenuDescriptor::Clone() const
{
    auto copy = Create();
    for (const auto& item : mItems)
        copy->InsertItem(copy->GetItemCount(), item->CloneItem());
    return copy;
}

TavoResult LMenuDescriptor::ReleaseInternalReferences()
{
    while (!mItems.empty())
    {
        mItems.back()->mOwner.reset();
        mItems.pop_back();
    }
    mOwner.reset();
    return S_OK;
}

LMenuItemDescriptor::LMenuItemDescriptor(const SkinString& l, const SkinString& k, bool first, bool second,
                                         bool sep)
    : label(l), key(k), firstFlag(first), secondFlag(second), separator(sep)
{
}

SkinRef<LMenuItemDescriptor> LMenuItemDescriptor::Create(const SkinString& label, const SkinString& key,
                                                         bool firstFlag, bool secondFlag)
{
    return std::make_shared<LMenuItemDescriptor>(label, key, firstFlag, secondFlag, false);
}

SkinRef<LMenuItemDescriptor> LMenuItemDescriptor::CreateSeparator()
{
    return std::make_shared<LMenuItemDescriptor>(SkinString(), SkinString(), true, false, true);
}

SkinRef<LMenuDescriptor> LMenuItemDescriptor::Clone() const
{
    return CloneItem();
}

SkinRef<LMenuItemDescriptor> LMenuItemDescriptor::CloneItem() const
{
    auto copy = std::make_shared<LMenuItemDescriptor>(label, key, firstFlag, secondFlag, separator);
    copy->secondText = secondText;
    copy->hint = hint;
    for (const auto& item : mItems)
        copy->InsertItem(copy->GetItemCount(), item->CloneItem());
    return copy;
}

SkinRef<LMenuDescriptor> LMenuDescriptor::BuildFromKeyTextPairs(const KeyTextPairs& pairs)
{
    KeyTextPairs top;
    SubLists subLists;
    for (const auto& [key, text] : pairs)
    {
        const auto parts = SplitKey(key);
        if (parts.size() < 2)
            continue;
        KeyTextPairs* list = nullptr;
        int32_t index = -1;
        SkinString itemKey;
        if (!parts[0].empty())
        {
            if (parts[0][0] >= u'0' && parts[0][0] <= u'9')
            {
                list = &top;
                index = LeadingNumber(parts[0]);
                itemKey = parts[1];
            }
            else
            {
                list = &subLists[parts[0]];
                index = LeadingNumber(parts[1]);
                if (parts.size() > 2)
                    itemKey = parts[2];
            }
        }
        if (!list)
            continue;
        if (!key.empty() && key.back() == u'.')
            itemKey += u'.';
        // Lists hold indices 0, 1, 2 ... without gaps; others are dropped.
        if (index == static_cast<int32_t>(list->size()))
            list->emplace_back(itemKey, text);
    }
    SkinRef<LMenuDescriptor> menu;
    if (BuildMenu(top, subLists, menu) < 0 || !menu || menu->GetItemCount() == 0)
        return nullptr;
    return menu;
}

TavoResult LMenuDescriptor::BuildMenu(const KeyTextPairs& list, const SubLists& subLists,
                                      SkinRef<LMenuDescriptor>& menu)
{
    return BuildMenuLimited(list, subLists, menu, 0);
}

TavoResult LMenuDescriptor::BuildMenuLimited(const KeyTextPairs& list, const SubLists& subLists,
                                             SkinRef<LMenuDescriptor>& menu, int depth)
{
    // A given menu is emptied but keeps its own owner, so a submenu entry
    // stays linked to the menu that holds it.
    if (!menu)
        menu = Create();
    else
        while (!menu->mItems.empty())
        {
            menu->mItems.back()->mOwner.reset();
            menu->mItems.pop_back();
        }
    for (const auto& [itemKey, text] : list)
    {
        const size_t bar = text.find(u'|');
        const SkinString label = bar == SkinString::npos ? text : text.substr(0, bar);
        const SkinString hint = bar == SkinString::npos ? SkinString() : text.substr(bar + 1);
        if (!itemKey.empty() && itemKey.back() == u'.')
        {
            const auto sub = subLists.find(itemKey.substr(0, itemKey.size() - 1));
            // A sublist that names itself again and again would never end.
            if (sub == subLists.end() || depth >= kMaxSubmenuDepth)
                continue;
            auto item = LMenuItemDescriptor::Create(label, SkinString(), true, false);
            menu->InsertItem(menu->GetItemCount(), item);
            if (!hint.empty())
                item->hint = hint;
            SkinRef<LMenuDescriptor> asMenu = item;
            BuildMenuLimited(sub->second, subLists, asMenu, depth + 1);
        }
        else if (itemKey == u"-")
            menu->InsertSeparator(menu->GetItemCount());
        else
        {
            auto item = LMenuItemDescriptor::Create(label, itemKey, true, false);
            item->hint = hint;
            menu->InsertItem(menu->GetItemCount(), item);
        }
    }
    return S_OK;
}

}  // namespace Tavo
