#pragma once

#include "ControlBase/SkinTypes.h"

#include <map>
#include <utility>
#include <vector>

namespace Tavo {

class LMenuItemDescriptor;

// A menu: its entries in display order. Entries point back at their menu
// without owning it, so a menu and its entries free each other cleanly.
class LMenuDescriptor : public std::enable_shared_from_this<LMenuDescriptor>
{
public:
    using KeyTextPairs = std::vector<std::pair<SkinString, SkinString>>;
    using SubLists = std::map<SkinString, KeyTextPairs>;

    struct ItemInfo
    {
        bool firstFlag = false;
        bool secondFlag = false;
        SkinString label;
    };

    virtual ~LMenuDescriptor();

    static SkinRef<LMenuDescriptor> Create();

    // Index of the new entry, or E_INVALIDARG for an index past the end.
    int32_t InsertItem(int32_t index, const SkinRef<LMenuItemDescriptor>& item);
    int32_t InsertItem(int32_t index, const SkinString& label, const SkinString& key, bool firstFlag,
                       bool secondFlag);
    int32_t InsertSeparator(int32_t index);
    TavoResult GetItemInfo(int32_t index, ItemInfo& info) const;

    int32_t GetItemCount() const { return static_cast<int32_t>(mItems.size()); }
    SkinRef<LMenuItemDescriptor> GetItem(int32_t index) const;
    SkinRef<LMenuDescriptor> GetOwner() const { return mOwner.lock(); }

    // Deep copy; the copy has no owner.
    virtual SkinRef<LMenuDescriptor> Clone() const;
    // Drops every entry and the owner link.
    TavoResult ReleaseInternalReferences();

    // Keys "<n>.<key>" go to the top list, "<list>.<n>.<key>" to a named
    // sublist; an item key ending in "." refers to a sublist. Empty when
    // nothing was built.
    static SkinRef<LMenuDescriptor> BuildFromKeyTextPairs(const KeyTextPairs& pairs);
    static TavoResult BuildMenu(const KeyTextPairs& list, const SubLists& subLists, SkinRef<LMenuDescriptor>& menu);

protected:
    static constexpr int kMaxSubmenuDepth = 16;
    static TavoResult BuildMenuLimited(const KeyTextPairs& list, const SubLists& subLists,
                                       SkinRef<LMenuDescriptor>& menu, int depth);

    friend class LMenuItemDescriptor;
    std::vector<SkinRef<LMenuItemDescriptor>> mItems;
    std::weak_ptr<LMenuDescriptor> mOwner;
};

class LMenuItemDescriptor : public LMenuDescriptor
{
public:
    LMenuItemDescriptor(const SkinString& label, const SkinString& key, bool firstFlag, bool secondFlag,
                        bool separator);

    static SkinRef<LMenuItemDescriptor> Create(const SkinString& label, const SkinString& key, bool firstFlag,
                                               bool secondFlag);
    static SkinRef<LMenuItemDescriptor> CreateSeparator();

    void SetOwner(const SkinRef<LMenuDescriptor>& owner) { mOwner = owner; }
    SkinRef<LMenuDescriptor> Clone() const override;
    SkinRef<LMenuItemDescriptor> CloneItem() const;
    const SkinString& ToString() const { return label; }

    SkinString label;
    SkinString secondText;
    SkinString hint;
    SkinString key;
    bool firstFlag = true;
    bool secondFlag = false;
    bool separator = false;
};

}  // namespace Tavo
