#pragma once

#include <spawn.h>
#include <string>
#include <sys/wait.h>

extern char** environ;

// Runs `script` with /bin/sh as another process; its exit code, -1 when it
// could not run or did not exit.
inline int RunShell(const std::string& script)
{
    pid_t pid = 0;
    const char* argv[] = {"/bin/sh", "-c", script.c_str(), nullptr};
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
