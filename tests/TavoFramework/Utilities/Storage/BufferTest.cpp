#include "ObjectBase/Holder.h"
#include "Window/MenuActivationParam.h"
#include "Utilities/Storage/Buffer.h"
#include "Utilities/Storage/ReuseAllocator.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

using namespace Tavo;

using Words = BufferT<4, 0, 8, char*, GetSystemAllocator>;
using Text = BufferT<1, 128, 8, char*, GetSystemAllocator>;

TEST(BufferTest, ResizeMovesMemoryOnlyBeyondTheKeepBound)
{
    Words w(8);
    std::memcpy(w.GetData(), "ABCDEFG", 8);
    void* block = w.GetData();
    w.Resize(5);
    EXPECT_EQ(w.GetData(), block);
    w.Resize(4);
    w.Resize(9);
    EXPECT_EQ(w.GetCapacity(), 12u);
    EXPECT_EQ(std::memcmp(w.GetData(), "ABCD", 4), 0);

    Text t(300);
    t.Resize(172);
    EXPECT_EQ(t.GetCapacity(), 300u);
    t.Resize(171);
    EXPECT_EQ(t.GetCapacity(), 171u);
    EXPECT_EQ(Text(10, 100).GetCapacity(), 100u);
    EXPECT_EQ(Text(10, 200).GetCapacity(), 10u);
}

TEST(BufferTest, FillsStayInsideTheBuffer)
{
    Text t(10, 0, true);
    char* d = static_cast<char*>(t.GetData());
    EXPECT_EQ(t.Fill(7, 10, -1), S_OK);
    EXPECT_EQ(t.Fill(7, 11, -1), E_INVALIDARG);
    EXPECT_EQ(t.Fill(7, 0, 11), E_INVALIDARG);
    EXPECT_EQ(t.Fill(7, 2, -1), S_OK);
    EXPECT_EQ(std::string(d, 10), std::string("\0\0\7\7\7\7\7\7\7\7", 10));

    Text w(10, 0, true);
    d = static_cast<char*>(w.GetData());
    EXPECT_EQ(w.Fill16(0x0102, 1, -1), S_OK);
    EXPECT_EQ(d[9], 0);  // four words: bytes 1 to 8
    uint16_t word;
    std::memcpy(&word, d + 7, 2);
    EXPECT_EQ(word, 0x0102);
    EXPECT_EQ(w.Fill16(1, 2, 5), E_INVALIDARG);
}

TEST(BufferTest, CopiesOfReferenceCountedBuffers)
{
    RCPtr<LIBuffer> source = StringBuffer::Create(6, 0, false);
    std::memcpy(source->GetData(), "abcdef", 6);
    RCPtr<LIBuffer> range = source->CopyRange(8, 4);
    EXPECT_EQ(std::string(static_cast<char*>(range->GetData()), 8), std::string("ef\0\0\0\0\0\0", 8));
    RCPtr<LIBuffer> past = source->CopyRange(8, 6);
    EXPECT_EQ(std::string(static_cast<char*>(past->GetData()), 8), std::string(8, '\0'));

    RCPtr<LRefCountedObject> copy = source->CreateCopy();
    RCPtr<LIBuffer> typed = RCPtrDynamicCast<LIBuffer>(copy);
    EXPECT_EQ(std::memcmp(typed->GetData(), "abcdef", 6), 0);
}

struct Record
{
    double value;
    int id;
};

struct BiggerRecord : Record
{
    char extra[40];
};

TEST(ReuseAllocatorTest, ReusesLastFreedFirstAndGrowsInSteps)
{
    ReuseAllocator<Record, 4> pool(false);
    void* a = pool.Alloc(sizeof(Record));
    void* b = pool.Alloc(sizeof(Record));
    pool.Free(a);
    pool.Free(b);
    EXPECT_EQ(pool.Alloc(sizeof(Record)), b);
    EXPECT_EQ(pool.Alloc(sizeof(Record)), a);

    std::vector<void*> more;
    for (int i = 0; i < 3; ++i)
        more.push_back(pool.Alloc(sizeof(Record)));
    EXPECT_EQ(pool.GetBlockCount(), 5u);
    EXPECT_EQ(pool.GetBlockCapacity(), 8u);
}

TEST(ReuseAllocatorTest, LargerDerivedObjectsBypassThePool)
{
    ReuseAllocator<Record, 4> pool(false);
    void* pooled = pool.Alloc(sizeof(Record));
    void* big = pool.Alloc(sizeof(BiggerRecord));
    std::memset(big, 0xFF, sizeof(BiggerRecord));  // the whole object is the caller's
    pool.Free(big);
    EXPECT_EQ(pool.GetBlockCount(), 1u);
    EXPECT_EQ(pool.GetFreeCount(), 0u);
    pool.Free(pooled);
    EXPECT_EQ(pool.GetFreeCount(), 1u);
    pool.Free(nullptr);
}

TEST(ReuseAllocatorTest, LockedPoolServesSeveralThreads)
{
    ReuseAllocator<Record, 1> pool(true);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&pool, t] {
            for (int i = 0; i < 2000; ++i) {
                auto* r = static_cast<Record*>(pool.Alloc(sizeof(Record)));
                r->id = t;
                auto* s = static_cast<Record*>(pool.Alloc(sizeof(Record)));
                s->id = t;
                EXPECT_EQ(r->id, t);
                pool.Free(r);
                pool.Free(s);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_LE(pool.GetBlockCount(), 8u);
    EXPECT_EQ(pool.GetFreeCount(), pool.GetBlockCount());
}

TEST(ReuseAllocatorTest, PooledClassReusesItsBlocks)
{
    RCPtr<LRefCountedObject> item(new LHolder<int>(3));
    const void* first;
    {
        RCPtr<LMenuActivationParam> p = LMenuActivationParam::Create(item, 7);
        EXPECT_EQ(item->GetRefCount(), 2);
        first = p.Get();
    }
    EXPECT_EQ(item->GetRefCount(), 1);
    RCPtr<LMenuActivationParam> q = LMenuActivationParam::Create(item, 8);
    EXPECT_EQ(q.Get(), first);
}

}  // namespace
