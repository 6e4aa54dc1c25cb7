// The updater's window picture on a private X server: the framework's window
// (skin, control tree, renderer, present) against the plain Xlib, Cairo and
// Pango baseline painting the same picture, interleaved in one run.
//
//   full repaint: everything drawn again and on the server (a round trip)
//   expose: the server asks for the whole window again; time until it is shown
//   idle: CPU share of this process with the window open and nothing to do
//   strip: what the interface thread pays for one paced frame of a bar-sized
//     strip, up to the frame being sent (no waiting for the server)
//   pointer move: one move's events, buffered already, read and handled by
//     the focused window, against a plain program reading its move's events
#include "BaselinePicture.h"
#include "bench/Common/CapturingRenderer.h"
#include "bench/Common/IdleCpu.h"
#include "Controls/FrameworkControlClasses.h"
#include "ControlBase/Control.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Platform/App/MessageLoop.h"
#include "Renderer/Font.h"
#include "tests/Common/XServer.h"
#include "Window/Native/OSRootWindow.h"
#include "Window/Native/OSWindow.h"
#include "Window/Native/WindowHost.h"

#include <benchmark/benchmark.h>

#include <X11/Xlib.h>
#include <cairo-xlib.h>
#include <cairo.h>

#include <chrono>
#include <unistd.h>
#include <memory>

using namespace Tavo;
namespace Win = Platform::Window;

namespace {

double Since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Hands the window system's waiting events to the windows, then the loop's
// posted work (paints) once.
void Pump()
{
    Win::IWindowSystem* system = WindowHost::System();
    system->Sync();
    Win::Event e;
    while (system->NextEvent(e))
        WindowHost::Dispatch(e);
    Platform::App::MainMessageLoop().Post([] { Platform::App::MainMessageLoop().PostQuit(0); });
    Platform::App::MainMessageLoop().Run();
}

// The product skin's window with the texts the baseline shows.
struct FrameworkWindow
{
    OSWindow window;
    LOSRootWindow* root = nullptr;

    FrameworkWindow()
    {
        SetRenderHost(new BenchHost());
        LOSRootWindow::InstallAsFactory();
        static RCPtr<LControlFactory> factory = [] {
            RCPtr<LControlFactory> f = LControlFactory::Create(u"Bench");
            f->LoadSkins(WString(TAVO_SOURCE_DIR "/FirmwareUpdater/Resources/Skins.xml"));
            for (const ControlClassRow& row : FrameworkControlClasses())
                f->RegisterControlClass(row.name, row.create);
            f->RegisterControlClass(u"FirmwareUpdater.MainControl", &LControl::CreateT<LControl>);
            ControlEnvironment().factory = f;
            ControlEnvironment().defaultFont = [] { return LFont::FindOrCreate(u"Arial", 8.25f, 0); };
            return f;
        }();
        MainWindowParams params;
        params.className = u"Bench";
        params.rect = {Baseline::kWindowX, Baseline::kWindowY, Baseline::kWindowWidth,
                       Baseline::kWindowHeight};
        window.Create(params);
        window.CreateRenderer(1);
        root = GetOSRootWindow(window.GetAppRootWindow());
        const RCPtr<LControl> main = factory->CreateControlFromDescriptor(u"mainControl", root);
        root->SetRootControl(main);
        const std::pair<const char16_t*, const char16_t*> texts[] = {
            {u"titleLabel", u"K620 ZENTA Firmware Updater"},
            {u"labelDeviceFirmwareVersion", u"Device's current firmware version: 0.0.3.6"},
            {u"labelFileFirmwareVersion", u"Update to firmware version: 0.0.3.7"},
            {u"labelUpdateProcessInformation",
             u"Click the \"UPDATE FIRMWARE\" button to start the update process."},
            {u"buttonUpdateFirmware", u"UPDATE FIRMWARE"},
            {u"buttonExit", u"EXIT"},
            {u"updaterVersionLabel", u"Updater: 1.0.6"}};
        for (const auto& [name, text] : texts)
            if (const RCPtr<LControl> c = main->FindChildByName(name))
                c->SetText(text);
        window.Show();
        for (int i = 0; i < 50 && window.GetPaintCount() == 0; ++i)
            Pump();
    }
};

// The plain program's window: the picture painted through cairo-xlib on
// every expose.
struct PlainWindow
{
    Display* display = XOpenDisplay(nullptr);
    Window id = 0;
    cairo_surface_t* surface = nullptr;

    PlainWindow()
    {
        const int screen = DefaultScreen(display);
        id = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, Baseline::kWindowWidth,
                                 Baseline::kWindowHeight, 0, 0, 0);
        XSelectInput(display, id, ExposureMask);
        XMapWindow(display, id);
        surface = cairo_xlib_surface_create(display, id, DefaultVisual(display, screen),
                                            Baseline::kWindowWidth, Baseline::kWindowHeight);
        WaitForExposeAndPaint();
    }
    ~PlainWindow()
    {
        cairo_surface_destroy(surface);
        XDestroyWindow(display, id);
        XCloseDisplay(display);
    }
    void Paint()
    {
        cairo_t* cr = cairo_create(surface);
        Baseline::PaintPicture(cr, Baseline::kWindowWidth, Baseline::kWindowHeight);
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        XSync(display, False);
    }
    void WaitForExposeAndPaint()
    {
        XEvent e;
        do
            XNextEvent(display, &e);
        while (e.type != Expose || e.xexpose.count != 0);
        Paint();
    }
};

XServer& Server()
{
    XServer& x = TestXServer();
    if (!x.Running())
        std::abort();
    return x;
}

void BM_FullRepaint(benchmark::State& state)
{
    Server();
    FrameworkWindow framework;
    PlainWindow plain;
    double ours = 0, theirs = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        framework.root->RedrawAll();
        WindowHost::System()->Sync();
        ours += Since(start);
        start = std::chrono::steady_clock::now();
        plain.Paint();
        theirs += Since(start);
    }
    state.counters["framework_ms"] = 1000 * ours / double(state.iterations());
    state.counters["plain_ms"] = 1000 * theirs / double(state.iterations());
    state.counters["ratio"] = ours / theirs;
}
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ExposeToPainted(benchmark::State& state)
{
    Display* server = Server().Connection();
    FrameworkWindow framework;
    PlainWindow plain;
    const Window ours = Window(framework.window.GetWindowId());
    double oursSeconds = 0, theirsSeconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        XClearArea(server, ours, 0, 0, 0, 0, True);
        XSync(server, False);
        Pump();
        WindowHost::System()->Sync();
        oursSeconds += Since(start);
        start = std::chrono::steady_clock::now();
        XClearArea(plain.display, plain.id, 0, 0, 0, 0, True);
        plain.WaitForExposeAndPaint();
        theirsSeconds += Since(start);
    }
    state.counters["framework_ms"] = 1000 * oursSeconds / double(state.iterations());
    state.counters["plain_ms"] = 1000 * theirsSeconds / double(state.iterations());
    state.counters["ratio"] = oursSeconds / theirsSeconds;
}
BENCHMARK(BM_ExposeToPainted)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A progress bar's step: a strip drawn again and sent, frames apart as the
// bar moves; only the sending thread's time counts.
void BM_StripFrame(benchmark::State& state)
{
    Server();
    FrameworkWindow framework;
    PlainWindow plain;
    const RectT<int32_t> strip{20, Baseline::kWindowHeight / 2, Baseline::kWindowWidth - 40, 20};
    double ours = 0, theirs = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        framework.root->InvalidateRect(
            RectT<double>{double(strip.x), double(strip.y), double(strip.width), double(strip.height)});
        framework.window.PaintNow();
        ours += Since(start);
        start = std::chrono::steady_clock::now();
        cairo_t* cr = cairo_create(plain.surface);
        cairo_rectangle(cr, strip.x, strip.y, strip.width, strip.height);
        cairo_clip(cr);
        Baseline::PaintPicture(cr, Baseline::kWindowWidth, Baseline::kWindowHeight);
        cairo_destroy(cr);
        cairo_surface_flush(plain.surface);
        XFlush(plain.display);
        theirs += Since(start);
        // Frames of a moving bar are apart; the server catches up meanwhile.
        state.PauseTiming();
        XSync(plain.display, False);
        usleep(2000);
        state.ResumeTiming();
    }
    state.counters["framework_ms"] = 1000 * ours / double(state.iterations());
    state.counters["plain_ms"] = 1000 * theirs / double(state.iterations());
    state.counters["ratio"] = ours / theirs;
}
BENCHMARK(BM_StripFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A plain program's small window away from the framework's, reading moves.
struct PlainMotionWindow
{
    static constexpr int kX = 900, kY = 650, kSize = 200;
    Display* display = XOpenDisplay(nullptr);
    Window id = 0;

    PlainMotionWindow()
    {
        const int screen = DefaultScreen(display);
        id = XCreateSimpleWindow(display, RootWindow(display, screen), kX, kY, kSize, kSize, 0, 0, 0);
        XSelectInput(display, id, PointerMotionMask | EnterWindowMask | LeaveWindowMask | ExposureMask);
        XMapWindow(display, id);
        XEvent e;
        do
            XNextEvent(display, &e);
        while (e.type != Expose);
    }
    ~PlainMotionWindow()
    {
        XDestroyWindow(display, id);
        XCloseDisplay(display);
    }
};

void BM_PointerMove(benchmark::State& state)
{
    Server();
    FrameworkWindow framework;
    PlainMotionWindow plain;
    XInput input;
    framework.window.SetFocus();
    for (int i = 0; i < 100 && !framework.window.IsActive(); ++i)
        Pump();
    Win::IWindowSystem* system = WindowHost::System();
    double ours = 0, theirs = 0;
    int64_t ourEvents = 0, theirEvents = 0, step = 0;
    for (auto _ : state) {
        // An empty spot of the window, one pixel to and fro.
        const int32_t dx = int32_t(step++ & 1);
        input.MoveTo(Baseline::kWindowX + 6 + dx, Baseline::kWindowY + Baseline::kWindowHeight - 6);
        input.Sync();
        system->Sync();
        auto start = std::chrono::steady_clock::now();
        Win::Event e;
        while (system->NextEvent(e)) {
            WindowHost::Dispatch(e);
            ++ourEvents;
        }
        ours += Since(start);

        input.MoveTo(PlainMotionWindow::kX + 6 + dx, PlainMotionWindow::kY + 6);
        input.Sync();
        XSync(plain.display, False);
        start = std::chrono::steady_clock::now();
        while (XEventsQueued(plain.display, QueuedAlready) > 0) {
            XEvent xe;
            XNextEvent(plain.display, &xe);
            benchmark::DoNotOptimize(xe.xmotion.x);
            ++theirEvents;
        }
        theirs += Since(start);
        // The loop's posted work (a hover's paint) outside the timing.
        Platform::App::MainMessageLoop().Post([] { Platform::App::MainMessageLoop().PostQuit(0); });
        Platform::App::MainMessageLoop().Run();
    }
    const double n = double(state.iterations());
    state.counters["framework_us"] = 1e6 * ours / n;
    state.counters["plain_us"] = 1e6 * theirs / n;
    state.counters["ratio"] = ours / theirs;
    state.counters["framework_events"] = double(ourEvents) / n;
    state.counters["plain_events"] = double(theirEvents) / n;
    state.counters["active"] = framework.window.IsActive();
}
BENCHMARK(BM_PointerMove)->MinTime(2.0);

// The loop with the window open and its tick running, nothing else to do.
void BM_IdleWithTheWindowOpen(benchmark::State& state)
{
    Server();
    FrameworkWindow framework;
    Platform::App::IMessageLoop& loop = Platform::App::MainMessageLoop();
    double share = 0;
    for (auto _ : state) {
        const uint32_t seconds = IdleCpu::MeasureSeconds();
        const double cpu = IdleCpu::CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        loop.SetTimer(0xB0B, seconds * 1000, [&loop](uint32_t) { loop.PostQuit(0); });
        loop.Run();
        loop.KillTimer(0xB0B);
        share = (IdleCpu::CpuSeconds() - cpu) / Since(start);
    }
    state.counters["cpu_percent_of_a_core"] = 100 * share;
    state.counters["paints"] = framework.window.GetPaintCount();
}
BENCHMARK(BM_IdleWithTheWindowOpen)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
