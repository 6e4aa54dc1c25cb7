#include "Controls/ComboBox.h"

#include "Controls/TextBox.h"
#include "System/KeyCode.h"
#include "Window/InputParams.h"
#include "Window/RootWindow.h"

#include <algorithm>
#include <cmath>

namespace Tavo {

namespace {

constexpr uint32_t kKeyReturn = KeyCode::PressCode(VKey::kReturn);
constexpr uint32_t kKeyEscape = KeyCode::PressCode(VKey::kEscape);
constexpr uint32_t kKeyDown = KeyCode::PressCode(VKey::kDown);

}  // namespace

TavoResult LComboBox::ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                          const RCPtr<LNotification>& notification)
{
    TavoResult result;
    if (OfferToOwnHandler(mHandler, sender, notification, result))
        return result;
    return LDropDownControl::ReceiveNotification(sender, notification);
}

TavoResult LComboBox::Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name)
{
    if (mHandler)
        mHandler->RemoveHandler(distributor, name);
    return LDropDownControl::Unsubscribe(distributor, name);
}

TavoResult LComboBox::ApplyProperties()
{
    const TavoResult result = LDropDownControl::ApplyProperties();
    mInitialSelectedIndex = 0;
    WString value;
    if (GetProperty(u"INITIAL_SELECTED_INDEX", value))
        mInitialSelectedIndex = _wtoi(value.c_str());
    return result;
}

TavoResult LComboBox::Initialize()
{
    if (Failed(LDropDownControl::Initialize()))
        return E_FAIL;
    mList = RCPtrDynamicCast<LListBox>(FindChildByName(u"listBox"));
    if (!mList)
        return E_FAIL;
    mHandler = ComboHandler::Create(this);
    const RCPtr<LNotificationDistributor> list(mList.Get());
    mHandler->AddHandler(&LComboBox::OnListVisibility, list, u"NID_VISIBLITY_CONDITION_CHANGE");
    mHandler->AddHandler(&LComboBox::OnListItemActivated, list, u"NID_ITEM_ACTIVATED");
    mTextBox = RCPtrDynamicCast<LTextBox>(FindChildByName(u"textBox"));
    if (mTextBox) {
        const RCPtr<LNotificationDistributor> box(mTextBox.Get());
        mHandler->AddHandler(&LComboBox::OnTextBoxForward, box, u"NID_TEXTBOX_VALIDATING");
        mHandler->AddHandler(&LComboBox::OnTextBoxValidated, box, u"NID_TEXTBOX_VALIDATED");
        mHandler->AddHandler(&LComboBox::OnTextBoxForward, box, u"NID_TEXTBOX_TEXT_CHANGE");
        mHandler->AddHandler(&LComboBox::OnTextBoxFocus, box, u"NID_HAS_FOCUS_CONDITION_CHANGE");
    }
    mList->SetHoverSelect(true);
    mList->SetVisible(false);
    if (RCPtr<LStringTable> table = GetStringTable()) {
        mList->SetItemsFromProperties(table);
        const int32_t initial = mInitialSelectedIndex;
        if (initial >= 0 && uint32_t(initial) < mList->GetItemCount() &&
            mList->SelectRange(uint32_t(initial), -1, true) >= 0) {
            // The first choice is no change: nothing is reported.
            LControl::SetText(mList->GetItemText(uint32_t(initial)));
            mSelectedIndex = initial;
        }
    }
    return S_OK;
}

TavoResult LComboBox::Finalize()
{
    if (!mList)
        return E_FAIL;
    mList->SetVisible(false);
    // Limits the skin left open: as wide as the face, at least one row high.
    const RCPtr<LControlDescriptor>& descriptor = mList->GetDescriptor();
    const LLayoutDescriptor* skin = descriptor ? descriptor->GetLayout().Get() : nullptr;
    if (skin && (skin->x.minAbs == 0 || skin->x.maxAbs == 0)) {
        LLayoutDescriptor::Axis x;
        mList->GetPlacement(0, x);
        if (skin->x.minAbs == 0)
            x.minAbs = std::trunc(mWidth);
        mList->SetAxisPlacement(0, x);
    }
    if (skin && (skin->y.minAbs == 0 || skin->y.maxAbs == 0)) {
        LLayoutDescriptor::Axis y;
        mList->GetPlacement(1, y);
        if (skin->y.minAbs == 0)
            y.minAbs = mList->GetItemHeight(), y.minRel = 0;
        mList->SetAxisPlacement(1, y);
    }
    LLayoutDescriptor::Axis y;
    mList->GetPlacement(1, y);
    if (y.maxAbs > 0)
        mList->FitLookToItems();
    return S_OK;
}

WString LComboBox::GetToolTipText() const
{
    if (IsTextClipped())
        return GetText();
    return LControl::GetToolTipText();
}

bool LComboBox::IsDroppedDown()
{
    return mList && (!mList->GetLayout() || mList->GetLayout()->visible) && mList->GetWidth() > 0 &&
           mList->GetHeight() > 0;
}

int32_t LComboBox::StateLookIndex() const
{
    if (!IsEnabled(true))
        return 6;
    const bool open = mList && (!mList->GetLayout() || mList->GetLayout()->visible) &&
                      mList->GetWidth() > 0 && mList->GetHeight() > 0;
    if (open)
        return IsHovered() ? 5 : 4;
    return (IsHovered() ? 2 : 0) + (HasFocus() || ContainsFocus() ? 1 : 0);
}

TavoResult LComboBox::UpdateLook()
{
    SelectLook(StateLookIndex());
    return S_OK;
}

TavoResult LComboBox::SetText(const WString& text)
{
    if (!SetLabelText(text, true))
        return S_FALSE;
    SetSelectedIndex(mList ? mList->FindItemByText(text, false) : -1);
    return S_OK;
}

int32_t LComboBox::SetSelectedIndex(int32_t index)
{
    if (!mList)
        return mSelectedIndex = -1;
    if (index < 0) {
        mSelectedIndex = -1;
        mList->ClearSelection();
        return -1;
    }
    if (mList->SelectRange(uint32_t(index), index, true) < 0)
        return mSelectedIndex = -1;
    const bool changed = index != mSelectedIndex;
    mSelectedIndex = index;
    const WString text = mList->GetItemText(uint32_t(index));
    SetLabelText(text, true);
    if (mTextBox)
        mTextBox->SetText(text);
    if (changed) {
        RCPtr<LControl> self(this);
        Notify(u"NID_SELECTION_CHANGE");
    }
    return index;
}

TavoResult LComboBox::SetItemCount(uint32_t count)
{
    if (!mList)
        return E_FAIL;
    const TavoResult result = mList->SetItemCount(count);
    if (mSelectedIndex >= 0 && uint32_t(mSelectedIndex) >= count)
        SetSelectedIndex(-1);
    if (IsDroppedDown())
        SetDroppedDown(true);
    return result;
}

void LComboBox::ConditionsChanged(const RCPtr<LConditionsParam>& conditions)
{
    if (conditions && (conditions->mConditions & kConditionLeftPressed) &&
        !(conditions->mPreviousConditions & kConditionLeftPressed) && mList)
        mPress = {conditions->mX - mList->GetX(), conditions->mY - mList->GetY()};
    LDropDownControl::ConditionsChanged(conditions);
    UpdateLook();
}

TavoResult LComboBox::OnKey(const RCPtr<LKeyParam>& param)
{
    if (!param)
        return S_FALSE;
    const uint32_t key = param->mKey.code;
    const bool open = IsDroppedDown();
    if (!open && (key == kKeyDown || key == kKeyReturn)) {
        SetDroppedDown(true);
        return S_OK;
    }
    if (open && key == kKeyEscape) {
        mList->SetVisible(false);
        return S_OK;
    }
    return S_FALSE;
}

TavoResult LComboBox::RouteUnhandledKey(const RCPtr<LKeyParam>& param)
{
    if (param && mList && param->mKey.code == kKeyEscape)
        mList->SetVisible(false);
    return S_OK;
}

void LComboBox::PlaceList()
{
    LRootWindow* window = GetRootWindow();
    const double y = GetAbsolutePosition().y, h = mHeight;
    const double windowHeight = window ? window->GetClientSize().y : 0.0;
    const double below = windowHeight - (y + h) - kEdgeMargin, above = y - kEdgeMargin;
    const double need = double(uint64_t(uint32_t(mList->GetItemHeight())) * mList->GetItemCount());
    const RCPtr<LControlDescriptor>& descriptor = mList->GetDescriptor();
    const double designed = descriptor && descriptor->GetLayout() ? descriptor->GetLayout()->y.maxAbs : 0.0;
    LLayoutDescriptor::Axis axis;
    mList->GetPlacement(1, axis);
    bool downward;
    if (axis.maxAbs != 0 && designed > 0 && (below >= designed || above >= designed))
        downward = below >= designed;
    else
        downward = need <= below || above <= below;
    const double avail = downward ? below : above;
    if (designed > 0)
        axis.maxAbs = std::min(avail, designed);
    else
        axis.maxAbs = need <= avail ? 0.0 : avail;
    axis.placementAnchor = downward ? 0.0f : 1.0f;
    axis.positionRel = downward ? 1.0f : 0.0f;
    axis.positionRefName = WString();
    axis.positionAbs = 0.0;
    axis.docked = false;
    axis.sizeAbs = std::min(need, avail);
    mList->SetAxisPlacement(1, axis);
    mList->FitLookToItems();
}

void LComboBox::MarkTextInList()
{
    int32_t found = -1;
    for (uint32_t i = mList->GetItemCount(); i-- > 0;)
        if (mList->GetItemText(i) == GetText())
            found = int32_t(i);
    const uint32_t item = found < 0 ? 0 : uint32_t(found);
    if (mList->SelectRange(item, -1, true) >= 0)
        mList->ScrollToItem(item);
}

TavoResult LComboBox::SetDroppedDown(bool open)
{
    if (!mList)
        return E_FAIL;
    RCPtr<LControl> self(this);
    if (open && mParent) {
        Notify(u"NID_DROPDOWN_OPENING");
        PlaceList();
        MarkTextInList();
    }
    mList->SetVisible(open);
    if (open) {
        if (mLeftPressed)
            mList->UITarget_OnMouseDown(1, RoundToInt32(mPress.x), RoundToInt32(mPress.y));
        mList->SetFocus(true);
    }
    return S_OK;
}

TavoResult LComboBox::OnListVisibility(const RCPtr<LNotificationDistributor>&, const RCPtr<LNotification>&)
{
    UpdateLook();
    return S_OK;
}

TavoResult LComboBox::OnListItemActivated(const RCPtr<LNotificationDistributor>&, const RCPtr<LNotification>&)
{
    const int32_t caret = mList->GetCaret();
    SetSelectedIndex(caret >= 0 && uint32_t(caret) < mList->GetItemCount() ? caret : -1);
    return 1;
}

TavoResult LComboBox::OnTextBoxForward(const RCPtr<LNotificationDistributor>&, const RCPtr<LNotification>& n)
{
    RCPtr<LControl> self(this);
    Notify(n->GetID(), n->GetData());
    return 1;
}

TavoResult LComboBox::OnTextBoxValidated(const RCPtr<LNotificationDistributor>& sender,
                                         const RCPtr<LNotification>& n)
{
    // Typed text naming an item (case aside) chooses it; other text stays
    // in the box with no item chosen.
    if (auto* typed = dynamic_cast<const LTextValidationParams*>(n->GetData().Get())) {
        const TavoResult found = mList->SelectItemByText(typed->mText, false);
        SetSelectedIndex(found < 0 ? -1 : int32_t(found));
    }
    return OnTextBoxForward(sender, n);
}

TavoResult LComboBox::OnTextBoxFocus(const RCPtr<LNotificationDistributor>&, const RCPtr<LNotification>& n)
{
    auto* c = dynamic_cast<const LConditionsParam*>(n->GetData().Get());
    if (c && (c->mConditions & kConditionHasFocus) && !(c->mPreviousConditions & kConditionHasFocus))
        mList->SetVisible(false);
    return 1;
}

}  // namespace Tavo
