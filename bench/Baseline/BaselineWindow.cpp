// A plain Xlib, Cairo and Pango program: one window the size of the
// updater's, painted with the same picture on every expose, until the
// window manager's close request (or SIGTERM) ends it. Benchmarks start it
// beside the real program and compare.
//
//   baseline-window                     the picture
//   baseline-window --transfer N MS     and, once shown, N frames of the
//                                       progress bar MS ms apart, as the
//                                       updater shows a transfer
#include "BaselinePicture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo-xlib.h>
#include <cairo.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <time.h>

namespace {

double NowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    int frames = 0;
    double intervalMs = 20;
    if (argc == 4 && std::strcmp(argv[1], "--transfer") == 0) {
        frames = std::atoi(argv[2]);
        intervalMs = std::atof(argv[3]);
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "baseline-window: no display\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    const Window window =
        XCreateSimpleWindow(display, RootWindow(display, screen), Baseline::kWindowX, Baseline::kWindowY,
                            Baseline::kWindowWidth, Baseline::kWindowHeight, 0, 0, 0);
    XStoreName(display, window, "baseline-window");
    // Where the window manager leaves it alone, it stays where it was asked.
    XSizeHints hints{};
    hints.flags = PPosition | PMinSize | PMaxSize;
    hints.x = Baseline::kWindowX;
    hints.y = Baseline::kWindowY;
    hints.min_width = hints.max_width = Baseline::kWindowWidth;
    hints.min_height = hints.max_height = Baseline::kWindowHeight;
    XSetWMNormalHints(display, window, &hints);
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &deleteWindow, 1);
    XSelectInput(display, window, ExposureMask | StructureNotifyMask);
    XMapWindow(display, window);

    cairo_surface_t* surface = cairo_xlib_surface_create(display, window, DefaultVisual(display, screen),
                                                         Baseline::kWindowWidth, Baseline::kWindowHeight);
    int frame = -1;  // -1 until the first picture is on screen
    double next = 0;
    for (;;) {
        if (frame >= 0 && frame < frames && XPending(display) == 0) {
            const double wait = next - NowMs();
            pollfd p{ConnectionNumber(display), POLLIN, 0};
            if (wait > 0 && poll(&p, 1, int(wait) + 1) > 0)
                continue;
            if (NowMs() >= next) {
                ++frame;
                cairo_t* cr = cairo_create(surface);
                Baseline::PaintProgress(cr, double(frame) / frames,
                                        (frames - frame) * int(intervalMs) / 1000);
                cairo_destroy(cr);
                cairo_surface_flush(surface);
                XFlush(display);
                next += intervalMs;
            }
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == Expose && event.xexpose.count == 0) {
            cairo_t* cr = cairo_create(surface);
            Baseline::PaintPicture(cr, Baseline::kWindowWidth, Baseline::kWindowHeight);
            cairo_destroy(cr);
            cairo_surface_flush(surface);
            XFlush(display);
            if (frame < 0) {
                frame = 0;
                next = NowMs() + intervalMs;
            }
        } else if (event.type == ClientMessage && Atom(event.xclient.data.l[0]) == deleteWindow) {
            break;
        }
    }
    cairo_surface_destroy(surface);
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return 0;
}
