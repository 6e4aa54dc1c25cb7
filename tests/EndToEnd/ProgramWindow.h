#pragma once

// The real program's window on the test's X server: started against a
// SimProcess with its TAVO_UI_DUMP file, waited for, found and clicked.

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "SimProcess.h"
#include "WindowDump.h"
#include "tests/Common/XServer.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

// Reads the dump at `path` into `dump` until `ready` holds; false after `seconds`.
inline bool WaitForDump(const std::string& path, Dump& dump, const std::function<bool(Dump&)>& ready,
                        int seconds = 60)
{
    return Within(seconds, [&] { return ready(dump = ReadDump(path)); });
}

// The main thread of `pid` (the program, the window manager) waits in its
// loop's poll, seen twice 100 ms apart: it has handled what it was sent.
// Where the kernel does not name the wait, asleep stands for it.
inline bool MainThreadIdle(pid_t pid)
{
    const std::string proc = "/proc/" + std::to_string(pid);
    const auto waiting = [&] {
        std::string where;
        std::ifstream(proc + "/wchan") >> where;
        if (where.empty() || where == "0") {
            std::string stat;
            std::getline(std::ifstream(proc + "/stat"), stat);
            const size_t end = stat.rfind(')');
            return end != std::string::npos && end + 2 < stat.size() && stat[end + 2] == 'S';
        }
        return where.find("poll") != std::string::npos;
    };
    return Within(30, [&] {
        if (!waiting())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return waiting();
    });
}

// A left click in the middle of `c`, on the server once this returns.
inline void ClickControl(XInput& input, const Dump& dump, const Control& c)
{
    input.MoveTo(dump.x + c.x + c.width / 2, dump.y + c.y + c.height / 2);
    input.Click(1);
    input.Sync();
}

// The image file of `size` bytes of `fill`.
inline void WriteImage(const std::string& path, size_t size, char fill = '\x5A')
{
    std::ofstream(path, std::ios::binary) << std::string(size, fill);
}

// A stand-in file chooser in `folder` (made here) running `script`; put
// the folder first on PATH.
inline void PlantChooser(const std::string& folder, const std::string& script)
{
    mkdir(folder.c_str(), 0700);
    std::ofstream(folder + "/zenity") << "#!/bin/sh\n" << script;
    chmod((folder + "/zenity").c_str(), 0755);
}

// Runs `program` (beside the test) with `args`, its window on `server` and
// its dump at `dumpPath`, against `sim`; `meanwhile` runs beside it.
inline int RunWindowed(const SimProcess& sim, const std::string& dumpPath, const std::string& program,
                       const std::vector<std::string>& args, std::string* output,
                       const std::function<void(pid_t)>& meanwhile,
                       const std::vector<std::string>& moreEnv = {}, int deadlineMs = SimProcess::kDeadlineMs)
{
    std::vector<std::string> env = sim.ProgramEnvironment();
    env.insert(env.end(), {"TAVO_UI_DUMP=" + dumpPath, "DISPLAY=" + TestXServer().Name()});
    env.insert(env.end(), moreEnv.begin(), moreEnv.end());
    std::vector<std::string> argv{SimProcess::BinFolder() + "/" + program};
    argv.insert(argv.end(), args.begin(), args.end());
    return SimProcess::Run(argv, env, output, deadlineMs, nullptr, meanwhile);
}

// "name/class" of a window's class hint; empty without one.
inline std::string ClassOf(Display* d, Window w)
{
    XClassHint hint{};
    if (!XGetClassHint(d, w, &hint))
        return {};
    const std::string name =
        std::string(hint.res_name ? hint.res_name : "") + "/" + (hint.res_class ? hint.res_class : "");
    XFree(hint.res_name);
    XFree(hint.res_class);
    return name;
}

// The root's viewable children that `keep` takes, bottom first. The
// program's windows come and go while the tree is read: errors are ignored.
inline std::vector<Window> TopWindows(Display* d,
                                      const std::function<bool(Window, const XWindowAttributes&)>& keep)
{
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    XSync(d, False);
    std::vector<Window> found;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count);
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes a;
        if (XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable && keep(children[i], a))
            found.push_back(children[i]);
    }
    XFree(children);
    return found;
}

// A format-32 property's first value; -1 without one.
inline long CardinalOf(Display* d, Window w, const char* name)
{
    const std::vector<long> values = WindowProperty(d, w, name);
    return values.empty() ? -1 : values[0];
}

// The program's own viewable top window, found by its process id; 0 when
// it has none.
inline Window FindProgramWindow(Display* d, pid_t pid)
{
    std::function<Window(Window)> search = [&](Window w) -> Window {
        XWindowAttributes a{};
        if (CardinalOf(d, w, "_NET_WM_PID") == long(pid) && XGetWindowAttributes(d, w, &a) &&
            a.map_state == IsViewable)
            return w;
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (XQueryTree(d, w, &root, &parent, &children, &count)) {
            for (unsigned i = 0; i < count && !found; ++i)
                found = search(children[i]);
            XFree(children);
        }
        return found;
    };
    return search(DefaultRootWindow(d));
}

// The three ways a desktop asks a window to close: WM_DELETE_WINDOW,
// _NET_CLOSE_WINDOW to the window manager and Alt+F4.
inline void SendCloseRequests(XInput& input, Window w)
{
    Display* d = input.Connection();
    SendCloseRequest(d, w);
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = w;
    close.xclient.message_type = XInternAtom(d, "_NET_CLOSE_WINDOW", False);
    close.xclient.format = 32;
    close.xclient.data.l[1] = 2;  // from a pager
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &close);
    input.Sync();
    input.Key(XK_F4, {XK_Alt_L});
    input.Sync();
}
