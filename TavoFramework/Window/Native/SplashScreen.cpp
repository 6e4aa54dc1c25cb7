#include "Window/Native/SplashScreen.h"

#include "Platform/App/MessageLoop.h"
#include "Platform/Graphics/Graphics.h"
#include "Platform/Window/WindowSystem.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <future>

namespace Tavo {

namespace Win = Platform::Window;

namespace {

constexpr uint32_t kBarTimer = 10;
constexpr std::chrono::milliseconds kStartWait{5000};

}  // namespace

int32_t CentreIn(int32_t areaStart, int32_t areaSize, int32_t size)
{
    // Signed: an image larger than the area sticks out on both sides
    // instead of wrapping to a position far off the screen.
    return int32_t((int64_t(areaStart) * 2 + areaSize - size) / 2);
}

void SplashBar::SetPosition(int32_t position)
{
    mExists = true;
    mTicks = 0;
    mPosition = std::clamp(position, 0, 100);
}

bool SplashBar::Animate(int32_t start, int32_t end, int32_t seconds)
{
    SetPosition(start);
    if (seconds <= 0) {
        // Nothing to spread over time: the end at once.
        SetPosition(end);
        return false;
    }
    mStep = (end - start) / (seconds * 4);
    mTicks = seconds * 4;
    return true;
}

bool SplashBar::Tick()
{
    if (mTicks <= 0)
        return false;
    mPosition = std::clamp(mPosition + mStep, 0, 100);
    if (--mTicks < 1)
        mTicks = 0;
    return mTicks > 0;
}

void SplashBar::SetColour(uint32_t argb)
{
    if (!mExists)
        SetPosition(0);
    mColour = argb;
}

struct SplashScreen::Shared
{
    std::mutex lock;
    std::condition_variable changed;
    bool settled = false;  // the thread has shown its window or given up
    bool shown = false;
    Platform::App::MessageLoop* loop = nullptr;  // guarded by lock
    std::atomic<uint64_t> window{0};
    std::atomic<int32_t> drawn{-1};
    // Set by the thread before it publishes its loop; run only as its tasks.
    std::function<void(int32_t, int32_t, int32_t)> animate;
    std::function<void(int32_t)> position;
    std::function<void(uint32_t)> colour;
    std::function<void()> sync;

    void Settle(bool ok)
    {
        std::lock_guard guard(lock);
        settled = true;
        shown = ok;
        changed.notify_all();
    }
    template <typename F>
    void Post(F task)
    {
        std::lock_guard guard(lock);
        if (loop)
            loop->Post(std::move(task));
    }
};

SplashScreen::SplashScreen() : mShared(std::make_shared<Shared>()) {}

SplashScreen::~SplashScreen()
{
    Stop();
}

void SplashScreen::SetImage(int32_t width, int32_t height, std::vector<uint32_t> argb)
{
    if (!mImage.empty() || width <= 0 || height <= 0 || argb.size() < size_t(width) * size_t(height))
        return;
    mWidth = width;
    mHeight = height;
    mImage = std::move(argb);
}

bool SplashScreen::SetImageFromPng(const std::string& path)
{
    auto surface = Platform::Graphics::Surface::FromPngFile(path.c_str());
    if (!surface)
        return false;
    std::vector<uint32_t> pixels(size_t(surface->Width()) * size_t(surface->Height()));
    for (int32_t y = 0; y < surface->Height(); ++y) {
        for (int32_t x = 0; x < surface->Width(); ++x)
            pixels[size_t(y) * size_t(surface->Width()) + size_t(x)] = surface->GetPixel(x, y);
    }
    SetImage(surface->Width(), surface->Height(), std::move(pixels));
    return true;
}

bool SplashScreen::Start()
{
    if (mThread.joinable())
        return mShared->shown;
    mShared = std::make_shared<Shared>();
    mThread = std::thread([this] { ThreadMain(); });
    std::unique_lock guard(mShared->lock);
    // A thread that fails settles too, so a failed start never waits long.
    if (!mShared->changed.wait_for(guard, kStartWait, [this] { return mShared->settled; }))
        std::fputs("Error starting SplashThread\n", stderr);
    return mShared->shown;
}

void SplashScreen::PostProgress(int32_t start, int32_t end, int32_t seconds)
{
    mShared->Post([shared = mShared, start, end, seconds] { shared->animate(start, end, seconds); });
}

void SplashScreen::PostPosition(int32_t position)
{
    mShared->Post([shared = mShared, position] { shared->position(position); });
}

void SplashScreen::PostBarColour(uint32_t argb)
{
    mShared->Post([shared = mShared, argb] { shared->colour(argb); });
}

void SplashScreen::Flush()
{
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> handled = done->get_future();
    {
        std::lock_guard guard(mShared->lock);
        if (!mShared->loop)
            return;
        // The round trip puts what was drawn on the server, where another
        // connection reads it. The task alone holds the promise: a thread
        // that ends first drops it with its loop, which breaks the promise,
        // so the wait needs no bound.
        mShared->loop->Post([shared = mShared, done = std::move(done)] {
            shared->sync();
            done->set_value();
        });
    }
    handled.wait();
}

void SplashScreen::Stop()
{
    if (mThread.joinable()) {
        {
            std::lock_guard guard(mShared->lock);
            if (mShared->loop)
                mShared->loop->PostQuit(0);
        }
        // Joined before the image goes: the thread paints from it.
        mThread.join();
    }
    mImage.clear();
    mWidth = mHeight = 0;
    mTitle.clear();
}

uint64_t SplashScreen::GetWindowId() const
{
    return mShared->window.load();
}

int32_t SplashScreen::GetDrawnPosition() const
{
    return mShared->drawn.load();
}

void SplashScreen::ThreadMain()
{
    const std::shared_ptr<Shared> shared = mShared;
    std::unique_ptr<Win::IWindowSystem> system = mImage.empty() ? nullptr : Win::OpenXWindowSystem();
    if (!system) {
        shared->Settle(false);
        return;
    }
    const Win::Rect area = system->GetWorkArea();
    Win::WindowParams params;
    params.title = mTitle;
    params.className = "SplashWnd";
    params.instanceName = "splash";
    params.splash = true;
    params.resizable = false;
    params.rect = Win::Rect{CentreIn(area.x, area.width, mWidth), CentreIn(area.y, area.height, mHeight),
                            mWidth, mHeight};
    const Win::WindowId window = system->CreateWindow(params);
    if (!window) {
        shared->Settle(false);
        return;
    }

    Platform::App::MessageLoop loop;
    SplashBar bar;
    std::vector<uint32_t> frame(mImage.size());
    auto paint = [&] {
        std::copy(mImage.begin(), mImage.end(), frame.begin());
        if (bar.Exists() && mWidth > 8 && mHeight > 20) {
            // The bar: a frame, a light trough and the filled part.
            const int32_t x0 = 4, y0 = mHeight - 20, w = mWidth - 8, h = 16;
            const int32_t filled = (w - 2) * bar.Position() / 100;
            for (int32_t y = y0; y < y0 + h; ++y) {
                for (int32_t x = x0; x < x0 + w; ++x) {
                    const bool edge = y == y0 || y == y0 + h - 1 || x == x0 || x == x0 + w - 1;
                    uint32_t c = 0xFFE6E6E6;
                    if (edge)
                        c = 0xFFBCBCBC;
                    else if (x - x0 - 1 < filled)
                        c = bar.Colour();
                    frame[size_t(y) * size_t(mWidth) + size_t(x)] = c;
                }
            }
        }
        const Win::Rect all{0, 0, mWidth, mHeight};
        system->Present(window, Win::PixelView{frame.data(), mWidth, mHeight, mWidth}, &all, 1);
        shared->drawn.store(bar.Exists() ? bar.Position() : -1);
    };
    auto onTick = [&](uint32_t) {
        if (!bar.Tick())
            loop.KillTimer(kBarTimer);
        paint();
    };
    shared->animate = [&](int32_t start, int32_t end, int32_t seconds) {
        if (bar.Animate(start, end, seconds))
            loop.SetTimer(kBarTimer, SplashBar::kTickMs, onTick);
        else
            loop.KillTimer(kBarTimer);
        paint();
    };
    shared->position = [&](int32_t position) {
        loop.KillTimer(kBarTimer);
        bar.SetPosition(position);
        paint();
    };
    shared->colour = [&](uint32_t argb) {
        bar.SetColour(argb);
        paint();
    };
    shared->sync = [&] { system->Sync(); };
    Win::AttachToLoop(*system, loop, [&](const Win::Event& e) {
        if (e.type == Win::EventType::Exposed && e.window == window)
            paint();
    });
    system->Show(window, true);
    system->Sync();
    {
        std::lock_guard guard(shared->lock);
        shared->loop = &loop;
    }
    shared->window.store(window);
    shared->Settle(true);
    loop.Run();
    {
        std::lock_guard guard(shared->lock);
        shared->loop = nullptr;
    }
    shared->window.store(0);
    Win::DetachFromLoop(*system, loop);
    system->DestroyWindow(window);
    system.reset();
}

}  // namespace Tavo
