#pragma once

#include "ControlBase/SkinTypes.h"
#include "ObjectBase/RefCountedObject.h"
#include "ObjectBase/TaggableObject.h"
#include "Utilities/Storage/Array.h"
#include "Utilities/Storage/Pair.h"

#include <map>
#include <utility>
#include <vector>

namespace Tavo {

class LMenuItemDescriptor;

// A menu: its entries in display order. Each entry holds its menu as owner;
// those links count as internal references, so the menu and its entries
// free each other when the last outside reference goes.
class LMenuDescriptor : public virtual LRefCountedObject, public LTaggableObject
{
public:
    // As a string table gives them out.
    using KeyTextPairs = Array<Pair<WString, WString>>;
    using SubLists = std::map<WString, KeyTextPairs>;

    struct ItemInfo
    {
        bool firstFlag = false;
        bool secondFlag = false;
        WString label;
    };

    ~LMenuDescriptor() override;

    static RCPtr<LMenuDescriptor> Create();

    // Index of the new entry, or E_INVALIDARG for an index past the end.
    int32_t InsertItem(int32_t index, const RCPtr<LMenuItemDescriptor>& item);
    int32_t InsertItem(int32_t index, const WString& label, const WString& key, bool firstFlag,
                       bool secondFlag);
    int32_t InsertSeparator(int32_t index);
    TavoResult GetItemInfo(int32_t index, ItemInfo& info) const;

    int32_t GetItemCount() const { return static_cast<int32_t>(mItems.size()); }
    RCPtr<LMenuItemDescriptor> GetItem(int32_t index) const;

    // Deep copy; the copy has no owner.
    virtual RCPtr<LMenuDescriptor> Clone() const;
    // Drops every entry, last first, and this menu's own owner link.
    TavoResult ReleaseInternalReferences() override;

    // Keys "<n>.<key>" go to the top list, "<list>.<n>.<key>" to a named
    // sublist; an item key ending in "." refers to a sublist. Empty when
    // nothing was built.
    static RCPtr<LMenuDescriptor> BuildFromKeyTextPairs(const KeyTextPairs& pairs);
    static TavoResult BuildMenu(const KeyTextPairs& list, const SubLists& subLists,
                                RCPtr<LMenuDescriptor>& menu);

protected:
    static constexpr int kMaxSubmenuDepth = 16;
    static TavoResult BuildMenuLimited(const KeyTextPairs& list, const SubLists& subLists,
                                       RCPtr<LMenuDescriptor>& menu, int depth);
    void RemoveAllItems();

    std::vector<RCPtr<LMenuItemDescriptor>> mItems;
};

class LMenuItemDescriptor : public LMenuDescriptor
{
public:
    LMenuItemDescriptor(const WString& label, const WString& key, bool firstFlag, bool secondFlag,
                        bool separator);
    ~LMenuItemDescriptor() override;

    static RCPtr<LMenuItemDescriptor> Create(const WString& label, const WString& key, bool firstFlag,
                                             bool secondFlag);
    static RCPtr<LMenuItemDescriptor> CreateSeparator();

    // Moves the internal-reference count from the old owner to the new one.
    void SetOwner(const RCPtr<LMenuDescriptor>& owner);
    const RCPtr<LMenuDescriptor>& GetOwner() const { return mOwner; }

    RCPtr<LMenuDescriptor> Clone() const override;
    RCPtr<LMenuItemDescriptor> CloneItem() const;
    TavoResult ReleaseInternalReferences() override;
    WString ToString() const override { return label; }

    WString label;
    WString secondText;
    WString hint;
    WString key;
    bool firstFlag = true;
    bool secondFlag = false;
    bool separator = false;

private:
    RCPtr<LMenuDescriptor> mOwner;
};

}  // namespace Tavo
