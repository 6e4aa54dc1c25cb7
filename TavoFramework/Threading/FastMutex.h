#pragma once

#include "Threading/Event.h"

#include <atomic>
#include <cstdint>

namespace Tavo {

// A lock word that costs one atomic exchange when uncontended and sleeps on an
// auto-reset event only under contention. Not re-entrant: a thread that locks
// it twice waits on itself.
class FastMutex
{
public:
    FastMutex() : mEvent(true) {}
    FastMutex(const FastMutex&) = delete;
    FastMutex& operator=(const FastMutex&) = delete;

    void Lock()
    {
        if (mState.exchange(kHeld) == kFree)
            return;
        // Claim "held with waiters" so the eventual unlock wakes a sleeper.
        while (mState.exchange(kContended) != kFree)
            mEvent.Wait(INFINITE);
    }

    void Unlock()
    {
        if (mState.exchange(kFree) == kContended)
            mEvent.Set();
    }

    // Lets the standard guards use it.
    void lock() { Lock(); }
    void unlock() { Unlock(); }

    // 0 free, 1 held, 2 held and a thread may be sleeping.
    uint32_t GetState() const { return mState.load(); }

private:
    static constexpr uint32_t kFree = 0;
    static constexpr uint32_t kHeld = 1;
    static constexpr uint32_t kContended = 2;

    std::atomic<uint32_t> mState{kFree};
    Event mEvent;
};

// Holds a FastMutex for the lifetime of the scope.
class FastMutexLocker
{
public:
    explicit FastMutexLocker(FastMutex& mutex) : mMutex(mutex) { mMutex.Lock(); }
    ~FastMutexLocker() { mMutex.Unlock(); }
    FastMutexLocker(const FastMutexLocker&) = delete;
    FastMutexLocker& operator=(const FastMutexLocker&) = delete;

private:
    FastMutex& mMutex;
};

}  // namespace Tavo
