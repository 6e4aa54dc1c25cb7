#pragma once

#include "ControlBase/Control.h"
#include "Controls/Scrollbar.h"
#include "Notification/NotificationHandler.h"

namespace Tavo {

// A container whose content may be larger than its client area. The parts
// "hBar", "vBar" and "corner" of its skin scroll it; a bar shows only while
// the content does not fit. The extent can follow the children.
class LScrollView : public LControl
{
public:
    using ScrollViewHandler = LNotificationHandler<LScrollView>;

    LScrollView(const RCPtr<LControl>& parent, const WString& name) : LControl(parent, name) {}

    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;
    TavoResult Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name) override;

    TavoResult Initialize() override;
    TavoResult ApplyProperties() override;
    TavoResult SetDescriptor(const RCPtr<LControlDescriptor>& descriptor) override;
    TavoResult SetScrollOffset(const PointT<double>& offset) override;
    void UpdateScrollState() override;
    RectT<double> GetClientRect() override;
    RectT<double> GetScrollLimits() override;
    PointT<double> GetMaximumSize() override;
    RectT<double> GetContentRect() override;
    void ScrollRectIntoView(const RCPtr<LControl>& child) override;
    void ChildRemoved(const RCPtr<LControl>& child, int32_t index) override;
    void GetLookNaturalSize() override;
    void ClampScrollPosition() override;
    TavoResult OnWheel(const RCPtr<LMouseWheelParam>& param) override;
    TavoResult OnWheelEvent(const RCPtr<LMouseWheelParam>& param) override;

    // 0 stored, 1 unchanged.
    TavoResult SetClientExtent(const PointT<double>& extent);
    const PointT<double>& GetClientExtent() const { return mClientExtent; }
    // Mode 0 off, 1 width from the children, 2 height, 3 both.
    TavoResult SetAutoClientExtent(int32_t mode, int32_t marginX, int32_t marginY);
    int32_t GetAutoClientExtentMode() const { return mAutoExtentMode; }
    TavoResult UpdateAutoClientExtent();
    // 1 when already running.
    TavoResult RefreshScrollbars();
    void UpdateScrollbars();
    void SetScrollbarShown(int32_t axis, bool shown);
    bool IsScrollbarShown(int32_t axis) const;
    PointT<double> GetScrollbarThickness() const;
    PointT<int32_t> GetChildrenExtent();
    // Row mode on an axis: it scrolls by whole rows of lineSize pixels; a
    // unit of 0 goes back to pixels.
    void SetScrollUnit(int32_t axis, int32_t unit, int32_t lineSize);
    LScrollbar* GetHorizontalBar() const { return mHBar.Get(); }
    LScrollbar* GetVerticalBar() const { return mVBar.Get(); }

    virtual void ClientExtentChanged();
    virtual void ClientRectChanged() {}
    virtual void ScrollbarShownChanged(int32_t /*axis*/) {}

protected:
    TavoResult OnBarValueChange(const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& n);

private:
    void SetUpBars();
    TavoResult ScrollByWheel(LScrollbar* bar, uint32_t modifiers, bool increase);
    void UpdateBar(int32_t axis);

    RCPtr<ScrollViewHandler> mHandler;
    bool mRefreshing = false;
    bool mSettingOffset = false;
    bool mResizing = false;
    RCPtr<LScrollbar> mHBar;
    RCPtr<LScrollbar> mVBar;
    RCPtr<LControl> mCorner;
    PointT<double> mClientExtent{0, 0};
    PointT<double> mBarThickness{0, 0};
    int32_t mScrollUnit[2] = {0, 0};
    int32_t mLineSize[2] = {1, 1};
    int32_t mAutoExtentMode = 0;
    PointT<int32_t> mAutoExtentMargin{0, 0};
};

}  // namespace Tavo
