// The control class LControl: its child list, creation steps, descriptor
// properties, value, text and looks, conditions, bounds and coordinates.
// Drawing, input, focus and dragging live in ControlDraw.cpp, ControlInput.cpp,
// ControlFocus.cpp and ControlDrag.cpp; what is left here shares the one
// table of virtual operations every widget overrides, so it stays together.
#include "ControlBase/Control.h"

#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "ControlBase/Look.h"
#include "ControlBase/MenuDescriptor.h"
#include "Notification/NotificationCenter.h"
#include "Notification/NotificationParams.h"
#include "Window/InputParams.h"
#include "Application/AppClock.h"
#include "ObjectBase/Exception.h"
#include "Renderer/Font.h"
#include "Renderer/RenderHost.h"
#include "System/HotKeyMap.h"
#include "Window/RootWindow.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace Tavo {

namespace {

constexpr double kDoubleLimit = 4503599627370496.0;
// Nested SetBounds calls on one control beyond this depth stop re-laying out
// children and siblings: skins whose sizes depend on each other in a circle
// settle instead of recursing without end.
constexpr int32_t kMaxBoundsDepth = 8;

[[noreturn]] void ThrowGetAt(int line)
{
    ThrowException<std::runtime_error>("", "Tavo::LControl::ChildControlList::GetAt", "ControlBase\\Control",
                                       line);
}

bool ClipsToParent(const LControl* c)
{
    return !c->GetLayout() || c->GetLayout()->clipToParent;
}

int32_t DockedCount(const LControl* c)
{
    const auto& l = c->GetLayout();
    return l ? int32_t(l->x.docked) + int32_t(l->y.docked) : 0;
}

RCPtr<LFont> DefaultFont()
{
    if (ControlEnvironment().defaultFont)
        return ControlEnvironment().defaultFont();
    WString face;
    float size = 0;
    int32_t style = 0;
    if (IRenderHost* host = GetRenderHost(); host && Succeeded(host->GetDefaultFont(face, size, style)))
        return LFont::FindOrCreate(face, size, style);
    return nullptr;
}

bool IsTrueProperty(WString value)
{
    return value.ToLower().Trim() == u"true";
}

std::u16string Key(const WString& name)
{
    return std::u16string(name.c_str(), name.GetLength());
}

bool IsComplete(const LLayoutDescriptor::Axis& a)
{
    // A named reference needs its name.
    if (a.positionRef == 2 && a.positionRefName.IsEmpty())
        return false;
    if (a.sizeRef == 3 && a.sizeRefName.IsEmpty())
        return false;
    return true;
}

}  // namespace

LControlEnvironment& ControlEnvironment()
{
    static auto* environment = new LControlEnvironment();
    return *environment;
}

// ---------------------------------------------------------------------------
// Child list

LControl::ChildControlList::~ChildControlList()
{
    mTabOrder.clear();
    mDrawOrder.clear();
    for (auto& child : mItems)
        if (child)
            child->mParent = nullptr;
    mItems.clear();
    mByName.clear();
}

const RCPtr<LControl>& LControl::ChildControlList::GetAt(uint32_t index, int32_t order)
{
    if (index >= Count())
        ThrowGetAt(3330);
    if (order != kInsertion && mSortedAt != mChangeCount) {
        SortViews();
        mSortedAt = mChangeCount;
    }
    switch (order) {
    case kInsertion:
        return mItems[index];
    case kDrawing:
        return mItems[uint32_t(mDrawOrder[index])];
    case kTab:
        return mItems[uint32_t(mTabOrder[index])];
    default:
        ThrowGetAt(3350);
    }
}

void LControl::ChildControlList::SortViews()
{
    const int32_t n = int32_t(mItems.size());
    mTabOrder.resize(size_t(n));
    mDrawOrder.resize(size_t(n));
    for (int32_t i = 0; i < n; ++i)
        mTabOrder[size_t(i)] = mDrawOrder[size_t(i)] = i;
    std::stable_sort(mTabOrder.begin(), mTabOrder.end(), [this](int32_t a, int32_t b) {
        const auto& la = mItems[size_t(a)]->GetLayout();
        const auto& lb = mItems[size_t(b)]->GetLayout();
        return (la ? la->tabStop : 0) < (lb ? lb->tabStop : 0);
    });
    for (int32_t k = 0; k < n; ++k)
        mItems[size_t(mTabOrder[size_t(k)])]->mTabPosition = k;
    // Stable: equal keys keep insertion order.
    std::stable_sort(mDrawOrder.begin(), mDrawOrder.end(), [this](int32_t a, int32_t b) {
        const LControl* ca = mItems[size_t(a)].Get();
        const LControl* cb = mItems[size_t(b)].Get();
        const bool clipA = ClipsToParent(ca), clipB = ClipsToParent(cb);
        if (clipA != clipB)
            return clipA;
        const int32_t dockA = DockedCount(ca), dockB = DockedCount(cb);
        if (dockA != dockB)
            return dockA < dockB;
        const int32_t zA = ca->GetLayout() ? ca->GetLayout()->zOrder : 0;
        const int32_t zB = cb->GetLayout() ? cb->GetLayout()->zOrder : 0;
        return zA < zB;
    });
}

TavoResult LControl::ChildControlList::Add(const RCPtr<LControl>& child)
{
    return AddControl(child.Get());
}

TavoResult LControl::ChildControlList::AddControl(LControl* child)
{
    if (!child)
        return E_INVALIDARG;
    // A child already here has its name taken too.
    const auto [at, added] = mByName.try_emplace(Key(child->mName), child);
    if (!added)
        return E_FAIL;
    (void)at;
    const int32_t units = child->mUnclippedDescendants + (ClipsToParent(child) ? 0 : 1);
    for (LControl* c = mOwner; c; c = c->mParent)
        c->mUnclippedDescendants += units;
    child->mParent = mOwner;
    // The child's link keeps its parent, as an internal reference that the
    // parent's release gives back.
    mOwner->AddRef();
    mOwner->AddInternalReferences(1);
    mItems.push_back(RCPtr<LControl>(child));
    ++mChangeCount;
    return S_OK;
}

LControl* LControl::ChildControlList::Find(const WString& name) const
{
    const auto at = mByName.find(Key(name));
    return at == mByName.end() ? nullptr : at->second;
}

int32_t LControl::ChildControlList::IndexOf(const LControl* child) const
{
    for (size_t i = mItems.size(); i-- > 0;)
        if (mItems[i].Get() == child)
            return int32_t(i);
    return -1;
}

int32_t LControl::ChildControlList::TabPositionOf(const LControl* child)
{
    if (!child || child->mParent != mOwner || mItems.empty())
        return -1;
    GetAt(0, kTab);  // sorts a changed list
    const int32_t k = child->mTabPosition;
    if (k >= 0 && size_t(k) < mTabOrder.size() && mItems[size_t(mTabOrder[size_t(k)])].Get() == child)
        return k;
    for (size_t i = mTabOrder.size(); i-- > 0;)
        if (mItems[size_t(mTabOrder[i])].Get() == child)
            return int32_t(i);
    return -1;
}

void LControl::ChildControlList::Detach(uint32_t index)
{
    RCPtr<LControl> child = mItems[index];
    const int32_t units = child->mUnclippedDescendants + (ClipsToParent(child.Get()) ? 0 : 1);
    for (LControl* c = mOwner; c; c = c->mParent)
        c->mUnclippedDescendants -= units;
    mOwner->AddInternalReferences(-1);
    child->mParent = nullptr;
    mByName.erase(Key(child->mName));
    mItems.erase(mItems.begin() + index);
    ++mChangeCount;
    mOwner->ChildRemoved(child, int32_t(index));
    // Last: this may be the owner's final reference.
    mOwner->Release();
}

int32_t LControl::ChildControlList::Remove(const RCPtr<LControl>& child)
{
    const int32_t index = IndexOf(child.Get());
    if (index < 0)
        return -1;
    Detach(uint32_t(index));
    return index;
}

bool LControl::ChildControlList::RemoveAll()
{
    const bool wasEmpty = mItems.empty();
    if (wasEmpty)
        return true;
    // The owner may go with its last child's link.
    RCPtr<LControl> owner(mOwner);
    while (!mItems.empty())
        Detach(uint32_t(mItems.size() - 1));
    return wasEmpty;
}

TavoResult LControl::ChildControlList::RenameChild(const RCPtr<LControl>& child, const WString& name)
{
    if (!child)
        return E_INVALIDARG;
    if (child->mName == name)
        return S_FALSE;
    if (Find(name))
        return E_FAIL;
    const int32_t index = IndexOf(child.Get());
    if (index < 0)
        return E_INVALIDARG;
    const WString oldName = child->mName;
    mByName.erase(Key(oldName));
    mByName.emplace(Key(name), child.Get());
    child->mName = name;
    for (size_t i = size_t(index) + 1; i < mItems.size(); ++i) {
        LControl* sibling = mItems[i].Get();
        if (!sibling->mLayout)
            continue;
        // The sibling's record may be shared with its descriptor: change a copy.
        RCPtr<LLayoutDescriptor> layout = sibling->mLayout->Clone();
        bool changed = false;
        for (WString* ref : {&layout->x.positionRefName, &layout->y.positionRefName, &layout->x.sizeRefName,
                             &layout->y.sizeRefName})
            if (*ref == oldName) {
                *ref = name;
                changed = true;
            }
        if (changed)
            sibling->mLayout = layout;
    }
    return S_OK;
}

// ---------------------------------------------------------------------------
// Construction and release

LControl::LControl(const RCPtr<LControl>& parent, const WString& name)
    : mName(name), mConditions(LConditionsParam::Create(0, 0, 0, 0))
{
    // Attached without a temporary reference to this object: its count is 0
    // until the creator takes it, and a refused name must not free it.
    if (parent)
        parent->mChildren.AddControl(this);
    if (const auto& factory = ControlEnvironment().factory)
        mStringTable = factory->GetControlStringTable(parent.Get(), name);
}

LControl::~LControl()
{
    mDirty.FreeNodes();
    mVisibleArea.FreeNodes();
}

void LControl::RunCreationSteps(const RCPtr<LControl>& control, const RCPtr<LControlDescriptor>& descriptor)
{
    try {
        control->SetDescriptor(descriptor);
        control->CreateChildren(descriptor);
        control->Initialize();
        control->Finalize();
    } catch (...) {
        // The half-built control leaves the tree before the error does.
        if (control->mParent)
            control->SetParent(nullptr);
        throw;
    }
    control->mCreated = true;
}

TavoResult LControl::ReleaseInternalReferences()
{
    LNotificationDistributor::RemoveAllClients();
    mChildren.RemoveAll();
    LNotificationClient::UnsubscribeAll();
    return (GetInternalRefCount() == 0 && GetRefCount() == 1) ? S_OK : E_FAIL;
}

TavoResult LControl::ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                         const RCPtr<LNotification>& notification)
{
    // Nothing reaches the handlers before creation has finished.
    if (!mCreated || !mHandlers)
        return S_OK;
    return mHandlers->DispatchNotification(sender, notification);
}

TavoResult LControl::Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name)
{
    if (mHandlers)
        mHandlers->RemoveHandler(distributor, name);
    return LNotificationClient::Unsubscribe(distributor, name);
}

RCPtr<LControl::Handler> LControl::CreateHandlerTable()
{
    if (!mHandlers)
        mHandlers = Handler::Create(this);
    return mHandlers;
}

TavoResult LControl::Notify(const char16_t* name, const ConstRCPtr<LRefCountedObject>& data)
{
    RCPtr<LNotification> notification = LNotification::Create(name, data);
    if (!notification)
        return E_FAIL;
    return SendNotification(notification);
}

WString LControl::GetDescriptorClassName() const
{
    return mDescriptor ? mDescriptor->GetClassName() : WString();
}

// ---------------------------------------------------------------------------
// Tree

LControl* LControl::GetTopLevelControl()
{
    LControl* c = this;
    while (c->mParent)
        c = c->mParent;
    return c;
}

RCPtr<LControl> LControl::GetRootControl()
{
    return RCPtr<LControl>(GetTopLevelControl());
}

LRootWindow* LControl::GetRootWindow()
{
    return GetTopLevelControl()->mRootWindow.Get();
}

TavoResult LControl::SetParent(const RCPtr<LControl>& parent)
{
    if (parent.Get() == mParent)
        return S_FALSE;
    // A control cannot sit below itself.
    for (LControl* c = parent.Get(); c; c = c->mParent)
        if (c == this)
            return E_INVALIDARG;
    RCPtr<LControl> self(this);
    if (!mParent) {
        mRootWindow = nullptr;
    } else {
        InvalidateRect({0, 0, mWidth, mHeight}, ClipsToParent(this));
        mParent->mChildren.Remove(self);
    }
    if (parent)
        return parent->mChildren.Add(self);
    return S_OK;
}

TavoResult LControl::SetRootWindow(LRootWindow* window)
{
    if (mParent)
        return E_FAIL;
    if (mRootWindow.Get() != window)
        mRootWindow = window;
    if (mRootWindow) {
        mRootWindow->SetTitle(mText);
        ProcessRootWindowAquired();
    }
    return S_OK;
}

TavoResult LControl::ProcessRootWindowAquired()
{
    if (mIdleRequests > 0) {
        LRootWindow* root = GetRootWindow();
        if (!root ||
            Failed(CreateHandlerTable()->AddHandler(&LControl::HandleIdleNotification,
                                                    RCPtr<LNotificationDistributor>(root), u"NID_IDLE")))
            mIdleRequests = 0;
    }
    for (uint32_t i = mChildren.Count(); i-- > 0;) {
        if (i >= mChildren.Count())
            continue;
        RCPtr<LControl> child = mChildren.GetAt(i);
        child->ProcessRootWindowAquired();
    }
    return S_OK;
}

TavoResult LControl::AdoptChild(const RCPtr<LControl>& child, const RCPtr<LControlDescriptor>& descriptor)
{
    if (!child || !descriptor)
        return E_FAIL;
    const TavoResult result = child->SetParent(RCPtr<LControl>(this));
    if (Succeeded(result))
        child->SetDescriptor(descriptor);
    return result;
}

TavoResult LControl::RemoveChild(const RCPtr<LControl>& child)
{
    if (!child || child->mParent != this)
        return E_INVALIDARG;
    if (child->mCapture)
        child->UITarget_ReleaseCapture();
    child->SetVisible(false);
    mChildren.Remove(child);
    return S_OK;
}

RCPtr<LControl> LControl::FindChildByName(const WString& name)
{
    return RCPtr<LControl>(mChildren.Find(name));
}

TavoResult LControl::SetName(const WString& name)
{
    if (!mParent) {
        mName = name;
        return S_OK;
    }
    return mParent->mChildren.RenameChild(RCPtr<LControl>(this), name);
}

void LControl::CollectDescendants(std::vector<RCPtr<LControl>>& list)
{
    for (uint32_t i = 0; i < mChildren.Count(); ++i) {
        RCPtr<LControl> child = mChildren.GetAt(i);
        list.push_back(child);
        child->CollectDescendants(list);
    }
}

void LControl::IncrementUnclipped()
{
    for (LControl* c = this; c; c = c->mParent)
        ++c->mUnclippedDescendants;
}

void LControl::DecrementUnclipped()
{
    for (LControl* c = this; c; c = c->mParent)
        --c->mUnclippedDescendants;
}

void LControl::Detach()
{
    RCPtr<LControl> self(this);
    SetVisible(false);
    SetClipToParent(true);
    if (mCapture)
        UITarget_ReleaseCapture();
    while (mIdleRequests > 0)
        if (Failed(CancelIdle()))
            mIdleRequests = 0;
    if (mParent)
        SetParent(nullptr);
    else
        SetRootWindow(nullptr);
}

bool LControl::SetClipToParent(bool clip)
{
    if (Layout().clipToParent == clip)
        return clip;
    const bool old = mLayout->clipToParent;
    if (clip)
        InvalidateRect({0, 0, mWidth, mHeight}, old);
    mLayout->clipToParent = clip;
    if (mParent) {
        mParent->mChildren.Changed();
        if (clip) {
            mParent->DecrementUnclipped();
            return clip;
        }
        mParent->IncrementUnclipped();
    }
    if (!clip)
        InvalidateRect({0, 0, mWidth, mHeight}, clip);
    return clip;
}

// ---------------------------------------------------------------------------
// Creation steps

bool LControl::IsDeferCreate(const RCPtr<LControlDescriptor>& descriptor)
{
    WString value;
    return descriptor && descriptor->GetCreateParams() &&
           descriptor->GetCreateParams()->FindString(u"DEFER_CREATE", value) && IsTrueProperty(value);
}

bool LControl::GetProperty(const WString& name, WString& value) const
{
    return mDescriptor && mDescriptor->GetCreateParams() &&
           mDescriptor->GetCreateParams()->FindString(name, value);
}

TavoResult LControl::CreateChildren(const RCPtr<LControlDescriptor>& descriptor)
{
    mChildren.RemoveAll();
    if (descriptor) {
        const auto& factory = ControlEnvironment().factory;
        RCPtr<LControl> self(this);
        // A copy: a creator may touch the descriptor's list.
        const std::vector<RCPtr<LControlDescriptor>> children = descriptor->GetChildren();
        for (const auto& child : children) {
            if (!child || IsDeferCreate(child) || !factory)
                continue;
            factory->CreateControl(child, self);
        }
    }
    UpdateGeometry();
    return S_OK;
}

void LControl::ApplyNotFocusableProperty()
{
    WString value;
    if (GetProperty(u"NOT_FOCUSABLE", value))
        SetNotFocusable(IsTrueProperty(value));
    else
        SetNotFocusable(mLayout && mLayout->tabStop < 0);
}

TavoResult LControl::ApplyProperties()
{
    WString value;
    // Untrimmed; text that is no number reads as 0.
    if (GetProperty(u"INITIAL_VALUE", value))
        SetValue(value.ToDouble());
    ApplyNotFocusableProperty();
    if (GetProperty(u"USE_PARENT_TOOLTIP", value))
        mUseParentToolTip = IsTrueProperty(value);
    if (GetProperty(u"WANTS_TAB", value))
        mWantsTab = IsTrueProperty(value);
    return S_OK;
}

TavoResult LControl::Initialize()
{
    RCPtr<LNotificationCenter> center = GetMainNotificationCenter();
    if (mNotificationCenter != center)
        mNotificationCenter = center;
    CreateHandlerTable();
    ApplyProperties();
    if (mStringTable) {
        mToolTipText.Empty();
        mStringTable->FindString(u"TOOLTIP", mToolTipText);
        auto map = std::make_shared<HotKeyMap>();
        map->LoadBindings(mStringTable.Get(), u"LHK");
        mHotKeys = map;
        if (mParent && !map->IsEmpty())
            SubscribeSiblingKeys();
    }
    return S_OK;
}

TavoResult LControl::RefreshInheritedFont()
{
    if (!mInheritFont || !(mInheritFace || mInheritSize || mInheritStyle))
        return S_OK;
    RCPtr<LFont> base = mParent ? mParent->GetFont() : RCPtr<LFont>();
    if (!base)
        base = DefaultFont();
    if (!base)
        return S_OK;
    const WString face = (mInheritFace || !mFont) ? WString() : mFont->GetFace();
    const float size = (mInheritSize || !mFont) ? 0.0f : mFont->GetSize();
    const int32_t style = (mInheritStyle || !mFont) ? -1 : mFont->GetStyle();
    const WString useFace = face.IsEmpty() ? base->GetFace() : face;
    const float useSize = size <= 0.0f ? base->GetSize() : size;
    const int32_t useStyle = style == -1 ? base->GetStyle() : style;
    if (useFace == base->GetFace() && useSize == base->GetSize() && useStyle == base->GetStyle())
        return SetFont(base) >= 0 ? S_OK : E_FAIL;
    RCPtr<LFont> font = LFont::FindOrCreate(useFace, useSize, useStyle);
    if (font)
        SetFont(font);
    return S_OK;
}

// ---------------------------------------------------------------------------
// Descriptor

TavoResult LControl::SetDescriptor(const RCPtr<LControlDescriptor>& descriptor)
{
    if (!descriptor)
        return E_INVALIDARG;
    RCPtr<LControl> self(this);
    const bool reapply = mApplied;
    bool oldVisible = true, oldEnabled = true;
    if (reapply) {
        oldVisible = !mLayout || mLayout->visible;
        oldEnabled = !mLayout || mLayout->enabled;
        SetClipToParent(true);
    }

    mDescriptor = descriptor;
    mLayout = descriptor->GetLayout() ? descriptor->GetLayout()->Clone() : LLayoutDescriptor::Create();

    const bool topWithWindow = !mParent && mRootWindow;
    if (reapply && topWithWindow) {
        const RectT<double> bounds{std::clamp(mX, -kDoubleLimit, kDoubleLimit),
                                   std::clamp(mY, -kDoubleLimit, kDoubleLimit), mWidth, mHeight};
        if (ApplyWindowBounds(bounds) == S_FALSE)
            mRootWindow->SetClientRect(ToIntRect(bounds));
        // A new skin keeps the window where it is and as large as it is.
        for (auto [axis, position, size] :
             {std::tuple{&mLayout->x, mX, mWidth}, std::tuple{&mLayout->y, mY, mHeight}}) {
            axis->positionRel = 0;
            axis->positionAbs = position;
            axis->sizeRel = 0;
            axis->sizeAbs = size;
        }
    }
    if (topWithWindow)
        mLayout->visible = true;

    if (reapply) {
        const bool newVisible = mLayout->visible;
        if (newVisible != oldVisible) {
            mLayout->visible = oldVisible;
            SetVisible(newVisible);
        }
        mLayout->enabled = oldEnabled;
        ApplyNotFocusableProperty();
    }

    mLooks.clear();
    mLookWeights.clear();
    const auto& skin = descriptor->GetSkin();
    // A control placed with wrapping text wraps it in every look.
    const bool wrap = mLayout && mLayout->textOverflowX == 2;
    if (skin && skin->lookList)
        for (uint32_t i = 0; i < skin->lookList->GetCount(); ++i)
            AddLook(LLook::Create((*skin->lookList)[i], wrap));

    if (skin) {
        mInheritFont = skin->fontInheritsFromParent;
        mFontSizeRelative = skin->fontSizeIsRelative;
        SetFontByName(skin->fontName, skin->fontSize, skin->fontStyle, skin->fontSizeIsRelative);
    }

    if (!reapply) {
        WString label;
        if (mStringTable && mStringTable->FindString(u"LABEL", label))
            SetLabelText(label, false);
    } else {
        // Handed on again even when unchanged: the looks are new.
        const WString text = mText;
        mText = text + u"~";
        SetLabelText(text, false);
    }

    if (!mLayout->clipToParent && mParent)
        mParent->IncrementUnclipped();

    std::vector<RCPtr<LControl>> previous;
    for (uint32_t i = 0; i < mChildren.Count(); ++i)
        previous.push_back(mChildren.GetAt(i));
    mChildren.RemoveAll();
    mX = mY = mWidth = mHeight = 0;
    UpdateGeometry();

    if (!reapply) {
        SelectInitialLook();
        // The first report covers only later changes.
        mConditions->mPreviousConditions = mConditions->mConditions;
        mConditions->mConditions = GetConditionBits();
        mConditions->mX = mPressX;
        mConditions->mY = mPressY;
    } else {
        {
            mRelayout = true;
            const std::vector<RCPtr<LControlDescriptor>> children = descriptor->GetChildren();
            for (const auto& childDescriptor : children) {
                if (!childDescriptor)
                    continue;
                auto found = std::find_if(previous.begin(), previous.end(), [&](const RCPtr<LControl>& c) {
                    return c->mName == childDescriptor->GetName();
                });
                if (found == previous.end())
                    continue;
                RCPtr<LControl> child = *found;
                previous.erase(found);
                AdoptChild(child, childDescriptor);
            }
            mRelayout = false;
        }
        if (mChildren.Count() > 0)
            UpdateGeometry();
        UpdateConditions();
    }

    if (reapply) {
        Finalize();
        mChildren.Changed();
        if (!mParent && mRootWindow) {
            LLayoutDescriptor::Axis x = mLayout->x, y = mLayout->y;
            for (auto* axis : {&x, &y}) {
                axis->placementAnchor = 0;
                axis->positionRef = 1;
                axis->positionRel = 0;
                axis->positionAbs = 0;
                axis->sizeRef = 1;
                axis->sizeRel = 1.0f;
                axis->sizeAbs = 0;
            }
            SetPlacement(x, y);
            UpdateGeometry();
            InvalidateRect({0, 0, mWidth, mHeight}, ClipsToParent(this));
        }
    }
    mApplied = true;
    return S_OK;
}

void LControl::SelectInitialLook()
{
    if (GetActiveLookIndex() < 0 && !mLooks.empty())
        SetLookWeight(0, 1.0f, true);
}

// ---------------------------------------------------------------------------
// Value

double LControl::SetValue(double value)
{
    if (std::isnan(value))
        return mValue;
    value = std::clamp(value, 0.0, 1.0);
    if (value == mValue)
        return mValue;
    mValue = value;
    OnValueChanged();
    Notify(u"NID_VALUE_CHANGE", LValueParam::Create(mValue, NormalizedToValue(mValue)));
    return mValue;
}

TavoResult LControl::SetValueRange(double minimum, double maximum, int32_t scaleMode)
{
    if (scaleMode != 0 && !(scaleMode == 1 && minimum > 0 && maximum > 0))
        return E_INVALIDARG;
    mRangeMin = minimum;
    mRangeMax = maximum;
    mScaleMode = scaleMode;
    return S_OK;
}

double LControl::NormalizedToValue(double t) const
{
    if (mScaleMode == 1)
        return mRangeMin * std::pow(mRangeMax / mRangeMin, t);
    return mRangeMin + (mRangeMax - mRangeMin) * t;
}

double LControl::ValueToNormalized(double v) const
{
    if (mRangeMin == mRangeMax)
        return 0;
    v = std::clamp(v, std::min(mRangeMin, mRangeMax), std::max(mRangeMin, mRangeMax));
    if (mScaleMode == 1)
        return std::log(v / mRangeMin) / std::log(mRangeMax / mRangeMin);
    return (v - mRangeMin) / (mRangeMax - mRangeMin);
}

// ---------------------------------------------------------------------------
// Text, font, looks

TavoResult LControl::SetText(const WString& text)
{
    return SetLabelText(text, true) ? S_OK : S_FALSE;
}

bool LControl::SetLabelText(const WString& text, bool remeasure)
{
    if (text == mText)
        return false;
    if (mRootWindow)
        mRootWindow->SetTitle(text);
    mText = text;
    for (size_t i = mLooks.size(); i-- > 0;)
        if (mLooks[i])
            mLooks[i]->SetText(text);
    if (remeasure && mLayout && (mLayout->x.sizeRef == 2 || mLayout->y.sizeRef == 2))
        UpdateGeometry();
    InvalidateRect({0, 0, mWidth, mHeight}, ClipsToParent(this));
    return true;
}

RCPtr<LFont> LControl::GetFont() const
{
    if (mFont)
        return mFont;
    if (mParent)
        return mParent->GetFont();
    return DefaultFont();
}

TavoResult LControl::SetFont(const RCPtr<LFont>& font)
{
    if (!font)
        return E_INVALIDARG;
    for (size_t i = mLooks.size(); i-- > 0;)
        if (mLooks[i])
            mLooks[i]->SetFont(font);
    if (mFont &&
        (mFont == font || (mFont->GetFace() == font->GetFace() && mFont->GetSize() == font->GetSize() &&
                           mFont->GetStyle() == font->GetStyle())))
        return S_FALSE;
    mFont = font;
    mFontFaceFromBase = mFontSizeFromBase = false;
    FontChanged();
    for (uint32_t i = 0; i < mChildren.Count(); ++i) {
        RCPtr<LControl> child = mChildren.GetAt(i);
        child->SetChildFont(font);
    }
    UpdateGeometry();
    InvalidateRect({0, 0, mWidth, mHeight}, ClipsToParent(this));
    return S_OK;
}

TavoResult LControl::SetFontByName(const WString& face, float size, int32_t style, bool /*relativeSize*/)
{
    RCPtr<LFont> base;
    if (mInheritFont && mParent)
        base = mParent->GetFont();
    else
        base = DefaultFont();
    const bool keepFace = face.IsEmpty();
    const bool keepSize = !(size > 0.0f);
    if (!base && (keepFace || keepSize))
        return E_FAIL;
    const WString useFace = keepFace ? base->GetFace() : face;
    const float useSize = keepSize ? base->GetSize() : size;
    const int32_t useStyle = style == -1 ? (base ? base->GetStyle() : 0) : style;
    RCPtr<LFont> font;
    if (base && useFace == base->GetFace() && useSize == base->GetSize() && useStyle == base->GetStyle())
        font = base;
    else
        font = LFont::FindOrCreate(useFace, useSize, useStyle);
    if (!font)
        return E_FAIL;
    const TavoResult result = SetFont(font);
    if (Succeeded(result)) {
        mFontFaceFromBase = keepFace;
        mFontSizeFromBase = keepSize;
    }
    return result;
}

const RCPtr<LLook>& LControl::GetLook(int32_t index) const
{
    static const RCPtr<LLook> kNone;
    return (index >= 0 && index < GetLookCount()) ? mLooks[size_t(index)] : kNone;
}

float LControl::GetLookWeight(int32_t index) const
{
    return (index >= 0 && size_t(index) < mLookWeights.size()) ? mLookWeights[size_t(index)] : 0.0f;
}

int32_t LControl::GetActiveLookIndex() const
{
    for (int32_t i = 0; i < GetLookCount(); ++i)
        if (mLooks[size_t(i)] && GetLookWeight(i) > 0)
            return i;
    return -1;
}

RCPtr<LLook> LControl::GetLookAt(int32_t index) const
{
    if (GetLook(index))
        return GetLook(index);
    const int32_t active = GetActiveLookIndex();
    if (active >= 0)
        return mLooks[size_t(active)];
    for (const auto& look : mLooks)
        if (look)
            return look;
    return nullptr;
}

TavoResult LControl::SelectLook(int32_t index, float weight)
{
    return SetLookWeight(index, weight, true);
}

void LControl::SetLookCount(int32_t count)
{
    mLooks.resize(size_t(std::max(count, 0)));
    if (mLookWeights.size() > mLooks.size())
        mLookWeights.resize(mLooks.size());
}

void LControl::AddLook(const RCPtr<LLook>& look)
{
    mLooks.push_back(look);
    mLookWeights.resize(mLooks.size(), 0.0f);
    if (look)
        look->SetSize(RoundToInt32(mWidth), RoundToInt32(mHeight));
}

TavoResult LControl::SetLookWeight(int32_t index, float weight, bool exclusive)
{
    if (index < 0 || index >= GetLookCount())
        return E_INVALIDARG;
    if (mLookWeights.size() < mLooks.size())
        mLookWeights.resize(mLooks.size(), 0.0f);
    bool changed = false;
    if (weight >= 0.0f && weight <= 1.0f) {
        changed = mLookWeights[size_t(index)] != weight;
        mLookWeights[size_t(index)] = weight;
        if (exclusive)
            for (size_t i = 0; i < mLookWeights.size(); ++i)
                if (int32_t(i) != index && mLookWeights[i] != 0.0f) {
                    mLookWeights[i] = 0.0f;
                    changed = true;
                }
    }
    if (changed)
        InvalidateRect({0, 0, mWidth, mHeight}, ClipsToParent(this));
    return S_OK;
}

TavoResult LControl::SetLookRegion(int32_t index, const RectRegion& region)
{
    if (!GetLook(index))
        return E_INVALIDARG;
    mLooks[size_t(index)]->GetRegion() = region;
    InvalidateRect({0, 0, mWidth, mHeight}, ClipsToParent(this));
    return S_OK;
}

TavoResult LControl::SetLookDescriptor(const RCPtr<LLookDescriptor>& descriptor, int32_t index)
{
    if (!descriptor)
        return E_INVALIDARG;
    if (!GetLook(index))
        return E_FAIL;
    mLooks[size_t(index)]->SetDescriptor(descriptor);
    return S_OK;
}

void LControl::ResetLookRegions()
{
    for (size_t i = mLooks.size(); i-- > 0;)
        if (mLooks[i])
            mLooks[i]->GetRegion().FreeNodes();
}

void LControl::ResetLookRegion(int32_t index)
{
    if (GetLook(index))
        mLooks[size_t(index)]->GetRegion().FreeNodes();
}

TavoResult LControl::CopyLookRegion(int32_t a, int32_t b)
{
    if (!GetLook(a) || !GetLook(b))
        return E_INVALIDARG;
    RectRegion region;
    region.AddRect(ToIntRect(RectT<double>{0, 0, mWidth, mHeight}));
    region.Subtract(mLooks[size_t(b)]->GetRegion());
    region.Normalize();
    mLooks[size_t(a)]->GetRegion() = std::move(region);
    InvalidateRect({0, 0, mWidth, mHeight}, ClipsToParent(this));
    return S_OK;
}

RectT<double> LControl::GetLookClientRect(int32_t index) const
{
    RCPtr<LLook> look = GetLookAt(index);
    if (!look)
        return {0, 0, mWidth, mHeight};
    return LRect::FromIntRect(look->GetClientRect());
}

RectT<double> LControl::GetClientRect()
{
    RectT<double> r = GetLookClientRect(-1);
    r.x += mScrollX;
    r.y += mScrollY;
    return r;
}

bool LControl::TestActiveLooks()
{
    for (int32_t i = 0; i < GetLookCount(); ++i)
        if (mLooks[size_t(i)] && GetLookWeight(i) > 0)
            return true;
    return false;
}

bool LControl::IsTextClipped() const
{
    RCPtr<LLook> look = GetLookAt(-1);
    if (!look)
        return false;
    const LLookDescriptor* d = look->GetDescriptor().Get();
    LFontText* block = look->GetTextBlock();
    if (!block || !d || !d->hasTextProperties)
        return !mText.IsEmpty();
    // The look's text area at the present width: (left, top, right, bottom).
    const float w = static_cast<float>(std::clamp(mWidth, -8388608.0, 8388608.0));
    const RectT<float> box = LLook::ComputeTextBox(d->text, w, 0.0f);
    return static_cast<float>(block->GetWidth()) > box.width - box.x;
}

// ---------------------------------------------------------------------------
// Cursor, hot keys, drag set-up

void LControl::SetCursor(CursorHandle cursor)
{
    if (cursor == mCursor)
        return;
    const CursorHandle previous = mCursor;
    mCursor = cursor;
    LRootWindow* root = GetRootWindow();
    if (mHover && root) {
        const CursorHandle replaced = root->SetCursor(cursor);
        if (!previous)
            mSavedCursor = replaced;
    }
}

TavoResult LControl::SetHotKeyMap(const std::shared_ptr<HotKeyMap>& map)
{
    mHotKeys = map;
    return S_OK;
}

TavoResult LControl::SetDragThreshold(int32_t pixels)
{
    if (pixels < 0)
        return E_INVALIDARG;
    mDragThreshold = pixels;
    return S_OK;
}

TavoResult LControl::SetDragTarget(int32_t target, int32_t second)
{
    mDragTarget = target;
    mDragTargetSecond = second;
    return S_OK;
}

TavoResult LControl::SetDragMode(int32_t mode, int32_t edges)
{
    mDrag.mode = mode;
    mDrag.edges = edges;
    return S_OK;
}

RectT<double> LControl::GetDragLimits()
{
    return {0, 0, kDoubleLimit, kDoubleLimit};
}

RectT<double> LControl::GetDragRect()
{
    const RectT<double> look = GetLookClientRect(-1);
    return {0, 0, look.width, look.height};
}

RectT<double> LControl::GetScrollLimits()
{
    return {0, 0, kDoubleLimit, kDoubleLimit};
}

// ---------------------------------------------------------------------------
// Edit targets, clicks, commands

RCPtr<LControl> LControl::FindEditTarget()
{
    if (IsEditTarget())
        return RCPtr<LControl>(this);
    return mParent ? mParent->FindEditTarget() : RCPtr<LControl>();
}

TavoResult LControl::PerformEdit(int32_t)
{
    throw Exception<std::logic_error>("Logic Error : LControl::PerformEdit must be overridden : "
                                      "Tavo::LControl::PerformEdit : ../ControlBase/Control "
                                      ": Line 591");
}

TavoResult LControl::OnClick(const RCPtr<LMouseButtonParam>& param)
{
    if (!param)
        return E_INVALIDARG;
    switch (param->mButton) {
    case 1:
        return OnLeftClick(param);
    case 2:
        return OnMiddleClick(param);
    case 4:
        return OnRightClick(param);
    default:
        return E_INVALIDARG;
    }
}

TavoResult LControl::OnLeftClick(const RCPtr<LMouseButtonParam>& param)
{
    if (!param)
        return E_INVALIDARG;
    OnLeftClicked(param);
    Notify(u"NID_LEFT_CLICK", param);
    return S_OK;
}

TavoResult LControl::OnMiddleClick(const RCPtr<LMouseButtonParam>& param)
{
    if (!param)
        return E_INVALIDARG;
    OnMiddleClicked(param);
    Notify(u"NID_MIDDLE_CLICK", param);
    return S_OK;
}

TavoResult LControl::OnRightClick(const RCPtr<LMouseButtonParam>& param)
{
    if (!param)
        return E_INVALIDARG;
    OnRightClicked(param);
    Notify(u"NID_RIGHT_CLICK", param);
    RCPtr<LMenuDescriptor>* menu = GetContextMenu();
    if (menu && *menu)
        OpenContextMenu(*menu);
    return S_OK;
}

TavoResult LControl::UpdateMenuItemState(const RCPtr<LMenuDescriptor>&, int32_t, const WString&, uint32_t&)
{
    return S_FALSE;
}

// ---------------------------------------------------------------------------
// Geometry triggers

TavoResult LControl::UITarget_UpdateGeometry(int32_t, int32_t)
{
    UpdateGeometry();
    return S_OK;
}

TavoResult LControl::OnParentResized(int32_t, int32_t)
{
    if (mLayout && (mLayout->x.docked || mLayout->y.docked))
        UpdateGeometry();
    return S_OK;
}

TavoResult LControl::OnResized(const RCPtr<LControl>& child)
{
    if (!mSuppressGeometry)
        UpdateGeometry();
    InvalidateChildRect(child);
    return S_OK;
}

TavoResult LControl::GeometryChangedAbsolute()
{
    if (mLayout && (mLayout->x.positionRef == 0 || mLayout->y.positionRef == 0))
        UpdateGeometry();
    return S_OK;
}

void LControl::ChildGeometryChanged(const RCPtr<LControl>& child)
{
    if (!mRelayout)
        UpdateGeometry();
    ScrollRectIntoView(child);
}

// ---------------------------------------------------------------------------
// Conditions

LLayoutDescriptor& LControl::Layout()
{
    if (!mLayout)
        mLayout = LLayoutDescriptor::Create();
    return *mLayout;
}

bool LControl::IsShown(bool withAncestors) const
{
    for (const LControl* c = this; c; c = withAncestors ? c->mParent : nullptr)
        if ((c->mLayout && !c->mLayout->visible) || !(c->mWidth > 0) || !(c->mHeight > 0))
            return false;
    return true;
}

bool LControl::IsEnabled(bool withAncestors) const
{
    for (const LControl* c = this; c; c = withAncestors ? c->mParent : nullptr)
        if (c->mLayout && !c->mLayout->enabled)
            return false;
    return true;
}

uint32_t LControl::GetConditionBits() const
{
    uint32_t bits = 0;
    bits |= mHasFocus ? kConditionHasFocus : 0;
    bits |= mContainsFocus ? kConditionContainsFocus : 0;
    bits |= mHover ? kConditionHoverRaw : 0;
    bits |= mCapture ? kConditionCapture : 0;
    bits |= mLeftPressed ? kConditionLeftPressed : 0;
    bits |= mMiddlePressed ? kConditionMiddlePressed : 0;
    bits |= mRightPressed ? kConditionRightPressed : 0;
    bits |= mLeftDrag ? kConditionLeftDrag : 0;
    bits |= mMiddleDrag ? kConditionMiddleDrag : 0;
    bits |= mRightDrag ? kConditionRightDrag : 0;
    bits |= IsEnabled(true) ? kConditionEnabled : 0;
    bits |= IsShown(true) ? kConditionVisible : 0;
    bits |= (mHover || mHoverOverride) ? kConditionHover : 0;
    return bits;
}

void LControl::UpdateConditions()
{
    const uint32_t bits = GetConditionBits();
    if (bits == mConditions->mConditions)
        return;
    RCPtr<LControl> self(this);
    mConditions->mPreviousConditions = mConditions->mConditions;
    mConditions->mConditions = bits;
    mConditions->mX = mPressX;
    mConditions->mY = mPressY;
    const uint32_t previous = mConditions->mPreviousConditions;
    const auto turnedOn = [&](uint32_t bit) { return !(previous & bit) && (bits & bit); };
    const auto turnedOff = [&](uint32_t bit) { return (previous & bit) && !(bits & bit); };

    if (mCursor) {
        if (LRootWindow* root = GetRootWindow()) {
            if (turnedOn(kConditionHoverRaw) && !mCapture)
                mSavedCursor = root->SetCursor(mCursor);
            else if ((turnedOff(kConditionHoverRaw) && !mCapture) ||
                     (turnedOff(kConditionCapture) && !mHover))
                root->SetCursor(mSavedCursor);
        }
    }
    if (turnedOff(kConditionLeftDrag)) {
        if (mDragTarget)
            UpdateAppearance();
        if (mDrag.mode != 0)
            EndDrag();
    }
    ConditionsChanged(mConditions);
    Notify(u"NID_CONDITION_CHANGE", mConditions);

    static const struct
    {
        const char16_t* name;
        uint32_t bits;
    } kRows[] = {
        {u"NID_HAS_FOCUS_CONDITION_CHANGE", kConditionHasFocus},
        {u"NID_CONTAINS_FOCUS_CONDITION_CHANGE", kConditionContainsFocus},
        {u"NID_HOVER_CONDITION_CHANGE", kConditionHover},
        {u"NID_CAPTURE_CONDITION_CHANGE", kConditionCapture},
        {u"NID_LEFT_DRAG_CONDITION_CHANGE", kConditionLeftPressed | kConditionLeftDrag},
        {u"NID_MIDDLE_DRAG_CONDITION_CHANGE", kConditionMiddlePressed | kConditionMiddleDrag},
        {u"NID_RIGHT_DRAG_CONDITION_CHANGE", kConditionRightPressed | kConditionRightDrag},
        {u"NID_ENABLED_CONDITION_CHANGE", kConditionEnabled},
        {u"NID_VISIBLITY_CONDITION_CHANGE", kConditionVisible},
    };
    bool cascade = false;
    for (const auto& row : kRows) {
        // A subscriber may have reported again: read the record as it is now.
        const RCPtr<LConditionsParam> record = mConditions;
        if (((record->mPreviousConditions ^ record->mConditions) & row.bits) == 0)
            continue;
        Notify(row.name, record);
        if (row.bits == kConditionEnabled || row.bits == kConditionVisible)
            cascade = true;
    }
    if (turnedOn(kConditionLeftDrag)) {
        if (mDragTarget)
            SaveLayoutOrigin();
        if (mDrag.mode != 0)
            BeginDrag();
    }

    if ((mHover && ((previous ^ bits) & kConditionVisible) && !IsShown(true) && !mCapture) ||
        (turnedOff(kConditionCapture) && !mHover)) {
        if (LRootWindow* root = GetRootWindow()) {
            PointT<int32_t> local;
            root->FindControlAtPoint(root->GetMousePosition(), local, true);
        }
    }
    if (cascade)
        for (uint32_t i = mChildren.Count(); i-- > 0;) {
            if (i >= mChildren.Count())
                continue;
            RCPtr<LControl> child = mChildren.GetAt(i);
            child->UpdateConditions();
        }
}

void LControl::SetConditionFlag(bool on)
{
    if (mHoverOverride == on)
        return;
    mHoverOverride = on;
    UpdateConditions();
}

void LControl::SetEnabled(bool enabled)
{
    if (Layout().enabled == enabled)
        return;
    RCPtr<LControl> self(this);
    mLayout->enabled = enabled;
    if (!enabled && (mHasFocus || mContainsFocus) && mParent)
        mParent->SetFocus(true);
    if ((CanTakeFocus() || HasFocusableDescendant()) && mParent && mParent->mHasFocus)
        SetFocus(true);
    UpdateConditions();
    InvalidateRect({0, 0, mWidth, mHeight}, ClipsToParent(this));
    RepaintAfterStateChange();
}

bool LControl::SetVisible(bool visible)
{
    if (Layout().visible == visible)
        return IsShown(true);
    RCPtr<LControl> self(this);
    if (!visible) {
        InvalidateRect({0, 0, mWidth, mHeight}, ClipsToParent(this));
        RepaintAfterStateChange();
    }
    mLayout->visible = visible;
    if (!visible) {
        if ((mHasFocus || mContainsFocus) && mParent)
            mParent->SetFocus(true);
    } else {
        if ((CanTakeFocus() || HasFocusableDescendant()) && mParent && mParent->mHasFocus)
            SetFocus(true);
        InvalidateRect({0, 0, mWidth, mHeight}, ClipsToParent(this));
        RepaintAfterStateChange();
    }
    UpdateConditions();
    return IsShown(true);
}

TavoResult LControl::UITarget_OnMouseDown(uint32_t button, int32_t x, int32_t y)
{
    if (!IsShown(true) || !IsEnabled(true) || mCapture)
        return S_FALSE;
    RCPtr<LControl> self(this);
    LRootWindow* root = GetRootWindow();
    if (button != 0) {
        if (button != 1 && button != 2 && button != 4)
            return S_FALSE;
        if (!root || !(root->GetMouseButtons() & button))
            return S_FALSE;
        mPressX = std::clamp(double(x), -kDoubleLimit, kDoubleLimit) + mX;
        mPressY = std::clamp(double(y), -kDoubleLimit, kDoubleLimit) + mY;
    }
    mCapture = true;
    mPressTime = mPressTime2 = GetAppClock().GetSecondsSinceStart();
    mPressState[0] = mPressState[1] = 0;
    if (root)
        root->SetCaptureControl(self);
    bool* pressed = nullptr;
    bool* drag = nullptr;
    if (button == 1) {
        pressed = &mLeftPressed;
        drag = &mLeftDrag;
        mDragTarget = 0;
        if (mIdleOnPress)
            RequestIdle();
    } else if (button == 2) {
        pressed = &mMiddlePressed;
        drag = &mMiddleDrag;
    } else if (button == 4) {
        pressed = &mRightPressed;
        drag = &mRightDrag;
    }
    if (pressed)
        *pressed = true;
    UpdateConditions();
    if (pressed && mDragThreshold == 0) {
        *pressed = false;
        *drag = true;
        UpdateConditions();
        auto pointer = LPointWithModifiersParam::Create(x, y, root ? root->GetAppModifierFlags() : 0);
        if (mLeftDrag && mDragTarget)
            HandlePointerPosition(pointer);
    }
    return S_OK;
}

// ---------------------------------------------------------------------------
// Bounds and content

TavoResult LControl::SetBounds(const PointT<double>& newPosition, const PointT<double>& newSize)
{
    // Skin numbers are input: NaN counts as 0 and magnitudes stop at 2^52, so
    // that a value never differs from itself and re-layout settles.
    const auto sane = [](double v) {
        return std::isnan(v) ? 0.0 : std::clamp(v, -kDoubleLimit, kDoubleLimit);
    };
    const PointT<double> position{sane(newPosition.x), sane(newPosition.y)};
    const PointT<double> size{sane(newSize.x), sane(newSize.y)};
    if (position.x == mX && position.y == mY && size.x == mWidth && size.y == mHeight)
        return S_FALSE;
    RCPtr<LControl> self(this);
    GetLookNaturalSize();
    constexpr double kTolerance = 2.220446049250313e-15;
    const bool sameSize = std::fabs(size.x - mWidth) < kTolerance && std::fabs(size.y - mHeight) < kTolerance;
    InvalidateRect({0, 0, mWidth, mHeight}, ClipsToParent(this));
    if (mUnclippedDescendants > 0)
        RepaintAfterStateChange();
    mX = position.x;
    mY = position.y;
    mWidth = size.x;
    mHeight = size.y;
    const int32_t w = RoundToInt32(mWidth), h = RoundToInt32(mHeight);
    for (const auto& look : mLooks)
        if (look)
            look->SetSize(w, h);

    struct DepthScope
    {
        int32_t& depth;
        explicit DepthScope(int32_t& d) : depth(d) { ++depth; }
        ~DepthScope() { --depth; }
    } depth(mBoundsDepth);
    const bool relayAllowed = mBoundsDepth <= kMaxBoundsDepth;

    if (!sameSize && !mRelayout && relayAllowed) {
        mRelayout = true;
        for (uint32_t i = 0; i < mChildren.Count(); ++i) {
            RCPtr<LControl> child = mChildren.GetAt(i);
            child->UITarget_UpdateGeometry(w, h);
        }
        UpdateGeometry();
        mRelayout = false;
    }
    if (mParent) {
        RCPtr<LControl> parent(mParent);
        if (relayAllowed) {
            const int32_t index = parent->mChildren.IndexOf(this);
            for (uint32_t i = uint32_t(index + 1); index >= 0 && i < parent->mChildren.Count(); ++i) {
                RCPtr<LControl> sibling = parent->mChildren.GetAt(i);
                if (sibling->UpdateGeometry() != S_FALSE)
                    break;
            }
            parent->ChildGeometryChanged(self);
        }
    } else if (mRootWindow) {
        IWindowOSServices* os = mRootWindow->GetOSServices();
        // Without a native window the client area stays where it is.
        const RectT<int32_t> current = mRootWindow->GetBounds();
        const PointT<int32_t> origin =
            os ? os->ClientToScreen({0, 0}) : PointT<int32_t>{current.x, current.y};
        mRootWindow->SetClientRect({origin.x, origin.y, w, h});
    }
    if ((mWidth <= 0 || mHeight <= 0) && mParent && (mHasFocus || mContainsFocus))
        mParent->SetFocus(true);
    InvalidateRect({0, 0, mWidth, mHeight}, ClipsToParent(this));
    if (mUnclippedDescendants > 0)
        RepaintAfterStateChange();
    ClampScrollPosition();
    return S_OK;
}

RectT<int32_t> LControl::GetBounds()
{
    if (!mParent && mRootWindow) {
        const PointT<int32_t> size = mRootWindow->GetClientSize();
        return {RoundToInt32(mX), RoundToInt32(mY), size.x, size.y};
    }
    return ToIntRect(RectT<double>{mX, mY, mWidth, mHeight});
}

RectT<double> LControl::GetContentRect()
{
    return GetLookClientRect(-1);
}

void LControl::GetLookNaturalSize()
{
    mContentRect = GetLookClientRect(-1);
}

void LControl::RefreshContentRect()
{
    const RectT<double> content = GetContentRect();
    if (content.width <= mMaxContentWidth && content.height <= mMaxContentHeight) {
        mContentRect = content;
        mHasContentSurface = true;
        mContentSurface = {0, 0, RoundToInt32(content.width), RoundToInt32(content.height)};
        const RectT<double> visible = GetVisibleContentRect();
        mDirty.FreeNodes();
        LRect::ToIntRect(visible, mDirty);
        InvalidateLocalRect(visible, true);
    } else if (mHasContentSurface) {
        mHasContentSurface = false;
        mContentSurface = {};
        InvalidateRect({0, 0, mWidth, mHeight}, ClipsToParent(this));
    }
}

RectT<double> LControl::GetVisibleContentRect()
{
    const RectT<double> client = GetLookClientRect(-1);
    return {double(RoundToInt32(mScrollX)), double(RoundToInt32(mScrollY)),
            double(RoundToInt32(client.width)), double(RoundToInt32(client.height))};
}

RectT<double> LControl::GetChildRect(const RCPtr<LControl>& child)
{
    if (!child)
        return {};
    return {child->mX, child->mY, child->mWidth, child->mHeight};
}

// ---------------------------------------------------------------------------
// Coordinates and sizes

PointT<double> LControl::GetPositionInParent() const
{
    if (!mParent)
        return {mX, mY};
    const RectT<double> client = mParent->GetLookClientRect(-1);
    return {mX - mParent->mScrollX + client.x, mY - mParent->mScrollY + client.y};
}

PointT<double> LControl::GetAbsolutePosition() const
{
    PointT<double> sum;
    for (const LControl* c = this; c; c = c->mParent) {
        const PointT<double> p = c->GetPositionInParent();
        sum.x += p.x;
        sum.y += p.y;
    }
    return sum;
}

PointT<double> LControl::GetRootOffset() const
{
    const PointT<double> p = GetAbsolutePosition();
    return {-p.x, -p.y};
}

PointT<int32_t> LControl::GetOffsetTo(const LControl* other) const
{
    const PointT<int32_t> self = LPoint::ToIntPoint(GetAbsolutePosition());
    const PointT<int32_t> to = other ? LPoint::ToIntPoint(other->GetAbsolutePosition()) : PointT<int32_t>{};
    const PointT<double> a = LPoint::FromIntPoint(self), b = LPoint::FromIntPoint(to);
    return LPoint::ToIntPoint(PointT<double>{b.x - a.x, b.y - a.y});
}

PointT<int32_t> LControl::ConvertPointFrom(const LControl* other, const PointT<int32_t>& point) const
{
    const PointT<int32_t> offset = GetOffsetTo(other);
    return LPoint::ToIntPoint(PointT<double>{double(point.x) + offset.x, double(point.y) + offset.y});
}

RectT<double> LControl::GetParentAreaInLocal()
{
    if (mParent) {
        const PointT<double> p = GetPositionInParent();
        return {-p.x, -p.y, mParent->mWidth, mParent->mHeight};
    }
    if (mRootWindow) {
        const PointT<int32_t> size = mRootWindow->GetClientSize();
        return {-mX, -mY, double(size.x), double(size.y)};
    }
    return {0, 0, mWidth, mHeight};
}

RectT<double> LControl::GetChildrenBounds()
{
    int64_t left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;
    bool any = false;
    for (uint32_t i = mChildren.Count(); i-- > 0;) {
        if (i >= mChildren.Count())
            ThrowGetAt(3358);
        const LControl* child = mChildren.GetAt(i).Get();
        if (DockedCount(child) > 0)
            continue;
        const RegionRect r =
            LRect::ToIntRect(RectT<double>{child->mX, child->mY, child->mWidth, child->mHeight});
        left = std::min<int64_t>(left, r.left);
        top = std::min<int64_t>(top, r.top);
        right = std::max<int64_t>(right, r.right);
        bottom = std::max<int64_t>(bottom, r.bottom);
        any = true;
    }
    // No child counts: an empty box rather than an inverted one.
    if (!any)
        return {0, 0, 0, 0};
    return {double(left), double(top), double(right - left), double(bottom - top)};
}

PointT<double> LControl::GetMinimumSize()
{
    if (!mLayout)
        return {0, 0};
    return {mLayout->x.minRef == 0 ? mLayout->x.minAbs : 0.0,
            mLayout->y.minRef == 0 ? mLayout->y.minAbs : 0.0};
}

PointT<double> LControl::GetMaximumSize()
{
    if (!mLayout)
        return {0, 0};
    return {mLayout->x.maxRef == 0 ? mLayout->x.maxAbs : 0.0,
            mLayout->y.maxRef == 0 ? mLayout->y.maxAbs : 0.0};
}

PointT<double> LControl::GetNaturalSize()
{
    if (!mLayout)
        return {mWidth, mHeight};
    RCPtr<LControl> self(this);
    PointT<double> natural;
    for (int32_t axis = 0; axis < 2; ++axis) {
        LLayoutDescriptor::Axis saved;
        GetPlacement(axis, saved);
        LLayoutDescriptor::Axis probe = saved;
        probe.sizeRef = 2;
        probe.sizeRel = 0;
        probe.sizeAbs = 0;
        SetAxisPlacement(axis, probe);
        (axis == 0 ? natural.x : natural.y) = axis == 0 ? mWidth : mHeight;
        SetAxisPlacement(axis, saved);
    }
    return natural;
}

TavoResult LControl::GetPlacement(int32_t axis, LLayoutDescriptor::Axis& spec) const
{
    if (axis != 0 && axis != 1)
        return E_INVALIDARG;
    if (mLayout)
        spec = axis == 0 ? mLayout->x : mLayout->y;
    else
        spec = LLayoutDescriptor::Axis();
    return S_OK;
}

TavoResult LControl::SetAxisPlacement(int32_t axis, const LLayoutDescriptor::Axis& spec)
{
    if (axis != 0 && axis != 1)
        return E_INVALIDARG;
    LLayoutDescriptor::Axis& target = axis == 0 ? Layout().x : Layout().y;
    if (target.docked != spec.docked) {
        mChildren.Changed();
        if (mParent)
            mParent->mChildren.Changed();
    }
    target = spec;
    UpdateGeometry();
    return IsComplete(spec) ? S_OK : S_FALSE;
}

TavoResult LControl::SetPlacement(const LLayoutDescriptor::Axis& horizontal,
                                  const LLayoutDescriptor::Axis& vertical)
{
    LLayoutDescriptor& layout = Layout();
    if (layout.x.docked != horizontal.docked || layout.y.docked != vertical.docked) {
        mChildren.Changed();
        if (mParent)
            mParent->mChildren.Changed();
    }
    layout.x = horizontal;
    layout.y = vertical;
    UpdateGeometry();
    return (IsComplete(horizontal) && IsComplete(vertical)) ? S_OK : S_FALSE;
}

int32_t LControl::CollectFloatingControls(std::vector<RCPtr<LControl>>& list, bool skipHidden,
                                          bool includeSelf)
{
    if (skipHidden && !IsShown(false))
        return 0;
    int32_t added = 0;
    if (includeSelf && !ClipsToParent(this)) {
        list.push_back(RCPtr<LControl>(this));
        ++added;
    }
    for (uint32_t i = 0; i < mChildren.Count(); ++i) {
        RCPtr<LControl> child = mChildren.GetAt(i, ChildControlList::kDrawing);
        if (ClipsToParent(child.Get()) && child->mUnclippedDescendants == 0)
            continue;
        added += child->CollectFloatingControls(list, skipHidden, true);
    }
    return added;
}

// ---------------------------------------------------------------------------

CAutoControlFlag::CAutoControlFlag(const RCPtr<LControl>& control) : mControl(control)
{
    if (mControl)
        mControl->mBusy = true;
}

CAutoControlFlag::~CAutoControlFlag()
{
    if (mControl)
        mControl->mBusy = false;
}

}  // namespace Tavo
