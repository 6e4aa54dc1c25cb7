// tavo_clean_env PROGRAM [ARGUMENT...]: runs PROGRAM (found on PATH) with
// the tests' clean environment (CleanEnvironment.h) and nothing else of the
// caller's, and a temporary folder of its own (TAVO_TEST_FOLDER) that is
// removed when it ends, whether it passed, failed, crashed or was killed
// together with this launcher. GoogleTest's own temporary files go there too
// (TEST_TMPDIR), and whatever PROGRAM started that outlives it is waited for,
// asked to end after a while and killed after another, before the folder
// goes, within a bound whatever it does. ctest starts every test through it;
// its exit status is PROGRAM's.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <dirent.h>
#include <fstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <vector>
#include <unistd.h>

#include "CleanEnvironment.h"

namespace {

// PROGRAM's id until it is reaped (0 from then on: another process may have
// the id by then).
volatile sig_atomic_t g_child = 0;

void Forward(int signal)
{
    const pid_t child = g_child;
    if (child > 0)
        kill(child, signal);
}

// A process outside this one's tree that removes `folder` once the pipe's
// write end is closed: when this launcher is gone, even killed (ctest ends
// a timed-out test with its whole tree).
void StartSweeper(const std::string& folder, const int pipe[2])
{
    const pid_t first = fork();
    if (first != 0) {
        if (first > 0)
            waitpid(first, nullptr, 0);
        return;
    }
    setsid();
    if (fork() != 0)
        _exit(0);
    // Holds none of ctest's pipes, which would keep it waiting, nor the
    // pipe's write end.
    const int watched = fcntl(pipe[0], F_DUPFD, 10);
    if (watched < 0)
        _exit(0);
    const int devNull = open("/dev/null", O_RDWR);
    for (int fd = 0; fd < 3; ++fd)
        dup2(devNull, fd);
    close_range(3, unsigned(watched) - 1, 0);
    close_range(unsigned(watched) + 1, ~0u, 0);
    char byte = 0;
    for (;;) {
        const ssize_t n = read(watched, &byte, 1);
        if (n == 0 || (n < 0 && errno != EINTR))
            break;
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    _exit(0);
}

// This process's children now: as a subreaper, also the orphans of
// PROGRAM's tree.
std::vector<pid_t> Children()
{
    std::vector<pid_t> pids;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* task = readdir(tasks)) {
            if (task->d_name[0] == '.')
                continue;
            std::ifstream list(std::string("/proc/self/task/") + task->d_name + "/children");
            for (pid_t pid = 0; list >> pid;)
                pids.push_back(pid);
        }
        closedir(tasks);
    }
    return pids;
}

// Waits until PROGRAM's descendants have ended: 5 s, then SIGTERM, 5 s more,
// then SIGKILL, again and again for whatever is still or newly a child (the
// orphans of those just killed), for 2 s at most. Only this loop reaps, and
// it reads the children after reaping, so every id it signals is a live
// child or an unreaped zombie: never an id another process may have taken.
void EndDescendants()
{
    using namespace std::chrono_literals;
    const auto start = std::chrono::steady_clock::now();
    bool asked = false;
    bool killed = false;
    for (;;) {
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        const std::vector<pid_t> left = Children();
        const auto waited = std::chrono::steady_clock::now() - start;
        // What SIGKILL cannot end soon (a process stuck in the kernel, a
        // fork loop) is left behind rather than waited for.
        if (left.empty() || (killed && waited >= 12s))
            return;
        const int signal = waited >= 10s ? SIGKILL : waited >= 5s && !asked ? SIGTERM : 0;
        asked = asked || signal == SIGTERM;
        killed = killed || signal == SIGKILL;
        if (signal != 0)
            for (const pid_t pid : left)
                kill(pid, signal);
        usleep(10000);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: tavo_clean_env PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    // Where the test would make it with the clean environment's TMPDIR (none),
    // whatever the caller's: paths of sockets inside have a length limit.
    std::string folder = std::string(P_tmpdir) + "/tavo-test-XXXXXX";
    if (!mkdtemp(folder.data())) {
        std::fprintf(stderr, "tavo_clean_env: cannot make %s: %s\n", folder.c_str(), std::strerror(errno));
        return 127;
    }
    int sweep[2];
    if (pipe2(sweep, O_CLOEXEC) == 0) {
        StartSweeper(folder, sweep);
        close(sweep[0]);
    }

    // Orphans of the test's tree come to this process from here on (the
    // sweeper above has gone its own way already).
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    std::vector<std::string> env =
        CleanEnvironment({std::string(kTestFolderVariable) + "=" + folder, "TEST_TMPDIR=" + folder});
    std::vector<char*> envp = CStrings(env);
    struct sigaction forward
    {
    };
    forward.sa_handler = Forward;
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaction(signal, &forward, nullptr);
    const pid_t child = fork();
    if (child == 0) {
        execvpe(argv[1], argv + 1, envp.data());
        std::fprintf(stderr, "tavo_clean_env: cannot run %s: %s\n", argv[1], std::strerror(errno));
        _exit(127);
    }
    g_child = child;
    int status = 0;
    if (child > 0) {
        // Waits without reaping, so that a signal forwarded meanwhile reaches
        // PROGRAM or its zombie, and stops forwarding before the id is freed.
        siginfo_t ended{};
        while (waitid(P_PID, id_t(child), &ended, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
        }
        g_child = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
    EndDescendants();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    if (child < 0)
        return 127;
    if (WIFSIGNALED(status)) {
        // Ends the same way, so that ctest reports the crash as it was.
        signal(WTERMSIG(status), SIG_DFL);
        raise(WTERMSIG(status));
        return 128 + WTERMSIG(status);
    }
    return WEXITSTATUS(status);
}
