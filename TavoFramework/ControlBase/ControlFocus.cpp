// Focus and tab order of a control: which control may take the keyboard
// focus, the walk of Tab and Shift+Tab, and the marking of the focus path.
#include "ControlBase/Control.h"
#include "Window/InputParams.h"
#include "Window/RootWindow.h"

#include <unordered_map>

namespace Tavo {

// Answers of one focus walk (a SetFocus, a Tab, one query), so that nested
// containers ask each control once: a descent that asks again at every
// level would cost the square of the depth, or double per level. The
// answers hold while the walk changes nothing; every change of focus
// forgets them, since the notifications it sends may change the tree.
struct FocusWalk
{
    struct Answers
    {
        int8_t reachable = -1, keptOut = -1, below = -1;
    };
    struct State
    {
        int32_t depth = 0;
        std::unordered_map<const LControl*, Answers> answers;
    };
    static State& Get()
    {
        static auto* state = new State();
        return *state;
    }
    FocusWalk() { ++Get().depth; }
    ~FocusWalk()
    {
        if (--Get().depth == 0)
            Get().answers.clear();
    }
    FocusWalk(const FocusWalk&) = delete;
    FocusWalk& operator=(const FocusWalk&) = delete;

    static void Forget() { Get().answers.clear(); }

    // Shown and enabled with every ancestor: what Tab may step onto.
    static bool Reachable(const LControl* c)
    {
        auto& answers = Get().answers;
        if (auto it = answers.find(c); it != answers.end() && it->second.reachable >= 0)
            return it->second.reachable != 0;
        const bool reachable =
            c->IsShown(false) && c->IsEnabled(false) && (!c->mParent || Reachable(c->mParent));
        answers[c].reachable = reachable;
        return reachable;
    }

    // IsNotFocusable with ancestors: up to and including the nearest focus root.
    static bool KeptOut(const LControl* c)
    {
        auto& answers = Get().answers;
        if (auto it = answers.find(c); it != answers.end() && it->second.keptOut >= 0)
            return it->second.keptOut != 0;
        const bool keptOut = c->mNotFocusable || (!c->mFocusRoot && c->mParent && KeptOut(c->mParent));
        answers[c].keptOut = keptOut;
        return keptOut;
    }
};

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
    FocusWalk walk;
    return mParent && !mFocusRoot && FocusWalk::KeptOut(mParent);
}

bool LControl::CanTakeFocus()
{
    FocusWalk walk;
    if (!FocusWalk::Reachable(this))
        return false;
    return !HasFocusableDescendant() && !mNotFocusable && !InheritsNotFocusable();
}

bool LControl::HasFocusableDescendant()
{
    FocusWalk walk;
    auto& answers = FocusWalk::Get().answers;
    if (auto it = answers.find(this); it != answers.end() && it->second.below >= 0)
        return it->second.below != 0;
    bool below = false;
    if (FocusWalk::Reachable(this) && !mNotFocusable)
        for (uint32_t i = mChildren.Count(); i-- > 0 && !below;) {
            RCPtr<LControl> child = mChildren.GetAt(i);
            below = child->IsFocusCandidate();
        }
    answers[this].below = below;
    return below;
}

bool LControl::IsFocusCandidate()
{
    FocusWalk walk;
    // CanTakeFocus without its own descendant test, which has just failed.
    return HasFocusableDescendant() ||
           (FocusWalk::Reachable(this) && !mNotFocusable && !InheritsNotFocusable());
}

// The child on the path down to the window's focus holder, found from the
// holder up: a scan of the children would cost a wide container's width at
// every Tab. Empty when the window names no holder below this control.
static LControl* ChildTowardsFocusHolder(LControl* parent)
{
    LRootWindow* root = parent->GetRootWindow();
    const RCPtr<LControl> holder = root ? root->GetFocusControl() : nullptr;
    for (LControl* c = holder.Get(); c; c = c->GetParent())
        if (c->GetParent() == parent)
            return c;
    return nullptr;
}

RCPtr<LControl> LControl::GetFocusedChild()
{
    if (LControl* hint = ChildTowardsFocusHolder(this); hint && (hint->mHasFocus || hint->mContainsFocus))
        return RCPtr<LControl>(hint);
    for (uint32_t i = mChildren.Count(); i-- > 0;) {
        const RCPtr<LControl>& child = mChildren.GetAt(i);
        if (child->mHasFocus || child->mContainsFocus)
            return child;
    }
    return nullptr;
}

int32_t LControl::IndexOfChild(const LControl* child, int32_t order)
{
    // Tab asks at every step: a scan would make walking a wide container
    // cost the square of its width.
    if (order == ChildControlList::kTab)
        return mChildren.TabPositionOf(child);
    for (uint32_t i = mChildren.Count(); i-- > 0;)
        if (mChildren.GetAt(i, order).Get() == child)
            return int32_t(i);
    return -1;
}

RCPtr<LControl> LControl::GetEdgeFocusableChild(bool first)
{
    FocusWalk walk;
    const uint32_t n = mChildren.Count();
    if (n == 0)
        return nullptr;
    const RCPtr<LControl> start = mChildren.GetAt(first ? 0 : n - 1, ChildControlList::kTab);
    if (start->IsFocusCandidate())
        return start;
    for (RCPtr<LControl> next = GetNextTabChild(start, !first); next && next != start;
         next = GetNextTabChild(next, !first))
        if (next->IsFocusCandidate())
            return next;
    return nullptr;
}

RCPtr<LControl> LControl::GetNextTabChild(const RCPtr<LControl>& from, bool backwards)
{
    FocusWalk walk;
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
        return FocusWalk::Reachable(from.Get()) ? from : nullptr;
    for (; j != i; j = step(j)) {
        const RCPtr<LControl>& candidate = mChildren.GetAt(uint32_t(j), ChildControlList::kTab);
        if (FocusWalk::Reachable(candidate.Get()))
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
    FocusWalk walk;
    RCPtr<LControl> self(this);
    const bool backwards = param->IsShift();
    // Ctrl+Tab leaves this container as a whole.
    if (param->mKey.code & KeyCode::kCtrl) {
        PassTabUpward(LKeyParam::Create(KeyCode((backwards ? KeyCode::kShift : 0u) | u'\t')));
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
        if (next->IsFocusCandidate()) {
            next->SetFocus(!backwards);
            return S_OK;
        }
        if (!FocusWalk::Reachable(from.Get()) && next != from)
            from = next;
        next = GetNextTabChild(next, backwards);
    }
    if (!param->mContained)
        PassTabUpward(param);
    return S_OK;
}

TavoResult LControl::SetFocus(bool first)
{
    FocusWalk walk;
    RCPtr<LControl> self(this);
    if (mHasFocus && CanTakeFocus())
        return S_OK;
    if (HasFocusableDescendant()) {
        if (mContainsFocus) {
            RCPtr<LControl> focused = GetFocusedChild();
            if (!focused)
                return E_FAIL;
            if (focused->IsFocusCandidate())
                return focused->SetFocus(first);
        }
        RCPtr<LControl> child = first ? GetFirstFocusableChild() : GetLastFocusableChild();
        return child ? child->SetFocus(first) : E_FAIL;
    }
    if (CanTakeFocus()) {
        FocusWalk::Forget();
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
        FocusWalk::Forget();
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
        if (LControl* hint = ChildTowardsFocusHolder(this);
            hint && hint != child.Get() && (hint->mHasFocus || hint->mContainsFocus))
            return RCPtr<LControl>(hint)->UITarget_OnFocusLost();
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
    FocusWalk::Forget();
    return ok;
}

bool LControl::UITarget_OnFocusLost()
{
    RCPtr<LControl> self(this);
    if (mHasFocus) {
        mHasFocus = false;
        UpdateConditions();
        FocusWalk::Forget();
        if (LRootWindow* root = GetRootWindow())
            if (root->GetFocusControl() == self)
                root->SetFocusControl(nullptr);
        return true;
    }
    mContainsFocus = false;
    RCPtr<LControl> focused = GetFocusedChild();
    const bool ok = focused && focused->UITarget_OnFocusLost();
    UpdateConditions();
    FocusWalk::Forget();
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
    FocusWalk walk;
    FocusWalk::Forget();
    if (IsFocusCandidate() && mParent && mParent->mHasFocus)
        SetFocus(true);
    else if (notFocusable && mHasFocus && mParent)
        mParent->SetFocus(true);
}

TavoResult LControl::TakeFocusFromChild(const RCPtr<LControl>&)
{
    FocusWalk walk;
    if (!mNotFocusable && !InheritsNotFocusable())
        return SetFocus(true);
    return mParent ? mParent->TakeFocusFromChild(RCPtr<LControl>(this)) : S_FALSE;
}

TavoResult LControl::TakeFocusOnPress()
{
    if (mNoFocusOnPress)
        return S_FALSE;
    FocusWalk walk;
    if (!mNotFocusable && !InheritsNotFocusable())
        return SetFocus(true);
    return mParent ? mParent->TakeFocusFromChild(RCPtr<LControl>(this)) : S_FALSE;
}

}  // namespace Tavo
