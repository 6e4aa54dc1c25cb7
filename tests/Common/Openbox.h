#pragma once

// openbox on the test's X server (tests/Common/XServer.h), with its cache
// and settings in a folder of the test's own, until destroyed.

#include "tests/Common/Spawn.h"
#include "tests/Common/TestScope.h"
#include "tests/Common/XServer.h"

#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <thread>

class Openbox
{
public:
    Openbox()
    {
        Display* d = TestXServer().Connection();
        if (!d)
            return;
        mPid = SpawnQuiet({"openbox", "--sm-disable"},
                          {"DISPLAY=" + TestXServer().Name(), "HOME=" + mDir.Path(),
                           "XDG_CACHE_HOME=" + mDir.Path(), "XDG_CONFIG_HOME=" + mDir.Path()});
        // Ready once it frames a window mapped after it started; a window
        // mapped while it still starts up may be missed, so it is shown again.
        const Window probe = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 10, 10, 0, 0, 0);
        const auto framed = [&] { return !WindowProperty(d, probe, "_NET_FRAME_EXTENTS").empty(); };
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (int turns = 0; mPid > 0 && !framed() && std::chrono::steady_clock::now() < deadline; ++turns) {
            if (turns % 25 == 0 &&
                !WindowProperty(d, DefaultRootWindow(d), "_NET_SUPPORTING_WM_CHECK").empty()) {
                XUnmapWindow(d, probe);
                XMapWindow(d, probe);
                XSync(d, False);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        mReady = framed();
        XDestroyWindow(d, probe);
        XSync(d, False);
    }
    ~Openbox()
    {
        StopSpawned(mPid);
        // The next manager must not find this one's marks.
        if (Display* d = TestXServer().Connection()) {
            XDeleteProperty(d, DefaultRootWindow(d), XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False));
            XSync(d, False);
        }
    }
    Openbox(const Openbox&) = delete;
    Openbox& operator=(const Openbox&) = delete;

    bool Running() const { return mReady; }
    pid_t Pid() const { return mPid; }
    // Holds the manager still, as a busy one is, until Resume.
    void Pause() { kill(mPid, SIGSTOP); }
    void Resume() { kill(mPid, SIGCONT); }

private:
    TestFolder mDir;
    pid_t mPid = -1;
    bool mReady = false;
};

// openbox on the test's server for the whole test program. Made after the
// server, so ended before it at exit, and its folder with it.
inline Openbox& TestWindowManager()
{
    static Openbox manager;
    return manager;
}
