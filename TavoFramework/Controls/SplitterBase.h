#pragma once

#include "ControlBase/Control.h"

#include <functional>

namespace Tavo {

// A bar between two sibling panes that the user drags to move the border
// between them. The pane the bar is positioned against (its reference) is
// resized by the drag; panes positioned or sized against the bar follow it
// through layout. The reference pane's and the later siblings' smallest and
// largest sizes bound the drag, and a resize of the parent that would squeeze
// a pane below its smallest size moves the bar instead.
class LSplitterBase : public LControl
{
public:
    // 0: the bar lies across and moves up and down; 1: it stands and moves
    // left and right.
    LSplitterBase(const RCPtr<LControl>& parent, const WString& name, int32_t orientation)
        : LControl(parent, name), mOrientation(orientation)
    {
    }
    ~LSplitterBase() override;

    TavoResult UITarget_UpdateGeometry(int32_t width, int32_t height) override;
    void ConditionsChanged(const RCPtr<LConditionsParam>& conditions) override;
    TavoResult BeginDrag() override;
    TavoResult DragUpdate(const RCPtr<LPointWithModifiersParam>& pointer) override;
    void OnDragUpdated(const RCPtr<LPointWithModifiersParam>& pointer) override;
    TavoResult EndDrag() override;
    TavoResult Initialize() override;

    int32_t GetOrientation() const { return mOrientation; }
    // The layout axis the bar moves along: 0 x, 1 y.
    int32_t GetAxis() const { return mOrientation == 0 ? 1 : 0; }
    // Where the bar may go during the current drag, in its parent's coordinates.
    double GetDragMin() const { return mDragMin; }
    double GetDragMax() const { return mDragMax; }

private:
    // Which side of the bar a later sibling lies on: -1 before, 1 after,
    // 0 when it does not follow the bar.
    int32_t SideOf(LControl& sibling) const;
    // Calls visit with each later sibling that follows the bar and its side.
    void ForEachFollower(const std::function<void(LControl&, int32_t)>& visit);
    void UpdateLook();

    int32_t mOrientation;
    double mDragMin = 0, mDragMax = 0;
    double mDragStart = 0;
    double mSavedOffset = 0;
    float mSavedFraction = 0;
    RCPtr<LControl> mReferenceControl;
    double mReferenceSize = 0;
};

}  // namespace Tavo
