#include "Platform/Kernel/KernelEvent.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace Tavo::Platform;

TEST(KernelEvent, AutoResetReleasesOneWaiterPerSignalManualResetReleasesAll)
{
    for (bool manual : {false, true}) {
        SCOPED_TRACE(manual);
        KernelEvent event(manual);
        std::atomic<int> released{0};
        std::vector<std::thread> waiters;
        for (int i = 0; i < 3; ++i)
            waiters.emplace_back([&] {
                EXPECT_EQ(event.Wait(INFINITE), WAIT_OBJECT_0);
                ++released;
            });
        // Auto-reset: a signal that woke two waiters leaves a later one unconsumed.
        for (int k = 1; k <= (manual ? 1 : 3); ++k) {
            event.Set();
            while (released.load() < k)
                std::this_thread::yield();
        }
        for (auto& t : waiters)
            t.join();
        EXPECT_EQ(event.Wait(0), manual ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
        EXPECT_EQ(event.IsSet(), manual);
        event.Reset();
        EXPECT_EQ(event.Wait(0), WAIT_TIMEOUT);
    }
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

    c.Reset();
    std::thread setter([&] { a.Set(); });
    EXPECT_EQ(KernelEvent::WaitAny(events, INFINITE), 0u);
    setter.join();
    EXPECT_EQ(KernelEvent::WaitAny(events, 0), WAIT_TIMEOUT);

    KernelEvent d(false, true), e(false, true);  // no shared sync
    EXPECT_EQ(KernelEvent::WaitAny(std::array<KernelEvent*, 2>{&d, &e}, 0), WAIT_FAILED);
    EXPECT_EQ(KernelEvent::WaitAny({}, 0), WAIT_FAILED);
    EXPECT_EQ(d.Wait(0), WAIT_OBJECT_0);  // the failed wait consumed nothing
}
