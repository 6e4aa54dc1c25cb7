#include "Threading/Event.h"
#include "Threading/FastMutex.h"
#include "Threading/Mutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using namespace Tavo;

TEST(FastMutex, ContendedLockHandsOverThroughTheEvent)
{
    FastMutex mutex;
    mutex.Lock();
    EXPECT_EQ(mutex.GetState(), 1u);

    std::atomic<bool> acquired{false};
    std::thread second([&] {
        mutex.Lock();
        acquired = true;
        mutex.Unlock();
    });
    // The second thread marks the word as contended before it sleeps.
    while (mutex.GetState() != 2u)
        std::this_thread::yield();
    EXPECT_FALSE(acquired.load());
    mutex.Unlock();
    second.join();
    EXPECT_TRUE(acquired.load());
    EXPECT_EQ(mutex.GetState(), 0u);

    // The spare signal left by the second unlock must not let a third locker
    // through while the lock is held.
    mutex.Lock();
    std::atomic<bool> third{false};
    std::thread t3([&] {
        FastMutexLocker lock(mutex);
        third = true;
    });
    while (mutex.GetState() != 2u)
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(third.load());
    mutex.Unlock();
    t3.join();
    EXPECT_TRUE(third.load());
}

TEST(FastMutex, ExcludesUnderHeavyContention)
{
    FastMutex mutex;
    long counter = 0;  // deliberately not atomic: the lock protects it
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                std::lock_guard lock(mutex);
                ++counter;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(counter, 80000);
    EXPECT_EQ(mutex.GetState(), 0u);
}

TEST(Mutex, ReentrantForOwnerExclusiveForOthers)
{
    Mutex mutex;
    mutex.Enter();
    {
        MutexLocker again(mutex);  // the owner may enter again
    }
    std::atomic<bool> entered{false};
    std::thread other([&] {
        MutexLocker lock(mutex);
        entered = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // Still held once after the nested leave.
    EXPECT_FALSE(entered.load());
    mutex.Leave();
    other.join();
    EXPECT_TRUE(entered.load());

    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                MutexLocker outer(mutex);
                MutexLocker inner(mutex);
                ++counter;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(counter, 40000);
}
