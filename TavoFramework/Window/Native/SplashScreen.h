#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Tavo::Platform::App {
class MessageLoop;
}

namespace Tavo {

// The splash bar's position and animation, stepped every 250 ms: an
// animation from a to b over s seconds moves (b - a) / (4 s) per tick for
// 4 s ticks; 0 seconds puts the bar at b at once.
class SplashBar
{
public:
    static constexpr uint32_t kTickMs = 250;

    // Stops an animation.
    void SetPosition(int32_t position);
    // True while ticks are due.
    bool Animate(int32_t start, int32_t end, int32_t seconds);
    // One tick; false once the animation is over.
    bool Tick();

    int32_t Position() const { return mPosition; }
    bool Animating() const { return mTicks > 0; }
    bool Exists() const { return mExists; }
    uint32_t Colour() const { return mColour; }
    void SetColour(uint32_t argb);

private:
    int32_t mPosition = 0;
    int32_t mStep = 0;
    int32_t mTicks = 0;
    bool mExists = false;
    uint32_t mColour = 0xFF3C8C3C;
};

// A borderless picture with a progress bar, shown during start-up on a
// thread of its own with its own display connection, so that it keeps
// painting while the interface thread loads the skin.
class SplashScreen
{
public:
    SplashScreen();
    ~SplashScreen();
    SplashScreen(const SplashScreen&) = delete;
    SplashScreen& operator=(const SplashScreen&) = delete;

    // Only the first image counts. ARGB, width x height.
    void SetImage(int32_t width, int32_t height, std::vector<uint32_t> argb);
    bool SetImageFromPng(const std::string& path);
    void SetTitle(const std::string& utf8) { mTitle = utf8; }
    // Shows the window; false when it could not (no image, no display), which
    // is known once the thread has tried, within 5 s at most.
    bool Start();
    // Animates the bar from start to end over seconds.
    void PostProgress(int32_t start, int32_t end, int32_t seconds);
    // Sets the bar; stops an animation.
    void PostPosition(int32_t position);
    void PostBarColour(uint32_t argb);
    // Ends the thread and waits for it; harmless when not running.
    void Stop();
    // Waits until the thread has handled everything posted before and the
    // display server has what it drew; at once when not running.
    void Flush();

    bool IsRunning() const { return mThread.joinable(); }
    // The window on the splash connection while running, else 0.
    uint64_t GetWindowId() const;
    // The bar as the thread last drew it.
    int32_t GetDrawnPosition() const;

private:
    struct Shared;
    void ThreadMain();

    std::thread mThread;
    std::shared_ptr<Shared> mShared;
    int32_t mWidth = 0, mHeight = 0;
    std::vector<uint32_t> mImage;
    std::string mTitle;
};

// The window's top-left corner that centres a size in an area; may be
// negative when the size is larger.
int32_t CentreIn(int32_t areaStart, int32_t areaSize, int32_t size);

}  // namespace Tavo
