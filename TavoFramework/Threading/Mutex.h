#pragma once

#include <mutex>

namespace Tavo {

// A re-entrant lock: the thread that holds it may enter it again, and must
// leave it as often as it entered.
class Mutex
{
public:
    Mutex() = default;
    virtual ~Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void Enter() { mLock.lock(); }
    void Leave() { mLock.unlock(); }

    // Lets the standard guards and condition_variable_any use it.
    void lock() { Enter(); }
    void unlock() { Leave(); }

private:
    std::recursive_mutex mLock;
};

// Holds a Mutex for the lifetime of the scope, so every exit path leaves it.
class MutexLocker
{
public:
    explicit MutexLocker(Mutex& mutex) : mMutex(mutex) { mMutex.Enter(); }
    ~MutexLocker() { mMutex.Leave(); }
    MutexLocker(const MutexLocker&) = delete;
    MutexLocker& operator=(const MutexLocker&) = delete;

private:
    Mutex& mMutex;
};

}  // namespace Tavo
