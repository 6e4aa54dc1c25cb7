#pragma once

// A private message bus standing in for the system bus (dbus-daemon): the
// program finds it through DBUS_SYSTEM_BUS_ADDRESS.

#include "CleanEnvironment.h"
#include "TestScope.h"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

class SystemBus
{
public:
    SystemBus()
    {
        std::ofstream(mDir / "bus.conf")
            << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\""
            << " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">"
            << "<busconfig><type>custom</type><listen>unix:path=" << (mDir / "socket") << "</listen>"
            << "<auth>EXTERNAL</auth><policy context=\"default\">"
            << "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
            << "<allow own=\"*\"/></policy></busconfig>";
        int fds[2];
        if (pipe(fds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::string config = "--config-file=" + (mDir / "bus.conf");
        char* argv[] = {const_cast<char*>("dbus-daemon"), const_cast<char*>("--nofork"), config.data(),
                        const_cast<char*>("--print-address"), nullptr};
        std::vector<std::string> env = CleanEnvironment();
        if (posix_spawnp(&mPid, argv[0], &actions, nullptr, argv, CStrings(env).data()) != 0)
            mPid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        pollfd p{fds[0], POLLIN, 0};
        while (mPid > 0 && poll(&p, 1, 10000) > 0) {
            char c = 0;
            if (read(fds[0], &c, 1) != 1 || c == '\n')
                break;
            mAddress.push_back(c);
        }
        close(fds[0]);
    }
    ~SystemBus()
    {
        if (mPid <= 0)
            return;
        kill(mPid, SIGTERM);
        int status = 0;
        waitpid(mPid, &status, 0);
    }
    SystemBus(const SystemBus&) = delete;
    SystemBus& operator=(const SystemBus&) = delete;

    bool Running() const { return !mAddress.empty(); }
    // For DBUS_SYSTEM_BUS_ADDRESS; empty when the daemon did not start.
    const std::string& Address() const { return mAddress; }

private:
    TestFolder mDir;
    pid_t mPid = -1;
    std::string mAddress;
};
