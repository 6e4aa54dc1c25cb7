#include "Platform/App/ChildProcess.h"
#include "Platform/Kernel/KernelSystem.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <iterator>
#include <mutex>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace Tavo::Platform::App {

namespace {

// The children still running, 0 in a free slot. Read on the ways out, a
// signal handler among them: lock-free atomics only.
constexpr size_t kSlots = 16;
std::atomic<pid_t> gChildren[kSlots];
static_assert(std::atomic<pid_t>::is_always_lock_free);

// How long a child asked to end may take before it is killed.
constexpr long kGraceMs = 2000;

void Register(pid_t pid)
{
    for (auto& slot : gChildren) {
        pid_t free = 0;
        if (slot.compare_exchange_strong(free, pid))
            return;
    }
    // All taken: the kernel still ends it with its thread.
}

// True when this call took pid out of the table: the caller reaps it then,
// and nobody else signals that id again.
bool Unregister(pid_t pid)
{
    for (auto& slot : gChildren) {
        pid_t expected = pid;
        if (slot.compare_exchange_strong(expected, 0))
            return true;
    }
    return false;
}

// Takes every registered child out of the table and signals its group:
// async-signal-safe. The ids taken go to `taken` when given; their count.
size_t SignalAll(int signal, pid_t* taken)
{
    size_t count = 0;
    for (auto& slot : gChildren) {
        if (const pid_t pid = slot.exchange(0); pid > 0) {
            kill(-pid, signal);
            kill(pid, signal);
            if (taken)
                taken[count] = pid;
            ++count;
        }
    }
    return count;
}

long NowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return long(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Reaps pid, killing its process group once endMs has passed; what is left
// of the group then (a helper it started that did not end with it) gets the
// rest of the time before it is killed too. Async-signal-safe. The wait
// status, or -1.
int Reap(pid_t pid, long endMs)
{
    int status = 0;
    bool killed = false;
    for (;;) {
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            break;
        if (r < 0 && errno != EINTR)
            return -1;
        if (NowMs() >= endMs && !killed) {
            kill(-pid, SIGKILL);
            kill(pid, SIGKILL);
            killed = true;
        }
        timespec pause{0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    // The group's id stays taken while any of it lives, so it names no
    // other process meanwhile.
    while (!killed && kill(-pid, 0) == 0 && NowMs() < endMs) {
        timespec pause{0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    kill(-pid, SIGKILL);
    return status;
}

// A crash ends the helpers at once (no grace: the program is going), then
// goes on to what handled it before (a sanitizer's report) or the default.
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
struct sigaction gCrashPrevious[std::size(kCrashSignals)];

extern "C" void OnCrash(int signal, siginfo_t* info, void*)
{
    const int saved = errno;
    SignalAll(SIGKILL, nullptr);
    for (size_t i = 0; i < std::size(kCrashSignals); ++i)
        if (kCrashSignals[i] == signal)
            sigaction(signal, &gCrashPrevious[i], nullptr);
    // A fault (the kernel's, si_code > 0) comes again when the handler
    // returns, into the handler before with its real address; raised here
    // it would look sent. A sent one (kill, abort) is sent again.
    if (info->si_code <= 0)
        raise(signal);
    errno = saved;
}

// A stack overflow leaves no stack to run the handler on: the thread that
// installs it (the main thread, whose loop runs the chooser) gets one of its
// own, made once and never freed. A stack already there (a sanitizer's)
// stays.
void UseAlternateStack()
{
    stack_t current = {};
    if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0)
        return;
    const size_t size = std::max<size_t>(64 * 1024, size_t(SIGSTKSZ) * 4);
    static char* const memory = new char[size];
    stack_t stack = {};
    stack.ss_sp = memory;
    stack.ss_size = size;
    sigaltstack(&stack, nullptr);
}

void CatchCrashes()
{
    UseAlternateStack();
    struct sigaction action = {};
    action.sa_sigaction = OnCrash;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    for (size_t i = 0; i < std::size(kCrashSignals); ++i)
        sigaction(kCrashSignals[i], &action, &gCrashPrevious[i]);
}

}  // namespace

pid_t StartChildProcess(const std::string& program, std::vector<std::string> args, int outFd)
{
    static std::once_flag atExit;
    std::call_once(atExit, [] {
        std::atexit(EndChildProcesses);
        CatchCrashes();
    });
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // Tells why exec failed; closed by a successful one.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return -1;
    // Blocked around the fork: none of the program's handlers may run in
    // the child, and a way out must find the child registered.
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls from here to exec. The program's
        // handlers go; a signal ignored stays ignored, as exec keeps it: the
        // program ignores none itself, so that is one ignored at its start.
        struct sigaction action = {};
        action.sa_handler = SIG_DFL;
        for (int signal = 1; signal < NSIG; ++signal) {
            if (IsSignalIgnored(signal))
                continue;
            sigaction(signal, &action, nullptr);
        }
        // Ended when the thread that started it ends; a parent gone before
        // the request took hold would never send it.
        int error = 0;
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent)
            _exit(127);
        // A group of its own, so whatever it starts is ended with it.
        setpgid(0, 0);
        const int in = open("/dev/null", O_RDONLY);
        if (in < 0 || dup2(in, 0) < 0 || dup2(outFd, 1) < 0) {
            error = errno;
        } else {
            if (in != 0)
                close(in);
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            execve(program.c_str(), argv.data(), environ);
            error = errno;
        }
        (void)!write(report[1], &error, sizeof error);
        _exit(127);
    }
    if (pid > 0) {
        // Also here: the group must exist before anyone signals it.
        setpgid(pid, pid);
        Register(pid);
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    close(report[1]);
    if (pid < 0) {
        close(report[0]);
        return -1;
    }
    int error = 0;
    ssize_t n = 0;
    while ((n = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    close(report[0]);
    if (n > 0) {
        EndChildProcess(pid);
        return -1;
    }
    return pid;
}

int WaitChildProcess(pid_t pid)
{
    // Waited for without reaping, so its id stays its own while a way out
    // may still signal it.
    siginfo_t info{};
    while (waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT) != 0) {
        if (errno != EINTR) {
            Unregister(pid);
            return -1;
        }
    }
    if (!Unregister(pid))
        return -1;  // a way out reaps it
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return status;
}

int EndChildProcess(pid_t pid)
{
    if (!Unregister(pid))
        return -1;
    kill(-pid, SIGTERM);
    return Reap(pid, NowMs() + kGraceMs);
}

void EndChildProcesses()
{
    const int saved = errno;
    pid_t taken[kSlots];
    const size_t count = SignalAll(SIGTERM, taken);
    const long end = NowMs() + kGraceMs;
    for (size_t i = 0; i < count; ++i)
        Reap(taken[i], end);
    errno = saved;
}

}  // namespace Tavo::Platform::App
