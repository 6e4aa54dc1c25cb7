#include "ObjectBase/Exception.h"
#include "Utilities/Storage/ArrayUtils.h"
#include "Utilities/Storage/RCPtrArray.h"
#include "Utilities/Storage/RCPtrMap.h"

#include <gtest/gtest.h>

#include "tests/Common/ThrownText.h"

#include <functional>
#include <string>
#include <vector>

namespace Tavo {

// Records its destruction; may reach back into an array as it dies.
class LTestItem : public virtual LRefCountedObject
{
public:
    explicit LTestItem(int id, std::vector<int>* destroyed = nullptr) : mId(id), mDestroyed(destroyed) {}
    ~LTestItem() override
    {
        if (mDestroyed)
            mDestroyed->push_back(mId);
        if (mOnDestroy)
            mOnDestroy();
    }
    int mId;
    std::vector<int>* mDestroyed;
    std::function<void()> mOnDestroy;
};

}  // namespace Tavo

using namespace Tavo;

namespace {

using Item = RCPtr<LTestItem>;

template <class A>
std::vector<int> Ids(const A& a)
{
    std::vector<int> ids;
    for (uint32_t i = 0; i < a.GetCount(); ++i)
        ids.push_back(a.GetItemPtr(i)->Get() ? a.GetItemPtr(i)->Get()->mId : -1);
    return ids;
}

}  // namespace

TEST(PointerArray, RemovedElementMovesToTheCallerWhileSetCountDestroys)
{
    std::vector<int> destroyed;
    RCPtrArray<LTestItem> a;
    a.Add(Item(new LTestItem(1, &destroyed)));
    a.Add(Item(new LTestItem(2, &destroyed)));

    Item out(new LTestItem(9, &destroyed));
    EXPECT_EQ(a.RemoveItem(0, out), 1);
    EXPECT_EQ(destroyed, std::vector<int>{9});  // out let go of what it held

    EXPECT_EQ(a.SetCount(0), 0);
    EXPECT_EQ(destroyed, (std::vector<int>{9, 2}));
    out = nullptr;
    EXPECT_EQ(destroyed, (std::vector<int>{9, 2, 1}));
}

TEST(PointerArray, RemovingPastTheEndThrowsTheFamilysTextAndChangesNothing)
{
    RCPtrArray<LTestItem, 256, 256> writable;
    writable.Add(Item(new LTestItem(1)));
    Item out;
    const std::string writableText =
        "Out of Range : Tavo::RCPtrArray<class Tavo::LTestItem,256,256>::RemoveItem : "
        "utilities\\Storage/RCPtrArray : Line 175";
    EXPECT_EQ(ThrownText<Exception<std::out_of_range>>([&] { writable.RemoveItem(1, out); }), writableText);
    EXPECT_EQ(ThrownText<Exception<std::out_of_range>>([&] { writable.RemoveItems(1, 1); }), writableText);
    // Through the const view the object is still an RCPtrArray.
    ConstRCPtrArray<LTestItem, 256, 256>& asConst = writable;
    ConstRCPtr<LTestItem> constOut;
    EXPECT_EQ(ThrownText<Exception<std::out_of_range>>([&] { asConst.RemoveItem(5, constOut); }),
              writableText);
    EXPECT_EQ(Ids(writable), std::vector<int>{1});

    ConstRCPtrArray<LTestItem> readOnly;
    EXPECT_EQ(ThrownText<Exception<std::out_of_range>>([&] { readOnly.RemoveItem(0, constOut); }),
              "Out of Range : Tavo::ConstRCPtrArray<class Tavo::LTestItem,1,0>::RemoveItem : "
              "utilities\\Storage/ConstRCPtrArray : Line 217");
    EXPECT_EQ(readOnly.RemoveRange(7, 0), 0);  // an empty range removes nothing and throws nothing
}

// Reference counts stay right through inserts, copies, sorts and removal.
TEST(PointerArray, CountsStayRight)
{
    RCPtrArray<LTestItem> a(2, 16);
    EXPECT_EQ(a.InsertAt(1, Item(new LTestItem(5))), 1);  // the index
    EXPECT_EQ(a.Add(new LTestItem(6)), 3);
    RCPtr<LTestItem> kept(new LTestItem(7));
    EXPECT_EQ(a.InsertAt(5, kept.Get()), E_INVALIDARG);
    EXPECT_EQ(kept->GetRefCount(), 1);
    EXPECT_EQ(Ids(a), (std::vector<int>{-1, 5, -1, 6}));
    {
        RCPtrArray<LTestItem> b(a);
        EXPECT_EQ(b.AppendArray(a), 8);
        EXPECT_EQ(a[1]->GetRefCount(), 3);
        ArrayUtils::Sort(b, 4, 4,
                         [](const Item& x, const Item& y) { return (x ? x->mId : -1) > (y ? y->mId : -1); });
        EXPECT_EQ(Ids(b), (std::vector<int>{-1, 5, -1, 6, 6, 5, -1, -1}));
        ConstRCPtrArray<LTestItem> c;
        c = b;
        EXPECT_EQ(a[1]->GetRefCount(), 5);
    }
    EXPECT_EQ(a[1]->GetRefCount(), 1);

    Item last;
    EXPECT_EQ(a.PopBack(last), 3);
    a.RemoveAll();
    last = Item(new LTestItem(8));
    EXPECT_EQ(a.RemoveLast(last), E_FAIL);
    EXPECT_FALSE(last);  // cleared even though nothing was taken
}

TEST(PointerArray, ElementsDyingDuringRemovalMaySafelyUseTheArray)
{
    RCPtrArray<LTestItem> a;
    std::vector<uint32_t> countsSeen;
    for (int id = 0; id < 4; ++id) {
        Item item(new LTestItem(id));
        item->mOnDestroy = [&] {
            countsSeen.push_back(a.GetCount());
            if (a.GetCount() == 1)
                a.Add(Item(new LTestItem(99)));
        };
        a.Add(item);
    }
    a.RemoveRange(0, 3);
    EXPECT_EQ(countsSeen, (std::vector<uint32_t>{1, 2, 2}));
    EXPECT_EQ(Ids(a), (std::vector<int>{3, 99}));
    a[0]->mOnDestroy = nullptr;
}

TEST(RCPtrMap, FindsByIdentityReplacesAndEmpties)
{
    std::vector<int> destroyed;
    RCPtrMap<LTestItem, LTestItem, 8> map;
    std::vector<Item> keys;
    for (int i = 0; i < 600; ++i)  // more keys than buckets
    {
        keys.push_back(Item(new LTestItem(i)));
        map.Add(keys.back(), Item(new LTestItem(1000 + i, &destroyed)));
    }
    EXPECT_EQ(map.GetCount(), 600u);
    EXPECT_EQ(map.Find(keys[17])->mId, 1017);
    Item stranger(new LTestItem(5));
    EXPECT_FALSE(map.Find(stranger));

    map.Add(keys[17], Item(new LTestItem(7, &destroyed)));
    EXPECT_EQ(destroyed, std::vector<int>{1017});
    EXPECT_EQ(map.Find(keys[17].Get())->mId, 7);
    EXPECT_EQ(map.GetCount(), 600u);

    EXPECT_EQ(keys[3]->GetRefCount(), 2);  // the map keeps its keys alive
    map.RemoveAll();
    EXPECT_EQ(destroyed.size(), 601u);
    EXPECT_EQ(keys[3]->GetRefCount(), 1);
}
