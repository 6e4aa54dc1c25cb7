#include "Platform/Kernel/KernelThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace Tavo::Platform;

namespace {

struct Probe
{
    std::atomic<int> runs{0};
    std::atomic<uint32_t> seenId{0};
};

uint32_t Record(void* arg)
{
    auto* probe = static_cast<Probe*>(arg);
    probe->seenId = GetCurrentThreadId();
    ++probe->runs;
    return 0;
}

}  // namespace

TEST(KernelThread, RoutineWaitsForResumeAndRunsOnce)
{
    Probe probe;
    uint32_t id = 0;
    {
        KernelThread thread([&] { return Record(&probe); });
        ASSERT_TRUE(thread.IsValid());
        id = thread.GetId();
        EXPECT_NE(id, GetCurrentThreadId());
        EXPECT_FALSE(thread.IsCurrentThread());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(probe.runs.load(), 0);  // held at the start gate
        EXPECT_TRUE(thread.Resume());
        EXPECT_FALSE(thread.Resume());
    }  // joins
    EXPECT_EQ(probe.runs.load(), 1);
    EXPECT_EQ(probe.seenId.load(), id);
}

TEST(KernelThread, NeverResumedEndsWithoutRunning)
{
    Probe probe;
    {
        KernelThread thread([&] { return Record(&probe); });
    }
    EXPECT_EQ(probe.runs.load(), 0);
}

TEST(KernelThread, PrioritiesAreRecordedAndNeverFail)
{
    Probe probe;
    KernelThread thread([&] { return Record(&probe); });
    EXPECT_EQ(thread.GetPriority(), THREAD_PRIORITY_NORMAL);
    EXPECT_TRUE(thread.SetPriority(THREAD_PRIORITY_TIME_CRITICAL));
    EXPECT_EQ(thread.GetPriority(), THREAD_PRIORITY_TIME_CRITICAL);
    EXPECT_TRUE(thread.GetPriorityBoost());
    EXPECT_TRUE(thread.SetPriorityBoost(false));
    EXPECT_FALSE(thread.GetPriorityBoost());
}

TEST(KernelThread, FailedCreationLeavesAnInvalidThread)
{
    Probe probe;
    KernelThread::FailNextCreation();
    KernelThread thread([&] { return Record(&probe); });
    EXPECT_FALSE(thread.IsValid());
    EXPECT_FALSE(thread.Resume());
    EXPECT_FALSE(thread.SetPriority(1));
    KernelThread next([&] { return Record(&probe); });
    EXPECT_TRUE(next.IsValid());
}

namespace {

struct SelfOwned
{
    KernelThread* thread = nullptr;
    std::atomic<bool> resumed{false};
    std::atomic<bool> done{false};
};

uint32_t DestroyOwnThread(void* arg)
{
    auto* self = static_cast<SelfOwned*>(arg);
    while (!self->resumed)  // Resume has returned
        std::this_thread::yield();
    delete self->thread;  // must not try to join itself
    self->done = true;
    return 0;
}

}  // namespace

TEST(KernelThread, DestroyedOnItsOwnThreadLetsItFinish)
{
    SelfOwned self;
    self.thread = new KernelThread([&] { return DestroyOwnThread(&self); });
    self.thread->Resume();
    self.resumed = true;
    while (!self.done)
        std::this_thread::yield();
}
