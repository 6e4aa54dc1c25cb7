#include "XServer.h"

#include "Spawn.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <cairo.h>
#include <cstdio>
#include <fcntl.h>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef TAVO_TEST_OUTPUT_DIR
#define TAVO_TEST_OUTPUT_DIR "."
#endif

XServer::XServer(const std::vector<std::string>& arguments)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return;
    std::vector<std::string> argv = {"Xvfb",         "-displayfd", "1",   "-screen", "0",
                                     "1280x1024x24", "-nolisten",  "tcp", "-noreset"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    mPid = SpawnQuiet(argv, {}, fds[1]);
    close(fds[1]);
    if (mPid <= 0) {
        mPid = -1;
        close(fds[0]);
        return;
    }
    // The server writes its display number once it accepts connections.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (poll(&p, 1, 20000) > 0) {
        char c = 0;
        if (read(fds[0], &c, 1) != 1 || c == '\n')
            break;
        number.push_back(c);
    }
    close(fds[0]);
    if (number.empty())
        return;
    mName = ":" + number;
    setenv("DISPLAY", mName.c_str(), 1);
    mDisplay = XOpenDisplay(mName.c_str());
}

XServer::~XServer()
{
    Kill();
}

void XServer::Kill()
{
    // Our own connection goes first: a broken one would end this program.
    if (mDisplay) {
        XCloseDisplay(mDisplay);
        mDisplay = nullptr;
    }
    if (mPid > 0) {
        kill(mPid, SIGTERM);
        int status = 0;
        waitpid(mPid, &status, 0);
        mPid = -1;
    }
}

std::vector<uint32_t> XServer::ReadPixels(unsigned long window, XRect rect) const
{
    std::vector<uint32_t> out;
    if (!mDisplay)
        return out;
    XSync(mDisplay, False);
    const Window target = window ? Window(window) : DefaultRootWindow(mDisplay);
    XImage* image = XGetImage(mDisplay, target, rect.x, rect.y, unsigned(rect.width), unsigned(rect.height),
                              AllPlanes, ZPixmap);
    if (!image)
        return out;
    out.reserve(size_t(rect.width) * size_t(rect.height));
    for (int y = 0; y < rect.height; ++y) {
        for (int x = 0; x < rect.width; ++x)
            out.push_back(uint32_t(XGetPixel(image, x, y)) & 0xFFFFFF);
    }
    XDestroyImage(image);
    return out;
}

std::string XServer::Screenshot(const std::string& name) const
{
    if (!mDisplay)
        return {};
    // The root's size from the server: the connection's own notion lags
    // behind a size change made through RandR.
    ::Window root = 0;
    int x = 0, y = 0;
    unsigned rootWidth = 0, rootHeight = 0, border = 0, depth = 0;
    if (!XGetGeometry(mDisplay, DefaultRootWindow(mDisplay), &root, &x, &y, &rootWidth, &rootHeight, &border,
                      &depth))
        return {};
    const int width = int(rootWidth), height = int(rootHeight);
    const std::vector<uint32_t> pixels = ReadPixels(0, {0, 0, width, height});
    if (pixels.empty())
        return {};
    const std::filesystem::path folder = std::filesystem::path(TAVO_TEST_OUTPUT_DIR) / "screenshots";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::string path = (folder / (name + ".png")).string();
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + size_t(y) * size_t(stride));
        for (int x = 0; x < width; ++x)
            row[x] = pixels[size_t(y) * size_t(width) + size_t(x)];
    }
    cairo_surface_mark_dirty(surface);
    const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return ok ? path : std::string();
}

XServer& TestXServer()
{
    // Destroyed at exit, which stops the server with the program.
    static XServer server;
    return server;
}

std::vector<long> WindowProperty(Display* d, unsigned long window, const char* name)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(d, window, XInternAtom(d, name, False), 0, 4096, False, AnyPropertyType, &type,
                       &format, &count, &after, &data);
    std::vector<long> values;
    if (data)
        values.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
    XFree(data);
    return values;
}

void SendCloseRequest(Display* d, unsigned long window)
{
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, window, False, NoEventMask, &e);
}

XInput::XInput() : mDisplay(XOpenDisplay(TestXServer().Name().c_str())) {}

XInput::~XInput()
{
    if (mDisplay)
        XCloseDisplay(mDisplay);
}

void XInput::MoveTo(int32_t x, int32_t y)
{
    XTestFakeMotionEvent(mDisplay, -1, x, y, CurrentTime);
    Sync();
}

void XInput::Press(unsigned button)
{
    XTestFakeButtonEvent(mDisplay, button, True, CurrentTime);
    Sync();
}

void XInput::Release(unsigned button)
{
    XTestFakeButtonEvent(mDisplay, button, False, CurrentTime);
    Sync();
}

void XInput::Click(unsigned button)
{
    Press(button);
    Release(button);
}

void XInput::KeyDown(unsigned long keysym)
{
    XTestFakeKeyEvent(mDisplay, XKeysymToKeycode(mDisplay, keysym), True, CurrentTime);
    Sync();
}

void XInput::KeyUp(unsigned long keysym)
{
    XTestFakeKeyEvent(mDisplay, XKeysymToKeycode(mDisplay, keysym), False, CurrentTime);
    Sync();
}

void XInput::Key(unsigned long keysym, const std::vector<unsigned long>& modifiers)
{
    for (unsigned long m : modifiers)
        KeyDown(m);
    KeyDown(keysym);
    KeyUp(keysym);
    for (auto it = modifiers.end(); it != modifiers.begin();)
        KeyUp(*--it);
}

void XInput::Sync()
{
    if (mDisplay)
        XSync(mDisplay, False);
}

XClipboardOwner::XClipboardOwner(std::string text, bool utf8Target, size_t padding)
{
    std::promise<void> ready;
    auto started = ready.get_future();
    mThread = std::thread([this, text = std::move(text), utf8Target, padding, &ready] {
        Display* d = XOpenDisplay(TestXServer().Name().c_str());
        const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
        const Atom clipboard = XInternAtom(d, "CLIPBOARD", False);
        const Atom stop = XInternAtom(d, "TEST_STOP", False);
        const Atom utf8Atom = XInternAtom(d, "UTF8_STRING", False);
        const std::string data = text + std::string(padding, 'x');
        XSetSelectionOwner(d, clipboard, w, CurrentTime);
        mWindow = w;
        XSync(d, False);
        ready.set_value();
        for (;;) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == ClientMessage && e.xclient.message_type == stop)
                break;
            if (e.type != SelectionRequest)
                continue;
            const auto& r = e.xselectionrequest;
            XSelectionEvent reply{};
            reply.type = SelectionNotify;
            reply.requestor = r.requestor;
            reply.selection = r.selection;
            reply.target = r.target;
            reply.time = r.time;
            const bool serves = utf8Target ? r.target == utf8Atom : r.target == XA_STRING;
            if (serves) {
                XChangeProperty(d, r.requestor, r.property, r.target, 8, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(data.data()), int(data.size()));
                reply.property = r.property;
            }
            XSendEvent(d, r.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
            XFlush(d);
        }
        XCloseDisplay(d);
    });
    started.wait();
}

XClipboardOwner::~XClipboardOwner()
{
    Display* d = TestXServer().Connection();
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = mWindow;
    e.xclient.message_type = XInternAtom(d, "TEST_STOP", False);
    e.xclient.format = 32;
    XSendEvent(d, mWindow, False, NoEventMask, &e);
    XFlush(d);
    mThread.join();
}
