#pragma once

#include "Threading/FastMutex.h"
#include "Utilities/Storage/ArrayBuffer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace Tavo {

// A pool of fixed-size blocks for objects of class T. Blocks are kept for the
// life of the pool and handed out again last freed first. Every address it
// hands out, pooled or not, is preceded by a header whose last 32-bit word is
// the block index, so Free never reads outside a block it made.
template <class T, uint32_t N>
class ReuseAllocator
{
public:
    static constexpr uint32_t kForeign = 0xFFFFFFFFu;
    static constexpr size_t kHeader = std::max(alignof(T), sizeof(uint32_t));
    static_assert(kHeader <= __STDCPP_DEFAULT_NEW_ALIGNMENT__, "over-aligned classes are not pooled");

    // One block: header (ending in the index word) and storage for one T.
    struct Buf
    {
        unsigned char* Storage() { return reinterpret_cast<unsigned char*>(this) + kHeader; }
    };

    explicit ReuseAllocator(bool withLock)
    {
        // Room for N entries from the start; the slack keeps it.
        mBlocks.SetCount(1);
        mBlocks.SetCount(0);
        mFree.SetCount(1);
        mFree.SetCount(0);
        if (withLock)
            mLock = new FastMutex;
    }

    ReuseAllocator(const ReuseAllocator&) = delete;
    ReuseAllocator& operator=(const ReuseAllocator&) = delete;

    // Objects still alive in pool memory are not destructed.
    ~ReuseAllocator()
    {
        for (uint32_t i = mBlocks.GetCount(); i-- > 0;)
            ::operator delete(mBlocks.GetElements()[i]);
        mBlocks.SetSize(0);
        mFree.SetSize(0);
        delete mLock;
    }

    void* Alloc(uint32_t size)
    {
        // A derived class larger than T: heap memory with the same header.
        if (size != sizeof(T)) {
            auto* block = static_cast<unsigned char*>(std::malloc(kHeader + size));
            if (!block)
                return nullptr;
            WriteIndex(block + kHeader, kForeign);
            return block + kHeader;
        }
        Guard guard(mLock);
        Buf* buf;
        uint32_t freeCount = mFree.GetCount();
        if (freeCount) {
            uint32_t index = mFree.GetElements()[freeCount - 1];
            mFree.SetCount(freeCount - 1);
            buf = mBlocks.GetElements()[index];
        } else {
            uint32_t index = mBlocks.GetCount();
            // A table that cannot grow must not be written past its end.
            if (mBlocks.SetCount(index + 1) < 0)
                return nullptr;
            try {
                buf = static_cast<Buf*>(::operator new(kHeader + sizeof(T)));
            } catch (...) {
                mBlocks.SetCount(index);
                throw;
            }
            mBlocks.GetElements()[index] = buf;
            WriteIndex(buf->Storage(), index);
        }
        return buf->Storage();
    }
    void* Allocate(uint32_t size) { return Alloc(size); }

    void Free(void* address)
    {
        if (!address)
            return;
        auto* storage = static_cast<unsigned char*>(address);
        uint32_t index = ReadIndex(storage);
        {
            Guard guard(mLock);
            if (index < mBlocks.GetCount() && mBlocks.GetElements()[index]->Storage() == storage) {
                // Without room in the free list the block is simply not reused.
                uint32_t freeCount = mFree.GetCount();
                if (mFree.SetCount(freeCount + 1) >= 0)
                    mFree.GetElements()[freeCount] = index;
                return;
            }
        }
        std::free(storage - kHeader);
    }

    uint32_t GetBlockCount() const { return mBlocks.GetCount(); }
    uint32_t GetFreeCount() const { return mFree.GetCount(); }
    uint32_t GetBlockCapacity() const { return mBlocks.GetCapacity() / uint32_t(sizeof(Buf*)); }

private:
    class Guard
    {
    public:
        explicit Guard(FastMutex* lock) : mLock(lock)
        {
            if (mLock)
                mLock->Lock();
        }
        ~Guard()
        {
            if (mLock)
                mLock->Unlock();
        }

    private:
        FastMutex* mLock;
    };

    static void WriteIndex(unsigned char* storage, uint32_t index)
    {
        std::memcpy(storage - sizeof(uint32_t), &index, sizeof index);
    }
    static uint32_t ReadIndex(const unsigned char* storage)
    {
        uint32_t index;
        std::memcpy(&index, storage - sizeof(uint32_t), sizeof index);
        return index;
    }

    ArrayBuffer<Buf*, N, 1600> mBlocks;
    ArrayBuffer<uint32_t, N, 1600> mFree;
    FastMutex* mLock = nullptr;
};

}  // namespace Tavo

// Routes a class's allocation to its process-wide pool, made on first use and
// never destroyed, so objects may be released during static destruction.
#define TAVO_POOLED_CLASS(Class, N, withLock)                                                                \
public:                                                                                                      \
    static ::Tavo::ReuseAllocator<Class, N>& GetPool()                                                       \
    {                                                                                                        \
        static auto* pool = new ::Tavo::ReuseAllocator<Class, N>(withLock);                                  \
        return *pool;                                                                                        \
    }                                                                                                        \
    static void* operator new(std::size_t size)                                                              \
    {                                                                                                        \
        void* p = GetPool().Alloc(static_cast<uint32_t>(size));                                              \
        if (!p)                                                                                              \
            throw std::bad_alloc();                                                                          \
        return p;                                                                                            \
    }                                                                                                        \
    static void operator delete(void* p)                                                                     \
    {                                                                                                        \
        GetPool().Free(p);                                                                                   \
    }
