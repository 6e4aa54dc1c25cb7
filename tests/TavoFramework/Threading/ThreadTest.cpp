#include "Threading/Event.h"
#include "Threading/Thread.h"

#include "Platform/Kernel/KernelThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace Tavo;

namespace {

struct Job
{
    Event release{false};  // manual-reset: the routine returns once set
    Event running{false};
    std::atomic<int> runs{0};

    static uint32_t Run(void* arg)
    {
        auto* job = static_cast<Job*>(arg);
        ++job->runs;
        job->running.Set();
        job->release.Wait(INFINITE);
        return 7;
    }
};

}  // namespace

TEST(Thread, DestructorWaitsForTheRoutine)
{
    Job job;
    std::atomic<bool> destroyed{false};
    auto* thread = new Thread(&Job::Run, &job);
    thread->Resume();
    job.running.Wait(INFINITE);
    std::thread destroyer([&] {
        delete thread;
        destroyed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(destroyed.load());
    job.release.Set();
    destroyer.join();
    EXPECT_TRUE(destroyed.load());
}

TEST(Thread, DestroyingANeverStartedThreadRunsTheRoutineFirst)
{
    Job job;
    job.release.Set();
    {
        Thread thread(&Job::Run, &job);
    }
    EXPECT_EQ(job.runs.load(), 1);
}

TEST(Thread, FailedCreationReportsEnded)
{
    Job job;
    Platform::KernelThread::FailNextCreation();
    Thread thread(&Job::Run, &job);
    EXPECT_TRUE(thread.HasEnded());
    EXPECT_TRUE(thread.Join(INFINITE));
    EXPECT_FALSE(thread.Resume());
    EXPECT_FALSE(thread.SetPriority(THREAD_PRIORITY_HIGHEST));
    EXPECT_EQ(job.runs.load(), 0);
}

namespace {

struct SelfDestroying
{
    Thread* thread = nullptr;
    Event resumed{false};
    Event done{false};

    static uint32_t Run(void* arg)
    {
        auto* self = static_cast<SelfDestroying*>(arg);
        self->resumed.Wait(INFINITE);  // Resume has returned
        // Neither joins itself nor frees what the running thread still uses.
        EXPECT_FALSE(self->thread->Join(0));
        delete self->thread;
        self->done.Set();
        return 0;
    }
};

}  // namespace

TEST(Thread, DestroyedFromItsOwnRoutine)
{
    SelfDestroying self;
    self.thread = new Thread(&SelfDestroying::Run, &self);
    self.thread->SetPriority(THREAD_PRIORITY_ABOVE_NORMAL);
    self.thread->Resume();
    self.resumed.Set();
    EXPECT_EQ(self.done.Wait(INFINITE), WAIT_OBJECT_0);
}
