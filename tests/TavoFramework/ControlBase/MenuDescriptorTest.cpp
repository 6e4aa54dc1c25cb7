#include "ControlBase/MenuDescriptor.h"

#include <gtest/gtest.h>

using namespace Tavo;

namespace {

using Pairs = LMenuDescriptor::KeyTextPairs;

WString Label(const RCPtr<LMenuDescriptor>& m, int i)
{
    return m->GetItem(i)->label;
}

}  // namespace

TEST(MenuDescriptor, BuildsFromKeysWithHintsSeparatorsAndSubmenus)
{
    const Pairs pairs = {{u"00.NID_OPEN", u"Open|Ctrl+O|extra"}, {u"01.-", u""},
                         {u"02.RECENT.", u"Recent|hint"},        {u"03.MISSING.", u"Nowhere"},
                         {u"RECENT.01.NID_R2", u"second"},  // dropped: index 1 before index 0
                         {u"RECENT.00.NID_R1", u"first"},        {u"RECENT.01.NID_R2", u"second"},
                         {u"7", u"one part is skipped"},         {u".0.NID_X", u"empty first part"},
                         {u"05.NID_GAP", u"out of order"},       {u"03.NID_EXIT", u"Exit"}};
    auto menu = LMenuDescriptor::BuildFromKeyTextPairs(pairs);
    ASSERT_TRUE(menu);
    ASSERT_EQ(menu->GetItemCount(), 3);  // the dangling sublist reference adds nothing
    auto open = menu->GetItem(0);
    EXPECT_TRUE(open->label == u"Open" && open->hint == u"Ctrl+O|extra" && open->key == u"NID_OPEN");
    EXPECT_TRUE(open->firstFlag && !open->secondFlag);
    EXPECT_TRUE(menu->GetItem(1)->separator);
    auto recent = menu->GetItem(2);
    EXPECT_TRUE(recent->label == u"Recent" && recent->hint == u"hint" && recent->key.IsEmpty());
    EXPECT_EQ(recent->GetOwner(), menu);
    ASSERT_EQ(recent->GetItemCount(), 2);
    EXPECT_EQ(Label(recent, 0), u"first");
    EXPECT_EQ(recent->GetItem(1)->key, u"NID_R2");

    EXPECT_FALSE(LMenuDescriptor::BuildFromKeyTextPairs({{u"x", u"y"}}));
}

TEST(MenuDescriptor, SelfReferringSublistsEnd)
{
    auto menu =
        LMenuDescriptor::BuildFromKeyTextPairs({{u"00.LOOP.", u"Loop"}, {u"LOOP.00.LOOP.", u"Again"}});
    ASSERT_TRUE(menu);
    int depth = 0;
    for (RCPtr<LMenuDescriptor> m = menu; m->GetItemCount() > 0; m = m->GetItem(0))
        ++depth;
    EXPECT_GT(depth, 1);
    EXPECT_LT(depth, 100);
}

TEST(MenuDescriptor, InsertInfoAndClone)
{
    auto menu = LMenuDescriptor::Create();
    EXPECT_EQ(menu->InsertItem(1, u"a", u"K", true, false), E_INVALIDARG);
    EXPECT_EQ(menu->InsertItem(0, u"b", u"KB", true, true), 0);
    EXPECT_EQ(menu->InsertItem(0, u"a", u"KA", false, false), 0);
    EXPECT_EQ(menu->InsertSeparator(2), 2);
    auto sub = menu->GetItem(1);
    sub->InsertItem(0, u"deep", u"KD", true, false);

    LMenuDescriptor::ItemInfo info;
    EXPECT_EQ(menu->GetItemInfo(1, info), S_OK);
    EXPECT_EQ(info.label, u"b");
    EXPECT_TRUE(info.secondFlag);
    EXPECT_EQ(menu->GetItemInfo(3, info), E_INVALIDARG);
    EXPECT_TRUE(info.label.IsEmpty());

    auto copy = menu->Clone();
    ASSERT_EQ(copy->GetItemCount(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(copy->GetItem(i), menu->GetItem(i));
        EXPECT_TRUE(Label(copy, i) == Label(menu, i) && copy->GetItem(i)->key == menu->GetItem(i)->key);
        EXPECT_EQ(copy->GetItem(i)->GetOwner(), copy);
    }
    ASSERT_EQ(copy->GetItem(1)->GetItemCount(), 1);
    EXPECT_NE(copy->GetItem(1)->GetItem(0), sub->GetItem(0));
    EXPECT_EQ(copy->GetItem(1)->GetItem(0)->GetOwner(), copy->GetItem(1));

    auto item = menu->GetItem(0);
    menu->ReleaseInternalReferences();
    EXPECT_EQ(menu->GetItemCount(), 0);
    EXPECT_FALSE(item->GetOwner());
}

namespace {
int gItemsFreed = 0;
struct CountedItem : LMenuItemDescriptor
{
    CountedItem() : LMenuItemDescriptor(u"x", u"NID_X", true, false, false) {}
    ~CountedItem() override { ++gItemsFreed; }
};
}  // namespace

TEST(MenuDescriptor, MenuAndEntriesFreeEachOther)
{
    gItemsFreed = 0;
    {
        auto menu = LMenuDescriptor::Create();
        menu->InsertItem(0, RCPtr<LMenuItemDescriptor>(new CountedItem));
        auto sub = RCPtr<LMenuItemDescriptor>(new CountedItem);
        menu->InsertItem(1, sub);
        sub->InsertItem(0, RCPtr<LMenuItemDescriptor>(new CountedItem));
        EXPECT_EQ(menu->GetInternalRefCount(), 2);
    }
    EXPECT_EQ(gItemsFreed, 3);
}
