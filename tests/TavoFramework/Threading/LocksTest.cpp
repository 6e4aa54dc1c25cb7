#include "Threading/Event.h"
#include "Threading/FastMutex.h"
#include "Threading/Mutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

using namespace Tavo;

namespace {

// Runs `body` `count` times on each of four threads.
void OnFourThreads(int count, const std::function<void()>& body)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < count; ++i)
                body();
        });
    for (auto& t : threads)
        t.join();
}

}  // namespace

TEST(FastMutex, ContendedLockHandsOverThroughTheEvent)
{
    FastMutex mutex;
    std::atomic<int> entered{0};
    // The contender marks the word as contended before it sleeps.
    auto contend = [&] {
        std::thread t([&] {
            FastMutexLocker lock(mutex);
            ++entered;
        });
        while (mutex.GetState() != 2u)
            std::this_thread::yield();
        return t;
    };
    mutex.Lock();
    std::thread second = contend();
    EXPECT_EQ(entered.load(), 0);
    mutex.Unlock();
    second.join();
    EXPECT_EQ(mutex.GetState(), 0u);

    // The spare signal left by the second unlock must not let a third locker
    // through while the lock is held.
    mutex.Lock();
    std::thread third = contend();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(entered.load(), 1);
    mutex.Unlock();
    third.join();
    EXPECT_EQ(entered.load(), 2);

    long counter = 0;  // deliberately not atomic: the lock protects it
    OnFourThreads(20000, [&] {
        std::lock_guard lock(mutex);
        ++counter;
    });
    EXPECT_EQ(counter, 80000);
    EXPECT_EQ(mutex.GetState(), 0u);
}

TEST(Mutex, ReentrantForOwnerExclusiveForOthers)
{
    Mutex mutex;
    mutex.Enter();
    {
        MutexLocker again(mutex);
    }
    std::atomic<bool> entered{false};
    std::thread other([&] {
        MutexLocker lock(mutex);
        entered = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(entered.load());  // still held once after the nested leave
    mutex.Leave();
    other.join();

    long counter = 0;
    OnFourThreads(10000, [&] {
        MutexLocker outer(mutex);
        MutexLocker inner(mutex);
        ++counter;
    });
    EXPECT_EQ(counter, 40000);
}
