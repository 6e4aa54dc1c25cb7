#pragma once

#include <chrono>
#include <csignal>
#include <functional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// A private platform root with a mixer-sim process serving it. Every child
// is killed when the test process dies, and every wait has a deadline.
class SimProcess
{
public:
    // Generous for a loaded machine and sanitizer builds.
    static constexpr int kDeadlineMs = 120000;
    // What Run returns when the program had to be killed at its deadline.
    static constexpr int kTimedOut = -2;

    SimProcess();
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts mixer-sim with `args` (plus --root, --log and --received) and
    // waits until its control socket answers. False when it exited first.
    bool Start(const std::vector<std::string>& args);
    // Sends a control command; the reply, or "unreachable".
    std::string Command(const std::string& command);
    // Polls "status" until it contains `text` (at most `ms`).
    bool WaitStatus(const std::string& text, int ms = 60000);
    // "quit" and the exit status; -1 when it did not end in time.
    int Quit();
    // Sends a signal and waits for the exit status; -1 when it did not end.
    int Stop(int signal);

    const std::string& Root() const { return mRoot; }
    // The log's lines without their times.
    std::vector<std::string> LogLines() const;
    // The log's lines with the simulator's time of each, in milliseconds.
    struct LogLine
    {
        double ms = 0;
        std::string text;
    };
    std::vector<LogLine> TimedLogLines() const;
    // The log without the poll thread's queries and the handle lines.
    std::vector<std::string> Requests() const;
    // The last `n` of them (all when there are fewer): how a run ended.
    std::vector<std::string> LastRequests(size_t n) const;
    std::vector<uint8_t> Received() const;
    // Variables that keep a program's platform, runtime and settings folders
    // inside this root, so runs side by side never meet.
    std::vector<std::string> ProgramEnvironment() const;

    // bin/ of the test: the programs live beside it.
    static std::string BinFolder();
    // Runs a program to its end with the clean environment and `env`
    // (tests/Common/CleanEnvironment.h; a later entry replaces an earlier
    // one): its exit status (128 + the signal when one ended it), or
    // kTimedOut after killing it at the deadline. `peakRssKib`,
    // when given, gets the program's own peak resident memory; `meanwhile`
    // runs on a thread of its own with the program's id while it runs.
    static int Run(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                   std::string* output = nullptr, int deadlineMs = kDeadlineMs, long* peakRssKib = nullptr,
                   const std::function<void(pid_t)>& meanwhile = {});

private:
    int WaitForExit(int ms);

    std::string mRoot;
    pid_t mPid = -1;
};

// Polls `done` every `pollMs` until it holds; false after `seconds`.
inline bool Within(int seconds, const std::function<bool()>& done, int pollMs = 10)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
    }
    return true;
}

// While one lives, this process ignores `signals`, and so do the programs it
// starts: as nohup or a script's background job start a program.
class IgnoredSignals
{
public:
    explicit IgnoredSignals(std::vector<int> signals) : mSignals(std::move(signals))
    {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        mBefore.resize(mSignals.size());
        for (size_t i = 0; i < mSignals.size(); ++i)
            sigaction(mSignals[i], &ignore, &mBefore[i]);
    }
    ~IgnoredSignals()
    {
        for (size_t i = 0; i < mSignals.size(); ++i)
            sigaction(mSignals[i], &mBefore[i], nullptr);
    }
    IgnoredSignals(const IgnoredSignals&) = delete;
    IgnoredSignals& operator=(const IgnoredSignals&) = delete;

private:
    std::vector<int> mSignals;
    std::vector<struct sigaction> mBefore;
};
