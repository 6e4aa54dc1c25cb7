#include "Platform/Kernel/KernelThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>

using namespace Tavo::Platform;

TEST(KernelThread, RoutineRunsOnceOnItsOwnThreadOnlyAfterResume)
{
    std::atomic<bool> resumed{false};
    std::atomic<int> runs{0};
    std::atomic<bool> ranBeforeResume{false};
    std::atomic<uint32_t> seenId{0};
    uint32_t id = 0;
    {
        KernelThread thread([&] {
            ranBeforeResume = ranBeforeResume || !resumed.load();
            seenId = GetCurrentThreadId();
            ++runs;
            return 0u;
        });
        ASSERT_TRUE(thread.IsValid());
        id = thread.GetId();
        EXPECT_NE(id, GetCurrentThreadId());
        EXPECT_FALSE(thread.IsCurrentThread());
        resumed = true;
        EXPECT_TRUE(thread.Resume());
        EXPECT_FALSE(thread.Resume());
    }  // joins
    EXPECT_EQ(runs.load(), 1);
    EXPECT_FALSE(ranBeforeResume.load());
    EXPECT_EQ(seenId.load(), id);

    // Never resumed: ends without running.
    {
        KernelThread idle([&] { return uint32_t(++runs); });
    }
    EXPECT_EQ(runs.load(), 1);
}

TEST(KernelThread, RefusedCreationAndDestructionOnItsOwnThread)
{
    KernelThread::FailNextCreation();
    KernelThread refused([] { return 0u; });
    EXPECT_FALSE(refused.IsValid());
    EXPECT_FALSE(refused.Resume());

    // The routine drops the last owner of its own thread object: no self-join.
    std::promise<void> resumed;
    std::promise<bool> done;
    auto owner = std::make_shared<std::unique_ptr<KernelThread>>();
    *owner = std::make_unique<KernelThread>([owner, &resumed, &done] {
        resumed.get_future().wait();  // Resume has returned
        const bool current = (*owner)->IsCurrentThread();
        owner->reset();
        done.set_value(current);
        return 0u;
    });
    KernelThread* thread = owner->get();
    ASSERT_TRUE(thread->Resume());
    resumed.set_value();
    EXPECT_TRUE(done.get_future().get());
}
