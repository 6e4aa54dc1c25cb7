#pragma once

// LControl, the base of every widget and of the main control, with its
// child list; the order of its virtual operations is fixed for all of them.

#include "ControlBase/SkinDescriptors.h"
#include "Notification/NotificationClient.h"
#include "Notification/NotificationDistributor.h"
#include "Notification/NotificationHandler.h"
#include "ObjectBase/TaggableObject.h"
#include "Utilities/Geometry/Rect.h"
#include "Utilities/Geometry/RectRegion.h"
#include "Window/UITarget.h"
#include "Window/WindowOSServices.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace Tavo {

class LControl;
class LLook;
class LFont;
class LRootWindow;
class LMenuDescriptor;
class LNotificationCenter;
class LConditionsParam;
class LPointWithModifiersParam;
class LMouseButtonParam;
class LMouseWheelParam;
class LKeyParam;
class LRenderer;
class LMenuItemDescriptor;
struct KeyCode;
class HotKeyMap;

// Condition bits of a control, as UpdateConditions reports them.
inline constexpr uint32_t kConditionHasFocus = 0x1;
inline constexpr uint32_t kConditionContainsFocus = 0x2;
inline constexpr uint32_t kConditionHoverRaw = 0x4;
inline constexpr uint32_t kConditionCapture = 0x8;
inline constexpr uint32_t kConditionLeftPressed = 0x10;
inline constexpr uint32_t kConditionMiddlePressed = 0x20;
inline constexpr uint32_t kConditionRightPressed = 0x40;
inline constexpr uint32_t kConditionLeftDrag = 0x80;
inline constexpr uint32_t kConditionMiddleDrag = 0x100;
inline constexpr uint32_t kConditionRightDrag = 0x200;
inline constexpr uint32_t kConditionEnabled = 0x400;
inline constexpr uint32_t kConditionVisible = 0x800;
inline constexpr uint32_t kConditionHover = 0x1000;

// What the control the factory makes for "contextMenu" offers; the popup
// menu implements it.
class IContextMenuHost
{
public:
    virtual ~IContextMenuHost() = default;
    virtual TavoResult SetMenuDescriptor(const RCPtr<LMenuDescriptor>& menu) = 0;
    // Opens at a point of the window's client area.
    virtual TavoResult PositionAndOpen(const PointT<int32_t>& windowPoint) = 0;
};

// The skinned control every widget derives from: a node of the control tree
// with a placement record, looks, text, value, conditions and a dirty area.
// It sends notifications to its subscribers, receives them through a handler
// table, and takes input from its root window.
class LControl : public virtual LNotificationClient,
                 public virtual LNotificationDistributor,
                 public virtual LTaggableObject,
                 public virtual UITarget
{
public:
    using Handler = LNotificationHandler<LControl>;

    // The children of a control in insertion order, with a drawing-order and
    // a tab-order view sorted again only after the list changed.
    class ChildControlList
    {
    public:
        enum Order : int32_t { kInsertion = 0, kDrawing = 1, kTab = 2 };

        explicit ChildControlList(LControl* owner) : mOwner(owner) {}
        virtual ~ChildControlList();
        ChildControlList(const ChildControlList&) = delete;
        ChildControlList& operator=(const ChildControlList&) = delete;

        uint32_t Count() const { return static_cast<uint32_t>(mItems.size()); }
        // Throws a runtime error for an index at or past the count or an
        // unknown order.
        const RCPtr<LControl>& GetAt(uint32_t index, int32_t order = kInsertion);
        // E_INVALIDARG for an empty child, E_FAIL when a child of that name
        // exists already.
        TavoResult Add(const RCPtr<LControl>& child);
        // The same without a temporary reference: a control under
        // construction (count 0) must survive a refusal.
        TavoResult AddControl(LControl* child);
        // Index in insertion order, or -1.
        int32_t IndexOf(const LControl* child) const;
        // Position in tab order, or -1; kept at sorting, so no scan.
        int32_t TabPositionOf(const LControl* child);
        // The child of that name, or null.
        LControl* Find(const WString& name) const;
        // Former index, or -1 when the control is no child.
        int32_t Remove(const RCPtr<LControl>& child);
        // True when the list was empty already.
        bool RemoveAll();
        // 1 unchanged, E_FAIL taken by a sibling, E_INVALIDARG no child, else 0.
        TavoResult RenameChild(const RCPtr<LControl>& child, const WString& name);
        // The views depend on what changed: sort again before the next read.
        void Changed() { ++mChangeCount; }
        uint32_t GetChangeCount() const { return mChangeCount; }

    private:
        void Detach(uint32_t index);
        void SortViews();

        std::vector<RCPtr<LControl>> mItems;
        // The children by name: adding one checks its name without walking
        // its siblings.
        std::unordered_map<std::u16string, LControl*> mByName;
        std::vector<int32_t> mTabOrder;
        std::vector<int32_t> mDrawOrder;
        uint32_t mChangeCount = 1;
        uint32_t mSortedAt = 0;
        LControl* mOwner;
    };

    LControl(const RCPtr<LControl>& parent, const WString& name);
    ~LControl() override;

    // The creation steps a class creator runs; the result holds the control.
    // When a step throws, the half-built control leaves its parent first.
    template <class T>
    static void CreateT(RCPtr<LControl>& result, const RCPtr<LControl>& parent,
                        const RCPtr<LControlDescriptor>& descriptor)
    {
        RCPtr<LControl> control(new T(parent, descriptor ? descriptor->GetName() : WString()));
        RunCreationSteps(control, descriptor);
        result = control;
    }
    static void RunCreationSteps(const RCPtr<LControl>& control, const RCPtr<LControlDescriptor>& descriptor);

    // LRefCountedObject
    TavoResult ReleaseInternalReferences() override;

    // LNotificationReceiver
    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;
    TavoResult Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name) override;

    const WString& GetName() const { return mName; }
    // The class name of the descriptor the control was made from.
    WString GetDescriptorClassName() const;
    // Only for a control without a parent: E_FAIL otherwise.
    TavoResult SetRootWindow(LRootWindow* window);

    // UITarget; the input half fills these.
    TavoResult UITarget_MouseEnter() override;
    TavoResult UITarget_MouseMove(const RCPtr<LPointWithModifiersParam>& param) override;
    TavoResult UITarget_MouseDown(const RCPtr<LMouseButtonParam>& param) override;
    TavoResult UITarget_MouseUp(const RCPtr<LMouseButtonParam>& param) override;
    TavoResult UITarget_MouseLeave() override;
    TavoResult UITarget_OnMouseDown(uint32_t button, int32_t x, int32_t y) override;
    TavoResult UITarget_ReleaseCapture() override;
    TavoResult UITarget_Key(const RCPtr<LKeyParam>& param) override;
    TavoResult UITarget_WheelVertical(const RCPtr<LMouseWheelParam>& param) override;
    TavoResult UITarget_WheelHorizontal(const RCPtr<LMouseWheelParam>& param) override;
    TavoResult UITarget_UpdateGeometry(int32_t width, int32_t height) override;
    bool UITarget_IsTarget() override { return true; }
    TavoResult UITarget_Deactivate() override;

    // ---- Main table, in slot order ----
    // 0 changed, 1 equal.
    virtual TavoResult SetText(const WString& text);
    // Clamps to [0, 1]; returns the stored value.
    virtual double SetValue(double value);
    virtual void OnValueChanged() {}
    // Mode 0 linear, 1 exponential (min and max above 0); else E_INVALIDARG.
    virtual TavoResult SetValueRange(double minimum, double maximum, int32_t scaleMode);
    virtual void SaveClientRect() {}
    virtual void CheckClientRect() {}
    virtual void ScrollContent(const PointT<double>& /*delta*/) {}
    virtual void InvalidateChildRect(const RCPtr<LControl>& /*child*/) {}
    virtual PointT<double> GetNaturalSize();
    virtual PointT<double> GetMinimumSize();
    // Returns the new flag.
    virtual bool SetClipToParent(bool clip);
    virtual TavoResult SetScrollOffset(const PointT<double>& offset);
    virtual RCPtr<LStringTable> GetStringTable() const { return mStringTable; }
    virtual bool IsEditTarget() const { return false; }
    virtual RCPtr<LControl> FindEditTarget();
    virtual bool CanPerformEdit(int32_t /*command*/) { return false; }
    virtual TavoResult PerformEdit(int32_t command);
    virtual TavoResult SetDragMode(int32_t mode, int32_t edges);
    virtual TavoResult BeginDrag();
    virtual TavoResult RebaseDrag();
    virtual TavoResult DragUpdate(const RCPtr<LPointWithModifiersParam>& pointer);
    virtual void OnDragUpdated(const RCPtr<LPointWithModifiersParam>& /*pointer*/) {}
    virtual TavoResult EndDrag();
    virtual RCPtr<LControl> FindDropTarget(LControl* dragged, const PointT<int32_t>& point);
    virtual bool AcceptsDrop(LControl* /*dragged*/) { return false; }
    // Bits 8 left, 4 right, 0x10 top, 0x20 bottom may auto-scroll.
    virtual uint32_t GetDropScrollEdges(LControl* /*dragged*/) { return 0; }
    virtual RectT<double> GetDragLimits();
    virtual RectT<double> GetDragRect();
    virtual void OnDragStarted(LControl* /*dragged*/) {}
    virtual void DragEnter(LControl* /*dragged*/) {}
    virtual void DragOver(LControl* /*dragged*/, const PointT<int32_t>& /*point*/) {}
    virtual void DragLeave(LControl* /*dragged*/) {}
    virtual TavoResult Drop(LControl* /*dragged*/) { return E_FAIL; }
    // E_FAIL when no control could take the focus.
    virtual TavoResult SetFocus(bool first);
    virtual void SetNotFocusable(bool notFocusable);
    virtual bool HasFocusableDescendant();
    virtual void OnIdleTimer(const RCPtr<LRefCountedObject>& /*param*/) {}
    virtual void Detach();
    virtual TavoResult ProcessRootWindowAquired();
    virtual void OnNotificationHook(int32_t /*a*/, int32_t /*b*/) {}
    // IsShown (with ancestors) after the change.
    virtual bool SetVisible(bool visible);
    virtual bool IsTransparentAt(const PointT<int32_t>& point);
    virtual uint32_t GetLookColorAt(const PointT<int32_t>& point, int32_t lookIndex);
    virtual TavoResult HandleCommand(int32_t /*a*/, int32_t /*b*/, int32_t /*c*/, int32_t /*d*/)
    {
        return S_FALSE;
    }
    virtual RCPtr<LMenuDescriptor>* GetContextMenu() { return &mContextMenu; }
    virtual void PrepareContextMenu(const RCPtr<LMenuDescriptor>& /*menu*/) {}
    virtual TavoResult SelectLook(int32_t index, float weight = 1.0f);
    virtual void SetLookCount(int32_t count);
    virtual TavoResult OnLookChanged(const RCPtr<LRefCountedObject>& /*param*/) { return S_OK; }
    virtual void SetEnabled(bool enabled);
    virtual TavoResult SetDescriptor(const RCPtr<LControlDescriptor>& descriptor);
    // Draws the control for the region into the renderer and lists the
    // children to draw over it.
    virtual TavoResult Draw(LRenderer* renderer, const RectRegion& region,
                            std::vector<RCPtr<LControl>>& overlays, bool overlayPass);
    // x, y, width, height in this control's coordinates.
    virtual void InvalidateLocalRect(const RectT<double>& rect, bool propagate);
    virtual void InvalidateRect(const RectT<double>& rect, bool propagate);
    // The deepest control under a point of this control's coordinates.
    // z: in, the effective z to beat; out, that of the control hit.
    virtual RCPtr<LControl> HitTest(const PointT<int32_t>& point, PointT<int32_t>& local, bool strict,
                                    int32_t& z);
    // The same from the top of a walk: any effective z may win.
    virtual RCPtr<LControl> HitTest(const PointT<int32_t>& point, PointT<int32_t>& local, bool strict);
    virtual void OnLayoutHook() {}
    virtual TavoResult TakeFocusFromChild(const RCPtr<LControl>& child);
    virtual void OnLeftDown(const RCPtr<LMouseButtonParam>& /*param*/) {}
    virtual void OnLeftUp(const RCPtr<LMouseButtonParam>& /*param*/) {}
    virtual void OnMiddleDown(const RCPtr<LMouseButtonParam>& /*param*/) {}
    virtual void OnMiddleUp(const RCPtr<LMouseButtonParam>& /*param*/) {}
    virtual void OnRightDown(const RCPtr<LMouseButtonParam>& /*param*/) {}
    virtual void OnRightUp(const RCPtr<LMouseButtonParam>& /*param*/) {}
    virtual void OnMouseMove(const RCPtr<LPointWithModifiersParam>& /*param*/) {}
    virtual TavoResult OnWheel(const RCPtr<LMouseWheelParam>& /*param*/) { return S_FALSE; }
    virtual TavoResult OnWheelEvent(const RCPtr<LMouseWheelParam>& /*param*/) { return S_FALSE; }
    virtual TavoResult OnClick(const RCPtr<LMouseButtonParam>& param);
    virtual TavoResult OnLeftClick(const RCPtr<LMouseButtonParam>& param);
    virtual TavoResult OnMiddleClick(const RCPtr<LMouseButtonParam>& param);
    virtual TavoResult OnRightClick(const RCPtr<LMouseButtonParam>& param);
    virtual void OnLeftClicked(const RCPtr<LMouseButtonParam>& /*param*/) {}
    virtual void OnMiddleClicked(const RCPtr<LMouseButtonParam>& /*param*/) {}
    virtual void OnRightClicked(const RCPtr<LMouseButtonParam>& /*param*/) {}
    // A point of the parent's coordinates.
    virtual bool ContainsPoint(const PointT<int32_t>& point);
    virtual RCPtr<LControl> GetNextTabChild(const RCPtr<LControl>& child, bool backward);
    virtual TavoResult OnKey(const RCPtr<LKeyParam>& /*param*/) { return S_FALSE; }
    virtual TavoResult OnSiblingKey(const RCPtr<LKeyParam>& param);
    virtual TavoResult RouteUnhandledKey(const RCPtr<LKeyParam>& param);
    virtual TavoResult ProcessTabKey(const RCPtr<LKeyParam>& param);
    virtual TavoResult ShowToolTip(bool show);
    virtual TavoResult RefreshInheritedFont();
    virtual TavoResult OnParentResized(int32_t a, int32_t b);
    virtual TavoResult OnResized(const RCPtr<LControl>& child);
    virtual void OnIdle() {}
    // Input is handled in the order it came: a press the keyboard made that
    // still shows (Return on a button) completes before the next pointer
    // press is handled.
    virtual void CompletePendingPress() {}
    // An open drop-down part closes here: the user pressed outside it.
    virtual void PressedElsewhere() {}
    // Every shown control of this tree that is not target nor one of its
    // ancestors hears PressedElsewhere; no target (the window lost the
    // focus) means everywhere.
    void ClosePopupsOutside(const LControl* target);
    virtual TavoResult DrawContent(LRenderer* /*renderer*/) { return S_OK; }
    virtual TavoResult DrawOverlay(LRenderer* /*renderer*/) { return S_OK; }
    virtual TavoResult CreateChildren(const RCPtr<LControlDescriptor>& descriptor);
    virtual TavoResult Initialize();
    virtual TavoResult ApplyProperties();
    virtual RectT<double> GetChildRect(const RCPtr<LControl>& child);
    virtual TavoResult Finalize() { return S_OK; }
    virtual WString GetToolTipText() const { return mToolTipText; }
    virtual RCPtr<LControl> GetToolTip();
    virtual RectT<double> GetClientRect();

    // ---- Further virtual operations ----
    virtual void ConditionsChanged(const RCPtr<LConditionsParam>& /*conditions*/) {}
    virtual TavoResult SetDragTarget(int32_t target, int32_t second);
    virtual void UpdateAppearance() {}
    virtual void SaveLayoutOrigin() {}
    virtual void HandlePointerPosition(const RCPtr<LPointWithModifiersParam>& /*pointer*/) {}
    // The result of SetParent, or E_FAIL for an empty child or descriptor.
    virtual TavoResult AdoptChild(const RCPtr<LControl>& child, const RCPtr<LControlDescriptor>& descriptor);
    virtual void ChildRemoved(const RCPtr<LControl>& /*child*/, int32_t /*index*/) {}
    virtual void ChildGeometryChanged(const RCPtr<LControl>& child);
    virtual RectT<double> GetContentRect();
    virtual void GetLookNaturalSize();
    virtual void ClampScrollPosition() {}
    virtual void UpdateScrollState() {}
    virtual void ScrollRectIntoView(const RCPtr<LControl>& /*child*/) {}
    virtual void AddLook(const RCPtr<LLook>& look);
    virtual void SelectInitialLook();
    virtual void FontChanged() {}
    virtual void SetChildFont(const RCPtr<LFont>& /*font*/) {}
    // 1 makes SetDescriptor move the window to the bounds.
    virtual TavoResult ApplyWindowBounds(const RectT<double>& /*bounds*/) { return S_OK; }
    virtual RectT<double> GetScrollLimits();
    virtual PointT<double> GetMaximumSize();
    virtual bool TestActiveLooks();
    // An integer point of the parent's coordinates.
    virtual bool HitTestPoint(const PointT<int32_t>& point);
    virtual TavoResult TakeFocusOnPress();
    // 1 not handled.
    virtual TavoResult UpdateMenuItemState(const RCPtr<LMenuDescriptor>& menu, int32_t item,
                                           const WString& command, uint32_t& state);
    virtual TavoResult GeometryChangedAbsolute();
    virtual bool AcceptsEditCommands() const { return false; }
    virtual void UpdateGeometryHook() {}

    // ---- Tree ----
    LControl* GetParent() const { return mParent; }
    LControl* GetTopLevelControl();
    RCPtr<LControl> GetRootControl();
    // The root window of the tree (the top-level control's).
    LRootWindow* GetRootWindow();
    // 1 when already the parent, else 0.
    TavoResult SetParent(const RCPtr<LControl>& parent);
    TavoResult RemoveChild(const RCPtr<LControl>& child);
    RCPtr<LControl> FindChildByName(const WString& name);
    int32_t IndexOfChild(const LControl* child) const { return mChildren.IndexOf(child); }
    ChildControlList& GetChildren() { return mChildren; }
    TavoResult SetName(const WString& name);
    void CollectDescendants(std::vector<RCPtr<LControl>>& list);
    void IncrementUnclipped();
    void DecrementUnclipped();
    int32_t GetUnclippedDescendants() const { return mUnclippedDescendants; }

    // ---- Descriptor, strings, properties ----
    const RCPtr<LControlDescriptor>& GetDescriptor() const { return mDescriptor; }
    const RCPtr<LLayoutDescriptor>& GetLayout() const { return mLayout; }
    WString GetString(const WString& id) const;
    static bool IsDeferCreate(const RCPtr<LControlDescriptor>& descriptor);
    // A property of the descriptor's create parameters; false when absent.
    bool GetProperty(const WString& name, WString& value) const;
    bool IsCreated() const { return mCreated; }
    void SetCreated(bool created) { mCreated = created; }
    RCPtr<Handler> CreateHandlerTable();
    const RCPtr<Handler>& GetHandlerTable() const { return mHandlers; }
    bool UsesParentToolTip() const { return mUseParentToolTip; }
    // What "USE_PARENT_TOOLTIP" sets; owners set it on their parts.
    void SetUseParentToolTip(bool on) { mUseParentToolTip = on; }
    bool WantsTab() const { return mWantsTab; }

    // ---- Value ----
    double GetValue() const { return mValue; }
    double GetRangeMin() const { return mRangeMin; }
    double GetRangeMax() const { return mRangeMax; }
    int32_t GetScaleMode() const { return mScaleMode; }
    double NormalizedToValue(double t) const;
    double ValueToNormalized(double v) const;

    // ---- Text, font, looks ----
    const WString& GetText() const { return mText; }
    // True when the text changed.
    bool SetLabelText(const WString& text, bool remeasure);
    TavoResult SetFont(const RCPtr<LFont>& font);
    TavoResult SetFontByName(const WString& face, float size, int32_t style, bool relativeSize);
    const RCPtr<LFont>& GetFontMember() const { return mFont; }
    RCPtr<LFont> GetFont() const;
    int32_t GetLookCount() const { return static_cast<int32_t>(mLooks.size()); }
    const RCPtr<LLook>& GetLook(int32_t index) const;
    RCPtr<LLook> GetLookAt(int32_t index) const;
    float GetLookWeight(int32_t index) const;
    int32_t GetActiveLookIndex() const;
    int32_t GetCurrentLookIndex() const { return GetActiveLookIndex(); }
    TavoResult SetLookWeight(int32_t index, float weight, bool exclusive);
    TavoResult SetLookRegion(int32_t index, const RectRegion& region);
    TavoResult SetLookDescriptor(const RCPtr<LLookDescriptor>& descriptor, int32_t index);
    void ResetLookRegions();
    void ResetLookRegion(int32_t index);
    TavoResult CopyLookRegion(int32_t a, int32_t b);
    RectT<double> GetLookClientRect(int32_t index) const;
    RectT<double> GetLookSize(int32_t index) const { return GetLookClientRect(index); }
    // Whether the label text is wider than the current look's text area.
    bool IsTextClipped() const;
    float GetOpacity() const { return mOpacity; }
    void SetOpacity(float opacity) { mOpacity = opacity; }

    // ---- Cursor, hot keys, drag threshold ----
    void SetCursor(CursorHandle cursor);
    CursorHandle GetCursor() const { return mCursor; }
    TavoResult SetHotKeyMap(const std::shared_ptr<HotKeyMap>& map);
    const std::shared_ptr<HotKeyMap>& GetHotKeyMap() const { return mHotKeys; }
    TavoResult SetDragThreshold(int32_t pixels);
    int32_t GetDragThreshold() const { return mDragThreshold; }

    // ---- Conditions ----
    uint32_t GetConditionBits() const;
    void UpdateConditions();
    const RCPtr<LConditionsParam>& GetConditions() const { return mConditions; }
    void SetConditionFlag(bool on);
    bool IsShown(bool withAncestors) const;
    bool IsEnabled(bool withAncestors) const;
    bool CanTakeFocus();
    // CanTakeFocus() || HasFocusableDescendant(), asking the subtree once.
    bool IsFocusCandidate();
    bool HasFocus() const { return mHasFocus; }
    bool ContainsFocus() const { return mContainsFocus; }
    bool HasCapture() const { return mCapture; }
    bool IsHovered() const { return mHover; }
    bool IsNotFocusable() const { return mNotFocusable; }
    bool IsBusy() const { return mBusy; }
    // A skipped control is never the hit test's answer; its children still are.
    void SetHitTestSkip(bool skip) { mHitTestSkip = skip; }
    bool IsHitTestSkipped() const { return mHitTestSkip; }

    // ---- Geometry ----
    double GetX() const { return mX; }
    double GetY() const { return mY; }
    double GetWidth() const { return mWidth; }
    double GetHeight() const { return mHeight; }
    PointT<double> GetScrollOffset() const { return {mScrollX, mScrollY}; }
    RectT<int32_t> GetBounds();
    // 1 when nothing changed, else 0.
    TavoResult SetBounds(const PointT<double>& position, const PointT<double>& size);
    // E_FAIL without a layout record; 1 when nothing changed.
    TavoResult UpdateGeometry();
    void RefreshContentRect();
    RectT<double> GetVisibleContentRect();
    PointT<double> GetPositionInParent() const;
    PointT<double> GetAbsolutePosition() const;
    PointT<double> GetRootOffset() const;
    PointT<int32_t> GetOffsetTo(const LControl* other) const;
    PointT<int32_t> ConvertPointFrom(const LControl* other, const PointT<int32_t>& point) const;
    RectT<double> GetParentAreaInLocal();
    RectT<double> GetChildrenBounds();
    TavoResult GetPlacement(int32_t axis, LLayoutDescriptor::Axis& spec) const;
    TavoResult SetAxisPlacement(int32_t axis, const LLayoutDescriptor::Axis& spec);
    TavoResult SetPlacement(const LLayoutDescriptor::Axis& horizontal,
                            const LLayoutDescriptor::Axis& vertical);
    int32_t CollectFloatingControls(std::vector<RCPtr<LControl>>& list, bool skipHidden, bool includeSelf);
    void RepaintAfterStateChange();
    RectRegion& GetDirtyRegion() { return mDirty; }
    RectRegion& GetVisibleArea() { return mVisibleArea; }

    // ---- Idle ----
    TavoResult RequestIdle();
    TavoResult CancelIdle();
    int32_t GetIdleRequests() const { return mIdleRequests; }
    TavoResult SubscribeSiblingKeys();
    TavoResult OpenContextMenu(const RCPtr<LMenuDescriptor>& menu);
    TavoResult HandleIdleNotification(const RCPtr<LNotificationDistributor>& sender,
                                      const RCPtr<LNotification>& notification);

    // ---- Drawing, invalidation and placement (ControlDraw.cpp) ----
    // Carries an invalidation one level up: rect is in the parent's
    // coordinates (the window's for a top control); 1 when it stopped.
    virtual TavoResult InvalidateLocalRect(const RectT<double>& rectInParent, bool clip,
                                           const RectT<double>& localRect);
    // Repaints the controls of the subtree drawn outside their parents.
    void RefreshUnclipped();
    // The intersection; true when both its sides exceed the double epsilon.
    static bool IntersectRect(RectT<double>& out, const RectT<double>& a, const RectT<double>& b);
    // The placement solver's stages on this control (see Placement.h).
    TavoResult ComputePlacement(const LLayoutDescriptor* layout, LControl* parent,
                                const RectT<double>& reference, const PointT<double>& clientSize,
                                const PointT<double>& referencePoint, RectT<double>& rect);
    TavoResult ApplyMinimumSize(RectT<double>& rect);
    TavoResult ApplyMaximumSize(RectT<double>& rect);

    // A widget offers a notification to its own handler table before its base
    // class's; true when the table took it (result holds the answer). Nothing
    // is delivered before creation has finished.
    template <class H>
    bool OfferToOwnHandler(const RCPtr<H>& handler, const RCPtr<LNotificationDistributor>& sender,
                           const RCPtr<LNotification>& notification, TavoResult& result) const
    {
        result = S_OK;
        if (!mCreated || !notification)
            return true;
        if (!handler || !handler->Handles(sender, notification->GetID()))
            return false;
        result = handler->DispatchNotification(sender, notification);
        return true;
    }

    // Sends a notification of this control to its subscribers at once.
    TavoResult Notify(const char16_t* name, const ConstRCPtr<LRefCountedObject>& data = nullptr);

protected:
    // ---- State shared with the input, drawing and placement halves ----
    RCPtr<Handler> mHandlers;
    WString mName;
    RCPtr<LControlDescriptor> mDescriptor;
    RCPtr<LLayoutDescriptor> mLayout;
    double mX = 0, mY = 0;
    double mWidth = 0, mHeight = 0;
    double mScrollX = 0, mScrollY = 0;
    int32_t mUnclippedDescendants = 0;
    RCPtr<LConditionsParam> mConditions;
    bool mHasFocus = false;
    bool mContainsFocus = false;
    bool mHover = false;
    bool mCapture = false;
    bool mLeftPressed = false;
    bool mMiddlePressed = false;
    bool mRightPressed = false;
    bool mLeftDrag = false;
    bool mMiddleDrag = false;
    bool mRightDrag = false;
    bool mHoverOverride = false;
    bool mInDrag = false;
    double mPressX = 0, mPressY = 0;
    double mPressTime = 0, mPressTime2 = 0;
    double mPressState[2] = {0, 0};

    // Drag state.
    struct DragState
    {
        double savedX = 0, savedY = 0;
        double savedScrollX = 0, savedScrollY = 0;
        int32_t mode = 0;
        int32_t edges = 0;
        double savedWidth = 0, savedHeight = 0;
        double savedPosAbsX = 0, savedPosAbsY = 0;
        double deltaX = 0, deltaY = 0;
        bool clipWasOff = false, xWasAbsolute = true, yWasAbsolute = true;
        bool inUpdate = false;
        RCPtr<LControl> dropTarget;
    } mDrag;
    int32_t mDragTarget = 0;
    int32_t mDragTargetSecond = 0;
    int32_t mDragThreshold = 1;
    bool mIdleOnPress = false;

    double mValue = 0;
    double mRangeMin = 0, mRangeMax = 0;
    int32_t mScaleMode = 0;

    std::vector<RCPtr<LLook>> mLooks;
    std::vector<float> mLookWeights;
    float mOpacity = 1.0f;

    LControl* mParent = nullptr;
    RCPtr<LRootWindow> mRootWindow;
    RCPtr<LStringTable> mStringTable;

    bool mFocusable = true;
    bool mNotFocusable = false;
    // Position among the parent's children in tab order, set when they
    // were last sorted.
    int32_t mTabPosition = -1;
    bool mLabelScrolls = false;
    bool mInheritFont = false;
    bool mInheritFace = false;
    bool mInheritSize = false;
    bool mInheritStyle = false;
    bool mFontSizeRelative = false;
    bool mFontFaceFromBase = false;
    bool mFontSizeFromBase = false;
    bool mUseParentToolTip = false;
    bool mWantsTab = false;
    RCPtr<LFont> mFont;
    WString mText;
    RCPtr<LMenuDescriptor> mContextMenu;
    WString mToolTipText;
    // Set while CAutoControlFlag holds the control.
    bool mBusy = false;
    bool mCreated = false;
    bool mSuppressGeometry = false;
    bool mApplied = false;
    bool mRelayout = false;
    bool mNoFocusOnPress = false;
    bool mLayoutChildrenOnResize = false;
    bool mHitTestExcluded = false;
    bool mHitTestSkip = false;
    int32_t mBoundsDepth = 0;
    int32_t mIdleRequests = 0;
    CursorHandle mCursor = 0;
    CursorHandle mSavedCursor = 0;
    bool mCursorSaved = false;
    double mFlingDeceleration = 1000.0;
    std::vector<RCPtr<LControl>> mFocusControls;
    std::shared_ptr<HotKeyMap> mHotKeys;
    RCPtr<LNotificationCenter> mNotificationCenter;

    // Content rectangle and the largest content allowed.
    RectT<double> mContentRect;
    double mMaxContentWidth = 4503599627370496.0;
    double mMaxContentHeight = 4503599627370496.0;
    bool mHasContentSurface = false;
    RectT<int32_t> mContentSurface;

    ChildControlList mChildren{this};
    RectRegion mDirty;
    RectRegion mVisibleArea;

    // The layout record, made with its defaults when the control has none.
    LLayoutDescriptor& Layout();

    // ---- Input: focus, keys, pointer, dragging, idle ----
public:
    // With ancestors: up to and including the nearest focus root.
    bool IsNotFocusable(bool withAncestors) const;
    // A focus root ignores the not-focusable mark of its ancestors.
    void SetFocusRoot(bool focusRoot) { mFocusRoot = focusRoot; }
    // A press on the control leaves the keyboard focus where it is.
    void SetNoFocusOnPress(bool noFocus) { mNoFocusOnPress = noFocus; }
    RCPtr<LControl> GetFocusedChild();
    RCPtr<LControl> GetFirstFocusableChild() { return GetEdgeFocusableChild(true); }
    RCPtr<LControl> GetLastFocusableChild() { return GetEdgeFocusableChild(false); }
    // Position in one order of the child list, or -1.
    int32_t IndexOfChild(const LControl* child, int32_t order);
    // Marks the focus path through this parent of a control taking the focus.
    bool AcquireFocusPath(const RCPtr<LControl>& child);
    virtual bool UITarget_OnFocusLost();

    // The largest Z_Order among this control and its floating ancestors;
    // INT32_MIN when all of them clip to their parents.
    int32_t GetEffectiveZ() const;
    // Hits on children land on this control, which remembers the child and
    // replays a press on it when the press stays still for 100 ms.
    void SetInterceptChildren(bool intercept) { mInterceptChildren = intercept; }
    TavoResult WheelEvent(const RCPtr<LMouseWheelParam>& param);
    // The tree's hit test at a point of the window's client area.
    RCPtr<LControl> HitTestFromTop(const PointT<int32_t>& windowPoint, PointT<int32_t>& local, bool strict);
    PointT<int32_t> ToWindowPoint(const PointT<int32_t>& point) const;

    virtual TavoResult OrderSiblingKeyClients(const RCPtr<LKeyParam>& param,
                                              const LNotificationDistributor::LNotificationClientPool& pool,
                                              std::vector<int32_t>& order);
    TavoResult OnSiblingKeyNotification(const RCPtr<LNotificationDistributor>& sender,
                                        const RCPtr<LNotification>& notification);
    // Commands of the menu that have a window or application hot key reach
    // OnMenuHotKey while registered.
    TavoResult RegisterMenuHotKeys(const RCPtr<LMenuDescriptor>& menu, bool add);
    TavoResult OnMenuHotKey(const RCPtr<LNotificationDistributor>& sender,
                            const RCPtr<LNotification>& notification);
    // The first key bound to the name; the no-key code when none is.
    KeyCode GetHotKey(const WString& name) const;
    bool HasHotKey(const WString& name) const;
    // The menu of the "CONTEXT_MENU" strings of this control; empty without.
    RCPtr<LMenuDescriptor> BuildMenuFromStrings() const;
    virtual void ContextMenuOpening(const RCPtr<LControl>& /*menu*/) {}

    virtual TavoResult ParentScrollOffsetChanged(const PointT<double>& oldOffset,
                                                 const PointT<double>& newOffset);
    void SendToClient(const RCPtr<LNotificationReceiver>& receiver, const char16_t* name,
                      const ConstRCPtr<LRefCountedObject>& data = nullptr);
    static double RoundCoordinate(double v);
    static void RoundPoint(PointT<double>& point);

    // Scrolls this control's content on an axis (0 x, 1 y) on idle turns at
    // speed pixels per second within [lower, upper]; a dragged control
    // follows the content; a fling slows down after its first second.
    void StartAutoScroll(int axis, double speed, double lower, double upper, const RCPtr<LControl>& dragged,
                         bool fling);
    void StopAutoScroll(int axis);
    bool IsAutoScrolling(int axis) const { return mAutoScroll[axis].active; }
    double GetAutoScrollSpeed(int axis) const { return mAutoScroll[axis].speed; }
    PointT<double> GetDragVelocity() const { return {mDragVelocity[0], mDragVelocity[1]}; }
    RCPtr<LControl> GetDropTarget() const { return mDrag.dropTarget; }
    // One pixel per millisecond on idle turns until the geometry stops
    // changing; shrinking stops at 0.
    void AnimateSize(int axis, bool grow);
    void AnimateMoveTo(int axis, double target);
    // Detached on the next idle turn.
    void DetachLater(const RCPtr<LControl>& control);

protected:
    struct AutoScroll
    {
        bool active = false;
        bool fling = false;
        double lastTime = 0;
        double speed = 0;
        double lower = 0, upper = 0;
        RCPtr<LControl> dragged;
        uint32_t flingStartMs = 0;
    };
    struct Animation
    {
        bool active = false;
        int32_t direction = 0;
        double target = 0;
        uint32_t lastMs = 0;
    };
    struct DragStart
    {
        double position = 0, size = 0;
    };

    bool mFocusRoot = false;
    bool mInterceptChildren = false;
    bool mContextMenuLoaded = false;
    bool mPressReplayIdle = false;
    bool mScrolling = false;
    RCPtr<LControl> mLastHitChild;
    PointT<int32_t> mLastHitLocal;
    int32_t mLastHitZ = 0;
    RCPtr<LMouseButtonParam> mPressParam;
    uint32_t mPressMs = 0;
    uint32_t mMoveMs = 0, mPreviousMoveMs = 0;
    // The sibling-key clients sorted by rank, kept while neither the clients
    // nor this control's children change, so a key press does not sort.
    struct KeyClient
    {
        int32_t index;
        int32_t rank;
        const LControl* control;  // null for a client that is no control
    };
    struct KeyClientOrder
    {
        const void* pool = nullptr;
        uint64_t poolStamp = 0;
        uint32_t childStamp = 0;
        std::vector<KeyClient> clients;
    } mKeyClients;
    DragStart mDragStart[2];
    // Size, parent scroll offset and placement values a drag measures from.
    void SaveDragStart();
    double mDragVelocity[2] = {0, 0};
    AutoScroll mAutoScroll[2];
    Animation mSizeAnimation[2], mMoveAnimation[2];
    std::vector<RCPtr<LControl>> mPendingRemoval;

private:
    bool InheritsNotFocusable() const;
    RCPtr<LControl> GetEdgeFocusableChild(bool first);
    void PassTabUpward(const RCPtr<LKeyParam>& param);
    TavoResult OfferToWindowHotKeys(const KeyCode& key);
    LControl* UpdateDropTarget(const PointT<int32_t>& windowPoint, double zoneDepth[2]);
    void StartFling();
    void StepAnimations();
    void ReplayDelayedPress();
    // The "CONTEXT_MENU" strings become the context menu on the first right click.
    void LoadContextMenu();

private:
    // Draws the children under one look, in their three docked groups.
    void DrawChildren(LRenderer* renderer, const RectRegion& region, std::vector<RCPtr<LControl>>& overlays,
                      int32_t lookIndex);
    friend class CAutoControlFlag;
    friend struct FocusWalk;
    void ApplyNotFocusableProperty();
};

// Marks a control busy for the life of a scope and keeps it alive meanwhile.
class CAutoControlFlag
{
public:
    explicit CAutoControlFlag(const RCPtr<LControl>& control);
    ~CAutoControlFlag();
    CAutoControlFlag(const CAutoControlFlag&) = delete;
    CAutoControlFlag& operator=(const CAutoControlFlag&) = delete;

private:
    RCPtr<LControl> mControl;
};

}  // namespace Tavo
