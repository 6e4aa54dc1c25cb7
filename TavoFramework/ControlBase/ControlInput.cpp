// Mouse and key input of a control: hit testing, the per-button press, drag
// and click state, wheel bubbling, and the road of a key through hot keys,
// the control's own handling, its siblings and the window's hot keys.
#include "Application/AppClock.h"
#include "ControlBase/Control.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/Look.h"
#include "ControlBase/MenuDescriptor.h"
#include "Notification/NotificationCenter.h"
#include "System/HotKeyMap.h"
#include "Window/InputParams.h"
#include "Window/RootWindow.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

namespace Tavo {

namespace {

constexpr int32_t kNoZ = INT32_MIN;

bool ClipsToParentLayout(const LControl* c)
{
    return !c->GetLayout() || c->GetLayout()->clipToParent;
}

// Shown, own enabled flag set, parent enabled with its ancestors.
bool IsLive(const LControl* c)
{
    return c->IsShown(true) && c->IsEnabled(false) && (!c->GetParent() || c->GetParent()->IsEnabled(true));
}

// RoundToInt32 with a fast path for the values hit testing meets.
inline int32_t Round(double v)
{
    if (v > -1e9 && v < 1e9)
        return int32_t(v < 0 ? v - 0.5 : v + 0.5);
    return RoundToInt32(v);
}

// The integer rectangle rule: x + 0.5, width + 0.5, truncated.
inline int32_t Truncate(double v)
{
    if (v > -1e9 && v < 1e9)
        return int32_t(v + 0.5);
    return ToIntRect(RectT<double>{v, 0, 0, 0}).x;
}

// Positions and scroll offsets reach 2^52: points are carried down the tree
// in 64 bits and held to the int32 range only where they are handed on.
inline int64_t Round64(double v)
{
    const double clamped = ClampToDoubleRange(v);
    return int64_t(clamped < 0 ? clamped - 0.5 : clamped + 0.5);
}

inline int32_t Clamp32(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

PointT<int32_t> Offset(const PointT<int64_t>& point, const LControl* c)
{
    return {Clamp32(point.x - Round64(c->GetX())), Clamp32(point.y - Round64(c->GetY()))};
}

const KeyCode kEmptyHotKey(KeyCode::kNoKey);

}  // namespace

// ---------------------------------------------------------------------------
// Hit testing

int32_t LControl::GetEffectiveZ() const
{
    int32_t z = kNoZ;
    for (const LControl* c = this; c; c = c->mParent)
        if (!ClipsToParentLayout(c))
            z = std::max(z, c->mLayout->zOrder);
    return z;
}

bool LControl::ContainsPoint(const PointT<int32_t>& point)
{
    const int64_t left = Truncate(mX), top = Truncate(mY);
    const int64_t x = int64_t(point.x) + Round(mX), y = int64_t(point.y) + Round(mY);
    return x >= left && y >= top && x < left + Truncate(mWidth) && y < top + Truncate(mHeight);
}

bool LControl::HitTestPoint(const PointT<int32_t>& point)
{
    const RectT<int32_t> r = ToIntRect(RectT<double>{mX, mY, mWidth, mHeight});
    return point.x >= r.x && point.y >= r.y && int64_t(point.x) < int64_t(r.x) + r.width &&
           int64_t(point.y) < int64_t(r.y) + r.height;
}

uint32_t LControl::GetLookColorAt(const PointT<int32_t>& point, int32_t lookIndex)
{
    RCPtr<LLook> look = GetLookAt(lookIndex);
    return look ? look->GetColorAtPoint(point.x, point.y) : 0x00FFFFFFu;
}

bool LControl::IsTransparentAt(const PointT<int32_t>& point)
{
    // Where no visible look shows anything, the hit falls through: also when
    // the control has no visible look at all.
    for (int32_t i = 0; i < GetLookCount(); ++i)
        if (GetLookWeight(i) > 0.0f && (GetLookColorAt(point, i) >> 24) != 0)
            return false;
    return true;
}

RCPtr<LControl> LControl::HitTest(const PointT<int32_t>& point, PointT<int32_t>& local, bool strict)
{
    int32_t z = kNoZ;
    return HitTest(point, local, strict, z);
}

RCPtr<LControl> LControl::HitTest(const PointT<int32_t>& point, PointT<int32_t>& local, bool strict,
                                  int32_t& z)
{
    local = {0, 0};
    mLastHitChild = nullptr;
    if ((mLayout && !mLayout->visible) || !(mWidth > 0) || !(mHeight > 0))
        return nullptr;
    const bool inside = ContainsPoint(point);
    if (!inside && mUnclippedDescendants == 0)
        return nullptr;

    RCPtr<LControl> best;
    PointT<int32_t> bestLocal;
    int32_t bestZ = kNoZ;
    // Children are found through each visible look, as they are drawn: none
    // while every look is faded out. A control without looks is a plain
    // container, its whole rectangle the client area.
    const int32_t looks = std::max(GetLookCount(), 1);
    for (int32_t li = 0; li < looks; ++li) {
        if (GetLookCount() > 0 && !(GetLookWeight(li) > 0.0f))
            continue;
        const RectT<double> client = GetLookClientRect(GetLookCount() > 0 ? li : -1);
        const bool inClient = point.x >= client.x && point.y >= client.y &&
                              point.x < client.x + client.width && point.y < client.y + client.height;
        const PointT<int64_t> childPoint{int64_t(point.x) - Round64(client.x) + Round64(mScrollX),
                                         int64_t(point.y) - Round64(client.y) + Round64(mScrollY)};
        for (uint32_t i = mChildren.Count(); i-- > 0;) {
            // The view stays valid: nothing below changes this child list.
            const RCPtr<LControl>& child = mChildren.GetAt(i, ChildControlList::kDrawing);
            const bool candidate = !best && ((inside && strict && inClient) || child->GetEffectiveZ() > kNoZ);
            if (!candidate && ClipsToParentLayout(child.Get()) && child->mUnclippedDescendants == 0)
                continue;
            PointT<int32_t> childLocal;
            int32_t childZ = z;
            RCPtr<LControl> hit =
                child->HitTest(Offset(childPoint, child.Get()), childLocal, strict && inside, childZ);
            if (!hit)
                continue;
            const int32_t hitZ = hit->GetEffectiveZ();
            if (best && hitZ <= bestZ)
                continue;
            best = hit;
            bestLocal = childLocal;
            bestZ = hitZ;
        }
    }
    if (best) {
        if (!mInterceptChildren) {
            z = bestZ;
            local = bestLocal;
            return best;
        }
        mLastHitChild = best;
        mLastHitLocal = bestLocal;
        mLastHitZ = bestZ;
    }

    bool escape = false;
    if (mParent && ClipsToParentLayout(this)) {
        const RectT<double> parentClient = mParent->GetLookClientRect(-1);
        const double px = double(point.x + Round64(mX) - Round64(mParent->mScrollX)) + parentClient.x;
        const double py = double(point.y + Round64(mY) - Round64(mParent->mScrollY)) + parentClient.y;
        escape = px < parentClient.x || py < parentClient.y || px >= parentClient.x + parentClient.width ||
                 py >= parentClient.y + parentClient.height;
    }
    if (mHitTestExcluded || mHitTestSkip || !inside || escape || IsTransparentAt(point))
        return nullptr;
    const int32_t own = GetEffectiveZ();
    if ((own > kNoZ && z < own) || (own == kNoZ && strict)) {
        if (own > kNoZ)
            z = own;
        local = point;
        return RCPtr<LControl>(this);
    }
    return nullptr;
}

RCPtr<LControl> LControl::HitTestFromTop(const PointT<int32_t>& windowPoint, PointT<int32_t>& local,
                                         bool strict)
{
    RCPtr<LControl> top = GetRootControl();
    int32_t z = kNoZ;
    return top->HitTest(Offset({windowPoint.x, windowPoint.y}, top.Get()), local, strict, z);
}

PointT<int32_t> LControl::ToWindowPoint(const PointT<int32_t>& point) const
{
    const PointT<double> origin = GetAbsolutePosition();
    return {RoundToInt32(point.x + origin.x), RoundToInt32(point.y + origin.y)};
}

// ---------------------------------------------------------------------------
// Pointer

TavoResult LControl::UITarget_MouseEnter()
{
    if (mHover)
        return S_OK;
    RCPtr<LControl> self(this);
    mHover = true;
    UpdateConditions();
    return S_OK;
}

TavoResult LControl::UITarget_MouseLeave()
{
    if (!mHover)
        return S_OK;
    RCPtr<LControl> self(this);
    mHover = false;
    UpdateConditions();
    return S_OK;
}

TavoResult LControl::UITarget_MouseDown(const RCPtr<LMouseButtonParam>& param)
{
    if (!param || !MouseButton::IsValid(param->mButton))
        return E_INVALIDARG;
    const bool hadCapture = mCapture;
    if (!hadCapture && !IsLive(this))
        return S_FALSE;
    RCPtr<LControl> self(this);
    if (!hadCapture)
        TakeFocusOnPress();
    switch (param->mButton) {
    case MouseButton::kLeft:
        mPressParam = param;
        OnLeftDown(param);
        break;
    case MouseButton::kMiddle:
        OnMiddleDown(param);
        break;
    default:
        OnRightDown(param);
        break;
    }
    Notify(u"NID_MOUSE_DOWN", param);
    if (!hadCapture && S_OK == UITarget_OnMouseDown(param->mButton, param->mX, param->mY)) {
        mPressMs = GetAppClock().GetMilliseconds();
        if (mInterceptChildren && param->mButton == MouseButton::kLeft && !mPressReplayIdle) {
            mPressReplayIdle = true;
            RequestIdle();
        }
    }
    return S_OK;
}

TavoResult LControl::UITarget_MouseMove(const RCPtr<LPointWithModifiersParam>& param)
{
    if (!param)
        return E_INVALIDARG;
    RCPtr<LControl> self(this);
    mMoveMs = GetAppClock().GetMilliseconds();
    if (mLeftPressed || mMiddlePressed || mRightPressed) {
        const int32_t px = RoundToInt32(mPressX - mX), py = RoundToInt32(mPressY - mY);
        const int64_t d = std::max(std::llabs(int64_t(param->mX) - px), std::llabs(int64_t(param->mY) - py));
        if (d >= mDragThreshold) {
            bool* drag = mLeftPressed ? &mLeftDrag : mMiddlePressed ? &mMiddleDrag : &mRightDrag;
            // Listeners see the press position before the drag begins; the
            // pending flags go first so that even a threshold of 0 cannot
            // start the drag from inside that call.
            mLeftPressed = mMiddlePressed = mRightPressed = false;
            UITarget_MouseMove(
                LPointWithModifiersParam::Create(px, py, param->mModifiers, param->mPointerId));
            *drag = true;
            UpdateConditions();
        }
    }
    OnMouseMove(param);
    Notify(u"NID_MOUSE_MOVE", param);
    if (mLeftDrag && mDrag.mode != 0)
        DragUpdate(param);
    mPreviousMoveMs = mMoveMs;
    return S_OK;
}

TavoResult LControl::UITarget_MouseUp(const RCPtr<LMouseButtonParam>& param)
{
    if (!param || !MouseButton::IsValid(param->mButton))
        return E_INVALIDARG;
    if (!mCapture && !IsLive(this))
        return S_FALSE;
    RCPtr<LControl> self(this);
    bool click = false;
    switch (param->mButton) {
    case MouseButton::kLeft:
        OnLeftUp(param);
        click = (mLeftPressed || (mLeftDrag && mDrag.mode == 0)) && mHover;
        if (mLeftDrag && mDrag.mode == 6)
            StartFling();
        break;
    case MouseButton::kMiddle:
        OnMiddleUp(param);
        click = (mMiddlePressed || (mMiddleDrag && mDrag.mode == 0)) && mHover;
        break;
    default:
        OnRightUp(param);
        click = (mRightPressed || (mRightDrag && mDrag.mode == 0)) && mHover;
        break;
    }
    Notify(u"NID_MOUSE_UP", param);
    if (mCapture &&
        (param->mButtonsHeld & (MouseButton::kLeft | MouseButton::kMiddle | MouseButton::kRight)) == 0)
        UITarget_ReleaseCapture();
    if (click && IsEnabled(false) && (!mParent || mParent->IsEnabled(true))) {
        if (param->mButton == MouseButton::kRight)
            LoadContextMenu();
        OnClick(param);
    }
    return S_OK;
}

TavoResult LControl::UITarget_ReleaseCapture()
{
    if (!mCapture)
        return S_FALSE;
    RCPtr<LControl> self(this);
    mCapture = false;
    mLeftPressed = mMiddlePressed = mRightPressed = false;
    mLeftDrag = mMiddleDrag = mRightDrag = false;
    TavoResult result = S_OK;
    if (LRootWindow* root = GetRootWindow())
        if (root->GetCaptureControl() == self)
            result = root->ReleaseCaptureControl();
    UpdateConditions();
    mPressParam = nullptr;
    if (mPressReplayIdle) {
        mPressReplayIdle = false;
        CancelIdle();
    }
    return result;
}

TavoResult LControl::UITarget_Deactivate()
{
    RCPtr<LControl> self(this);
    if (LRootWindow* root = GetRootWindow())
        root->SaveFocus();
    if (mHasFocus || mContainsFocus)
        UITarget_OnFocusLost();
    return S_OK;
}

void LControl::ClosePopupsOutside(const LControl* target)
{
    if (mLayout && !mLayout->visible)
        return;
    RCPtr<LControl> self(this);
    // Closing removes popups from the tree: walk a copy of the children.
    std::vector<RCPtr<LControl>> children;
    for (uint32_t i = 0; i < mChildren.Count(); ++i)
        children.push_back(mChildren.GetAt(i));
    for (const RCPtr<LControl>& child : children)
        if (child->mParent == this)
            child->ClosePopupsOutside(target);
    for (const LControl* c = target; c; c = c->mParent)
        if (c == this)
            return;
    PressedElsewhere();
}

void LControl::LoadContextMenu()
{
    if (mContextMenuLoaded)
        return;
    mContextMenuLoaded = true;
    if (!mContextMenu)
        mContextMenu = BuildMenuFromStrings();
}

// ---------------------------------------------------------------------------
// Wheel

TavoResult LControl::UITarget_WheelVertical(const RCPtr<LMouseWheelParam>& param)
{
    return WheelEvent(param);
}

TavoResult LControl::UITarget_WheelHorizontal(const RCPtr<LMouseWheelParam>& param)
{
    return WheelEvent(param);
}

TavoResult LControl::WheelEvent(const RCPtr<LMouseWheelParam>& param)
{
    if (!param)
        return -1;
    RCPtr<LControl> control(this);
    const PointT<int32_t> windowPoint = ToWindowPoint({param->mX, param->mY});
    // Floating controls met on the way: two overlapping ones that both
    // refuse would otherwise hand the wheel back and forth for ever.
    std::vector<RCPtr<LControl>> visited;
    while (control) {
        const TavoResult result = param->mDirection <= LMouseWheelParam::kUp ? control->OnWheel(param)
                                                                             : control->OnWheelEvent(param);
        if (result != S_FALSE)
            return result;
        std::vector<RCPtr<LControl>> floating;
        for (LControl* c = control.Get(); c; c = c->mParent)
            if (!ClipsToParentLayout(c))
                floating.push_back(RCPtr<LControl>(c));
        if (floating.empty()) {
            control = control->mParent;
            continue;
        }
        visited.push_back(control);
        for (const auto& c : visited)
            c->mHitTestExcluded = true;
        for (const auto& c : floating)
            c->mHitTestExcluded = true;
        PointT<int32_t> local;
        RCPtr<LControl> next = control->HitTestFromTop(windowPoint, local, true);
        for (const auto& c : floating)
            c->mHitTestExcluded = false;
        for (const auto& c : visited)
            c->mHitTestExcluded = false;
        if (next && std::find(visited.begin(), visited.end(), next) != visited.end())
            return S_FALSE;
        control = next;
    }
    return S_FALSE;
}

// ---------------------------------------------------------------------------
// Keys

TavoResult LControl::UITarget_Key(const RCPtr<LKeyParam>& param)
{
    if (!param || !IsLive(this))
        return S_OK;
    RCPtr<LControl> self(this);
    RCPtr<LSiblingKeyParam> data = LSiblingKeyParam::Create(param->mKey, self);
    ReceiveNotification(nullptr, LNotification::Create(u"NID_SIBLING_KEY", data));
    if (data->mResult == 0 || OnKey(param) != S_FALSE)
        return S_OK;
    const bool tab = param->IsKeyPress(VKey::kTab);
    param->Add(self);
    if (!tab) {
        if (mParent)
            mParent->RouteUnhandledKey(param);
        else
            OfferToWindowHotKeys(param->mKey);
    } else if (!mWantsTab) {
        if (mParent)
            mParent->ProcessTabKey(param);
        else if (LRootWindow* root = GetRootWindow())
            root->MoveFocusToNextWindow(param);
    }
    return S_OK;
}

TavoResult LControl::OfferToWindowHotKeys(const KeyCode& key)
{
    LRootWindow* root = GetRootWindow();
    if (root && root->ProcessHotKey(key) != S_FALSE)
        return S_OK;
    const auto& application = ControlEnvironment().processHotKey;
    return application ? application(key) : S_FALSE;
}

TavoResult LControl::RouteUnhandledKey(const RCPtr<LKeyParam>& param)
{
    if (!param)
        return E_INVALIDARG;
    RCPtr<LControl> self(this);
    if (OnSiblingKey(param) != S_FALSE)
        return S_OK;
    return OfferToWindowHotKeys(param->mKey);
}

TavoResult LControl::OnSiblingKey(const RCPtr<LKeyParam>& param)
{
    if (!param)
        return E_INVALIDARG;
    RCPtr<LNotificationClientPool> pool = FindClientPool(GetNotificationID(u"NID_SIBLING_KEY"));
    if (!pool || pool->GetCount() == 0)
        return S_FALSE;
    RCPtr<LControl> self(this);
    std::vector<int32_t> order;
    OrderSiblingKeyClients(param, *pool, order);
    RCPtr<LControl> sender = param->GetLast<LControl>();
    RCPtr<LSiblingKeyParam> data = LSiblingKeyParam::Create(param->mKey, sender);
    RCPtr<LNotification> notification = LNotification::Create(u"NID_SIBLING_KEY", data);
    for (size_t k = order.size(); k-- > 0;) {
        const int32_t index = order[k];
        if (index >= pool->GetCount())
            continue;
        auto registration = pool->GetRegistration(index);
        if (!registration || dynamic_cast<LControl*>(registration->GetClient().Get()) == sender.Get())
            continue;
        pool->SendNotificationToClient(self, index, notification);
        if (data->mResult == 0)
            return S_OK;
    }
    return S_FALSE;
}

TavoResult LControl::OrderSiblingKeyClients(const RCPtr<LKeyParam>& param,
                                            const LNotificationClientPool& pool, std::vector<int32_t>& order)
{
    KeyClientOrder& sorted = mKeyClients;
    if (sorted.pool != &pool || sorted.poolStamp != pool.GetChangeStamp() ||
        sorted.childStamp != mChildren.GetChangeCount()) {
        sorted.clients.clear();
        int32_t counter = INT32_MIN;
        for (int32_t i = 0; i < pool.GetCount(); ++i) {
            auto registration = pool.GetRegistration(i);
            auto* control = registration ? dynamic_cast<LControl*>(registration->GetClient().Get()) : nullptr;
            const int32_t position = control ? IndexOfChild(control, ChildControlList::kTab) : -1;
            sorted.clients.push_back({i, position >= 0 ? position : counter++, control});
        }
        std::stable_sort(sorted.clients.begin(), sorted.clients.end(),
                         [](const KeyClient& a, const KeyClient& b) { return a.rank < b.rank; });
        sorted.pool = &pool;
        sorted.poolStamp = pool.GetChangeStamp();
        sorted.childStamp = mChildren.GetChangeCount();
    }
    // The registrations hold the clients while the stamp stands.
    const std::vector<KeyClient>& clients = sorted.clients;
    const auto focusable = [](const KeyClient& c) { return c.control && !c.control->mNotFocusable; };
    order.clear();
    size_t first = 0;
    while (first < clients.size() && !focusable(clients[first]))
        order.push_back(clients[first++].index);
    RCPtr<LControl> sender = param ? param->GetLast<LControl>() : RCPtr<LControl>();
    const int32_t senderPosition = sender ? IndexOfChild(sender.Get(), ChildControlList::kTab) : -1;
    size_t after = first;
    while (after < clients.size() && clients[after].rank <= senderPosition)
        ++after;
    for (size_t k = after; k < clients.size(); ++k)
        order.push_back(clients[k].index);
    for (size_t k = first; k < after; ++k)
        order.push_back(clients[k].index);
    return S_OK;
}

TavoResult LControl::SubscribeSiblingKeys()
{
    RCPtr<Handler> handlers = CreateHandlerTable();
    TavoResult result = S_OK;
    if (mParent)
        result = handlers->AddHandler(&LControl::OnSiblingKeyNotification,
                                      RCPtr<LNotificationDistributor>(mParent), u"NID_SIBLING_KEY");
    handlers->AddHandler(&LControl::OnSiblingKeyNotification, nullptr, u"NID_SIBLING_KEY");
    return result;
}

TavoResult LControl::OnSiblingKeyNotification(const RCPtr<LNotificationDistributor>&,
                                              const RCPtr<LNotification>& notification)
{
    if (!notification || !mHotKeys || !IsLive(this))
        return S_FALSE;
    auto* data =
        dynamic_cast<LSiblingKeyParam*>(const_cast<LRefCountedObject*>(notification->GetData().Get()));
    if (!data)
        return S_FALSE;
    const WString name = mHotKeys->FindBinding(data->mKey);
    if (name.IsEmpty())
        return S_FALSE;
    data->mResult = 0;
    RCPtr<LControl> self(this);
    Notify(name.c_str(), RCPtr<LSiblingKeyParam>(data));
    return S_FALSE;
}

KeyCode LControl::GetHotKey(const WString& name) const
{
    if (!mHotKeys)
        return kEmptyHotKey;
    Array<KeyCode> keys = mHotKeys->GetKeyCodes(name);
    return keys.GetCount() ? keys[0] : kEmptyHotKey;
}

bool LControl::HasHotKey(const WString& name) const
{
    return mHotKeys && mHotKeys->HasBinding(name);
}

TavoResult LControl::RegisterMenuHotKeys(const RCPtr<LMenuDescriptor>& menu, bool add)
{
    if (!menu)
        return E_INVALIDARG;
    LRootWindow* root = GetRootWindow();
    HotKeyMap* windowKeys = root ? root->GetHotKeyMap() : nullptr;
    HotKeyMap* appKeys =
        ControlEnvironment().applicationHotKeys ? ControlEnvironment().applicationHotKeys() : nullptr;
    RCPtr<Handler> handlers = CreateHandlerTable();
    for (int32_t i = 0; i < menu->GetItemCount(); ++i) {
        RCPtr<LMenuItemDescriptor> item = menu->GetItem(i);
        if (!item)
            continue;
        const WString& command = item->key;
        if (!command.IsEmpty() &&
            ((windowKeys && windowKeys->HasBinding(command)) || (appKeys && appKeys->HasBinding(command)))) {
            if (add)
                handlers->AddHandler(&LControl::OnMenuHotKey, nullptr, command.c_str());
            else
                handlers->RemoveHandler(nullptr, command.c_str());
        }
        if (item->GetItemCount() > 0)
            RegisterMenuHotKeys(RCPtr<LMenuDescriptor>(item), add);
    }
    return S_OK;
}

TavoResult LControl::OnMenuHotKey(const RCPtr<LNotificationDistributor>&,
                                  const RCPtr<LNotification>& notification)
{
    if (!notification)
        return S_FALSE;
    RCPtr<LNotification> command = LNotification::Create(notification->GetID(), nullptr);
    if (!command)
        return S_FALSE;
    LRootWindow* root = GetRootWindow();
    if (root && root->GetHotKeyMap() && root->GetHotKeyMap()->HasBinding(WString(notification->GetID()))) {
        if (RCPtr<LNotificationReceiver> listener = root->GetMenuListener())
            listener->ReceiveNotification(nullptr, command);
    } else if (RCPtr<LNotificationCenter> center = GetMainNotificationCenter())
        center->Post(command);
    return S_FALSE;
}

RCPtr<LMenuDescriptor> LControl::BuildMenuFromStrings() const
{
    if (!mStringTable)
        return nullptr;
    LStringTable::Pairs all;
    mStringTable->GetPairs(all);
    const WString prefix(u"CONTEXT_MENU");
    const auto collect = [&](const WString& lead) {
        LMenuDescriptor::KeyTextPairs pairs;
        for (uint32_t i = 0; i < all.GetCount(); ++i)
            if (all[i].first.Left(int32_t(lead.GetLength())) == lead &&
                all[i].first.GetLength() > prefix.GetLength() + 1)
                pairs.Add({all[i].first.Mid(int32_t(prefix.GetLength()) + 1), all[i].second});
        return pairs;
    };
    LMenuDescriptor::KeyTextPairs pairs = collect(prefix + u".");
    if (pairs.GetCount() == 0)
        pairs = collect(prefix);
    return pairs.GetCount() ? LMenuDescriptor::BuildFromKeyTextPairs(pairs) : nullptr;
}

}  // namespace Tavo
