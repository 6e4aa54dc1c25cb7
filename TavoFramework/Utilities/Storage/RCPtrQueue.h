#pragma once

#include "ObjectBase/Exception.h"
#include "ObjectBase/RefCountedObject.h"
#include "ObjectBase/TypeName.h"
#include "Threading/Mutex.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace Tavo {

// A first-in first-out ring of owning pointers, locked by the mutex it is
// given (none: unlocked). One slot always stays free; a full ring grows by
// one slot inserted at the head, so order is kept.
template <class T, uint32_t N>
class RCPtrQueue
{
public:
    explicit RCPtrQueue(Mutex* lock = nullptr) : mLock(lock) { mStorage.resize(N); }
    RCPtrQueue(const RCPtrQueue&) = delete;
    RCPtrQueue& operator=(const RCPtrQueue&) = delete;

    uint32_t GetCount() const
    {
        Guard guard(mLock);
        return CountLocked();
    }

    uint32_t GetCapacity() const
    {
        Guard guard(mLock);
        return Capacity();
    }

    TavoResult Enqueue(const RCPtr<T>& item)
    {
        RCPtr<T> old;
        Guard guard(mLock);
        if (Capacity() == 0) {
            mStorage.resize(2);
            mHead = mTail = 0;
        }
        if (CountLocked() == Capacity() - 1)
            Grow();
        old = std::move(mStorage[mTail]);
        mStorage[mTail] = item;
        mTail = (mTail + 1) % Capacity();
        return S_OK;
    }

    // false, leaving item alone, when the queue is empty.
    bool TryDequeue(RCPtr<T>& item)
    {
        RCPtr<T> taken;
        {
            Guard guard(mLock);
            if (CountLocked() == 0)
                return false;
            taken = std::move(mStorage[mHead]);
            mHead = (mHead + 1) % Capacity();
        }
        // What item held is released outside the lock.
        item = std::move(taken);
        return true;
    }

    // Throws when the queue is empty.
    RCPtr<T> Dequeue()
    {
        RCPtr<T> item;
        if (TryDequeue(item))
            return item;
        ThrowException<std::runtime_error>(
            "", "Tavo::RCPtrQueue<" + TypeName<T>() + "," + std::to_string(N) + ">::Dequeue",
            "utilities\\Storage/RCPtrQueue", 104);
    }

private:
    class Guard
    {
    public:
        explicit Guard(Mutex* lock) : mLock(lock)
        {
            if (mLock)
                mLock->Enter();
        }
        ~Guard()
        {
            if (mLock)
                mLock->Leave();
        }

    private:
        Mutex* mLock;
    };

    uint32_t Capacity() const { return static_cast<uint32_t>(mStorage.size()); }

    uint32_t CountLocked() const
    {
        uint32_t capacity = Capacity();
        if (capacity == 0)
            return 0;
        return mTail >= mHead ? mTail - mHead : mTail + capacity - mHead;
    }

    // Inserts an empty slot at the head: the items from the head on move up
    // one place and the head follows them.
    void Grow()
    {
        if (mStorage.size() == mStorage.capacity())
            mStorage.reserve(mStorage.size() + N);
        // Equal only when a one-slot ring is empty: the tail moves up too.
        if (mTail >= mHead)
            ++mTail;
        mStorage.insert(mStorage.begin() + mHead, RCPtr<T>());
        mHead = (mHead + 1) % Capacity();
    }

    std::vector<RCPtr<T>> mStorage;
    uint32_t mTail = 0;
    uint32_t mHead = 0;
    Mutex* mLock;
};

}  // namespace Tavo
