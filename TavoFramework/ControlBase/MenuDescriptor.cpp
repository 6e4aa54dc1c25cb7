#include "ControlBase/MenuDescriptor.h"

#include <climits>
#include <string>

namespace Tavo {

namespace {

// Leading decimal digits as the runtime's wide atoi reads them.
int32_t LeadingNumber(const std::u16string& s)
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

// Empty parts stand between two dots; a trailing dot adds none.
std::vector<std::u16string> SplitKey(const std::u16string& key)
{
    std::vector<std::u16string> parts;
    size_t start = 0;
    while (start < key.size()) {
        const size_t dot = key.find(u'.', start);
        if (dot == std::u16string::npos) {
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

RCPtr<LMenuDescriptor> LMenuDescriptor::Create()
{
    return MakeRC<LMenuDescriptor>();
}

int32_t LMenuDescriptor::InsertItem(int32_t index, const RCPtr<LMenuItemDescriptor>& item)
{
    if (index < 0 || index > GetItemCount() || !item)
        return E_INVALIDARG;
    mItems.insert(mItems.begin() + index, item);
    item->SetOwner(RCPtr<LMenuDescriptor>(this));
    return index;
}

int32_t LMenuDescriptor::InsertItem(int32_t index, const WString& label, const WString& key, bool firstFlag,
                                    bool secondFlag)
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

RCPtr<LMenuItemDescriptor> LMenuDescriptor::GetItem(int32_t index) const
{
    if (index < 0 || index >= GetItemCount())
        return nullptr;
    return mItems[static_cast<size_t>(index)];
}

RCPtr<LMenuDescriptor> LMenuDescriptor::Clone() const
{
    auto copy = Create();
    for (const auto& item : mItems)
        copy->InsertItem(copy->GetItemCount(), item->CloneItem());
    return copy;
}

void LMenuDescriptor::RemoveAllItems()
{
    while (!mItems.empty()) {
        // The entry may be the last holder of this menu's caller; keep it
        // until its owner link is gone.
        RCPtr<LMenuItemDescriptor> item = mItems.back();
        mItems.pop_back();
        item->SetOwner(nullptr);
    }
}

TavoResult LMenuDescriptor::ReleaseInternalReferences()
{
    RemoveAllItems();
    return S_OK;
}

LMenuItemDescriptor::LMenuItemDescriptor(const WString& l, const WString& k, bool first, bool second,
                                         bool sep)
    : label(l), key(k), firstFlag(first), secondFlag(second), separator(sep)
{
}

LMenuItemDescriptor::~LMenuItemDescriptor()
{
    SetOwner(nullptr);
}

RCPtr<LMenuItemDescriptor> LMenuItemDescriptor::Create(const WString& label, const WString& key,
                                                       bool firstFlag, bool secondFlag)
{
    return MakeRC<LMenuItemDescriptor>(label, key, firstFlag, secondFlag, false);
}

RCPtr<LMenuItemDescriptor> LMenuItemDescriptor::CreateSeparator()
{
    return MakeRC<LMenuItemDescriptor>(WString(), WString(), true, false, true);
}

void LMenuItemDescriptor::SetOwner(const RCPtr<LMenuDescriptor>& owner)
{
    if (owner == mOwner)
        return;
    RCPtr<LMenuDescriptor> old = mOwner;
    if (old)
        old->AddInternalReferences(-1);
    mOwner = owner;
    if (mOwner)
        mOwner->AddInternalReferences(1);
}

TavoResult LMenuItemDescriptor::ReleaseInternalReferences()
{
    RemoveAllItems();
    SetOwner(nullptr);
    return S_OK;
}

RCPtr<LMenuDescriptor> LMenuItemDescriptor::Clone() const
{
    return CloneItem();
}

RCPtr<LMenuItemDescriptor> LMenuItemDescriptor::CloneItem() const
{
    auto copy = MakeRC<LMenuItemDescriptor>(label, key, firstFlag, secondFlag, separator);
    copy->secondText = secondText;
    copy->hint = hint;
    for (const auto& item : mItems)
        copy->InsertItem(copy->GetItemCount(), item->CloneItem());
    return copy;
}

RCPtr<LMenuDescriptor> LMenuDescriptor::BuildFromKeyTextPairs(const KeyTextPairs& pairs)
{
    KeyTextPairs top;
    SubLists subLists;
    for (uint32_t i = 0; i < pairs.GetCount(); ++i) {
        const WString& text = pairs[i].second;
        const std::u16string key = ToStdString(pairs[i].first);
        const auto parts = SplitKey(key);
        if (parts.size() < 2)
            continue;
        KeyTextPairs* list = nullptr;
        int32_t index = -1;
        std::u16string itemKey;
        if (!parts[0].empty()) {
            if (parts[0][0] >= u'0' && parts[0][0] <= u'9') {
                list = &top;
                index = LeadingNumber(parts[0]);
                itemKey = parts[1];
            } else {
                list = &subLists[ToWString(parts[0])];
                index = LeadingNumber(parts[1]);
                if (parts.size() > 2)
                    itemKey = parts[2];
            }
        }
        if (!list)
            continue;
        if (key.back() == u'.')
            itemKey += u'.';
        // Lists hold indices 0, 1, 2 ... without gaps; others are dropped.
        if (index == static_cast<int32_t>(list->GetCount()))
            list->Add(Pair<WString, WString>(ToWString(itemKey), text));
    }
    RCPtr<LMenuDescriptor> menu;
    if (BuildMenu(top, subLists, menu) < 0 || !menu || menu->GetItemCount() == 0)
        return nullptr;
    return menu;
}

TavoResult LMenuDescriptor::BuildMenu(const KeyTextPairs& list, const SubLists& subLists,
                                      RCPtr<LMenuDescriptor>& menu)
{
    return BuildMenuLimited(list, subLists, menu, 0);
}

TavoResult LMenuDescriptor::BuildMenuLimited(const KeyTextPairs& list, const SubLists& subLists,
                                             RCPtr<LMenuDescriptor>& menu, int depth)
{
    // A given menu is emptied but keeps its own owner, so a submenu entry
    // stays linked to the menu that holds it.
    if (!menu)
        menu = Create();
    else
        menu->RemoveAllItems();
    for (uint32_t i = 0; i < list.GetCount(); ++i) {
        const WString& wideItemKey = list[i].first;
        const WString& wideText = list[i].second;
        const std::u16string text = ToStdString(wideText);
        const std::u16string itemKey = ToStdString(wideItemKey);
        const size_t bar = text.find(u'|');
        const WString label = ToWString(bar == std::u16string::npos ? text : text.substr(0, bar));
        const WString hint = ToWString(bar == std::u16string::npos ? std::u16string() : text.substr(bar + 1));
        if (!itemKey.empty() && itemKey.back() == u'.') {
            const auto sub = subLists.find(ToWString(itemKey.substr(0, itemKey.size() - 1)));
            // A sublist that names itself again and again would never end.
            if (sub == subLists.end() || depth >= kMaxSubmenuDepth)
                continue;
            auto item = LMenuItemDescriptor::Create(label, WString(), true, false);
            menu->InsertItem(menu->GetItemCount(), item);
            if (!hint.IsEmpty())
                item->hint = hint;
            RCPtr<LMenuDescriptor> asMenu = item;
            BuildMenuLimited(sub->second, subLists, asMenu, depth + 1);
        } else if (itemKey == u"-")
            menu->InsertSeparator(menu->GetItemCount());
        else {
            auto item = LMenuItemDescriptor::Create(label, wideItemKey, true, false);
            item->hint = hint;
            menu->InsertItem(menu->GetItemCount(), item);
        }
    }
    return S_OK;
}

}  // namespace Tavo
