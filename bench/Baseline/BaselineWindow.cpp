// A plain Xlib, Cairo and Pango program: one window the size of the
// updater's, painted with the same picture on every expose, until the
// window manager's close request (or SIGTERM) ends it. Benchmarks start it
// beside the real program and compare.
#include "BaselinePicture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo-xlib.h>
#include <cairo.h>
#include <cstdio>

int main()
{
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
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == Expose && event.xexpose.count == 0) {
            cairo_t* cr = cairo_create(surface);
            Baseline::PaintPicture(cr, Baseline::kWindowWidth, Baseline::kWindowHeight);
            cairo_destroy(cr);
            cairo_surface_flush(surface);
            XFlush(display);
        } else if (event.type == ClientMessage && Atom(event.xclient.data.l[0]) == deleteWindow) {
            break;
        }
    }
    cairo_surface_destroy(surface);
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return 0;
}
