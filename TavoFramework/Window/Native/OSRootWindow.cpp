// The root window of a native window: its root control, geometry, dirty
// region and painting, hit testing, hover and tooltips, mouse capture, keys
// and focus, and the key and notification queues drained on idle turns.
#include "Window/Native/OSRootWindow.h"

#include "Application/FrameworkApp.h"
#include "ControlBase/Control.h"
#include "Notification/NotificationCenter.h"
#include "System/CursorNames.h"
#include "Window/Native/Dialog.h"

#include <algorithm>
#include <cmath>

namespace Tavo {

namespace {

int32_t Round(double v)
{
    return int32_t(v < 0 ? std::ceil(v - 0.5) : std::floor(v + 0.5));
}

PointT<int32_t> RoundPoint(const PointT<double>& p)
{
    return {Round(p.x), Round(p.y)};
}

// The application's list holds this face of a root window; the native
// window reaches the root window through it.
class OSRootWindowFace final : public IAppRootWindow, public INativeWindowClientProvider
{
public:
    explicit OSRootWindowFace(const RCPtr<LOSRootWindow>& root) : mRoot(root) {}

    LOSRootWindow* Root() const { return mRoot.Get(); }

    bool FlushKeyQueue(bool firstTurn) override { return mRoot && mRoot->ProcessQueues(firstTurn); }
    TavoResult RequestEndModalLoop(int32_t result) override
    {
        return mRoot ? mRoot->RequestEndModal(result) : E_FAIL;
    }
    void RefreshAndRedraw() override
    {
        if (mRoot)
            mRoot->RedrawAll();
    }
    bool HasNativeWindow() const override { return mRoot && mRoot->GetOSServices(); }
    bool IsActive() const override { return mRoot && mRoot->IsActive(); }
    void OnKillFocus() override
    {
        if (mRoot)
            mRoot->OnKillFocus();
    }
    void OnSetFocus() override
    {
        if (mRoot)
            mRoot->RestoreFocus();
    }
    RCPtr<LControl> GetRootControl() const override { return mRoot ? mRoot->GetRootControl() : nullptr; }
    TavoResult CreateRootControl(const WString& name) override
    {
        return mRoot ? mRoot->SetRootControlByName(name) : E_FAIL;
    }
    TavoResult SetRootControl(const RCPtr<LControl>& control) override
    {
        return mRoot ? mRoot->SetRootControl(control) : E_FAIL;
    }
    uintptr_t GetNativeHandle() const override
    {
        IWindowOSServices* os = mRoot ? mRoot->GetOSServices() : nullptr;
        return os ? os->GetNativeHandle() : 0;
    }
    CursorHandle SetCursor(CursorHandle cursor) override { return mRoot ? mRoot->SetCursor(cursor) : 0; }
    void GetMousePosition(int32_t& x, int32_t& y) const override
    {
        x = y = 0;
        if (!mRoot)
            return;
        // The window answers in its client coordinates.
        const PointT<int32_t> p = mRoot->GetMousePosition();
        const RectT<int32_t> client = mRoot->GetBounds();
        x = p.x + client.x;
        y = p.y + client.y;
    }
    uint32_t GetMouseButtons() const override { return mRoot ? mRoot->GetMouseButtons() : 0; }
    RCPtr<LRenderer> GetRenderer() const override { return mRoot ? mRoot->GetRenderer() : nullptr; }
    LRootWindow* GetControlsWindow() const override { return mRoot.Get(); }

    INativeWindowClient* GetNativeClient() override { return mRoot.Get(); }
    void NativeWindowDestroyed() override
    {
        if (mRoot)
            mRoot->Shutdown();
    }

private:
    RCPtr<LOSRootWindow> mRoot;
};

}  // namespace

LOSRootWindow* GetOSRootWindow(const RCPtr<IAppRootWindow>& window)
{
    auto* face = dynamic_cast<OSRootWindowFace*>(window.Get());
    return face ? face->Root() : nullptr;
}

RCPtr<LOSRootWindow> LOSRootWindow::Create(const RCPtr<LRenderer>& renderer, IWindowOSServices* os)
{
    RCPtr<LOSRootWindow> root(new LOSRootWindow(renderer, os));
    // The window's queue delivers through the window's own distributor.
    root->mQueue->SetDistributor(RCPtr<LNotificationDistributor>(root.Get()));
    return root;
}

void LOSRootWindow::InstallAsFactory()
{
    SetRootWindowFactory([](const RCPtr<LRenderer>& renderer, OSWindow& window) {
        const RCPtr<LOSRootWindow> root = Create(renderer, &window);
        RCPtr<IAppRootWindow> face(new OSRootWindowFace(root));
        root->mAppWindow = face.Get();
        return face;
    });
}

LOSRootWindow::LOSRootWindow(const RCPtr<LRenderer>& renderer, IWindowOSServices* os)
    : mRenderer(renderer), mOS(os), mKeys(std::make_unique<RCPtrQueue<LKeyParam, 256>>(&mKeyLock)),
      mQueue(new LNotificationQueue)
{
}

LOSRootWindow::~LOSRootWindow() = default;

RCPtr<IAppRootWindow> LOSRootWindow::GetAppWindow() const
{
    return RCPtr<IAppRootWindow>(mAppWindow);
}

void LOSRootWindow::Shutdown()
{
    RemoveAllClients();
    SetRootControl(nullptr);
    mOS = nullptr;
    if (mQueue)
        mQueue->Detach();
}

// ---- root control ----

TavoResult LOSRootWindow::SetRootControl(const RCPtr<LControl>& control)
{
    mFocus = nullptr;
    mSavedFocus = nullptr;
    mHover = nullptr;
    mCapture = nullptr;
    mToolTip = nullptr;
    if (mRootControl) {
        mRootControl->Detach();
        mHotKeys = HotKeyMap();
    }
    mRootControl = control;
    if (!control)
        return S_OK;
    if (const RCPtr<LStringTable> table = control->GetStringTable())
        mHotKeys.LoadBindings(table.Get(), u"GHK");
    if (!control->GetRootWindow())
        control->SetRootWindow(this);
    // The root control fills the client area.
    if (const RCPtr<LLayoutDescriptor> layout = control->GetLayout()) {
        LLayoutDescriptor::Axis axes[2] = {layout->x, layout->y};
        for (LLayoutDescriptor::Axis& a : axes) {
            a.placementAnchor = 0.0f;
            a.positionRef = 1;
            a.positionRel = 0.0f;
            a.positionAbs = 0.0;
            a.sizeRef = 1;
            a.sizeRel = 1.0f;
            a.sizeAbs = 0.0;
        }
        control->SetPlacement(axes[0], axes[1]);
    }
    if (!mFocus && mOS) {
        if (mOS->HasFocus())
            control->SetFocus(true);
        else
            mOS->SetFocus();
    }
    const RectT<int32_t> client = ClientRect();
    InvalidateRect(RectT<double>{0, 0, double(client.width), double(client.height)});
    return S_OK;
}

TavoResult LOSRootWindow::SetRootControlByName(const WString& name)
{
    if (name.IsEmpty())
        return SetRootControl(nullptr);
    LFrameworkApp* app = GetFrameworkApp();
    const RCPtr<LControlFactory> factory = app ? app->GetControlFactory() : nullptr;
    if (!factory)
        return E_FAIL;
    const RCPtr<LControl> control = app->CreateControl(name);
    if (!control)
        return E_FAIL;
    return SetRootControl(control);
}

// ---- geometry ----

RectT<int32_t> LOSRootWindow::ClientRect()
{
    if (mOS) {
        RectT<int32_t> rect = mClientRect;
        if (mOS->GetClientRect(rect) >= 0) {
            const PointT<int32_t> origin = mOS->ClientToScreen({0, 0});
            mClientRect = RectT<int32_t>{origin.x, origin.y, rect.width, rect.height};
        }
    }
    return mClientRect;
}

RectT<int32_t> LOSRootWindow::GetBounds()
{
    return ClientRect();
}

PointT<int32_t> LOSRootWindow::GetClientSize()
{
    const RectT<int32_t> r = ClientRect();
    return {r.width, r.height};
}

void LOSRootWindow::SetClientRect(const RectT<int32_t>& rect)
{
    const RectT<int32_t> current = ClientRect();
    if (rect == current)
        return;
    if (mOS)
        mOS->SetWindowRect(rect);
    mClientRect = rect;
    if (mRootControl)
        mRootControl->InvalidateLocalRect(RectT<double>{0, 0, double(rect.width), double(rect.height)}, true);
}

void LOSRootWindow::SetTitle(const WString& text)
{
    if (mOS)
        mOS->SetTitle(text);
}

void LOSRootWindow::OnSize(int32_t width, int32_t height)
{
    if (mRootControl)
        mRootControl->UITarget_UpdateGeometry(width, height);
}

int32_t LOSRootWindow::ConstrainClientSize(PointT<int32_t>& size)
{
    const PointT<int32_t> proposed = size;
    const RCPtr<LLayoutDescriptor> layout = mRootControl ? mRootControl->GetLayout() : nullptr;
    if (layout) {
        // The root control is placed for the proposed size as it would be in
        // a window of that size, then grown and shrunk by its own limits,
        // which may depend on its text and children.
        LFrameworkApp* app = GetFrameworkApp();
        const WindowRect desk = app ? app->GetDesktopWorkArea() : WindowRect{0, 0, 1024, 768};
        const PointT<int32_t> origin = mOS ? mOS->ClientToScreen({0, 0}) : PointT<int32_t>{0, 0};
        const PointT<int32_t> mouse = GetMousePosition();
        RectT<double> rect;
        if (mRootControl->ComputePlacement(
                layout.Get(), nullptr,
                {double(desk.left), double(desk.top), double(desk.width), double(desk.height)},
                {double(size.x), double(size.y)}, {double(mouse.x + origin.x), double(mouse.y + origin.y)},
                rect) >= 0) {
            mRootControl->ApplyMinimumSize(rect);
            mRootControl->ApplyMaximumSize(rect);
            size = {Round(rect.width), Round(rect.height)};
        }
    }
    size.x = std::max(size.x, 1);
    size.y = std::max(size.y, 1);
    return size.x != proposed.x || size.y != proposed.y ? 1 : 0;
}

// ---- dirty region and painting ----

void LOSRootWindow::InvalidateRect(const RectT<double>& rect)
{
    const RectT<int32_t> client = ClientRect();
    const double x0 = std::max(rect.x, 0.0), y0 = std::max(rect.y, 0.0);
    const double x1 = std::min(rect.x + rect.width, double(client.width));
    const double y1 = std::min(rect.y + rect.height, double(client.height));
    if (x1 - x0 < 1.0 || y1 - y0 < 1.0)
        return;
    const int32_t left = int32_t(x0 + 0.5), top = int32_t(y0 + 0.5);
    const RectT<int32_t> whole{left, top, int32_t(x1 + 0.5) - left, int32_t(y1 + 0.5) - top};
    {
        MutexLocker lock(mDirtyLock);
        mDirty.AddRect(whole);
    }
    if (mOS)
        mOS->InvalidateRect(whole);
}

void LOSRootWindow::TakeDirtyRegion(RectRegion& region)
{
    if (mRepaintAll) {
        mRepaintAll = false;
        const RectT<int32_t> client = ClientRect();
        InvalidateRect(RectT<double>{0, 0, double(client.width), double(client.height)});
    }
    MutexLocker lock(mDirtyLock);
    region.Append(mDirty);
    mDirty.FreeNodes();
}

void LOSRootWindow::DrawTree(const RCPtr<LControl>& control, const RectRegion& region, bool unclippedPass)
{
    std::vector<RCPtr<LControl>> over;
    control->Draw(mRenderer.Get(), region, over, unclippedPass);
    // Children over the control in ascending Z order; equal values keep
    // their order.
    std::stable_sort(over.begin(), over.end(), [](const RCPtr<LControl>& a, const RCPtr<LControl>& b) {
        const int32_t za = a->GetLayout() ? a->GetLayout()->zOrder : 0;
        const int32_t zb = b->GetLayout() ? b->GetLayout()->zOrder : 0;
        return za < zb;
    });
    // The top control draws at the client area's corner, whatever its
    // place on the screen.
    const PointT<double> top{mRootControl->GetX(), mRootControl->GetY()};
    for (const RCPtr<LControl>& child : over) {
        // The origin at the one the child's position counts from in its
        // parent, the clip on the child's rectangle there.
        const PointT<double> p = child->GetAbsolutePosition();
        const RectT<double> r{child->GetX(), child->GetY(), child->GetWidth(), child->GetHeight()};
        mRenderer->PushClip(RectT<double>{p.x - top.x - r.x, p.y - top.y - r.y, 0, 0}, r, nullptr, false);
        DrawTree(child, region, true);
        mRenderer->PopState();
    }
}

void LOSRootWindow::Paint(const RectRegion& region)
{
    if (!mRootControl || !mRenderer || region.GetRectCount() == 0)
        return;
    RectT<int32_t> bounds;
    if (!region.GetBounds(bounds))
        return;
    // A renderer whose target lost its contents wants the whole window again.
    const LRenderContextInfo* context = mRenderer->GetCurrentContext();
    if (context && context->state.redrawAll) {
        if (mOS)
            mOS->Invalidate();
        return;
    }
    const auto& layout = mRootControl->GetLayout();
    DrawTree(mRootControl, region, layout && !layout->clipToParent);
}

void LOSRootWindow::RedrawAll()
{
    const RectT<int32_t> client = ClientRect();
    {
        MutexLocker lock(mDirtyLock);
        mDirty.AddRect(RectT<int32_t>{0, 0, client.width, client.height});
    }
    if (mOS) {
        mOS->Invalidate();
        mOS->Redraw();
    }
}

// ---- hit testing, hover and tooltips ----

RCPtr<LControl> LOSRootWindow::FindControlAtPoint(const PointT<int32_t>& point, PointT<int32_t>& local,
                                                  bool updateHover)
{
    local = {0, 0};
    if (!mRootControl)
        return nullptr;
    const PointT<int32_t> origin{Round(mRootControl->GetX()), Round(mRootControl->GetY())};
    // Strict: ordinary controls are hit too, not only floating ones.
    RCPtr<LControl> hit = mRootControl->HitTest({point.x - origin.x, point.y - origin.y}, local, true);
    if (updateHover)
        SetHoverControl(hit);
    return hit;
}

void LOSRootWindow::HideToolTip()
{
    if (mToolTip)
        mToolTip->ShowToolTip(false);
}

void LOSRootWindow::SetHoverControl(const RCPtr<LControl>& hit)
{
    RCPtr<LControl> control = hit;
    if (mCapture && control != mCapture)
        control = nullptr;
    if (control == mHover)
        return;
    // The tooltip: the control's own, or its ancestors' while each asks for
    // its parent's.
    RCPtr<LControl> tip;
    if (control && control != mCapture) {
        LControl* c = control.Get();
        while (c->GetToolTipText().IsEmpty() && c->UsesParentToolTip() && c->GetParent())
            c = c->GetParent();
        if (!c->GetToolTipText().IsEmpty())
            tip = RCPtr<LControl>(c);
    }
    if (tip != mToolTip) {
        if (mToolTip)
            mToolTip->ShowToolTip(false);
        mToolTip = tip;
        if (mToolTip)
            mToolTip->ShowToolTip(true);
    }
    const RCPtr<LControl> old = mHover;
    mHover = control;
    if (old && (old->GetParent() || old->GetRootWindow()))
        old->UITarget_MouseLeave();
    if (mHover)
        mHover->UITarget_MouseEnter();
}

// ---- mouse ----

void LOSRootWindow::OnMouseMove(const PointT<int32_t>& point, uint32_t modifiers, uint32_t pointerId)
{
    if (!IsActive())
        return;
    PointT<int32_t> local;
    RCPtr<LControl> hit = FindControlAtPoint(point, local, true);
    if (mCapture) {
        const PointT<int32_t> origin = RoundPoint(mCapture->GetAbsolutePosition());
        const RCPtr<LControl> capture = mCapture;
        capture->UITarget_MouseMove(
            LPointWithModifiersParam::Create(point.x - origin.x, point.y - origin.y, modifiers, pointerId));
        return;
    }
    if (hit)
        hit->UITarget_MouseMove(LPointWithModifiersParam::Create(local.x, local.y, modifiers, pointerId));
}

void LOSRootWindow::OnMouseButton(int32_t action, uint32_t button, uint32_t modifiers,
                                  const PointT<int32_t>& point, uint32_t pointerId)
{
    if (!IsActive())
        return;
    if (GetMousePosition() != point)
        OnMouseMove(point, modifiers, pointerId);
    HideToolTip();
    if (action == 1) {
        if (pointerId < 10)
            mPressed[pointerId] &= ~button;
        if (!mCapture)
            return;
        const bool doubleClick = (mDoubleClickBits & button) != 0;
        mDoubleClickBits &= ~button;
        const PointT<int32_t> origin = RoundPoint(mCapture->GetAbsolutePosition());
        const RCPtr<LControl> capture = mCapture;
        capture->UITarget_MouseUp(LMouseButtonParam::Create(button, point.x - origin.x, point.y - origin.y,
                                                            modifiers, doubleClick, GetMouseButtons(),
                                                            pointerId));
        return;
    }
    if (action == 0 && pointerId < 10)
        mPressed[pointerId] |= button;
    if (mFocus) {
        const RCPtr<LControl> focus = mFocus;
        focus->CompletePendingPress();
    }
    PointT<int32_t> local;
    const RCPtr<LControl> target = PointerTarget(point, local);
    // Open menus and drop-downs close at a press outside them.
    if (mRootControl)
        RCPtr<LControl>(mRootControl)->ClosePopupsOutside(target.Get());
    if (!target)
        return;
    if (action == 2)
        mDoubleClickBits |= button;
    else
        mDoubleClickBits &= ~button;
    target->UITarget_MouseDown(LMouseButtonParam::Create(button, local.x, local.y, modifiers, action == 2,
                                                         GetMouseButtons(), pointerId));
}

RCPtr<LControl> LOSRootWindow::PointerTarget(const PointT<int32_t>& point, PointT<int32_t>& local)
{
    if (!mCapture)
        return FindControlAtPoint(point, local, true);
    const PointT<int32_t> origin = RoundPoint(mCapture->GetAbsolutePosition());
    local = {point.x - origin.x, point.y - origin.y};
    return mCapture;
}

void LOSRootWindow::OnMouseWheel(const PointT<int32_t>& point, uint32_t modifiers, int32_t direction)
{
    if (!IsActive())
        return;
    HideToolTip();
    PointT<int32_t> local;
    const RCPtr<LControl> target = PointerTarget(point, local);
    if (!target)
        return;
    const RCPtr<LMouseWheelParam> param =
        LMouseWheelParam::Create(local.x, local.y, modifiers, uint32_t(direction));
    const bool vertical = direction < 2;
    TavoResult handled =
        vertical ? target->UITarget_WheelVertical(param) : target->UITarget_WheelHorizontal(param);
    // Not taken where the pointer is: the focus holder may scroll.
    if (handled == S_FALSE && mFocus && mFocus != target)
        handled = vertical ? mFocus->UITarget_WheelVertical(param) : mFocus->UITarget_WheelHorizontal(param);
}

TavoResult LOSRootWindow::SetCaptureControl(const RCPtr<LControl>& control)
{
    if (!control)
        return E_INVALIDARG;
    if (mCapture && mCapture != control) {
        const RCPtr<LControl> old = mCapture;
        old->UITarget_ReleaseCapture();
    }
    mCapture = control;
    return S_OK;
}

TavoResult LOSRootWindow::ReleaseCaptureControl()
{
    mCapture = nullptr;
    return S_OK;
}

void LOSRootWindow::OnCaptureLost()
{
    if (mCapture) {
        const RCPtr<LControl> capture = mCapture;
        capture->UITarget_ReleaseCapture();
    }
}

PointT<int32_t> LOSRootWindow::GetMousePosition()
{
    if (!mOS)
        return {0, 0};
    if (mOS->IsActive())
        return mOS->GetMousePosition();
    int32_t x = 0, y = 0;
    if (LFrameworkApp* app = GetFrameworkApp())
        app->GetMousePosition(x, y);
    return mOS->ScreenToClient({x, y});
}

uint32_t LOSRootWindow::GetMouseButtons()
{
    if (mOS && mOS->IsActive())
        return mOS->GetMouseButtons();
    LFrameworkApp* app = GetFrameworkApp();
    return app ? app->GetMouseButtons() : 0;
}

uint32_t LOSRootWindow::GetAppModifierFlags()
{
    LFrameworkApp* app = GetFrameworkApp();
    if (!app)
        return 0;
    uint32_t flags = 0;
    bool down = false, toggled = false;
    app->GetKeyState(VKey::kControl, down, toggled);
    flags |= down ? KeyCode::kRawCtrl : 0;
    app->GetKeyState(VKey::kShift, down, toggled);
    flags |= down ? KeyCode::kRawShift : 0;
    app->GetKeyState(VKey::kMenu, down, toggled);
    flags |= down ? KeyCode::kRawAlt : 0;
    return flags;
}

CursorHandle LOSRootWindow::SetCursor(CursorHandle cursor)
{
    if (!cursor) {
        if (LFrameworkApp* app = GetFrameworkApp())
            cursor = app->GetCursor(UI_CURSOR_ARROW_DEFAULT());
    }
    return mOS ? mOS->SetCursor(cursor) : 0;
}

// ---- keys and focus ----

void LOSRootWindow::DeliverKey(const RCPtr<LKeyParam>& key)
{
    HideToolTip();
    if (mFocus) {
        const RCPtr<LControl> focus = mFocus;
        focus->UITarget_Key(key);
        return;
    }
    // Nobody has the focus: the window's and the program's hot keys still
    // count, so that Alt+F4 always reaches the close command.
    if (ProcessHotKey(key->mKey) == S_FALSE) {
        if (LFrameworkApp* app = GetFrameworkApp())
            app->DispatchGlobalHotKey(key->mKey);
    }
}

void LOSRootWindow::OnKey(const KeyCode& key)
{
    // Tab, Return and Escape come as the press, the character and the
    // release. When the press moved the focus (Tab to the next control, an
    // open menu choosing or closing), or was Tab with Ctrl, which only ever
    // moves it, its character and release are not for the control that now
    // has the focus.
    const uint32_t vk = key.VirtualKey();
    const bool isPress = (key.code & KeyCode::kNoKey) == 0 && (key.code & KeyCode::kKeyDown) != 0;
    const bool isCharacter = (key.code & (KeyCode::kVirtualKeyMask | KeyCode::kNoKey)) == 0;
    if (mPressMovedFocus) {
        const bool own = isCharacter
                             ? key.Character() == mPressMovedFocus
                             : !isPress && (key.code & KeyCode::kNoKey) == 0 && vk == mPressMovedFocus;
        if (own) {
            if (!isCharacter)
                mPressMovedFocus = 0;
            return;
        }
        mPressMovedFocus = 0;
    }
    const bool watched = isPress && (vk == VKey::kTab || vk == VKey::kReturn || vk == VKey::kEscape);
    const RCPtr<LControl> before = mFocus;
    DeliverKey(LKeyParam::Create(key));
    if (watched && (mFocus != before || (vk == VKey::kTab && (key.code & KeyCode::kCtrl))))
        mPressMovedFocus = vk;
}

void LOSRootWindow::QueueKey(const RCPtr<LKeyParam>& key)
{
    mKeys->Enqueue(key);
}

TavoResult LOSRootWindow::ProcessHotKey(const KeyCode& key)
{
    const WString name = mHotKeys.FindBinding(key);
    if (name.IsEmpty())
        return S_FALSE;
    RCPtr<LNotification> notification = LNotification::Create(name.c_str(), LKeyParam::Create(key));
    if (!notification || !mQueue)
        return E_FAIL;
    // The window's own listeners hear it on the next idle turn.
    mQueue->Post(notification);
    return S_OK;
}

RCPtr<LNotificationReceiver> LOSRootWindow::GetMenuListener()
{
    return mQueue ? RCPtr<LNotificationReceiver>(mQueue->GetPostingReceiver()) : nullptr;
}

void LOSRootWindow::SaveFocus()
{
    mSavedFocus = mFocus;
    mFocus = nullptr;
}

void LOSRootWindow::RestoreFocus()
{
    if (mFocus)
        return;
    const RCPtr<LControl> saved = mSavedFocus;
    if (saved && (saved->GetRootWindow() == this ||
                  (saved->GetParent() && saved->GetParent()->GetRootWindow() == this))) {
        saved->SetFocus(true);
        return;
    }
    if (mRootControl)
        mRootControl->SetFocus(true);
}

void LOSRootWindow::OnKillFocus()
{
    SetHoverControl(nullptr);
    if (!mRootControl)
        return;
    const RCPtr<LControl> root = mRootControl;
    root->ClosePopupsOutside(nullptr);
    root->SetFocus(true);
    root->UITarget_Deactivate();
}

TavoResult LOSRootWindow::MoveFocusToNextWindow(const RCPtr<LKeyParam>& key)
{
    if (!mOS || !mOS->IsActive() || mOS->IsInModalLoop())
        return S_FALSE;
    const bool backward = key && (key->mKey.code & KeyCode::kShift) != 0;
    LFrameworkApp* app = GetFrameworkApp();
    const auto& windows = app ? app->GetRootWindows() : std::vector<RCPtr<IAppRootWindow>>{};
    if (windows.size() < 2) {
        // Round again within this window.
        if (mRootControl) {
            const RCPtr<LControl> root = mRootControl;
            root->UITarget_Deactivate();
            root->SetFocus(!backward);
        }
        return S_OK;
    }
    const auto it = std::find_if(windows.begin(), windows.end(), [this](const RCPtr<IAppRootWindow>& w) {
        return GetOSRootWindow(w) == this;
    });
    const size_t count = windows.size();
    const size_t here = it == windows.end() ? 0 : size_t(it - windows.begin());
    const size_t next = backward ? (here + count - 1) % count : (here + 1) % count;
    LOSRootWindow* other = GetOSRootWindow(windows[next]);
    if (other && other->mOS && !other->mOS->IsActive())
        other->mOS->SetFocus();
    return S_OK;
}

void LOSRootWindow::SetTextEntryState(bool active, const RCPtr<LControl>& control, const WString& value)
{
    if (!mOS)
        return;
    if (!active)
        mOS->SetTextEntryState(false, value);
    else if (control && control == mFocus)
        mOS->SetTextEntryState(true, value);
}

// ---- queues and modal loops ----

bool LOSRootWindow::ProcessQueues(bool firstTurn)
{
    while (mKeys->GetCount() > 0) {
        const RCPtr<LKeyParam> key = mKeys->Dequeue();
        HideToolTip();
        if (mFocus) {
            const RCPtr<LControl> focus = mFocus;
            focus->UITarget_Key(key);
        }
    }
    const bool more = mQueue && mQueue->Process(firstTurn);
    if (mEndModalRequested && mOS) {
        mEndModalRequested = false;
        mOS->EndModalLoop(mEndModalResult);
    }
    return more;
}

TavoResult LOSRootWindow::RequestEndModal(int32_t result)
{
    if (!mOS)
        return E_FAIL;
    mEndModalResult = result;
    mEndModalRequested = true;
    return S_OK;
}

void LOSRootWindow::RequestCloseDialog()
{
    if (auto* dialog = dynamic_cast<LDialog*>(mRootControl.Get())) {
        const RCPtr<LControl> keep = mRootControl;
        dialog->Close(2);
        return;
    }
    RequestEndModal(0);
}

}  // namespace Tavo
