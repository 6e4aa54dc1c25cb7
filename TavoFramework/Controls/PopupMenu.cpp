#include "Controls/PopupMenu.h"

#include "Application/AppClock.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Controls/ComboMenu.h"
#include "Controls/MainMenu.h"
#include "Notification/NotificationParams.h"
#include "Renderer/Font.h"
#include "Renderer/Renderer.h"
#include "System/HotKeyMap.h"
#include "System/KeyCode.h"
#include "Window/InputParams.h"
#include "Window/MenuActivationParam.h"
#include "Window/RootWindow.h"

#include <algorithm>

namespace Tavo {

namespace {

uint32_t VirtualKey(const char16_t* name)
{
    return uint32_t(KeyCode::FindVirtualKey(name));
}

}  // namespace

TavoResult LPopupMenu::Initialize()
{
    const TavoResult result = LControl::Initialize();
    if (Failed(result))
        return E_FAIL;
    // The submenu template is cloned for each submenu opened, never shown itself.
    if (RCPtr<LControl> templ = FindChildByName(u"submenu")) {
        mSubmenuTemplate = templ->GetDescriptor();
        templ->Detach();
    }
    // The popup draws its rows itself: a row template from the skin would
    // cover the first row and take its pointer input.
    if (RCPtr<LControl> row = FindChildByName(u"templateItem"))
        row->Detach();
    WString text;
    if (GetProperty(u"ITEM_HEIGHT", text))
        mRowHeight = std::max(1.0, NString(text).ToDouble());
    if (mStringTable) {
        LStringTable::Pairs pairs;
        mStringTable->GetPairs(pairs);
        if (pairs.GetCount()) {
            RCPtr<LMenuDescriptor> menu = LMenuDescriptor::BuildFromKeyTextPairs(pairs);
            return menu ? SetMenuDescriptor(menu) : E_INVALIDARG;
        }
    }
    return 1;
}

TavoResult LPopupMenu::Finalize()
{
    SetVisible(false);
    SetClipToParent(false);
    return S_OK;
}

void LPopupMenu::SetRowHeights(double rowHeight, double separatorHeight)
{
    mRowHeight = rowHeight;
    mSeparatorHeight = separatorHeight;
}

RCPtr<LMenuItemDescriptor> LPopupMenu::Entry(int32_t row) const
{
    return mMenu && row >= 0 && row < mMenu->GetItemCount() ? mMenu->GetItem(row) : nullptr;
}

double LPopupMenu::RowTop(int32_t row) const
{
    double y = 0;
    for (int32_t i = 0; i < row && mMenu && i < mMenu->GetItemCount(); ++i)
        y += mMenu->GetItem(i)->separator ? mSeparatorHeight : mRowHeight;
    return y;
}

double LPopupMenu::GetContentHeight() const
{
    return RowTop(mMenu ? mMenu->GetItemCount() : 0);
}

int32_t LPopupMenu::RowAt(double y) const
{
    if (!mMenu || y < 0)
        return -1;
    double top = 0;
    for (int32_t i = 0; i < mMenu->GetItemCount(); ++i) {
        top += mMenu->GetItem(i)->separator ? mSeparatorHeight : mRowHeight;
        if (y < top)
            return i;
    }
    return -1;
}

bool LPopupMenu::IsRowSelectable(int32_t row) const
{
    RCPtr<LMenuItemDescriptor> entry = Entry(row);
    return entry && entry->firstFlag && !entry->separator;
}

LPopupMenu* LPopupMenu::ParentPopup() const
{
    return dynamic_cast<LPopupMenu*>(mParent);
}

LPopupMenu* LPopupMenu::TopPopup()
{
    LPopupMenu* top = this;
    while (LPopupMenu* up = top->ParentPopup())
        top = up;
    return top;
}

RCPtr<LNotificationReceiver> LPopupMenu::Target() const
{
    if (mTarget)
        return mTarget;
    for (LControl* c = mParent; c; c = c->GetParent())
        if (!dynamic_cast<LPopupMenu*>(c))
            return RCPtr<LNotificationReceiver>(c);
    return nullptr;
}

TavoResult LPopupMenu::SetMenuDescriptor(const RCPtr<LMenuDescriptor>& menu)
{
    if (!menu)
        return E_INVALIDARG;
    CloseSubmenu();
    mMenu = menu->Clone();
    mHot = -1;
    ResolveShortcuts();
    return S_OK;
}

TavoResult LPopupMenu::SetNotificationTarget(const RCPtr<LNotificationReceiver>& target)
{
    if (!target)
        return E_INVALIDARG;
    if (mTarget)
        return E_FAIL;
    mTarget = target;
    if (mMenu)
        ResolveShortcuts();
    return S_OK;
}

TavoResult LPopupMenu::ResolveShortcuts()
{
    RCPtr<LNotificationReceiver> target = Target();
    if (!mMenu || !target)
        return E_FAIL;
    LRootWindow* window = GetRootWindow();
    HotKeyMap* windowMap = window ? window->GetHotKeyMap() : nullptr;
    HotKeyMap* appMap =
        ControlEnvironment().applicationHotKeys ? ControlEnvironment().applicationHotKeys() : nullptr;
    std::vector<HotKeyMap*> maps;
    if (!mTarget) {
        auto* control = dynamic_cast<LControl*>(target.Get());
        if (control && control->GetHotKeyMap())
            maps.push_back(control->GetHotKeyMap().get());
        maps.push_back(windowMap);
        maps.push_back(appMap);
    } else {
        if (!window)
            return E_FAIL;
        if (window->GetMenuListener().Get() == mTarget.Get())
            maps.push_back(windowMap);
        maps.push_back(appMap);
    }
    maps.erase(std::remove(maps.begin(), maps.end(), nullptr), maps.end());
    ResolveEntries(mMenu, maps);
    return S_OK;
}

void LPopupMenu::ResolveEntries(const RCPtr<LMenuDescriptor>& menu, const std::vector<HotKeyMap*>& maps)
{
    for (int32_t i = 0; i < menu->GetItemCount(); ++i) {
        RCPtr<LMenuItemDescriptor> entry = menu->GetItem(i);
        if (entry->GetItemCount() > 0) {
            ResolveEntries(RCPtr<LMenuDescriptor>(entry.Get()), maps);
            continue;
        }
        if (!entry->secondText.IsEmpty() || entry->key.IsEmpty())
            continue;
        for (HotKeyMap* map : maps) {
            Array<KeyCode> keys = map->GetKeyCodes(entry->key);
            if (keys.GetCount()) {
                entry->secondText = KeyCode::ToDisplayString(keys[0]);
                break;
            }
        }
    }
}

int32_t LPopupMenu::OpenSubmenuRow() const
{
    if (!mOpenSubmenuItem || !mMenu)
        return -1;
    for (int32_t i = mMenu->GetItemCount(); i-- > 0;)
        if (mMenu->GetItem(i).Get() == mOpenSubmenuItem.Get())
            return i;
    return -1;
}

void LPopupMenu::StartHover()
{
    mHoverStart = GetAppClock().GetMilliseconds();
    if (!mHoverPending) {
        mHoverPending = true;
        RequestIdle();
    }
}

void LPopupMenu::StopHover()
{
    if (mHoverPending) {
        mHoverPending = false;
        CancelIdle();
    }
}

void LPopupMenu::SetHotRow(int32_t row, bool fromPointer)
{
    if (row == mHot)
        return;
    mHot = row;
    InvalidateLocalRect({0, 0, GetWidth(), GetHeight()}, true);
    if (LPopupMenu* parent = ParentPopup()) {
        const int32_t opener = parent->OpenSubmenuRow();
        if (parent->mHot != opener) {
            parent->mHot = opener;
            parent->StopHover();
        }
    }
    RCPtr<LMenuItemDescriptor> entry = Entry(row);
    const bool opens = entry && entry->GetItemCount() > 0;
    if (!opens) {
        if (mOpenSubmenu)
            StartHover();
    } else if (entry.Get() == mOpenSubmenuItem.Get()) {
        StopHover();
    } else if (fromPointer) {
        StartHover();
    }
}

void LPopupMenu::OnIdle()
{
    if (!mHoverPending || GetAppClock().GetMilliseconds() - mHoverStart <= kHoverDelayMs)
        return;
    StopHover();
    CloseSubmenu();
    RCPtr<LMenuItemDescriptor> entry = Entry(mHot);
    if (entry && entry->GetItemCount() > 0)
        OpenSubmenu(mHot);
}

TavoResult LPopupMenu::DrawContent(LRenderer* renderer)
{
    if (!renderer || !mMenu)
        return S_OK;
    const RCPtr<LFont> font = GetFont();
    const int32_t width = int32_t(GetWidth());
    double top = 0;
    for (int32_t i = 0; i < mMenu->GetItemCount(); ++i) {
        RCPtr<LMenuItemDescriptor> entry = mMenu->GetItem(i);
        const int32_t y = int32_t(top);
        if (entry->separator) {
            const int32_t middle = y + int32_t(mSeparatorHeight / 2);
            renderer->FillRect({4, middle, std::max(0, width - 8), 1}, ColorRGBA(0.5f, 0.5f, 0.5f, 1.0f),
                               false);
            top += mSeparatorHeight;
            continue;
        }
        const int32_t height = int32_t(mRowHeight);
        if (i == mHot)
            renderer->FillRect({0, y, width, height}, ColorRGBA(0.2f, 0.4f, 0.8f, 1.0f), false);
        const ColorRGBA ink = !entry->firstFlag ? ColorRGBA(0.55f, 0.55f, 0.55f, 1.0f)
                              : i == mHot       ? ColorRGBA(1.0f, 1.0f, 1.0f, 1.0f)
                                                : ColorRGBA(0.0f, 0.0f, 0.0f, 1.0f);
        if (entry->secondFlag)
            renderer->FillRect({5, y + height / 2 - 3, 6, 6}, ink, false);
        if (font) {
            renderer->DrawText(entry->label, font, {16, y + 2}, ink);
            // Shortcuts start at a fixed column right of the labels.
            if (!entry->secondText.IsEmpty())
                renderer->DrawText(entry->secondText, font, {std::max(16, width * 3 / 5), y + 2}, ink);
        }
        top += mRowHeight;
    }
    return S_OK;
}

TavoResult LPopupMenu::OpenSubmenu(int32_t row)
{
    RCPtr<LMenuItemDescriptor> entry = Entry(row);
    if (!entry || entry->GetItemCount() == 0)
        return E_INVALIDARG;
    CloseSubmenu();
    RCPtr<LControlFactory> factory = ControlEnvironment().factory;
    RCPtr<LControlDescriptor> templ = mSubmenuTemplate ? mSubmenuTemplate : mDescriptor;
    if (!factory || !templ)
        return E_FAIL;
    RCPtr<LLayoutDescriptor> layout =
        templ->GetLayout() ? templ->GetLayout()->Clone() : LLayoutDescriptor::Create();
    RCPtr<LControl> control = factory->CreateControl(
        LControlDescriptor::CloneWithLayout(templ, layout, u"submenu"), RCPtr<LControl>(this));
    auto* sub = dynamic_cast<LPopupMenu*>(control.Get());
    if (!sub) {
        if (control)
            RemoveChild(control);
        return E_FAIL;
    }
    mOpenSubmenu = RCPtr<LPopupMenu>(sub);
    mOpenSubmenuItem = entry;
    sub->mTarget = Target();
    sub->mCloseOnActivation = mCloseOnActivation;
    sub->mUpdater = mUpdater;
    sub->mRowHeight = mRowHeight;
    sub->mSeparatorHeight = mSeparatorHeight;
    sub->SetMenuDescriptor(RCPtr<LMenuDescriptor>(entry.Get()));

    // Beside the row, inside the window: to the left when the right has no
    // room, pushed up when the bottom has none, never past the top or left.
    LRootWindow* window = GetRootWindow();
    const PointT<int32_t> client = window ? window->GetClientSize() : PointT<int32_t>{INT32_MAX, INT32_MAX};
    const PointT<double> origin = GetAbsolutePosition();
    LLayoutDescriptor::Axis x, y;
    sub->GetPlacement(0, x);
    sub->GetPlacement(1, y);
    double left = GetWidth();
    if (origin.x + left + sub->GetWidth() > client.x) {
        left = -sub->GetWidth();
        if (origin.x + left + sub->GetWidth() <= 0)
            left = GetWidth();
    }
    double top = RowTop(row);
    if (origin.y + top + sub->GetHeight() > client.y) {
        top = client.y - sub->GetHeight() - origin.y;
        if (origin.y + top + sub->GetHeight() <= 0)
            top = -origin.y;
    }
    x.positionRef = y.positionRef = 0;
    x.positionRel = y.positionRel = 0;
    x.positionAbs = left;
    y.positionAbs = top;
    sub->SetPlacement(x, y);
    sub->SetVisible(true);
    return S_OK;
}

void LPopupMenu::CloseSubmenu()
{
    StopHover();
    if (mOpenSubmenu) {
        RCPtr<LPopupMenu> sub = mOpenSubmenu;
        // The focus comes back here before the submenu holding it goes.
        if (sub->HasFocus() || sub->ContainsFocus())
            SetFocus(true);
        mOpenSubmenu = nullptr;
        sub->CloseSubmenu();
        sub->SetVisible(false);
        RemoveChild(RCPtr<LControl>(sub.Get()));
    }
    mOpenSubmenuItem = nullptr;
}

void LPopupMenu::CloseMenuChain()
{
    mClosing = true;
    if (LPopupMenu* parent = ParentPopup()) {
        parent->CloseMenuChain();
        return;
    }
    StopHover();
    CloseSubmenu();
    if (mParent)
        mParent->RemoveChild(RCPtr<LControl>(this));
}

TavoResult LPopupMenu::OnItemActivated(int32_t row)
{
    RCPtr<LMenuItemDescriptor> entry = Entry(row);
    if (!entry || !IsRowSelectable(row))
        return S_FALSE;
    if (entry->GetItemCount() == 0)
        return ActivateItem(row);
    if (entry.Get() != mOpenSubmenuItem.Get() && Succeeded(OpenSubmenu(row)))
        mOpenSubmenu->SetHotRow(mOpenSubmenu->NextSelectable(-1, 1), false);
    return S_OK;
}

TavoResult LPopupMenu::ActivateItem(int32_t row)
{
    RCPtr<LMenuItemDescriptor> entry = Entry(row);
    if (!entry || entry->GetItemCount() > 0)
        return E_INVALIDARG;
    RCPtr<LPopupMenu> self(this);
    for (LControl* c = mParent; c; c = c->GetParent()) {
        if (auto* bar = dynamic_cast<LMainMenu*>(c)) {
            RCPtr<LControl> focus = bar->GetFocusBeforeMenu();
            if (focus && focus->GetRootWindow())
                focus->SetFocus(true);
            break;
        }
    }
    const bool closes = mCloseOnActivation && !mClosing;
    if (closes)
        SetVisible(false);
    if (RCPtr<LNotificationReceiver> target = Target()) {
        // The opener hears of the choice from the top of the chain, wherever
        // in it the entry was chosen.
        RCPtr<LPopupMenu> top(TopPopup());
        top->Notify(u"NID_ITEM_ACTIVATED");
        auto param = LMenuActivationParam::Create(RCPtr<LRefCountedObject>(mMenu.Get()), uint32_t(row));
        target->ReceiveNotification(nullptr, LNotification::Create(entry->key.c_str(), param));
    }
    if (closes)
        CloseMenuChain();
    else if (LPopupMenu* top = TopPopup(); top != this)
        top->CloseSubmenu();
    return S_OK;
}

int32_t LPopupMenu::NextSelectable(int32_t from, int32_t step) const
{
    const int32_t count = mMenu ? mMenu->GetItemCount() : 0;
    for (int32_t i = from + step; i >= 0 && i < count; i += step)
        if (IsRowSelectable(i))
            return i;
    return from;
}

TavoResult LPopupMenu::OnKey(const RCPtr<LKeyParam>& param)
{
    if (!param || !param->IsKeyPress())
        return S_FALSE;
    // Compared whole: a key with a modifier held is no menu key.
    const uint32_t code = param->mKey.code & ~KeyCode::kKeyDown;
    auto is = [&](const char16_t* name) { return code == (VirtualKey(name) << 16); };
    if (is(u"VKEY_LEFT")) {
        if (LPopupMenu* parent = ParentPopup())
            parent->CloseSubmenu();
        return S_OK;
    }
    if (is(u"VKEY_RIGHT")) {
        RCPtr<LMenuItemDescriptor> entry = Entry(mHot);
        if (entry && entry->GetItemCount() > 0 && Succeeded(OpenSubmenu(mHot))) {
            mOpenSubmenu->SetHotRow(mOpenSubmenu->NextSelectable(-1, 1), false);
            mOpenSubmenu->SetFocus(true);
        }
        return S_OK;
    }
    if (is(u"VKEY_ESCAPE")) {
        if (mCloseOnActivation && !mClosing)
            CloseMenuChain();
        return S_OK;
    }
    if (is(u"VKEY_DOWN") || is(u"VKEY_UP")) {
        SetHotRow(NextSelectable(mHot, is(u"VKEY_DOWN") ? 1 : -1), false);
        return S_OK;
    }
    if (is(u"VKEY_RETURN")) {
        OnItemActivated(mHot);
        return S_OK;
    }
    return S_FALSE;
}

void LPopupMenu::OnMouseMove(const RCPtr<LPointWithModifiersParam>& param)
{
    if (!param)
        return;
    const bool inside = param->mX >= 0 && param->mY >= 0 && param->mX < GetWidth() && param->mY < GetHeight();
    if (inside) {
        const int32_t row = RowAt(param->mY);
        if (row >= 0 && IsRowSelectable(row))
            SetHotRow(row, true);
        return;
    }
    if (!mLeftDrag && !mLeftPressed)
        return;
    // A drag that leaves the menu over a title or another menu of the chain
    // goes on there as a press.
    PointT<int32_t> local;
    RCPtr<LControl> under = HitTestFromTop(ToWindowPoint({param->mX, param->mY}), local, true);
    if (!under || under.Get() == this)
        return;
    bool take = dynamic_cast<LComboMenu*>(under.Get()) != nullptr;
    for (LControl* c = under.Get(); c && !take; c = c->GetParent()) {
        auto* popup = dynamic_cast<LPopupMenu*>(c);
        if (!popup)
            continue;
        for (LPopupMenu* p = TopPopup(); p && !take; p = p->mOpenSubmenu.Get())
            take = p == popup;
    }
    if (take)
        under->UITarget_OnMouseDown(1, 0, 0);
}

void LPopupMenu::OnLeftUp(const RCPtr<LMouseButtonParam>& param)
{
    if (!param)
        return;
    if (param->mX >= 0 && param->mY >= 0 && param->mX < GetWidth() && param->mY < GetHeight())
        OnItemActivated(RowAt(param->mY));
}

void LPopupMenu::ConditionsChanged(const RCPtr<LConditionsParam>& conditions)
{
    if (!conditions)
        return;
    const uint32_t now = conditions->mConditions, before = conditions->mPreviousConditions;
    const uint32_t focus = kConditionHasFocus | kConditionContainsFocus;
    if (((now ^ before) & focus) && !ParentPopup() && !(now & focus) && IsShown(false) && GetWidth() > 0 &&
        GetHeight() > 0 && mCloseOnActivation && !mClosing) {
        CloseMenuChain();
        return;
    }
    if ((now & kConditionVisible) && !(before & kConditionVisible))
        RefreshItemStates();
    if (!(now & kConditionVisible) && (before & kConditionVisible) && !ParentPopup())
        CloseSubmenu();
}

void LPopupMenu::RefreshItemStates()
{
    if (!mUpdater) {
        if (auto* control = dynamic_cast<LControl*>(Target().Get()))
            mUpdater = LMenuItemUpdater::Create(RCPtr<LControl>(control));
    }
    if (!mUpdater || !mUpdater->GetControl() || !mMenu)
        return;
    for (int32_t i = mMenu->GetItemCount(); i-- > 0;) {
        RCPtr<LMenuItemDescriptor> entry = mMenu->GetItem(i);
        if (entry->GetItemCount() > 0 || entry->separator)
            continue;
        // Bit 1 enabled, bit 2 checked, as the updater's control answers.
        uint32_t state = (entry->firstFlag ? 1u : 0u) | (entry->secondFlag ? 2u : 0u);
        if (mUpdater->GetControl()->UpdateMenuItemState(mMenu, i, entry->key, state) != S_OK)
            continue;
        entry->firstFlag = (state & 1) != 0;
        entry->secondFlag = (state & 2) != 0;
    }
}

TavoResult LPopupMenu::PositionAndOpen(const PointT<int32_t>& windowPoint)
{
    LRootWindow* window = GetRootWindow();
    const PointT<int32_t> client = window ? window->GetClientSize() : PointT<int32_t>{INT32_MAX, INT32_MAX};
    const PointT<double> parent = mParent ? mParent->GetAbsolutePosition() : PointT<double>{0, 0};
    LLayoutDescriptor::Axis axes[2];
    const double origin[2] = {double(windowPoint.x), double(windowPoint.y)};
    const double size[2] = {GetWidth(), GetHeight()};
    const double limit[2] = {double(client.x), double(client.y)};
    const double parentAt[2] = {parent.x, parent.y};
    for (int axis = 0; axis < 2; ++axis) {
        GetPlacement(axis, axes[axis]);
        double at = origin[axis];
        if (at + size[axis] > limit[axis])
            at = limit[axis] - size[axis];
        at = std::max(at, 0.0);
        axes[axis].positionRef = 0;
        axes[axis].positionRel = 0;
        axes[axis].positionAbs = at - parentAt[axis];
    }
    SetPlacement(axes[0], axes[1]);
    SetVisible(true);
    if (!mHasFocus)
        SetFocus(true);
    return S_OK;
}

TavoResult LPopupMenu::ReleaseInternalReferences()
{
    mOpenSubmenu = nullptr;
    mOpenSubmenuItem = nullptr;
    mTarget = nullptr;
    mUpdater = nullptr;
    mSubmenuTemplate = nullptr;
    mMenu = nullptr;
    return LControl::ReleaseInternalReferences();
}

}  // namespace Tavo
