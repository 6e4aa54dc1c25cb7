// The popup menu: rows built from a menu descriptor, shortcuts, the hot row
// and its submenus, choosing an entry, keys and pointer, and placing the
// menu on the screen. Long because a chain of open submenus shares one
// hot-row and closing logic.
#include "Controls/PopupMenu.h"

#include "Application/AppClock.h"
#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "ControlBase/Look.h"
#include "Controls/ComboMenu.h"
#include "Controls/ControlNotifications.h"
#include "Controls/MainMenu.h"
#include "Notification/NotificationParams.h"
#include "Renderer/Font.h"
#include "Renderer/Renderer.h"
#include "Renderer/RenderHost.h"
#include "System/HotKeyMap.h"
#include "System/KeyCode.h"
#include "Window/InputParams.h"
#include "Window/MenuActivationParam.h"
#include "Window/RootWindow.h"

#include <algorithm>
#include <cmath>

namespace Tavo {

namespace {

// Check-mark looks of a row's check box, from the checked row's looks.
constexpr int32_t kCheckOff = 0, kCheckOn = 7, kCheckOnHover = 8;

}  // namespace

// ---- Creation ----

TavoResult LPopupMenu::ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                           const RCPtr<LNotification>& notification)
{
    TavoResult result;
    if (OfferToOwnHandler(mPopupHandler, sender, notification, result))
        return result;
    return LCheckedListBox::ReceiveNotification(sender, notification);
}

TavoResult LPopupMenu::Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name)
{
    if (mPopupHandler)
        mPopupHandler->RemoveHandler(distributor, name);
    return LCheckedListBox::Unsubscribe(distributor, name);
}

TavoResult LPopupMenu::Initialize()
{
    // Rows made while the list sets up report their hover here too.
    mPopupHandler = PopupHandler::Create(this);
    if (Failed(LCheckedListBox::Initialize()))
        return E_FAIL;
    // An open menu takes the keys even inside a bar that never takes the
    // focus itself.
    SetFocusRoot(true);
    // The submenu template is cloned for each submenu opened, never shown itself.
    if (RCPtr<LControl> templ = FindChildByName(u"submenu")) {
        mSubmenuTemplate = templ->GetDescriptor();
        templ->Detach();
    }
    ApplyDefaultLimits();
    mRowOverhead = -1;
    SetHoverSelect(true);
    // Check marks only show an entry's state; a click on one chooses the row.
    SetCheckBoxPassive(true);
    SetCheckBoxAutoValue(false);
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
    LCheckedListBox::Finalize();
    SetVisible(false);
    SetClipToParent(false);
    ApplyDefaultLimits();
    return S_OK;
}

void LPopupMenu::ApplyDefaultLimits()
{
    // Without a minimum from the skin the popup is at least as wide as the
    // skin made it and one row high; it grows to its entries from there.
    const LLayoutDescriptor* skin = mDescriptor ? mDescriptor->GetLayout().Get() : nullptr;
    for (int32_t axis = 0; axis < 2; ++axis) {
        const LLayoutDescriptor::Axis* given = skin ? (axis == 0 ? &skin->x : &skin->y) : nullptr;
        const bool noMinimum = !given || (given->minAbs == 0 && given->minRel == 0);
        const bool maximum = given && (given->maxAbs != 0 || given->maxRel != 0);
        if (!noMinimum && !maximum)
            continue;
        LLayoutDescriptor::Axis spec;
        GetPlacement(axis, spec);
        if (noMinimum) {
            spec.minRef = 0;
            spec.minRel = 0;
            spec.minAbs = axis == 0 ? std::trunc(mWidth) : double(mItemHeight);
        }
        SetAxisPlacement(axis, spec);
    }
}

TavoResult LPopupMenu::SetDescriptor(const RCPtr<LControlDescriptor>& descriptor)
{
    const TavoResult result = LCheckedListBox::SetDescriptor(descriptor);
    if (Succeeded(result) && mMenu) {
        ClearSelection();
        RebuildItems();
    }
    return result;
}

TavoResult LPopupMenu::CreateItemControl()
{
    const TavoResult result = LCheckedListBox::CreateItemControl();
    if (Succeeded(result) && !mRows.empty() && mPopupHandler)
        mPopupHandler->AddHandler(&LPopupMenu::OnRowHoverStatus, mRows.back(), u"NID_HOVER_CONDITION_CHANGE");
    return result;
}

TavoResult LPopupMenu::ReleaseInternalReferences()
{
    mOpenSubmenu = nullptr;
    mOpenSubmenuItem = nullptr;
    mTarget = nullptr;
    mUpdater = nullptr;
    mSubmenuTemplate = nullptr;
    mMenu = nullptr;
    mPopupHandler = nullptr;
    return LCheckedListBox::ReleaseInternalReferences();
}

// ---- Entries and rows ----

RCPtr<LMenuItemDescriptor> LPopupMenu::Entry(int32_t row) const
{
    return mMenu && row >= 0 && row < mMenu->GetItemCount() ? mMenu->GetItem(row) : nullptr;
}

TavoResult LPopupMenu::SetMenuDescriptor(const RCPtr<LMenuDescriptor>& menu)
{
    if (!menu)
        return E_INVALIDARG;
    CloseSubmenu();
    mMenu = menu->Clone();
    ClearSelection();
    ResolveShortcuts();
    return RebuildItems();
}

TavoResult LPopupMenu::SetNotificationTarget(const RCPtr<LNotificationReceiver>& target)
{
    if (!target)
        return E_INVALIDARG;
    if (mTarget)
        return E_FAIL;
    mTarget = target;
    if (mMenu) {
        ResolveShortcuts();
        RebuildItems();
    }
    return S_OK;
}

TavoResult LPopupMenu::RebuildItems()
{
    if (!mMenu)
        return S_OK;
    const uint32_t count = uint32_t(mMenu->GetItemCount());
    SetItemCount(count);
    if (mRows.empty())
        return 1;
    LListBoxItem* last = mRows.back().Get();
    if (mRowOverhead == -1) {
        // Room around the texts: the check mark and a gap before the label,
        // the margin after the shortcut.
        const RCPtr<LControl> check = last->FindChildByName(u"checkBox");
        const RCPtr<LControl> keys = last->FindChildByName(u"hotKeyLabel");
        const int32_t checkRight = check ? int32_t(check->GetX() + check->GetWidth()) : 0;
        const int32_t keysRight = keys ? int32_t(keys->GetX() + keys->GetWidth()) : int32_t(last->GetWidth());
        mRowOverhead = checkRight + 20 + (int32_t(last->GetWidth()) - keysRight);
    }
    const bool wasSeparator = last->IsSeparator();
    const WString text = last->GetText();
    last->SetSeparator(true);
    last->UpdateGeometry();
    mSeparatorHeight = int32_t(last->GetHeight());
    last->SetSeparator(wasSeparator);
    last->SetLabelText(text, true);
    last->UpdateGeometry();

    mSeparatorCount = 0;
    mWidestRow = 0;
    ForgetItemWidths();
    for (uint32_t i = 0; i < count; ++i) {
        const RCPtr<LMenuItemDescriptor> entry = mMenu->GetItem(int32_t(i));
        ItemRecord& record = GetItemRecord(i);
        record.data = RCPtr<LRefCountedObject>(entry.Get());
        record.weight = 0.0;
        record.alternate = entry->GetItemCount() > 0;
        SetItemChecked(i, entry->secondFlag);
        SetItemSeparator(i, entry->separator);
        mSeparatorCount += entry->separator ? 1 : 0;
        mWidestRow = std::max(mWidestRow, MeasureItemWidth(i));
    }
    mSelectedCount = 0;
    mAnchor = mCaret = -1;
    FitWidthToContent(int32_t(GetScrollbarThickness().x) + mWidestRow);
    UpdateLayout();
    FitHeightToContent(GetContentHeight());
    RefreshRowsFrom(0);
    return S_OK;
}

int32_t LPopupMenu::MeasureItemWidth(uint32_t index)
{
    const RCPtr<LMenuItemDescriptor> entry = Entry(int32_t(index));
    if (!entry || mRows.empty())
        return 0;
    const RCPtr<LMeasurementRenderer> measurer = GetMeasurementRenderer();
    const RCPtr<LFont> font = mRows.back()->GetFont();
    double width = 0;
    if (measurer && font) {
        if (!entry->label.IsEmpty())
            width += measurer->MeasureString(entry->label, font).width;
        if (!entry->secondText.IsEmpty())
            width += measurer->MeasureString(entry->secondText, font).width + ShortcutInsets(*mRows.back());
    }
    return std::max(0, mRowOverhead) + RoundToInt32(width);
}

int32_t LPopupMenu::ShortcutInsets(const LControl& row)
{
    // The shortcut label draws in the row's look, inside that look's margins.
    const RCPtr<LLook> look = row.GetLookAt(row.GetActiveLookIndex());
    const LLookDescriptor* descriptor = look ? look->GetDescriptor().Get() : nullptr;
    if (!descriptor || !descriptor->hasTextProperties)
        return 0;
    // The box holds the text's left and right edges.
    constexpr float kWidth = 100;
    const RectT<float> box = LLook::ComputeTextBox(descriptor->text, kWidth, 20);
    return std::max(0, RoundToInt32(kWidth - (box.width - box.x)));
}

int32_t LPopupMenu::GetContentHeight() const
{
    const int64_t count = GetItemCount();
    const int64_t height =
        (count - mSeparatorCount) * mItemHeight + int64_t(mSeparatorCount) * mSeparatorHeight;
    return int32_t(std::clamp<int64_t>(height, 0, INT32_MAX));
}

bool LPopupMenu::IsRowSelectable(uint32_t index)
{
    const RCPtr<LMenuItemDescriptor> entry = Entry(int32_t(index));
    return entry && entry->firstFlag && !entry->separator;
}

TavoResult LPopupMenu::SwapItems(uint32_t, uint32_t)
{
    return E_NOTIMPL;
}

TavoResult LPopupMenu::SetItemState(uint32_t index, int32_t& row)
{
    const TavoResult result = LCheckedListBox::SetItemState(index, row);
    if (Failed(result) || row < 0)
        return result;
    auto* control = dynamic_cast<LCheckedListBoxItem*>(mRows[size_t(row)].Get());
    if (!control)
        return result;
    const RCPtr<LControl> keys = control->FindChildByName(u"hotKeyLabel");
    const RCPtr<LMenuItemDescriptor> entry = Entry(int32_t(index));
    if (!entry) {
        if (keys) {
            keys->SetLabelText(WString(), true);
            keys->SetVisible(false);
        }
        control->SetEnabled(false);
        control->SelectLook(0);
        return result;
    }
    if (keys) {
        // As wide as its text, so that it never covers the label.
        keys->SetLabelText(entry->secondText, true);
        keys->SetVisible(!entry->secondText.IsEmpty());
        const RCPtr<LMeasurementRenderer> measurer = GetMeasurementRenderer();
        const RCPtr<LFont> font = control->GetFont();
        if (!entry->secondText.IsEmpty() && measurer && font) {
            LLayoutDescriptor::Axis x;
            keys->GetPlacement(0, x);
            x.sizeRef = 2;
            x.sizeRel = 0;
            x.sizeAbs = RoundToInt32(measurer->MeasureString(entry->secondText, font).width) +
                        ShortcutInsets(*control);
            keys->SetAxisPlacement(0, x);
        }
    }
    control->SetSeparator(entry->separator);
    control->SetEnabled(entry->firstFlag);
    const bool hovered = control->IsHovered() || GetItemSelectionWeight(index) >= 0.5;
    control->SetCheckBoxLook(!entry->secondFlag ? kCheckOff : hovered ? kCheckOnHover : kCheckOn, 1.0f);
    // The shortcut is drawn in the row's state.
    if (keys) {
        const RCPtr<LLook> look = control->GetLookAt(control->GetActiveLookIndex());
        if (look && look->GetDescriptor())
            keys->SetLookDescriptor(look->GetDescriptor(), keys->GetActiveLookIndex());
    }
    return result;
}

// ---- Shortcuts ----

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

// ---- Hot row and submenus ----

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

bool LPopupMenu::PointerInRow(int32_t row)
{
    LRootWindow* window = GetRootWindow();
    const int32_t index = row < 0 ? -1 : GetRowOfItem(uint32_t(row));
    if (!window || index < 0)
        return false;
    LListBoxItem* control = mRows[size_t(index)].Get();
    const PointT<double> at = control->GetAbsolutePosition();
    const PointT<int32_t> pointer = window->GetMousePosition();
    return pointer.x >= at.x && pointer.y >= at.y && pointer.x < at.x + control->GetWidth() &&
           pointer.y < at.y + control->GetHeight();
}

void LPopupMenu::SetHotRow(int32_t row, bool fromPointer)
{
    const bool was = mPointerSelecting;
    mPointerSelecting = fromPointer;
    if (row >= 0 && uint32_t(row) < GetItemCount())
        SelectRange(uint32_t(row), -1, true);
    else
        ClearSelection();
    mPointerSelecting = was;
}

void LPopupMenu::OnSelectionChanged()
{
    if (LPopupMenu* parent = ParentPopup()) {
        const int32_t opener = parent->OpenSubmenuRow();
        if (parent->mCaret != opener && opener >= 0) {
            parent->SelectRange(uint32_t(opener), -1, true);
            parent->StopHover();
        }
    }
    const RCPtr<LMenuItemDescriptor> entry = Entry(mCaret);
    const bool opens = entry && entry->GetItemCount() > 0;
    if (!opens) {
        if (mOpenSubmenu)
            StartHover();
    } else if (entry.Get() == mOpenSubmenuItem.Get()) {
        StopHover();
    } else if (mPointerSelecting || PointerInRow(mCaret)) {
        StartHover();
    }
}

void LPopupMenu::OnIdle()
{
    if (!mHoverPending || GetAppClock().GetMilliseconds() - mHoverStart <= kHoverDelayMs)
        return;
    StopHover();
    CloseSubmenu();
    const RCPtr<LMenuItemDescriptor> entry = Entry(mCaret);
    if (entry && entry->GetItemCount() > 0)
        OpenSubmenu(mCaret);
}

TavoResult LPopupMenu::OpenSubmenu(int32_t row)
{
    RCPtr<LMenuItemDescriptor> entry = Entry(row);
    if (!entry || entry->GetItemCount() == 0)
        return E_INVALIDARG;
    CloseSubmenu();
    RCPtr<LControlFactory> factory = ControlEnvironment().factory;
    if (!factory || !mSubmenuTemplate)
        return E_FAIL;
    RCPtr<LLayoutDescriptor> layout =
        mSubmenuTemplate->GetLayout() ? mSubmenuTemplate->GetLayout()->Clone() : LLayoutDescriptor::Create();
    RCPtr<LControl> control = factory->CreateControl(
        LControlDescriptor::CloneWithLayout(mSubmenuTemplate, layout, u"submenu"), RCPtr<LControl>(this));
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
    sub->SetMenuDescriptor(RCPtr<LMenuDescriptor>(entry.Get()));

    // Beside the row, inside the window: to the left when the right has no
    // room, pushed up when the bottom has none, never past the top or left.
    LRootWindow* window = GetRootWindow();
    const PointT<int32_t> client = window ? window->GetClientSize() : PointT<int32_t>{INT32_MAX, INT32_MAX};
    const PointT<double> origin = GetAbsolutePosition();
    const int32_t rowIndex = GetRowOfItem(uint32_t(row));
    const double rowTop = rowIndex >= 0 ? mRows[size_t(rowIndex)]->GetY() - mScrollY : 0.0;
    LLayoutDescriptor::Axis x, y;
    sub->GetPlacement(0, x);
    sub->GetPlacement(1, y);
    double left = GetWidth();
    if (origin.x + left + sub->GetWidth() > client.x) {
        left = -sub->GetWidth();
        if (origin.x + left + sub->GetWidth() <= 0)
            left = GetWidth();
    }
    double top = rowTop;
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
        // The focus comes back here once the submenu holding it is gone,
        // without that loss closing this popup.
        mFocusReturnGuard = true;
        const bool hadFocus = sub->HasFocus() || sub->ContainsFocus();
        mOpenSubmenu = nullptr;
        sub->CloseSubmenu();
        sub->SetVisible(false);
        RemoveChild(RCPtr<LControl>(sub.Get()));
        if (hadFocus)
            SetFocus(true);
        mFocusReturnGuard = false;
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
    RCPtr<LControl> self(this);
    StopHover();
    CloseSubmenu();
    if (mParent)
        mParent->RemoveChild(self);
}

void LPopupMenu::PressedElsewhere()
{
    // A title's popup is its title's to close; a context menu closes itself.
    if (!ParentPopup() && mCloseOnActivation && !mClosing && IsShown(false))
        CloseMenuChain();
}

// ---- Choosing ----

void LPopupMenu::OnItemActivated()
{
    const RCPtr<LMenuItemDescriptor> entry = Entry(mCaret);
    if (!entry)
        return;
    if (entry->GetItemCount() == 0) {
        ActivateItem(mCaret);
        return;
    }
    if (entry.Get() != mOpenSubmenuItem.Get() && Succeeded(OpenSubmenu(mCaret)))
        mOpenSubmenu->SetHotRow(mOpenSubmenu->FindSelectable(0, 1), false);
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
        const int32_t index = row < int32_t(GetItemCount()) ? row : -1;
        auto param = LMenuActivationParam::Create(RCPtr<LRefCountedObject>(mMenu.Get()), uint32_t(index));
        target->ReceiveNotification(nullptr, LNotification::Create(entry->key.c_str(), param));
    }
    if (closes)
        CloseMenuChain();
    else if (LPopupMenu* top = TopPopup(); top != this)
        top->CloseSubmenu();
    return S_OK;
}

// ---- Keys and pointer ----

int32_t LPopupMenu::FindSelectable(int32_t from, int32_t step)
{
    for (int32_t i = from; i >= 0 && i < int32_t(GetItemCount()); i += step)
        if (IsRowSelectable(uint32_t(i)))
            return i;
    return -1;
}

TavoResult LPopupMenu::OnKey(const RCPtr<LKeyParam>& param)
{
    if (!param || !param->IsKeyPress())
        return LCheckedListBox::OnKey(param);
    // Compared whole: a key with a modifier held is no menu key.
    const uint32_t code = param->mKey.code & ~KeyCode::kKeyDown;
    auto is = [&](uint32_t virtualKey) { return code == (virtualKey << 16); };
    if (is(VKey::kLeft)) {
        if (LPopupMenu* parent = ParentPopup())
            parent->CloseSubmenu();
        return S_OK;
    }
    if (is(VKey::kRight)) {
        RCPtr<LMenuItemDescriptor> entry = Entry(mCaret);
        if (entry && entry->GetItemCount() > 0 && Succeeded(OpenSubmenu(mCaret))) {
            mOpenSubmenu->SetHotRow(mOpenSubmenu->FindSelectable(0, 1), false);
            mOpenSubmenu->SetFocus(true);
        }
        return S_OK;
    }
    if (is(VKey::kEscape)) {
        if (mCloseOnActivation && !mClosing)
            CloseMenuChain();
        return S_OK;
    }
    // The hot row to the ends, or by the rows that fit the popup's height.
    const int32_t last = int32_t(GetItemCount()) - 1;
    const int32_t page = std::max(1, int32_t(GetClientRect().height) / std::max(1, mItemHeight));
    int32_t wanted = -2;
    if (is(VKey::kHome))
        wanted = FindSelectable(0, 1);
    else if (is(VKey::kEnd))
        wanted = FindSelectable(last, -1);
    else if (is(VKey::kPageDown)) {
        wanted = FindSelectable(std::min(last, std::max(mCaret, 0) + page), -1);
        if (wanted <= mCaret)
            wanted = FindSelectable(std::max(mCaret + 1, 0), 1);
    } else if (is(VKey::kPageUp)) {
        wanted = FindSelectable(std::max(0, (mCaret < 0 ? last : mCaret) - page), 1);
        if (mCaret >= 0 && wanted >= mCaret)
            wanted = FindSelectable(mCaret - 1, -1);
    }
    if (wanted != -2) {
        if (wanted >= 0)
            SetHotRow(wanted, false);
        return S_OK;
    }
    return LCheckedListBox::OnKey(param);
}

void LPopupMenu::OnMouseMove(const RCPtr<LPointWithModifiersParam>& pointer)
{
    LCheckedListBox::OnMouseMove(pointer);
    if (!pointer || (!mLeftDrag && !mLeftPressed))
        return;
    const bool inside =
        pointer->mX >= 0 && pointer->mY >= 0 && pointer->mX < GetWidth() && pointer->mY < GetHeight();
    if (inside) {
        // A press dragged over the rows: the row under the pointer is hot.
        const int32_t item = GetItemIndexAtPoint({pointer->mX, pointer->mY});
        if (item >= 0 && IsRowSelectable(uint32_t(item)))
            SetHotRow(item, true);
        return;
    }
    // A drag that leaves the menu over a title or another menu of the chain
    // goes on there as a press.
    PointT<int32_t> local;
    RCPtr<LControl> under = HitTestFromTop(ToWindowPoint({pointer->mX, pointer->mY}), local, true);
    if (!under || under.Get() == this)
        return;
    bool take = dynamic_cast<LComboMenu*>(under.Get()) != nullptr;
    for (LControl* c = under.Get(); c && !take; c = c->GetParent()) {
        auto* popup = dynamic_cast<LPopupMenu*>(c);
        if (!popup || popup == this)
            continue;
        for (LPopupMenu* p = TopPopup(); p && !take; p = p->mOpenSubmenu.Get())
            take = p == popup;
    }
    if (take)
        under->UITarget_OnMouseDown(1, 0, 0);
}

TavoResult LPopupMenu::OnRowHoverStatus(const RCPtr<LNotificationDistributor>& sender,
                                        const RCPtr<LNotification>& n)
{
    auto* c = DataOf<LConditionsParam>(n);
    auto* row = dynamic_cast<LControl*>(sender.Get());
    if (c && row && ControlEnvironment().setStatusText) {
        const bool began = (c->mConditions & kConditionHover) && !(c->mPreviousConditions & kConditionHover);
        const bool ended = !(c->mConditions & kConditionHover) && (c->mPreviousConditions & kConditionHover);
        const RCPtr<LMenuItemDescriptor> entry = Entry(GetItemIndexOfControl(row));
        if (began && entry && !entry->hint.IsEmpty())
            ControlEnvironment().setStatusText(entry->hint);
        else if (ended)
            ControlEnvironment().setStatusText(WString());
    }
    // The list's own row handling follows.
    const bool was = mPointerSelecting;
    mPointerSelecting = true;
    const TavoResult result = OnRowHover(sender, n);
    mPointerSelecting = was;
    return result;
}

// ---- Focus, visibility and states ----

TavoResult LPopupMenu::SetFocus(bool first)
{
    // Asked to take the focus it holds: the topmost popup closes. A submenu
    // given the focus by its parent keeps it.
    if ((HasFocus() || ContainsFocus()) && !ParentPopup() && !mFocusReturnGuard && mCloseOnActivation &&
        !mClosing) {
        CloseMenuChain();
        return S_OK;
    }
    return LCheckedListBox::SetFocus(first);
}

void LPopupMenu::ConditionsChanged(const RCPtr<LConditionsParam>& conditions)
{
    LCheckedListBox::ConditionsChanged(conditions);
    if (!conditions)
        return;
    const uint32_t now = conditions->mConditions, before = conditions->mPreviousConditions;
    const uint32_t focus = kConditionHasFocus | kConditionContainsFocus;
    if (((now ^ before) & focus) && !ParentPopup() && !(now & focus) && IsShown(false) && GetWidth() > 0 &&
        GetHeight() > 0 && mCloseOnActivation && !mClosing && !mFocusReturnGuard) {
        CloseMenuChain();
        return;
    }
    if ((now & kConditionVisible) && !(before & kConditionVisible)) {
        // Opened again: no entry is hot until the pointer or a key says so.
        if (mCaret >= 0)
            ClearSelection();
        RefreshItemStates();
    }
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
        LMenuDescriptor::ItemInfo info;
        mMenu->GetItemInfo(i, info);
        // Bit 1 enabled, bit 2 checked, as the updater's control answers; it
        // may rename the entry it is given.
        uint32_t state = (info.firstFlag ? 1u : 0u) | (info.secondFlag ? 2u : 0u);
        if (Failed(mUpdater->GetControl()->UpdateMenuItemState(mMenu, i, entry->key, state)))
            continue;
        LMenuDescriptor::ItemInfo now{(state & 1) != 0, (state & 2) != 0, entry->label};
        entry->label = info.label;
        ApplyItemInfo(i, now);
    }
}

TavoResult LPopupMenu::ApplyItemInfo(int32_t row, const LMenuDescriptor::ItemInfo& info)
{
    const RCPtr<LMenuItemDescriptor> entry = Entry(row);
    if (!entry)
        return E_INVALIDARG;
    if (entry->firstFlag == info.firstFlag && entry->secondFlag == info.secondFlag &&
        entry->label == info.label)
        return S_FALSE;
    if (!entry->separator) {
        entry->firstFlag = info.firstFlag;
        if (entry->GetItemCount() == 0) {
            entry->secondFlag = info.secondFlag;
            SetItemChecked(uint32_t(row), info.secondFlag);
        }
    }
    if (entry->label != info.label) {
        entry->label = info.label;
        RebuildItems();
    }
    int32_t bound = -1;
    SetItemState(uint32_t(row), bound);
    return S_OK;
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
    if (!HasFocus())
        SetFocus(true);
    return S_OK;
}

}  // namespace Tavo
