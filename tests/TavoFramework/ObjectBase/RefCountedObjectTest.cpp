#include "ObjectBase/Holder.h"
#include "ObjectBase/RCPtr.h"
#include "Utilities/Storage/Buffer.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace Tavo {

// Counts its destruction and its internal-reference releases.
class LProbe : public virtual LRefCountedObject
{
public:
    explicit LProbe(int* destroyed = nullptr) : mDestroyed(destroyed) {}
    ~LProbe() override
    {
        if (mDestroyed)
            ++*mDestroyed;
    }
    TavoResult ReleaseInternalReferences() override
    {
        ++releaseCalls;
        if (externalCalls)
            ++*externalCalls;
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
    int* externalCalls = nullptr;
    uint32_t guardDuringRelease = 0;
    int32_t keep = 0;
    std::vector<RCPtr<LProbe>> backRefs;

private:
    int* mDestroyed;
};

class LOtherProbe : public virtual LRefCountedObject
{
};

enum ProbeTask { Idle, Busy };

// CreateCopy results chosen by the test.
class LCopyProbe : public virtual LRefCountedObject
{
public:
    enum Mode { Empty, OtherClass } mode = Empty;
    RCPtr<LRefCountedObject> CreateCopy() const override
    {
        if (mode == OtherClass)
            return RCPtr<LRefCountedObject>(new LOtherProbe);
        return {};
    }
};

}  // namespace Tavo

namespace {

using namespace Tavo;

std::string ThrownText(auto&& call)
{
    try {
        call();
    } catch (const ExceptionBase& e) {
        return e.What();
    }
    return "not thrown";
}

TEST(RefCountedObjectTest, LastPlainReleaseDestroysWithoutReleasingInternals)
{
    int destroyed = 0;
    auto* probe = new LProbe(&destroyed);
    EXPECT_EQ(probe->GetRefCount(), 0);
    EXPECT_EQ(probe->AddRef(), 1);
    EXPECT_EQ(probe->AddRef(), 2);
    EXPECT_EQ(probe->Release(), 1);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(probe->Release(), 0);
    EXPECT_EQ(destroyed, 1);
}

TEST(RefCountedObjectTest, LastOutsideReleaseBreaksInternalCycle)
{
    int destroyed = 0;
    RCPtr<LProbe> outside(new LProbe(&destroyed));
    LProbe* raw = outside.Get();
    raw->AddBackRef();
    raw->AddBackRef();
    ASSERT_EQ(raw->GetRefCount(), 3);
    ASSERT_EQ(raw->GetInternalRefCount(), 2);

    outside = nullptr;
    // One call despite the two nested releases it caused; guard held meanwhile.
    EXPECT_EQ(destroyed, 1);
}

TEST(RefCountedObjectTest, OverrideThatKeepsAReferenceRunsAgainLater)
{
    int destroyed = 0;
    auto* raw = new LProbe(&destroyed);
    RCPtr<LProbe> outside(raw);
    raw->AddBackRef();
    raw->keep = 1;

    EXPECT_EQ(raw->AddRef(), 3);
    EXPECT_EQ(raw->Release(), 2);  // c - i = 2: nothing to break yet
    EXPECT_EQ(raw->releaseCalls, 0);

    outside = nullptr;
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(raw->releaseCalls, 1);
    EXPECT_EQ(raw->guardDuringRelease, 1u);
    EXPECT_EQ(raw->GetReleaseGuard(), 0u);
    EXPECT_EQ(raw->GetRefCount(), 1);

    // Another outside holder comes and goes: the override runs again.
    int calls = 1;
    raw->externalCalls = &calls;
    raw->keep = 0;
    raw->AddRef();
    raw->Release();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(destroyed, 1);
}

TEST(RefCountedObjectTest, UnshareableOnlyWhileHeldOnce)
{
    RCPtr<LOtherProbe> a(new LOtherProbe);
    a->SetUnshareable(true);
    EXPECT_FALSE(a->IsShareable());
    a->SetUnshareable(false);

    RCPtr<LOtherProbe> b(a);
    EXPECT_EQ(
        ThrownText([&] { a->SetUnshareable(true); }),
        "Runtime Error : Tavo::LRefCountedObject::SetUnshareable : ObjectBase\\RefCountedObject : Line 29");
    EXPECT_TRUE(a->IsShareable());
    a->SetUnshareable(false);
    EXPECT_TRUE(a->IsShareable());
}

TEST(RCPtrTest, SecondHolderOfUnshareableBufferGetsCopy)
{
    RCPtr<LIBuffer> first = StringBuffer::Create(4, 0, true);
    std::memcpy(first->GetData(), "abc", 4);
    first->SetUnshareable(true);
    EXPECT_EQ(first->GetRefCount(), 1);  // the first holder never copies

    RCPtr<LIBuffer> second(first);
    EXPECT_NE(second.Get(), first.Get());
    EXPECT_STREQ(static_cast<const char*>(second->GetData()), "abc");
    EXPECT_EQ(first->GetRefCount(), 1);
    EXPECT_EQ(second->GetRefCount(), 1);
    EXPECT_TRUE(second->IsShareable());
    EXPECT_FALSE(first->IsShareable());
}

TEST(RCPtrTest, FailedCopyLeavesEmptyPointerAndNamesTheClass)
{
    RCPtr<LCopyProbe> owner(new LCopyProbe);
    owner->SetUnshareable(true);
    ConstRCPtr<LCopyProbe> second;
    EXPECT_EQ(ThrownText([&] { second = owner; }),
              "Logic Error : class Tavo::LCopyProbe : Tavo::ConstRCPtr<class Tavo::LCopyProbe,class "
              "Tavo::LCopyProbe "
              "*>::Unshare : objectbase\\RefCountedObject : Line 423");
    EXPECT_TRUE(second.IsNull());
    EXPECT_EQ(owner->GetRefCount(), 1);

    // A copy of another class is no copy either.
    owner->mode = LCopyProbe::OtherClass;
    EXPECT_NE(ThrownText([&] { ConstRCPtr<LCopyProbe> third(owner); }), "not thrown");
    EXPECT_EQ(owner->GetRefCount(), 1);
}

TEST(RCPtrTest, CountsStayExactAcrossThreads)
{
    int destroyed = 0;
    RCPtr<LProbe> shared(new LProbe(&destroyed));
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
