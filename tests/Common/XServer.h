#pragma once

// A private X server for window tests, and what the tests do with it.
//
//   XServer& x = TestXServer();   // starts Xvfb once per test program
//   ASSERT_TRUE(x.Running());     // sets DISPLAY; stopped at exit
//   XInput input;                 // a second client injecting with XTest
//   input.MoveTo(10, 20); input.Click(1); input.Key(XK_a, {XK_Control_L});
//   std::vector<uint32_t> px = x.ReadPixels(window, {0, 0, 10, 10});
//   x.Screenshot("name");         // <build>/Testing/screenshots/name.png
//
// Injected input is on the server once the call returns; a round trip on the
// client under test (its Sync) then has every resulting event buffered.

#include <atomic>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// Kept free of the X headers' macros, which clash with test frameworks.
typedef struct _XDisplay Display;

struct XRect
{
    int32_t x = 0, y = 0, width = 0, height = 0;
};

class XServer
{
public:
    XServer() : XServer(std::vector<std::string>{}) {}
    // With further arguments for Xvfb, such as {"-dpi", "120"}.
    explicit XServer(const std::vector<std::string>& arguments);
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool Running() const { return mDisplay != nullptr; }
    // ":N" as DISPLAY names it.
    const std::string& Name() const { return mName; }
    // The fixture's own connection (for reading back).
    Display* Connection() const { return mDisplay; }
    // Pixels of a window (or of the root, window 0) as 0x00RRGGBB.
    std::vector<uint32_t> ReadPixels(unsigned long window, XRect rect) const;
    // Writes the whole screen as PNG under the build's Testing folder;
    // returns the path, empty when it could not be written.
    std::string Screenshot(const std::string& name) const;
    // Stops the server; later connections fail (tests of a lost display).
    void Kill();

private:
    pid_t mPid = -1;
    std::string mName;
    Display* mDisplay = nullptr;
};

// The program's one server, started on first use and stopped at exit.
XServer& TestXServer();

// A window's property as format-32 values (longs); empty when it has none.
std::vector<long> WindowProperty(Display* display, unsigned long window, const char* name);
// The window manager's close request (WM_DELETE_WINDOW), sent to the window.
void SendCloseRequest(Display* display, unsigned long window);

// A second client that injects input through XTest.
class XInput
{
public:
    XInput();
    ~XInput();
    XInput(const XInput&) = delete;
    XInput& operator=(const XInput&) = delete;

    void MoveTo(int32_t x, int32_t y);
    // X buttons: 1 left, 2 middle, 3 right, 4/5 wheel up/down, 6/7 left/right.
    void Press(unsigned button);
    void Release(unsigned button);
    void Click(unsigned button);
    // Presses the modifiers, taps the key, releases the modifiers in reverse.
    void Key(unsigned long keysym, const std::vector<unsigned long>& modifiers = {});
    void KeyDown(unsigned long keysym);
    void KeyUp(unsigned long keysym);
    // Waits until the server has handled everything sent so far.
    void Sync();
    Display* Connection() const { return mDisplay; }

private:
    Display* mDisplay = nullptr;
};

// Another client owning CLIPBOARD, serving its text from its own thread and
// connection until destroyed: as UTF8_STRING, or else as STRING (Latin-1
// bytes), followed by padding bytes 'x'.
class XClipboardOwner
{
public:
    XClipboardOwner(std::string text, bool utf8Target, size_t padding = 0);
    ~XClipboardOwner();
    XClipboardOwner(const XClipboardOwner&) = delete;
    XClipboardOwner& operator=(const XClipboardOwner&) = delete;

private:
    std::thread mThread;
    std::atomic<unsigned long> mWindow{0};
};
