// Focus and tab order of a control: which control may take the keyboard
// focus, the walk of Tab and Shift+Tab, and the marking of the focus path.
#include "ControlBase/Control.h"
#include "Window/InputParams.h"
#include "Window/RootWindow.h"

namespace Tavo {

namespace {

// Shown and enabled with every ancestor: what Tab may step onto.
bool IsReachable(LControl* c)
{
    return c->IsShown(true) && c->IsEnabled(false) && (!c->GetParent() || c->GetParent()->IsEnabled(true));
}

}  // namespace

bool LControl::IsNotFocusable(bool withAncestors) const
{
    if (!withAncestors)
        return mNotFocusable;
    for (const LControl* c = this; c; c = c->mParent) {
        if (c->mNotFocusable)
            return true;
        if (c->mFocusRoot)
            return false;
    }
    return false;
}

bool LControl::InheritsNotFocusable() const
{
    return mParent && !mFocusRoot && mParent->IsNotFocusable(true);
}

bool LControl::CanTakeFocus()
{
    if (!IsShown(true) || !IsEnabled(false) || (mParent && !mParent->IsEnabled(true)))
        return false;
    return !HasFocusableDescendant() && !mNotFocusable && !InheritsNotFocusable();
}

bool LControl::HasFocusableDescendant()
{
    if (!IsShown(true) || !IsEnabled(false) || (mParent && !mParent->IsEnabled(true)) || mNotFocusable)
        return false;
    for (uint32_t i = mChildren.Count(); i-- > 0;) {
        RCPtr<LControl> child = mChildren.GetAt(i);
        if (child->CanTakeFocus() || child->HasFocusableDescendant())
            return true;
    }
    return false;
}

RCPtr<LControl> LControl::GetFocusedChild()
{
    for (uint32_t i = mChildren.Count(); i-- > 0;) {
        const RCPtr<LControl>& child = mChildren.GetAt(i);
        if (child->mHasFocus || child->mContainsFocus)
            return child;
    }
    return nullptr;
}

int32_t LControl::IndexOfChild(const LControl* child, int32_t order)
{
    for (uint32_t i = mChildren.Count(); i-- > 0;)
        if (mChildren.GetAt(i, order).Get() == child)
            return int32_t(i);
    return -1;
}

RCPtr<LControl> LControl::GetEdgeFocusableChild(bool first)
{
    const uint32_t n = mChildren.Count();
    if (n == 0)
        return nullptr;
    const RCPtr<LControl> start = mChildren.GetAt(first ? 0 : n - 1, ChildControlList::kTab);
    if (start->CanTakeFocus() || start->HasFocusableDescendant())
        return start;
    for (RCPtr<LControl> next = GetNextTabChild(start, !first); next && next != start;
         next = GetNextTabChild(next, !first))
        if (next->CanTakeFocus() || next->HasFocusableDescendant())
            return next;
    return nullptr;
}

RCPtr<LControl> LControl::GetNextTabChild(const RCPtr<LControl>& from, bool backwards)
{
    if (!from || from->mParent != this)
        return nullptr;
    const int32_t n = int32_t(mChildren.Count());
    const int32_t i = IndexOfChild(from.Get(), ChildControlList::kTab);
    if (i < 0)
        return nullptr;
    const auto step = [&](int32_t j) {
        return backwards ? (j == 0 ? n - 1 : j - 1) : (j + 1 == n ? 0 : j + 1);
    };
    int32_t j = step(i);
    if (j == i)
        return IsReachable(from.Get()) ? from : nullptr;
    for (; j != i; j = step(j)) {
        const RCPtr<LControl>& candidate = mChildren.GetAt(uint32_t(j), ChildControlList::kTab);
        if (IsReachable(candidate.Get()))
            return candidate;
    }
    return nullptr;
}

void LControl::PassTabUpward(const RCPtr<LKeyParam>& param)
{
    param->Add(RCPtr<LControl>(this));
    if (mParent)
        mParent->ProcessTabKey(param);
    else if (LRootWindow* root = GetRootWindow())
        root->MoveFocusToNextWindow(param);
}

TavoResult LControl::ProcessTabKey(const RCPtr<LKeyParam>& param)
{
    if (!param)
        return E_INVALIDARG;
    RCPtr<LControl> self(this);
    const bool backwards = param->IsShift();
    // Ctrl+Tab leaves this container as a whole.
    if (param->mKey.code & KeyCode::kCtrl) {
        PassTabUpward(LKeyParam::Create(KeyCode(backwards ? 0x2000009u : 9u)));
        return S_OK;
    }
    RCPtr<LControl> from = param->GetLast<LControl>();
    RCPtr<LControl> next = GetNextTabChild(from, backwards);
    while (next && next != from) {
        if (!param->mContained) {
            const int32_t pf = IndexOfChild(from.Get(), ChildControlList::kTab);
            const int32_t pn = IndexOfChild(next.Get(), ChildControlList::kTab);
            if (backwards ? pf <= pn : pf >= pn) {
                PassTabUpward(param);
                return S_OK;
            }
        }
        if (next->CanTakeFocus() || next->HasFocusableDescendant()) {
            next->SetFocus(!backwards);
            return S_OK;
        }
        if (!IsReachable(from.Get()) && next != from)
            from = next;
        next = GetNextTabChild(next, backwards);
    }
    if (!param->mContained)
        PassTabUpward(param);
    return S_OK;
}

TavoResult LControl::SetFocus(bool first)
{
    RCPtr<LControl> self(this);
    if (mHasFocus && CanTakeFocus())
        return S_OK;
    if (HasFocusableDescendant()) {
        if (mContainsFocus) {
            RCPtr<LControl> focused = GetFocusedChild();
            if (!focused)
                return E_FAIL;
            if (focused->CanTakeFocus() || focused->HasFocusableDescendant())
                return focused->SetFocus(first);
        }
        RCPtr<LControl> child = first ? GetFirstFocusableChild() : GetLastFocusableChild();
        return child ? child->SetFocus(first) : E_FAIL;
    }
    if (CanTakeFocus()) {
        TavoResult result = S_OK;
        if (!mContainsFocus) {
            mHasFocus = true;
            if (mParent)
                result = mParent->AcquireFocusPath(self) ? 1 : 0;
        } else {
            mHasFocus = true;
            mContainsFocus = false;
            RCPtr<LControl> focused = GetFocusedChild();
            result = focused ? (focused->UITarget_OnFocusLost() ? 1 : 0) : E_FAIL;
        }
        if (LRootWindow* root = GetRootWindow())
            root->SetFocusControl(self);
        UpdateConditions();
        return result;
    }
    // Nothing here can hold the focus: the tree's first focusable control
    // takes it, unless the top has nothing of the focus either.
    RCPtr<LControl> top = GetRootControl();
    if (mHasFocus || !top)
        return E_FAIL;
    // A top that holds the focus path but can place it nowhere would only
    // ask itself again.
    if (top == self || (!top->mHasFocus && !top->mContainsFocus))
        return S_FALSE;
    return top->SetFocus(true);
}

bool LControl::AcquireFocusPath(const RCPtr<LControl>& child)
{
    RCPtr<LControl> self(this);
    if (mContainsFocus) {
        for (uint32_t i = mChildren.Count(); i-- > 0;) {
            RCPtr<LControl> other = mChildren.GetAt(i);
            if (other != child && (other->mHasFocus || other->mContainsFocus))
                return other->UITarget_OnFocusLost();
        }
        return false;
    }
    mContainsFocus = true;
    bool ok = true;
    if (mHasFocus)
        mHasFocus = false;
    else if (mParent)
        ok = mParent->AcquireFocusPath(self);
    UpdateConditions();
    return ok;
}

bool LControl::UITarget_OnFocusLost()
{
    RCPtr<LControl> self(this);
    if (mHasFocus) {
        mHasFocus = false;
        UpdateConditions();
        if (LRootWindow* root = GetRootWindow())
            if (root->GetFocusControl() == self)
                root->SetFocusControl(nullptr);
        return true;
    }
    mContainsFocus = false;
    RCPtr<LControl> focused = GetFocusedChild();
    const bool ok = focused && focused->UITarget_OnFocusLost();
    UpdateConditions();
    return ok;
}

void LControl::SetNotFocusable(bool notFocusable)
{
    int32_t& tab = Layout().tabStop;
    if (mNotFocusable == notFocusable && (tab < 0) == notFocusable)
        return;
    RCPtr<LControl> self(this);
    mNotFocusable = notFocusable;
    // A control out of the focus keeps its tab stop negative: 0 <-> -1, n <-> -n.
    if ((tab < 0) != notFocusable)
        tab = tab == 0 ? -1 : -tab;
    if (mParent)
        mParent->GetChildren().Changed();
    if ((CanTakeFocus() || HasFocusableDescendant()) && mParent && mParent->mHasFocus)
        SetFocus(true);
    else if (notFocusable && mHasFocus && mParent)
        mParent->SetFocus(true);
}

TavoResult LControl::TakeFocusFromChild(const RCPtr<LControl>&)
{
    if (!mNotFocusable && !InheritsNotFocusable())
        return SetFocus(true);
    return mParent ? mParent->TakeFocusFromChild(RCPtr<LControl>(this)) : S_FALSE;
}

TavoResult LControl::TakeFocusOnPress()
{
    if (mNoFocusOnPress)
        return S_FALSE;
    if (!mNotFocusable && !InheritsNotFocusable())
        return SetFocus(true);
    return mParent ? mParent->TakeFocusFromChild(RCPtr<LControl>(this)) : S_FALSE;
}

}  // namespace Tavo
