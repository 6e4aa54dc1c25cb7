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
    Thread* self = nullptr;  // deleted by the routine itself when set

    static uint32_t Run(void* arg)
    {
        auto* job = static_cast<Job*>(arg);
        ++job->runs;
        job->running.Set();
        job->release.Wait(INFINITE);
        if (job->self) {
            // Neither joins itself nor frees what the running thread still uses.
            EXPECT_FALSE(job->self->Join(0));
            delete job->self;
            job->running.Set();
        }
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

    // A thread never started runs its routine before it is destroyed.
    Job unstarted;
    unstarted.release.Set();
    delete new Thread(&Job::Run, &unstarted);
    EXPECT_EQ(unstarted.runs.load(), 1);
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

TEST(Thread, DestroyedFromItsOwnRoutine)
{
    Job job;
    job.self = new Thread(&Job::Run, &job);
    job.self->SetPriority(THREAD_PRIORITY_ABOVE_NORMAL);
    job.self->Resume();
    job.running.Wait(INFINITE);
    job.running.Reset();
    job.release.Set();  // Resume has returned
    EXPECT_EQ(job.running.Wait(INFINITE), WAIT_OBJECT_0);
}
