// The native top-level window on the platform's window system: creation
// and its renderer, placement (also the one stored in the profile),
// showing and closing, the services controls ask for, painting and events.
#include "Window/Native/OSWindow.h"

#include "Application/ApplicationBase.h"
#include "Notification/NotificationCenter.h"
#include "Platform/App/MessageLoop.h"
#include "Platform/App/ProfileStore.h"
#include "Platform/Kernel/TextCoding.h"
#include "Window/Native/WindowHost.h"

#include <algorithm>
#include <cairo.h>
#include <cstring>
#include <span>

namespace Tavo {

namespace Win = Platform::Window;

namespace {

// The tick that keeps idle processing turning while nothing else happens.
constexpr uint32_t kTickMs = 33;
uint32_t gNextTimerId = 0x7A000;
// Modal loops running in the process; windows below one are disabled.
int32_t gModalDepth = 0;
// The cursor last shown, shared by all windows.
CursorHandle gCurrentCursor = 0;

RootWindowFactory& Factory()
{
    static auto* factory = new RootWindowFactory;
    return *factory;
}

// Mouse records carry Ctrl, Shift and Alt only, as the framework's mouse
// messages do.
uint32_t MouseModifiers(uint32_t modifiers)
{
    return modifiers & (Win::kModCtrl | Win::kModShift | Win::kModAlt);
}

void PutInt(std::vector<uint8_t>& out, int32_t value)
{
    const uint32_t v = uint32_t(value);
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

int32_t GetInt(const uint8_t* data, size_t offset)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= uint32_t(data[offset + size_t(i)]) << (8 * i);
    return int32_t(v);
}

}  // namespace

KeyCode KeyRecord(uint32_t virtualKey, bool down, uint32_t modifiers, bool previousDown)
{
    uint32_t code = (virtualKey & 0xFF) << 16;
    if (down)
        code |= KeyCode::kKeyDown;
    if (modifiers & Win::kModCtrl)
        code |= KeyCode::kCtrl;
    if (modifiers & Win::kModShift)
        code |= KeyCode::kShift;
    if (modifiers & Win::kModAlt)
        code |= KeyCode::kAlt;
    if (modifiers & Win::kModWin)
        code |= KeyCode::kCmd;
    return KeyCode(code, KeyCode::SideBits(modifiers), down ? previousDown : true);
}

int32_t TakeWheelDirection(int32_t& remainder, int32_t delta, bool horizontal)
{
    remainder += delta;
    if (remainder >= Win::kWheelStep) {
        remainder %= Win::kWheelStep;
        return horizontal ? 3 : 1;
    }
    if (remainder <= -Win::kWheelStep) {
        remainder = -(-remainder % Win::kWheelStep);
        return horizontal ? 2 : 0;
    }
    return -1;
}

void SetRootWindowFactory(RootWindowFactory factory)
{
    Factory() = std::move(factory);
}

OSWindow::OSWindow(Win::IWindowSystem* system) : mSystem(system ? system : WindowHost::System()) {}

OSWindow::~OSWindow()
{
    Destroy();
}

bool OSWindow::IsMainWindow() const
{
    const LFrameworkApp* app = GetFrameworkApp();
    return mRoot && app && !app->GetRootWindows().empty() && app->GetRootWindows().front() == mRoot;
}

TavoResult OSWindow::Create(const MainWindowParams& params)
{
    if (!mSystem || mWindow)
        return E_FAIL;
    Win::WindowParams p;
    p.title = Platform::ToUtf8(std::u16string(params.title.c_str()));
    p.className = Platform::ToUtf8(std::u16string(params.className.c_str()));
    p.instanceName = "tavo";
    p.rect = Win::Rect{params.rect.left, params.rect.top, std::max(1, params.rect.width),
                       std::max(1, params.rect.height)};
    p.resizable = params.style != kWindowStyleFixed;
    p.maximizable = params.style == kWindowStyleMaximize;
    p.transientFor = Win::WindowId(params.owner);
    mWindow = System().CreateWindow(p);
    if (!mWindow)
        return E_FAIL;
    mClientRect = p.rect;
    MakeSurface(p.rect.width, p.rect.height);
    WindowHost::Register(mWindow, [this](const Win::Event& e) { HandleEvent(e); });
    return S_OK;
}

TavoResult OSWindow::CreateRenderer(int32_t rendererType)
{
    if (!mWindow)
        return E_FAIL;
    const RectT<int32_t> rect{0, 0, mClientRect.width, mClientRect.height};
    RCPtr<LRenderer> renderer = LRenderer::Create(rendererType, rect, this);
    if (!renderer)
        return E_FAIL;
    mTimerId = gNextTimerId++;
    WindowHost::Loop().SetTimer(mTimerId, kTickMs, [](uint32_t) {});
    return AttachRenderer(renderer);
}

TavoResult OSWindow::AttachRenderer(const RCPtr<LRenderer>& renderer)
{
    mRenderer = renderer;
    const RectT<int32_t> viewport{0, 0, mClientRect.width, mClientRect.height};
    mContext = nullptr;
    mRenderer->InitRenderContextInfo(viewport, this, false, mContext);
    if (Factory())
        mRoot = Factory()(mRenderer, *this);
    mClient = dynamic_cast<INativeWindowClient*>(mRoot.Get());
    if (auto* provider = dynamic_cast<INativeWindowClientProvider*>(mRoot.Get()); provider && !mClient)
        mClient = provider->GetNativeClient();
    if (mRoot) {
        if (LFrameworkApp* app = GetFrameworkApp())
            app->AddRootWindow(mRoot);
    }
    return S_OK;
}

void OSWindow::Destroy()
{
    if (!mWindow)
        return;
    *mAlive = false;
    SavePlacement();
    ReleaseMouseCapture();
    if (mTimerId)
        WindowHost::Loop().KillTimer(mTimerId);
    mTimerId = 0;
    if (mRoot) {
        if (LFrameworkApp* app = GetFrameworkApp())
            app->RemoveRootWindow(mRoot);
    }
    if (auto* provider = dynamic_cast<INativeWindowClientProvider*>(mRoot.Get()))
        provider->NativeWindowDestroyed();
    WindowHost::Unregister(mWindow);
    mSurface.reset();  // it may be the window's own image
    System().DestroyWindow(mWindow);
    mWindow = 0;
    mClient = nullptr;
    mRoot = nullptr;
    mContext = nullptr;
    mRenderer = nullptr;
}

// ---- placement ----

Win::Rect OSWindow::FrameOf(const Win::Rect& client) const
{
    const Win::Rect e = mWindow ? System().GetFrameExtents(mWindow) : Win::Rect{};
    // Extents: left, top, right, bottom.
    return Win::Rect{client.x - e.x, client.y - e.y, client.width + e.x + e.width,
                     client.height + e.y + e.height};
}

WindowRect OSWindow::GetWindowRect() const
{
    const Win::Rect frame = FrameOf(mWindow ? System().GetClientRect(mWindow) : mClientRect);
    return WindowRect{frame.x, frame.y, frame.width, frame.height};
}

WindowRect OSWindow::FitToSizeLimits(const WindowRect& rect) const
{
    const Win::Rect frame = FrameOf(mClientRect);
    const int32_t extraW = frame.width - mClientRect.width, extraH = frame.height - mClientRect.height;
    PointT<int32_t> size{rect.width - extraW, rect.height - extraH};
    if (mClient && mClient->ConstrainClientSize(size) == 1)
        return WindowRect{rect.left, rect.top, size.x + extraW, size.y + extraH};
    return rect;
}

void OSWindow::MoveWindow(const WindowRect& rect)
{
    if (!mWindow)
        return;
    const Win::Rect e = System().GetFrameExtents(mWindow);
    SetWindowRect(RectT<int32_t>{rect.left + e.x, rect.top + e.y, std::max(1, rect.width - e.x - e.width),
                                 std::max(1, rect.height - e.y - e.height)});
}

std::vector<uint8_t> OSWindow::GetPlacement() const
{
    // length, flags, show command, minimized and maximized positions, the
    // normal frame rectangle (left, top, right, bottom).
    const WindowRect frame = GetWindowRect();
    std::vector<uint8_t> out;
    for (int32_t v : {44, 0, 1, -1, -1, -1, -1, frame.left, frame.top, frame.left + frame.width,
                      frame.top + frame.height})
        PutInt(out, v);
    return out;
}

void OSWindow::SetPlacement(const uint8_t* placement, size_t size)
{
    if (!placement || size != Platform::App::kWindowPlacementSize || GetInt(placement, 0) != 44)
        return;
    const int64_t left = GetInt(placement, 28), top = GetInt(placement, 32);
    const int64_t right = GetInt(placement, 36), bottom = GetInt(placement, 40);
    if (right <= left || bottom <= top)
        return;
    // The record comes from a file: a frame larger than the screen would be
    // a window of as many pixels, so it is cut to the screen and moved onto
    // it before the window takes it.
    const Win::Rect screen = System().GetScreenRect();
    const int32_t width = int32_t(std::min<int64_t>(right - left, std::max(screen.width, 1)));
    const int32_t height = int32_t(std::min<int64_t>(bottom - top, std::max(screen.height, 1)));
    MoveWindow(MoveWindowIntoDesktop(WindowRect{int32_t(left), int32_t(top), width, height},
                                     WindowRect{screen.x, screen.y, screen.width, screen.height}));
}

void OSWindow::SavePlacement()
{
    if (!mWindow || !IsMainWindow())
        return;
    const RCPtr<LApplicationBase> app = gApplication;
    Platform::App::IProfileStore* profile = app ? app->GetShell().GetProfile() : nullptr;
    if (!profile)
        return;
    Platform::App::WindowPlacementBytes bytes{};
    const std::vector<uint8_t> placement = GetPlacement();
    std::copy(placement.begin(), placement.end(), bytes.begin());
    Platform::App::WriteWindowPlacement(*profile, NString(app->GetApplicationName()).c_str(), bytes);
}

// ---- showing and closing ----

void OSWindow::Show()
{
    Show(5);
    // The first window comes to the front with the keyboard focus.
    BringToTop();
}

void OSWindow::Close()
{
    Destroy();
}

void OSWindow::BringToFront()
{
    BringToTop();
}

bool OSWindow::IsEnabled() const
{
    // A window below a running modal loop takes no hand-over.
    return mWindow && (gModalDepth == 0 || mInModalLoop);
}

void OSWindow::SetIcon(const AppIcon& icon)
{
    if (mWindow && icon.width > 0 && icon.height > 0 &&
        icon.argb.size() == size_t(icon.width) * size_t(icon.height))
        System().SetIcon(mWindow, icon.width, icon.height, icon.argb.data());
}

bool OSWindow::Show(int32_t command)
{
    if (!mWindow)
        return false;
    const bool wasShown = mShown;
    mShown = command != 0;
    System().Show(mWindow, mShown);
    return wasShown;
}

void OSWindow::OnCloseRequest()
{
    // Every close request takes the close command's road: the main window
    // asks the application to end, which may refuse; others close as dialogs.
    if (IsMainWindow()) {
        if (LFrameworkApp* app = GetFrameworkApp())
            app->RequestExit();
        return;
    }
    if (mClient)
        mClient->CloseDialog();
}

// ---- services ----

uint64_t OSWindow::MarkArrivedInput()
{
    Platform::Window::IWindowSystem* system = WindowHost::Connected();
    return system ? system->MarkArrivedEvents() : 0;
}

void OSWindow::HandleCloseRequestsSince(uint64_t mark)
{
    Platform::Window::IWindowSystem* system = WindowHost::Connected();
    if (!system)
        return;
    for (Platform::Window::WindowId window : system->TakeCloseRequestsSince(mark)) {
        Platform::Window::Event e;
        e.type = Platform::Window::EventType::CloseRequest;
        e.window = window;
        WindowHost::Dispatch(e);
    }
}

TavoResult OSWindow::SetTitle(const WString& text)
{
    if (!mWindow)
        return E_FAIL;
    System().SetTitle(mWindow, Platform::ToUtf8(std::u16string(text.c_str())));
    return S_OK;
}

TavoResult OSWindow::Invalidate()
{
    return InvalidateRect(RectT<int32_t>{0, 0, mClientRect.width, mClientRect.height});
}

TavoResult OSWindow::InvalidateRect(const RectT<int32_t>& rect)
{
    if (!mWindow)
        return E_FAIL;
    if (rect.width <= 0 || rect.height <= 0)
        return S_OK;
    if (mUpdate.IsEmpty()) {
        mUpdate = Win::Rect{rect.x, rect.y, rect.width, rect.height};
    } else {
        const int32_t x0 = std::min(mUpdate.x, rect.x), y0 = std::min(mUpdate.y, rect.y);
        const int32_t x1 = std::max(mUpdate.x + mUpdate.width, rect.x + rect.width);
        const int32_t y1 = std::max(mUpdate.y + mUpdate.height, rect.y + rect.height);
        mUpdate = Win::Rect{x0, y0, x1 - x0, y1 - y0};
    }
    SchedulePaint();
    return S_OK;
}

TavoResult OSWindow::GetClientRect(RectT<int32_t>& rect)
{
    if (!mWindow)
        return E_FAIL;
    rect = RectT<int32_t>{0, 0, mClientRect.width, mClientRect.height};
    return S_OK;
}

PointT<int32_t> OSWindow::ScreenToClient(const PointT<int32_t>& point)
{
    return {point.x - mClientRect.x, point.y - mClientRect.y};
}

PointT<int32_t> OSWindow::ClientToScreen(const PointT<int32_t>& point)
{
    return {point.x + mClientRect.x, point.y + mClientRect.y};
}

TavoResult OSWindow::SetWindowRect(const RectT<int32_t>& rect)
{
    if (!mWindow)
        return E_FAIL;
    // The window manager places the frame where the client is asked to go.
    const Win::Rect e = System().GetFrameExtents(mWindow);
    System().MoveResize(mWindow, Win::Rect{rect.x - e.x, rect.y - e.y, rect.width, rect.height});
    OnConfigure(Win::Rect{rect.x, rect.y, rect.width, rect.height});
    return S_OK;
}

TavoResult OSWindow::Redraw()
{
    if (!mWindow)
        return E_FAIL;
    Invalidate();
    PaintNow();
    // Drawn now means on the screen now: whatever blocks next, the window
    // shows its state. Ordinary paints do not wait for the server.
    System().Sync();
    return S_OK;
}

TavoResult OSWindow::BringToTop()
{
    if (!mWindow)
        return E_FAIL;
    System().Activate(mWindow);
    return S_OK;
}

TavoResult OSWindow::SetTopMost(bool topMost)
{
    if (!mWindow)
        return E_FAIL;
    System().SetKeepAbove(mWindow, topMost);
    return S_OK;
}

TavoResult OSWindow::EndModalLoop(int32_t result)
{
    if (mInModalLoop) {
        mModalResult = result;
        mModalEnded = true;
        mInModalLoop = false;
        WindowHost::Loop().PostQuit(result);
    } else {
        Destroy();
    }
    return S_OK;
}

int32_t OSWindow::RunModalLoop()
{
    if (!mWindow)
        return -1;
    mInModalLoop = true;
    mModalEnded = false;
    ++gModalDepth;
    if (!mShown)
        Show(5);
    Platform::App::IMessageLoop& loop = WindowHost::Loop();
    const int32_t code = loop.Run();
    --gModalDepth;
    mInModalLoop = false;
    int32_t result = mModalResult;
    if (!mModalEnded) {
        // The program is ending: the outer loop must end too.
        loop.PostQuit(code);
        result = -1;
    }
    Destroy();
    return result;
}

bool OSWindow::IsActive()
{
    return mWindow && System().GetFocusWindow() == mWindow;
}

bool OSWindow::HasFocus()
{
    return IsActive();
}

TavoResult OSWindow::SetFocus()
{
    if (!mWindow)
        return E_FAIL;
    System().SetFocus(mWindow);
    return S_OK;
}

CursorHandle OSWindow::SetCursor(CursorHandle cursor)
{
    const CursorHandle previous = gCurrentCursor;
    if (cursor == previous)
        return previous;
    if (mWindow)
        System().SetCursor(mWindow, WindowHost::NativeCursor(cursor));
    gCurrentCursor = cursor;
    return previous;
}

PointT<int32_t> OSWindow::GetMousePosition()
{
    if (mMouseCaptured || !mWindow)
        return mLastMouse;
    int32_t x = 0, y = 0;
    uint32_t buttons = 0, modifiers = 0;
    System().QueryPointer(x, y, buttons, modifiers);
    mLastMouse = ScreenToClient({x, y});
    return mLastMouse;
}

uint32_t OSWindow::GetMouseButtons()
{
    if (mMouseCaptured || !mWindow)
        return mButtonsDown;
    int32_t x = 0, y = 0;
    uint32_t buttons = 0, modifiers = 0;
    System().QueryPointer(x, y, buttons, modifiers);
    return buttons;
}

// ---- painting ----

void OSWindow::SchedulePaint()
{
    if (mPaintPending)
        return;
    mPaintPending = true;
    std::weak_ptr<bool> alive = mAlive;
    WindowHost::Loop().Post([this, alive] {
        if (auto a = alive.lock(); a && *a)
            PaintNow();
    });
}

void OSWindow::PaintNow()
{
    mPaintPending = false;
    const Win::Rect update = mUpdate;
    mUpdate = Win::Rect{};
    if (!mClient || !mRenderer || !mContext)
        return;
    RectRegion dirty;
    mClient->TakeDirtyRegion(dirty);
    mContext->dirtyRegion.FreeNodes();
    mContext->dirtyRegion.Append(dirty);
    if (!update.IsEmpty())
        mContext->dirtyRegion.AddRect(RectT<int32_t>{update.x, update.y, update.width, update.height});
    if (mContext->dirtyRegion.GetRectCount() == 0)
        return;
    // The frame is drawn into the pixels the server may still be reading.
    System().FinishPresents(mWindow);
    mRenderer->RenderStart(mContext);
    RectT<int32_t> bounds;
    const bool whole = mContext->dirtyRegion.GetRectCount() == 1 && mContext->dirtyRegion.GetBounds(bounds) &&
                       bounds == mContext->viewport;
    mClient->Paint(whole ? mContext->dirtyRegion : dirty);
    mRenderer->RenderFinish(mContext);
    ++mPaintCount;
}

void OSWindow::MakeSurface(int32_t width, int32_t height)
{
    // The window's image is what the window keeps its picture in, where the
    // display can show it as it is: no copy of its own.
    mSurface.reset();
    const Win::PixelBuffer image = System().MapImage(mWindow, width, height);
    mSurface = Platform::Graphics::Surface::OverPixels(image.pixels, width, height, image.stride);
    if (mSurface)
        mSurface->Clear();
    else
        mSurface = std::make_unique<Platform::Graphics::Surface>(width, height);
}

void OSWindow::SurfaceUpdated(const Platform::Graphics::PixelRect* rects, size_t count)
{
    if (!mWindow || !mSurface || count == 0)
        return;
    cairo_surface_t* native = mSurface->Native();
    cairo_surface_flush(native);
    const Win::PixelView view{reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(native)),
                              mSurface->Width(), mSurface->Height(),
                              cairo_image_surface_get_stride(native) / 4};
    std::vector<Win::Rect> copied;
    copied.reserve(count);
    for (size_t i = 0; i < count; ++i)
        copied.push_back(Win::Rect{rects[i].x, rects[i].y, rects[i].width, rects[i].height});
    System().Present(mWindow, view, copied.data(), copied.size());
}

// ---- events ----

void OSWindow::OnConfigure(const Win::Rect& client)
{
    const bool resized = client.width != mClientRect.width || client.height != mClientRect.height;
    const bool moved = client.x != mClientRect.x || client.y != mClientRect.y;
    mClientRect = client;
    if (resized) {
        MakeSurface(client.width, client.height);
        if (mContext)
            mContext->viewport = RectT<int32_t>{0, 0, client.width, client.height};
        if (mClient) {
            mClient->OnSize(client.width, client.height);
            mClient->SetRepaintAll();
        }
        Invalidate();
    }
    if (moved && mClient) {
        // A window that was partly off the desktop has parts to redraw.
        if (mWasOffScreen) {
            mClient->SetRepaintAll();
            mWasOffScreen = false;
            SchedulePaint();
        }
        const Win::Rect desk = System().GetScreenRect();
        const WindowRect frame = GetWindowRect();
        mWasOffScreen = frame.left < desk.x || frame.top < desk.y ||
                        frame.left + frame.width > desk.x + desk.width ||
                        frame.top + frame.height > desk.y + desk.height;
    }
}

void OSWindow::OnDisplayChange()
{
    // Everything is drawn again, as after any change of the screen.
    if (mClient)
        mClient->SetRepaintAll();
    Invalidate();
    // A window the smaller work area no longer holds is moved back into
    // it; the window manager may publish that area only later.
    mAwaitingWorkArea = true;
    KeepInWorkArea();
}

void OSWindow::KeepInWorkArea()
{
    // The published area may still be the old screen's: only what lies on
    // the screen counts.
    const Win::Rect area = System().GetWorkArea(), screen = System().GetScreenRect();
    const int32_t left = std::max(area.x, screen.x), top = std::max(area.y, screen.y);
    const int64_t right = std::min(int64_t(area.x) + area.width, int64_t(screen.x) + screen.width);
    const int64_t bottom = std::min(int64_t(area.y) + area.height, int64_t(screen.y) + screen.height);
    const WindowRect work = right > left && bottom > top
                                ? WindowRect{left, top, int32_t(right - left), int32_t(bottom - top)}
                                : WindowRect{screen.x, screen.y, screen.width, screen.height};
    const WindowRect frame = GetWindowRect();
    const WindowRect inside = MoveWindowIntoDesktop(FitToSizeLimits(CutWindowToDesktop(frame, work)), work);
    if (inside != frame)
        MoveWindow(inside);
}

void OSWindow::OnPowerChange(bool suspending)
{
    // The power message's parameters: going to sleep, or the automatic
    // resume followed by the one the user's return brings.
    static constexpr uint32_t kSuspend[] = {kPowerSuspend};
    static constexpr uint32_t kResume[] = {kPowerResumeAutomatic, kPowerResumeSuspend};
    const std::span<const uint32_t> events =
        suspending ? std::span<const uint32_t>(kSuspend) : std::span<const uint32_t>(kResume);
    const std::weak_ptr<bool> alive = mAlive;
    for (uint32_t event : events) {
        if (IsMainWindow()) {
            if (LFrameworkApp* app = GetFrameworkApp())
                app->OnPowerEvent(event, 0);
        }
        // The application may have closed the window meanwhile.
        if (alive.expired() || !*alive.lock())
            return;
        if (mClient)
            mClient->SetRepaintAll();
        Invalidate();
    }
}

void OSWindow::ReleaseMouseCapture()
{
    if (mMouseCaptured && mWindow)
        System().UngrabPointer();
    mMouseCaptured = false;
    mPressCount = 0;
}

void OSWindow::OnInputBlocked()
{
    // The releases and moves to come are not delivered: a capture, or the
    // server's own grab for a press, would keep the pointer from the modal
    // window and leave the press behind.
    const bool pressed = mButtonsDown != 0;
    ReleaseMouseCapture();
    if (pressed && mWindow)
        System().UngrabPointer();
    mButtonsDown = 0;
    mFollowPointerOnFocus = false;
    if (!mClient)
        return;
    mClient->OnCaptureLost();
    mClient->OnMouseMove({-1, -1}, 0, 0);
}

void OSWindow::FollowPointer()
{
    mFollowPointerOnFocus = false;
    if (!mClient)
        return;
    int32_t x = 0, y = 0;
    uint32_t buttons = 0, modifiers = 0;
    System().QueryPointer(x, y, buttons, modifiers);
    PointT<int32_t> point = ScreenToClient({x, y});
    if (point.x < 0 || point.y < 0 || point.x >= mClientRect.width || point.y >= mClientRect.height)
        point = {-1, -1};
    else
        mLastMouse = point;
    mClient->OnMouseMove(point, MouseModifiers(modifiers), 0);
}

void OSWindow::OnButton(const Win::Event& e)
{
    const PointT<int32_t> point{e.x, e.y};
    const uint32_t mods = MouseModifiers(e.modifiers);
    mLastMouse = point;
    if (e.type == Win::EventType::ButtonDown) {
        if (mClient && !mClient->HasFocusControl())
            SetFocus();
        mButtonsDown |= e.button;
        if (mClient) {
            if (++mPressCount == 1 && !mMouseCaptured)
                mMouseCaptured = System().GrabPointer(mWindow);
            mClient->OnMouseButton(e.doubleClick ? 2 : 0, e.button, mods, point, 0);
        }
        return;
    }
    mButtonsDown &= ~e.button;
    if (!mClient)
        return;
    mClient->OnMouseButton(1, e.button, mods, point, 0);
    // The capture lasts while any button is held.
    if (mButtonsDown == 0 && mPressCount != 0)
        ReleaseMouseCapture();
}

void OSWindow::HandleEvent(const Win::Event& e)
{
    // A handler may close the window (an exit request it hands on, say):
    // the root window and its controls stay until the event is handled.
    const RCPtr<IAppRootWindow> keep = mRoot;
    switch (e.type) {
    case Win::EventType::Exposed:
        // The window surface holds what the window shows: uncovered parts are
        // copied from it without drawing anything again.
        if (mPaintCount > 0 && mSurface && mSurface->Width() == mClientRect.width &&
            mSurface->Height() == mClientRect.height) {
            const Platform::Graphics::PixelRect r{e.rect.x, e.rect.y, e.rect.width, e.rect.height};
            SurfaceUpdated(&r, 1);
        } else {
            InvalidateRect(RectT<int32_t>{e.rect.x, e.rect.y, e.rect.width, e.rect.height});
        }
        break;
    case Win::EventType::Configure:
        OnConfigure(e.rect);
        break;
    case Win::EventType::CloseRequest:
        OnCloseRequest();
        break;
    case Win::EventType::Destroyed:
        // The program has nothing left to show: it ends as on a lost
        // display, which first winds down what must not be cut.
        if (IsMainWindow())
            Platform::Window::ConnectionLost("another client destroyed the main window");
        if (mClient)
            mClient->CloseDialog();
        break;
    case Win::EventType::FocusGained:
        if (mClient)
            mClient->RestoreFocus();
        if (mFollowPointerOnFocus)
            FollowPointer();
        break;
    case Win::EventType::FocusLost:
        ReleaseMouseCapture();
        if (mClient)
            mClient->OnKillFocus();
        break;
    case Win::EventType::KeyDown:
    case Win::EventType::KeyUp: {
        if (!mClient)
            break;
        const bool down = e.type == Win::EventType::KeyDown;
        if (e.virtualKey) {
            mClient->OnKey(KeyRecord(e.virtualKey, down, e.modifiers, e.previousDown));
        } else if ((e.modifiers & Win::kModCtrl) && (e.modifiers & Win::kModAlt)) {
            // A key the table does not know counts only with Ctrl and Alt.
            mClient->OnKey(KeyRecord(0, down, e.modifiers, e.previousDown));
        }
        break;
    }
    case Win::EventType::Character:
        if (mClient && !(e.modifiers & Win::kModWin) && !e.text.empty())
            mClient->OnKey(KeyCode::FromCharacter(e.text[0], MouseModifiers(e.modifiers)));
        break;
    case Win::EventType::ButtonDown:
    case Win::EventType::ButtonUp:
        OnButton(e);
        break;
    case Win::EventType::Motion:
        mLastMouse = {e.x, e.y};
        if (mClient)
            mClient->OnMouseMove(mLastMouse, MouseModifiers(e.modifiers), 0);
        break;
    case Win::EventType::Leave:
        // Out of the window without a capture: nothing is under the pointer.
        if (mClient && !mMouseCaptured)
            mClient->OnMouseMove({-1, -1}, MouseModifiers(e.modifiers), 0);
        break;
    case Win::EventType::Wheel: {
        const int32_t direction =
            TakeWheelDirection(mWheelRemainder[e.horizontal ? 1 : 0], e.wheelDelta, e.horizontal);
        mLastMouse = {e.x, e.y};
        if (direction >= 0 && mClient)
            mClient->OnMouseWheel(mLastMouse, MouseModifiers(e.modifiers), direction);
        break;
    }
    case Win::EventType::DisplayChanged:
        OnDisplayChange();
        break;
    case Win::EventType::WorkAreaChanged:
        // Once after a screen change: where the window manager has placed
        // the window by then, within the area it now publishes.
        if (mAwaitingWorkArea) {
            mAwaitingWorkArea = false;
            KeepInWorkArea();
        }
        break;
    case Win::EventType::PowerChanged:
        OnPowerChange(e.suspending);
        break;
    case Win::EventType::InputBlocked:
        OnInputBlocked();
        break;
    case Win::EventType::InputResumed:
        // The pointer moved meanwhile without the window hearing of it.
        if (IsActive())
            FollowPointer();
        else
            mFollowPointerOnFocus = true;
        break;
    case Win::EventType::Map:
        mShown = true;
        break;
    case Win::EventType::Unmap:
        mShown = false;
        break;
    default:
        break;
    }
}

}  // namespace Tavo
