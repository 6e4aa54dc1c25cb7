#pragma once

// Helper programs a test starts beside itself (the X server, the window
// manager, a bus): tied to the test, so that a test that crashes or is
// killed leaves none of them running, nor the files they remove as they end.

#include "tests/Common/CleanEnvironment.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Starts a program found on PATH in the clean environment and `env`
// (tests/Common/CleanEnvironment.h), its standard output into `outFd` or
// dropped, its errors dropped. It gets SIGTERM when the thread that started
// it ends. Its id, or -1.
inline pid_t SpawnQuiet(const std::vector<std::string>& args, const std::vector<std::string>& env,
                        int outFd = -1)
{
    std::string path = args.at(0);
    const char* dirs = std::getenv("PATH");
    for (std::string rest = dirs ? dirs : ""; path.find('/') == std::string::npos && !rest.empty();) {
        const size_t colon = rest.find(':');
        const std::string candidate = rest.substr(0, colon) + "/" + args[0];
        rest = colon == std::string::npos ? std::string() : rest.substr(colon + 1);
        if (access(candidate.c_str(), X_OK) == 0)
            path = candidate;
    }
    std::vector<std::string> argStrings = args, envStrings = CleanEnvironment(env);
    std::vector<char*> argv = CStrings(argStrings), envp = CStrings(envStrings);
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls from here on.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        dup2(outFd >= 0 ? outFd : devNull, 1);
        dup2(devNull, 2);
        execve(path.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(devNull);
    return pid;
}

// Ends a program SpawnQuiet started and waits for it.
inline void StopSpawned(pid_t& pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
}
