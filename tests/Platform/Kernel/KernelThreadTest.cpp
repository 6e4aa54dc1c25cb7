#include "Platform/Kernel/KernelThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>

using namespace Tavo::Platform;

TEST(KernelThread, RoutineRunsOnceOnItsOwnThreadOnlyAfterResume)
{
    std::atomic<bool> resumed{false}, ranBeforeResume{false};
    std::atomic<uint32_t> runs{0}, seenId{0};
    uint32_t id = 0;
    {
        KernelThread thread([&] {
            ranBeforeResume = ranBeforeResume || !resumed.load();
            seenId = GetCurrentThreadId();
            return ++runs;
        });
        ASSERT_TRUE(thread.IsValid());
        id = thread.GetId();
        EXPECT_FALSE(thread.IsCurrentThread());
        resumed = true;
        EXPECT_TRUE(thread.Resume());
        EXPECT_FALSE(thread.Resume());
    }  // joins
    {
        KernelThread neverResumed([&] { return ++runs; });
    }
    EXPECT_EQ(runs.load(), 1u);
    EXPECT_FALSE(ranBeforeResume.load());
    EXPECT_EQ(seenId.load(), id);
    EXPECT_NE(id, GetCurrentThreadId());
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
        resumed.get_future().wait();
        const bool current = (*owner)->IsCurrentThread();
        owner->reset();
        done.set_value(current);
        return 0u;
    });
    ASSERT_TRUE((*owner)->Resume());
    resumed.set_value();
    EXPECT_TRUE(done.get_future().get());
}
