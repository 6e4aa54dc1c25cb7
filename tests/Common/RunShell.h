#pragma once

#include <spawn.h>
#include <string>
#include <sys/wait.h>

#include "tests/Common/CleanEnvironment.h"

// Runs `script` with /bin/sh as another process, in the clean environment
// (what the script needs it sets itself); its exit code, -1 when it could
// not run or did not exit.
inline int RunShell(const std::string& script)
{
    pid_t pid = 0;
    const char* argv[] = {"/bin/sh", "-c", script.c_str(), nullptr};
    std::vector<std::string> env = CleanEnvironment();
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), CStrings(env).data()) != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
