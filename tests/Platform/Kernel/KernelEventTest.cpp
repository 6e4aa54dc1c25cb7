#include "Platform/Kernel/KernelEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

using namespace Tavo::Platform;

namespace {

void WaitUntil(const std::atomic<int>& value, int expected)
{
    while (value.load() != expected)
        std::this_thread::yield();
}

}  // namespace

TEST(KernelEvent, AutoResetReleasesOneWaiterPerSignal)
{
    KernelEvent event(false);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            EXPECT_EQ(event.Wait(INFINITE), WAIT_OBJECT_0);
            ++released;
        });
    }
    for (int k = 1; k <= 3; ++k) {
        event.Set();
        WaitUntil(released, k);
        // The one signal went to exactly one waiter.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(released.load(), k);
    }
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(event.Wait(0), WAIT_TIMEOUT);
}

TEST(KernelEvent, ManualResetReleasesAllAndStaysSignalled)
{
    KernelEvent event(true);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.emplace_back([&] {
            EXPECT_EQ(event.Wait(INFINITE), WAIT_OBJECT_0);
            ++released;
        });
    }
    event.Set();
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(released.load(), 4);
    EXPECT_EQ(event.Wait(0), WAIT_OBJECT_0);
    EXPECT_TRUE(event.IsSet());
    event.Reset();
    EXPECT_FALSE(event.IsSet());
    EXPECT_EQ(event.Wait(0), WAIT_TIMEOUT);
}

TEST(KernelEvent, WaitAnyPicksLowestAndLeavesOthersSignalled)
{
    auto sync = std::make_shared<EventSync>();
    KernelEvent a(false, false, sync), b(false, false, sync), c(true, false, sync);
    KernelEvent* events[] = {&a, &b, &c};

    EXPECT_EQ(KernelEvent::WaitAny(events, 0), WAIT_TIMEOUT);
    c.Set();
    b.Set();
    EXPECT_EQ(KernelEvent::WaitAny(events, 0), 1u);
    // The manual-reset event is never consumed by a wait.
    EXPECT_EQ(KernelEvent::WaitAny(events, 0), 2u);
    EXPECT_EQ(KernelEvent::WaitAny(events, 0), 2u);
    EXPECT_EQ(b.Wait(0), WAIT_TIMEOUT);
    EXPECT_EQ(c.Wait(0), WAIT_OBJECT_0);

    c.Reset();
    std::thread setter([&] { a.Set(); });
    EXPECT_EQ(KernelEvent::WaitAny(events, INFINITE), 0u);
    setter.join();
    EXPECT_EQ(KernelEvent::WaitAny(events, 0), WAIT_TIMEOUT);
}

TEST(KernelEvent, WaitAnyRejectsEventsWithoutSharedSync)
{
    KernelEvent a(false, true), b(false, true);
    KernelEvent* events[] = {&a, &b};
    EXPECT_EQ(KernelEvent::WaitAny(events, 0), WAIT_FAILED);
    EXPECT_EQ(KernelEvent::WaitAny({}, 0), WAIT_FAILED);
    // Nothing was consumed by the failed wait.
    EXPECT_EQ(a.Wait(0), WAIT_OBJECT_0);
}
