#include <gtest/gtest.h>

#include <csignal>
#include <future>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include "Platform/App/InterruptSignals.h"

using Tavo::Platform::App::InterruptCatcher;

namespace {

// Raised twice under a catcher with a watcher: the first is noted, wakes the
// watcher and makes the descriptor readable; the second must end the process.
void RaiseTwice(int signal)
{
    std::promise<int> seen;
    InterruptCatcher catcher([&seen](int caught) { seen.set_value(caught); });
    raise(signal);
    pollfd readable{InterruptCatcher::InterruptFd(), POLLIN, 0};
    if (seen.get_future().get() != signal || InterruptCatcher::CaughtSignal() != signal ||
        poll(&readable, 1, 0) != 1)
        _exit(1);
    raise(signal);
    _exit(2);
}

// Caught while the work ran, ended by afterwards.
void CatchThenEnd(int signal)
{
    {
        InterruptCatcher catcher;
        raise(signal);
    }
    InterruptCatcher::EndByCaughtSignal();
    _exit(3);
}

class InterruptSignals : public ::testing::TestWithParam<int>
{
protected:
    void SetUp() override
    {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        // SIGQUIT's core file would land outside the test's folder.
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
    }
};

TEST_P(InterruptSignals, FirstIsNotedSecondEndsTheProcessAtOnce)
{
    const int signal = GetParam();
    EXPECT_EXIT(RaiseTwice(signal), ::testing::KilledBySignal(signal), "");
    EXPECT_EXIT(CatchThenEnd(signal), ::testing::KilledBySignal(signal), "");
    // Nothing caught: the work's end is the process's own.
    EXPECT_EXIT((InterruptCatcher::EndByCaughtSignal(), _exit(4)), ::testing::ExitedWithCode(4), "");
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptSignals,
                         ::testing::Values(SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGRTMIN, SIGRTMAX));

}  // namespace
