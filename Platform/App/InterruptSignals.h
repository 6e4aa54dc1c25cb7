#pragma once

#include <functional>

namespace Tavo::Platform::App {

// The signals that would end the process (SIGINT, SIGTERM, SIGHUP, SIGQUIT,
// SIGUSR1 and the others whose default action ends it, the real-time ones
// too; not SIGPIPE nor the faults) while work must be wound down first (a
// transfer that leaves the device stuck when cut short). One that was
// ignored when the catcher was made stays ignored. The first such signal is
// noted and makes InterruptFd() readable for good; a second one ends the
// process at once with its usual status, unless an InterruptHold exists. A
// message loop polls InterruptFd(); a thread that only waits gives a
// callback instead.
class InterruptCatcher
{
public:
    // onFirst, when given, runs once on a thread of its own after the first
    // signal, with the signal's number.
    explicit InterruptCatcher(std::function<void(int signal)> onFirst = nullptr);
    // The outermost one puts the earlier actions back (a signal caught
    // meanwhile stays noted).
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

    // Readable once a signal was caught.
    static int InterruptFd();
    // The caught signal, 0 while none.
    static int CaughtSignal();
    // Ends the process the way the caught signal would have; returns when
    // none was caught.
    static void EndByCaughtSignal();

private:
    struct Watcher;
    Watcher* mWatcher = nullptr;
};

// While one exists, a second signal is only noted: what it guards (a driver
// flag that must be cleared) ends first, and the process then ends by the
// first signal when its catcher's owner has wound down.
class InterruptHold
{
public:
    InterruptHold();
    ~InterruptHold();
    // Whether one exists now. An abort flag set (sequentially consistent)
    // before asking this is seen by any work that reads it after making a
    // hold: an aborter that finds none need not wait.
    static bool Active();
    InterruptHold(const InterruptHold&) = delete;
    InterruptHold& operator=(const InterruptHold&) = delete;
};

}  // namespace Tavo::Platform::App
