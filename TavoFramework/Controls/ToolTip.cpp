#include "Controls/ToolTip.h"

#include "Application/AppClock.h"
#include "Window/RootWindow.h"

#include <atomic>

namespace Tavo {

namespace {
constexpr uint32_t kChainMs = 50;
constexpr uint32_t kDelayMs = 500;
constexpr uint32_t kLifeMs = 5000;

// When a visible tooltip last closed; the next one within kChainMs skips the delay.
std::atomic<uint32_t>& LastShown()
{
    static auto* last = new std::atomic<uint32_t>(0);
    return *last;
}

uint32_t NowMs()
{
    return GetAppClock().GetMilliseconds();
}
}  // namespace

TavoResult LToolTip::ApplyProperties()
{
    SetNotFocusable(true);
    // It stands below the pointer, mostly outside the control it belongs to.
    SetClipToParent(false);
    return S_OK;
}

TavoResult LToolTip::Finalize()
{
    SetVisible(false);
    return S_OK;
}

TavoResult LToolTip::Open()
{
    if (LRootWindow* root = GetRootWindow()) {
        LLayoutDescriptor::Axis axis;
        GetPlacement(0, axis);
        axis.maxRef = 0;
        axis.maxRefName.Empty();
        axis.maxRel = 0;
        axis.maxAbs = root->GetClientSize().x - 8;
        SetAxisPlacement(0, axis);
    }
    mSince = NowMs();
    if (mSince - LastShown().load() < kChainMs) {
        mState = kShown;
        Place();
        SetVisible(true);
    } else {
        mState = kWaiting;
    }
    RequestIdle();
    return S_OK;
}

void LToolTip::OnIdle()
{
    const uint32_t now = NowMs();
    if (mState == kWaiting && now - mSince > kDelayMs) {
        mState = kShown;
        mSince = now;
        Place();
        SetVisible(true);
    } else if (mState == kShown && now - mSince > kLifeMs) {
        Close();
    }
}

TavoResult LToolTip::Close()
{
    RCPtr<LToolTip> self(this);
    if (mState != kInactive) {
        mState = kInactive;
        CancelIdle();
    }
    if (IsShown(false))
        LastShown() = NowMs();
    if (LControl* parent = GetParent())
        parent->RemoveChild(RCPtr<LControl>(this));
    return S_OK;
}

void LToolTip::Place()
{
    LControl* parent = GetParent();
    LRootWindow* root = GetRootWindow();
    if (!parent || !root)
        return;
    const PointT<int32_t> mouse = root->GetMousePosition();
    const PointT<int32_t> parentPos = parent->ToWindowPoint({0, 0});
    const PointT<int32_t> client = root->GetClientSize();
    const int32_t wanted[2] = {mouse.x, mouse.y + 20};
    const int32_t window[2] = {client.x, client.y};
    const int32_t size[2] = {int32_t(GetWidth()), int32_t(GetHeight())};
    const int32_t origin[2] = {parentPos.x, parentPos.y};
    for (int axisIndex = 0; axisIndex < 2; ++axisIndex) {
        int32_t position = wanted[axisIndex];
        if (position + size[axisIndex] > window[axisIndex])
            position = window[axisIndex] - size[axisIndex];
        if (position < 0)
            position = 0;
        LLayoutDescriptor::Axis axis;
        GetPlacement(axisIndex, axis);
        axis.positionRel = 0;
        axis.positionAbs = position - origin[axisIndex];
        SetAxisPlacement(axisIndex, axis);
    }
}

}  // namespace Tavo
