#pragma once

// A private message bus standing in for the system bus (dbus-daemon): the
// program finds it through DBUS_SYSTEM_BUS_ADDRESS.

#include "Spawn.h"
#include "TestScope.h"

#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <string>
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
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        mPid =
            SpawnQuiet({"dbus-daemon", "--nofork", "--config-file=" + (mDir / "bus.conf"), "--print-address"},
                       {}, fds[1]);
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
    ~SystemBus() { StopSpawned(mPid); }
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
