#include "Platform/App/InterruptSignals.h"

#include "Platform/App/ChildProcess.h"
#include "Platform/App/SingleInstance.h"
#include "Platform/Kernel/KernelSystem.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace Tavo::Platform::App {

namespace {

// Every signal whose default action ends the process, except SIGPIPE (a
// broken pipe is an error the writer handles: IgnoreBrokenPipes), the faults
// (a crash runs no orderly way out: ChildProcess), and SIGKILL and SIGSTOP,
// which cannot be caught. The real-time ones start at SIGRTMIN: glibc keeps
// the two below for itself. Made once, never changed.
constexpr size_t kMaxSignals = 64;

struct SignalList
{
    int signals[kMaxSignals] = {};
    size_t count = 0;
    SignalList()
    {
        for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGTERM, SIGVTALRM, SIGPROF,
                           SIGXCPU, SIGXFSZ, SIGIO, SIGPWR, SIGSTKFLT})
            signals[count++] = signal;
        for (int signal = SIGRTMIN; signal <= SIGRTMAX && count < kMaxSignals; ++signal)
            signals[count++] = signal;
    }
};

const SignalList& EndingSignals()
{
    static const SignalList* list = new SignalList();
    return *list;
}

// Written in the handler, read by the watcher thread: a lock-free atomic is
// safe in both places.
std::atomic<int> gCaught{0};
std::atomic<int> gHolds{0};
static_assert(std::atomic<int>::is_always_lock_free);

// The self-pipe: made once, never closed, never drained, so it stays
// readable for every poller once written.
struct Pipe
{
    int fds[2] = {-1, -1};
    Pipe() { (void)pipe2(fds, O_CLOEXEC | O_NONBLOCK); }
};

Pipe& SelfPipe()
{
    static Pipe* pipe = new Pipe();
    return *pipe;
}

void ResetAndRaise(int signal)
{
    RemoveHandOverSockets();
    // A helper window (the file chooser) goes with the program.
    EndChildProcesses();
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    raise(signal);
}

extern "C" void OnInterrupt(int signal)
{
    if (gCaught.load() != 0) {
        if (gHolds.load() == 0)
            ResetAndRaise(signal);  // the second one: at once
        return;
    }
    gCaught.store(signal);
    const int saved = errno;
    const char byte = 1;
    (void)!write(SelfPipe().fds[1], &byte, 1);
    errno = saved;
}

}  // namespace

struct InterruptCatcher::Watcher
{
    int stop[2] = {-1, -1};
    std::thread thread;
};

namespace {

// The actions in force before the outermost catcher, and which of the
// signals it caught; put back by it.
struct sigaction gPrevious[kMaxSignals];
bool gInstalled[kMaxSignals];
std::atomic<int> gCatchers{0};

}  // namespace

InterruptCatcher::InterruptCatcher(std::function<void(int)> onFirst)
{
    SelfPipe();
    const SignalList& list = EndingSignals();
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < list.count; ++i)
        sigaddset(&action.sa_mask, list.signals[i]);
    action.sa_flags = SA_RESTART;
    const bool outermost = gCatchers.fetch_add(1) == 0;
    for (size_t i = 0; i < list.count; ++i) {
        // Ignored by whoever started the program (nohup, a script's
        // background job): it stays ignored.
        const bool install = !IsSignalIgnored(list.signals[i]);
        if (outermost)
            gInstalled[i] = install;
        if (install)
            sigaction(list.signals[i], &action, outermost ? &gPrevious[i] : nullptr);
    }
    if (!onFirst)
        return;
    mWatcher = new Watcher();
    if (pipe2(mWatcher->stop, O_CLOEXEC) != 0) {
        delete mWatcher;
        mWatcher = nullptr;
        return;
    }
    mWatcher->thread = std::thread([stopFd = mWatcher->stop[0], onFirst = std::move(onFirst)] {
        pollfd fds[2] = {{InterruptFd(), POLLIN, 0}, {stopFd, POLLIN, 0}};
        while (poll(fds, 2, -1) < 0 && errno == EINTR) {
        }
        if ((fds[0].revents & POLLIN) != 0 && (fds[1].revents & POLLIN) == 0)
            onFirst(CaughtSignal());
    });
}

InterruptCatcher::~InterruptCatcher()
{
    if (mWatcher) {
        const char byte = 1;
        (void)!write(mWatcher->stop[1], &byte, 1);
        mWatcher->thread.join();
        close(mWatcher->stop[0]);
        close(mWatcher->stop[1]);
        delete mWatcher;
    }
    if (gCatchers.fetch_sub(1) == 1) {
        const SignalList& list = EndingSignals();
        for (size_t i = 0; i < list.count; ++i)
            if (gInstalled[i])
                sigaction(list.signals[i], &gPrevious[i], nullptr);
    }
}

int InterruptCatcher::InterruptFd()
{
    return SelfPipe().fds[0];
}

int InterruptCatcher::CaughtSignal()
{
    return gCaught.load();
}

void InterruptCatcher::EndByCaughtSignal()
{
    if (const int signal = gCaught.load())
        ResetAndRaise(signal);
}

InterruptHold::InterruptHold()
{
    gHolds.fetch_add(1);
}

InterruptHold::~InterruptHold()
{
    gHolds.fetch_sub(1);
}

bool InterruptHold::Active()
{
    return gHolds.load() != 0;
}

}  // namespace Tavo::Platform::App
