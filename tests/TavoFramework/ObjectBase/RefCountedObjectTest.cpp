#include "ObjectBase/Holder.h"
#include "ObjectBase/RCPtr.h"
#include "Utilities/Storage/Buffer.h"
#include "tests/Common/ThrownText.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace Tavo {

// Counts its destruction and its internal-reference releases.
class LProbe : public virtual LRefCountedObject
{
public:
    explicit LProbe(int& destroyed) : mDestroyed(destroyed) {}
    ~LProbe() override { ++mDestroyed; }
    TavoResult ReleaseInternalReferences() override
    {
        ++releaseCalls;
        guardDuringRelease = GetReleaseGuard();
        int32_t dropped = 0;
        while (!backRefs.empty() && int32_t(backRefs.size()) > keep) {
            backRefs.pop_back();  // nested Release of this object
            ++dropped;
        }
        AddInternalReferences(-dropped);
        return LRefCountedObject::ReleaseInternalReferences();
    }
    // Held by "owned" objects: counted as internal references.
    void AddBackRef()
    {
        backRefs.emplace_back(this);
        AddInternalReferences(1);
    }

    int releaseCalls = 0;
    uint32_t guardDuringRelease = 0;
    int32_t keep = 0;
    std::vector<RCPtr<LProbe>> backRefs;
    int& mDestroyed;
};

class LOtherProbe : public virtual LRefCountedObject
{
};

// CreateCopy results chosen by the test.
class LCopyProbe : public virtual LRefCountedObject
{
public:
    bool otherClass = false;
    RCPtr<LRefCountedObject> CreateCopy() const override
    {
        return otherClass ? RCPtr<LRefCountedObject>(new LOtherProbe) : nullptr;
    }
};

}  // namespace Tavo

namespace {

using namespace Tavo;

TEST(RefCountedObjectTest, LastReleaseDestroysAndBreaksInternalCycle)
{
    int destroyed = 0;
    auto* probe = new LProbe(destroyed);
    probe->AddRef();
    EXPECT_EQ(probe->AddRef(), 2);
    EXPECT_EQ(probe->Release(), 1);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(probe->Release(), 0);
    EXPECT_EQ(destroyed, 1);

    // The last outside release breaks the internal cycle.
    RCPtr<LProbe> outside(new LProbe(destroyed));
    LProbe* raw = outside.Get();
    raw->AddBackRef();
    raw->AddBackRef();
    EXPECT_EQ(raw->GetInternalRefCount(), 2);
    outside = nullptr;
    EXPECT_EQ(destroyed, 2);
}

TEST(RefCountedObjectTest, OverrideThatKeepsAReferenceRunsAgainLater)
{
    int destroyed = 0;
    auto* raw = new LProbe(destroyed);
    RCPtr<LProbe> outside(raw);
    raw->AddBackRef();
    raw->keep = 1;

    raw->AddRef();
    EXPECT_EQ(raw->Release(), 2);  // c - i = 2: nothing to break yet
    EXPECT_EQ(raw->releaseCalls, 0);

    outside = nullptr;
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(raw->releaseCalls, 1);
    EXPECT_EQ(raw->guardDuringRelease, 1u);
    EXPECT_EQ(raw->GetReleaseGuard(), 0u);

    // Another outside holder comes and goes: the override runs again.
    raw->keep = 0;
    raw->AddRef();
    raw->Release();
    EXPECT_EQ(destroyed, 1);
}

TEST(RefCountedObjectTest, UnshareableOnlyWhileHeldOnce)
{
    RCPtr<LOtherProbe> a(new LOtherProbe);
    RCPtr<LOtherProbe> b(a);
    EXPECT_EQ(
        ThrownText([&] { a->SetUnshareable(true); }),
        "Runtime Error : Tavo::LRefCountedObject::SetUnshareable : ObjectBase\\RefCountedObject : Line 29");
    EXPECT_TRUE(a->IsShareable());
}

TEST(RCPtrTest, SecondHolderOfUnshareableBufferGetsCopy)
{
    RCPtr<LIBuffer> first = StringBuffer::Create(4, 0, true);
    std::memcpy(first->GetData(), "abc", 4);
    first->SetUnshareable(true);
    RCPtr<LIBuffer> second(first);
    EXPECT_NE(second.Get(), first.Get());
    EXPECT_STREQ(static_cast<const char*>(second->GetData()), "abc");
    EXPECT_EQ(first->GetRefCount(), 1);
    EXPECT_TRUE(second->IsShareable());
}

TEST(RCPtrTest, FailedCopyLeavesEmptyPointerAndNamesTheClass)
{
    RCPtr<LCopyProbe> owner(new LCopyProbe);
    owner->SetUnshareable(true);
    ConstRCPtr<LCopyProbe> second;
    EXPECT_EQ(ThrownText([&] { second = owner; }),
              "Logic Error : class Tavo::LCopyProbe : "
              "Tavo::ConstRCPtr<class Tavo::LCopyProbe,class Tavo::LCopyProbe *>::Unshare : "
              "objectbase\\RefCountedObject : Line 423");
    EXPECT_TRUE(second.IsNull());

    // A copy of another class is no copy either.
    owner->otherClass = true;
    EXPECT_NE(ThrownText([&] { ConstRCPtr<LCopyProbe> third(owner); }), "nothing thrown");
    EXPECT_EQ(owner->GetRefCount(), 1);
}

TEST(RCPtrTest, CountsStayExactAcrossThreads)
{
    int destroyed = 0;
    RCPtr<LProbe> shared(new LProbe(destroyed));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&shared] {
            for (int i = 0; i < 20000; ++i) {
                RCPtr<LProbe> copy(shared);
                RCPtr<LProbe> another = copy;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(shared->GetRefCount(), 1);
    shared = nullptr;
    EXPECT_EQ(destroyed, 1);
}

}  // namespace
