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
    EXPECT_TRUE(thread.SetPriority(THREAD_PRIORITY_TIME_CRITICAL));
    EXPECT_EQ(thread.GetPriority(), THREAD_PRIORITY_TIME_CRITICAL);
    EXPECT_TRUE(thread.SetPriorityBoost(false));
    EXPECT_FALSE(thread.GetPriorityBoost());
}
