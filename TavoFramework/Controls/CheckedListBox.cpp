#include "Controls/CheckedListBox.h"

#include "ControlBase/Look.h"
#include "Controls/Button.h"

#include <typeinfo>

#include <cstdio>

namespace Tavo {

WString LIndexedDataParam::ToString() const
{
    char text[64];
    std::snprintf(text, sizeof text, "LIndexedDataParam: Index = %d, Data = ", int(mIndex));
    WString result = WString(NString(text));
    if (mData)
        result += mData->ToString();
    return result;
}

WString LIndexedDataWithValueParam::ToString() const
{
    char text[64];
    std::snprintf(text, sizeof text, " Value = %lf", mValue);
    WString result = LIndexedDataParam::ToString();
    result += WString(NString(text));
    return result;
}

// ---- Row ----

TavoResult LCheckedListBoxItem::ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                                    const RCPtr<LNotification>& notification)
{
    TavoResult result;
    if (OfferToOwnHandler(mHandler, sender, notification, result))
        return result;
    return LListBoxItem::ReceiveNotification(sender, notification);
}

TavoResult LCheckedListBoxItem::Unsubscribe(const RCPtr<LNotificationDistributor>& distributor,
                                            const char16_t* name)
{
    if (mHandler)
        mHandler->RemoveHandler(distributor, name);
    return LListBoxItem::Unsubscribe(distributor, name);
}

TavoResult LCheckedListBoxItem::Initialize()
{
    const TavoResult base = LListBoxItem::Initialize();
    mHandler = ItemHandler::Create(this);
    mCheckBox = FindChildByName(u"checkBox");
    if (mCheckBox) {
        mHandler->AddHandler(&LCheckedListBoxItem::OnCheckBoxHover, mCheckBox, u"NID_HOVER_CONDITION_CHANGE");
        mCheckBox->SetNotFocusable(true);
    }
    return base;
}

TavoResult LCheckedListBoxItem::OnCheckBoxHover(const RCPtr<LNotificationDistributor>&,
                                                const RCPtr<LNotification>& n)
{
    auto* c = n ? dynamic_cast<const LConditionsParam*>(n->GetData().Get()) : nullptr;
    if (!c)
        return S_FALSE;
    // The row keeps its hover look while the pointer is over its check box.
    SetConditionFlag((c->mConditions & kConditionHoverRaw) && !(c->mPreviousConditions & kConditionHoverRaw));
    return S_OK;
}

bool LCheckedListBoxItem::SetRowLook(int32_t index, float state)
{
    if (Failed(SetLookWeight(index, 1.0f, true)))
        return false;
    if (IsCreated() && mCheckBoxFollowsLook && mCheckBox)
        return !Failed(mCheckBox->SelectLook(index, state));
    return true;
}

TavoResult LCheckedListBoxItem::SetCheckBoxLook(int32_t index, float state)
{
    if (!IsCreated() || !mCheckBox)
        return S_FALSE;
    return mCheckBox->SelectLook(index, state);
}

// ---- List ----

TavoResult LCheckedListBox::ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                                const RCPtr<LNotification>& notification)
{
    TavoResult result;
    if (OfferToOwnHandler(mCheckedHandler, sender, notification, result))
        return result;
    return LListBox::ReceiveNotification(sender, notification);
}

TavoResult LCheckedListBox::Unsubscribe(const RCPtr<LNotificationDistributor>& distributor,
                                        const char16_t* name)
{
    if (mCheckedHandler)
        mCheckedHandler->RemoveHandler(distributor, name);
    return LListBox::Unsubscribe(distributor, name);
}

TavoResult LCheckedListBox::Initialize()
{
    // Rows made while the base sets up report to this table.
    mCheckedHandler = CheckedHandler::Create(this);
    const TavoResult result = LListBox::Initialize();
    // A plain checked list lists its icons as the parts of its fourth look;
    // its subclasses use that look for themselves.
    const RCPtr<LLook> icons =
        typeid(*this) == typeid(LCheckedListBox) && GetLookCount() > 3 ? GetLook(3) : nullptr;
    if (icons && icons->GetDescriptor()) {
        for (const RCPtr<LDockedPart>& docked : icons->GetDescriptor()->dockedParts)
            if (RCPtr<LVisualPart> part = docked && docked->part ? docked->part->GetVisualPart() : nullptr)
                if (part->GetBitmap())
                    mIcons.push_back(part->GetBitmap());
        if (!mIcons.empty())
            SetCheckBoxPassive(true);
    }
    return result;
}

TavoResult LCheckedListBox::InsertRecord(uint32_t index)
{
    mChecked.insert(mChecked.begin() + std::min<size_t>(index, mChecked.size()), false);
    return LListBox::InsertRecord(index);
}

TavoResult LCheckedListBox::EraseRecord(uint32_t index)
{
    if (index < mChecked.size()) {
        if (mChecked[index])
            --mCheckedCount;
        mChecked.erase(mChecked.begin() + index);
    }
    return LListBox::EraseRecord(index);
}

TavoResult LCheckedListBox::EraseRecords(uint32_t first, uint32_t count)
{
    if (first < mChecked.size()) {
        const auto begin = mChecked.begin() + first;
        const auto end = begin + std::min<size_t>(count, mChecked.size() - first);
        mCheckedCount -= uint32_t(std::count(begin, end, true));
        mChecked.erase(begin, end);
    }
    return LListBox::EraseRecords(first, count);
}

TavoResult LCheckedListBox::SwapItems(uint32_t a, uint32_t b)
{
    std::vector<bool>::swap(mChecked[a], mChecked[b]);
    return LListBox::SwapItems(a, b);
}

int32_t LCheckedListBox::SetItemCount(uint32_t count)
{
    const int32_t result = LListBox::SetItemCount(count);
    RecountChecked();
    return result;
}

void LCheckedListBox::RecountChecked()
{
    mCheckedCount = uint32_t(std::count(mChecked.begin(), mChecked.end(), true));
}

void LCheckedListBox::SetItemChecked(uint32_t index, bool checked)
{
    if (index >= mChecked.size() || mChecked[index] == checked)
        return;
    mChecked[index] = checked;
    mCheckedCount += checked ? 1 : uint32_t(-1);
    int32_t row = -1;
    SetItemState(index, row);
}

RCPtr<LControl> LCheckedListBox::CheckBoxOf(LListBoxItem* row)
{
    auto* checked = dynamic_cast<LCheckedListBoxItem*>(row);
    return checked ? checked->GetCheckBox() : RCPtr<LControl>();
}

void LCheckedListBox::Listen(const RCPtr<LControl>& checkBox)
{
    if (!checkBox || !mCheckedHandler)
        return;
    if (mCheckBoxAutoValue)
        mCheckedHandler->AddHandler(&LCheckedListBox::OnCheckBoxValue, checkBox, u"NID_VALUE_CHANGE");
    else
        mCheckedHandler->AddHandler(&LCheckedListBox::OnCheckBoxClick, checkBox, u"NID_LEFT_CLICK");
}

void LCheckedListBox::SetCheckBoxPassive(bool passive)
{
    mCheckBoxPassive = passive;
    for (const auto& row : mRows)
        if (auto* box = dynamic_cast<LButton*>(CheckBoxOf(row.Get()).Get()))
            box->SetPassive(passive);
}

TavoResult LCheckedListBox::CreateItemControl()
{
    const TavoResult result = LListBox::CreateItemControl();
    if (Failed(result) || mRows.empty())
        return result;
    if (auto* row = dynamic_cast<LCheckedListBoxItem*>(mRows.back().Get()))
        row->mCheckBoxFollowsLook = mCheckBoxFollowsLook;
    const RCPtr<LControl> box = CheckBoxOf(mRows.back().Get());
    if (auto* button = dynamic_cast<LButton*>(box.Get())) {
        button->SetPassive(mCheckBoxPassive);
        button->SetAutoValueSet(mCheckBoxAutoValue);
    }
    Listen(box);
    // The row was bound before its check box was set up.
    int32_t bound = -1;
    SetItemState(mTopItem + uint32_t(mRows.size()) - 1, bound);
    return result;
}

void LCheckedListBox::SetCheckBoxAutoValue(bool autoValue)
{
    if (autoValue == mCheckBoxAutoValue)
        return;
    for (const auto& row : mRows)
        if (RCPtr<LControl> box = CheckBoxOf(row.Get())) {
            mCheckedHandler->RemoveHandler(box, mCheckBoxAutoValue ? u"NID_VALUE_CHANGE" : u"NID_LEFT_CLICK");
            LNotificationClient::Unsubscribe(box,
                                             mCheckBoxAutoValue ? u"NID_VALUE_CHANGE" : u"NID_LEFT_CLICK");
        }
    mCheckBoxAutoValue = autoValue;
    for (const auto& row : mRows) {
        const RCPtr<LControl> box = CheckBoxOf(row.Get());
        if (auto* button = dynamic_cast<LButton*>(box.Get()))
            button->SetAutoValueSet(autoValue);
        Listen(box);
    }
}

TavoResult LCheckedListBox::SetItemState(uint32_t index, int32_t& row)
{
    const TavoResult result = LListBox::SetItemState(index, row);
    if (Failed(result) || row < 0)
        return result;
    RCPtr<LControl> box = CheckBoxOf(mRows[size_t(row)].Get());
    if (!box)
        return result;
    const bool exists = index < GetItemCount();
    const double value = exists && mChecked[index] ? 1.0 : 0.0;
    // Binding a row is no check change.
    if (mCheckBoxAutoValue && mCheckedHandler && mCheckedHandler->FindHandler(box, u"NID_VALUE_CHANGE")) {
        CAutoNotificationDisabler<LCheckedListBox> quiet(mCheckedHandler, box, u"NID_VALUE_CHANGE");
        box->SetValue(value);
    } else
        box->SetValue(value);
    // Lists with icons show item i's icon on its check box.
    if (!mIcons.empty()) {
        const RCPtr<LBitmap> icon = GetItemIcon(index);
        for (int32_t i = box->GetLookCount(); i-- > 0;)
            if (const RCPtr<LLook>& look = box->GetLook(i); look && look->GetPartCount() > 0)
                look->SetPartImage(0, icon);
        box->InvalidateRect({0, 0, box->GetWidth(), box->GetHeight()}, true);
    }
    box->SetVisible(exists);
    return result;
}

TavoResult LCheckedListBox::ReportCheck(const RCPtr<LNotificationDistributor>& sender, bool valueChange)
{
    auto* box = dynamic_cast<LControl*>(sender.Get());
    if (mIgnoreCheckReports)
        return S_FALSE;
    LControl* row = box ? box->GetParent() : nullptr;
    const int32_t item = row ? GetItemIndexOfControl(row) : -1;
    if (item < 0 || uint32_t(item) >= GetItemCount())
        return S_FALSE;
    RCPtr<LControl> self(this);
    const double value = box->GetValue();
    RCPtr<LIndexedDataWithValueParam> record(new LIndexedDataWithValueParam(nullptr, uint32_t(item), value));
    const bool checked = value >= 0.5;
    if (valueChange && mChecked[size_t(item)] != checked)
        mCheckedCount += checked ? 1 : uint32_t(-1);
    mChecked[size_t(item)] = checked;
    ItemCheckChanged(uint32_t(item));
    SelectRange(uint32_t(item), item, !mMultiSelect);
    Notify(valueChange ? u"NID_ITEM_CHECK_CHANGE" : u"NID_ITEM_CHECKBOX_CLICKED", record);
    return S_FALSE;
}

TavoResult LCheckedListBox::OnCheckBoxValue(const RCPtr<LNotificationDistributor>& sender,
                                            const RCPtr<LNotification>&)
{
    return ReportCheck(sender, true);
}

TavoResult LCheckedListBox::OnCheckBoxClick(const RCPtr<LNotificationDistributor>& sender,
                                            const RCPtr<LNotification>&)
{
    return ReportCheck(sender, false);
}

}  // namespace Tavo
