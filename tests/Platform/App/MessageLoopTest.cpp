#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "Platform/App/MessageLoop.h"
#include "Platform/App/TimerResolution.h"

using namespace Tavo::Platform::App;

TEST(MessageLoop, TasksPostedFromOtherThreadsRunOnTheLoopThreadInOrder)
{
    MessageLoop loop;
    constexpr int kThreads = 4;
    constexpr int kPerThread = 500;
    std::vector<std::vector<int>> seen(kThreads);
    std::atomic<int> done{0};
    const auto loopThread = std::this_thread::get_id();
    bool wrongThread = false;

    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                loop.Post([&, t, i] {
                    wrongThread |= std::this_thread::get_id() != loopThread;
                    seen[t].push_back(i);
                    if (++done == kThreads * kPerThread)
                        loop.PostQuit(7);
                });
            }
        });
    }
    EXPECT_EQ(loop.Run(), 7);
    for (auto& p : posters)
        p.join();
    EXPECT_FALSE(wrongThread);
    for (const auto& list : seen) {
        ASSERT_EQ(list.size(), size_t(kPerThread));
        for (int i = 0; i < kPerThread; ++i)
            EXPECT_EQ(list[i], i);
    }
}

TEST(MessageLoop, QuitRunsAfterEarlierMessagesAndLeavesLaterOnesForTheNextRun)
{
    MessageLoop loop;
    std::vector<int> order;
    loop.Post([&] { order.push_back(1); });
    loop.PostQuit(3);
    loop.Post([&] { order.push_back(2); });
    EXPECT_EQ(loop.Run(), 3);
    EXPECT_EQ(order, std::vector<int>({1}));
    loop.PostQuit(-5);
    EXPECT_EQ(loop.Run(), -5);
    EXPECT_EQ(order, std::vector<int>({1, 2}));
}

TEST(MessageLoop, IdleTurnsAreCountedPerIdlePeriodAndStopWhenTheHandlerDeclines)
{
    MessageLoop loop;
    std::vector<int32_t> counts;
    int periods = 0;
    bool ranBeforeIdle = false;
    // Messages already queued are all handled before the first idle turn.
    loop.Post([&] { ranBeforeIdle = counts.empty(); });
    loop.Post([&] { ranBeforeIdle = ranBeforeIdle && counts.empty(); });
    loop.SetIdleHandler([&](int32_t count) {
        counts.push_back(count);
        if (count < 2)
            return true;  // asks for another turn straight away
        // The handler declined; only a new message restarts idle processing.
        if (++periods == 3)
            loop.PostQuit(0);
        else
            loop.Post([] {});
        return false;
    });
    EXPECT_EQ(loop.Run(), 0);
    EXPECT_TRUE(ranBeforeIdle);
    EXPECT_EQ(counts, std::vector<int32_t>({0, 1, 2, 0, 1, 2, 0, 1, 2}));
}

TEST(MessageLoop, IdleDoesNotSpinWhileDeclinedAndNoMessageArrives)
{
    MessageLoop loop;
    std::mutex lock;
    std::condition_variable declined;
    int turns = 0;
    loop.SetIdleHandler([&](int32_t) {
        std::lock_guard hold(lock);
        ++turns;
        declined.notify_all();
        return false;
    });
    std::thread late([&] {
        // The quit must come after the first turn, or there is no turn at all.
        {
            std::unique_lock hold(lock);
            declined.wait(hold, [&] { return turns > 0; });
        }
        // Whatever the delay, the loop must wait rather than call idle again.
        usleep(20000);
        loop.PostQuit(1);
    });
    EXPECT_EQ(loop.Run(), 1);
    late.join();
    EXPECT_EQ(turns, 1);
}

TEST(MessageLoop, TimersTickRepeatedlyStartIdlePeriodsAndStopWhenKilled)
{
    MessageLoop loop;
    std::vector<uint32_t> ticks;
    bool lateTicked = false;
    // Quitting from idle proves the last tick started an idle period after
    // the handler had declined; ticks may come back to back, so only that
    // one is sure to be followed by idle.
    loop.SetIdleHandler([&](int32_t count) {
        if (count == 0 && lateTicked)
            loop.PostQuit(0);
        return false;
    });
    ASSERT_TRUE(loop.SetTimer(5, 1, [&](uint32_t id) {
        ticks.push_back(id);
        if (ticks.size() == 4) {
            EXPECT_TRUE(loop.KillTimer(5));
            // Ticks of 5 that come due meanwhile must never arrive.
            loop.SetTimer(6, 20, [&](uint32_t) {
                EXPECT_TRUE(loop.KillTimer(6));
                lateTicked = true;
            });
        }
    }));
    // Without that idle period the loop would wait for ever.
    loop.SetTimer(7, 60000, [&](uint32_t) { loop.PostQuit(1); });
    EXPECT_EQ(loop.Run(), 0);
    EXPECT_EQ(ticks, std::vector<uint32_t>(4, 5));
    EXPECT_FALSE(loop.KillTimer(5));
    EXPECT_TRUE(lateTicked);
}

TEST(MessageLoop, ReadyDescriptorsAreDispatchedOnTheLoopThread)
{
    MessageLoop loop;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string received;
    ASSERT_TRUE(loop.AddFd(fds[0], POLLIN, [&](int fd, short revents) {
        EXPECT_TRUE(revents & POLLIN);
        char buffer[16];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0)
            received.append(buffer, size_t(n));
        if (received == "xyz") {
            loop.RemoveFd(fd);
            loop.PostQuit(0);
        }
    }));
    EXPECT_FALSE(loop.AddFd(fds[0], POLLIN, [](int, short) {}));
    std::thread writer([&] {
        for (char c : std::string("xyz"))
            EXPECT_EQ(write(fds[1], &c, 1), 1);
    });
    EXPECT_EQ(loop.Run(), 0);
    writer.join();
    EXPECT_EQ(received, "xyz");
    close(fds[0]);
    close(fds[1]);
}

TEST(MessageLoop, NestedRunServesMessagesUntilItsOwnQuit)
{
    // A modal window runs the loop again from inside a message.
    MessageLoop loop;
    std::vector<std::string> order;
    loop.Post([&] {
        order.push_back("outer");
        loop.Post([&] {
            order.push_back("inner");
            loop.PostQuit(1);
        });
        EXPECT_EQ(loop.Run(), 1);
        order.push_back("back");
        loop.PostQuit(2);
    });
    EXPECT_EQ(loop.Run(), 2);
    EXPECT_EQ(order, std::vector<std::string>({"outer", "inner", "back"}));
}
