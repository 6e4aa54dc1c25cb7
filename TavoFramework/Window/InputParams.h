#pragma once

#include "ObjectBase/RefCountedObject.h"
#include "System/KeyCode.h"
#include "Utilities/Storage/ReuseAllocator.h"

#include <cstdint>
#include <vector>

namespace Tavo {

// Per-event input data the root window makes and the controls pass on. The
// ones made for every pointer move or key come from reuse pools.

// Modifier mask of input events.
namespace Modifier {
inline constexpr uint32_t kCtrl = 0x1, kLeftCtrl = 0x2, kRightCtrl = 0x4;
inline constexpr uint32_t kShift = 0x8, kLeftShift = 0x10, kRightShift = 0x20;
inline constexpr uint32_t kAlt = 0x40, kLeftAlt = 0x80, kRightAlt = 0x100;
inline constexpr uint32_t kWin = 0x200, kLeftWin = 0x400, kRightWin = 0x800;
}  // namespace Modifier

// Mouse buttons, one bit each.
namespace MouseButton {
inline constexpr uint32_t kLeft = 1, kMiddle = 2, kRight = 4;
inline constexpr bool IsValid(uint32_t button)
{
    return button == kLeft || button == kMiddle || button == kRight;
}
}  // namespace MouseButton

class LPointParam : public virtual LRefCountedObject
{
public:
    static RCPtr<LPointParam> Create(int32_t x, int32_t y)
    {
        return RCPtr<LPointParam>(new LPointParam(x, y));
    }
    WString ToString() const override;

    int32_t mX = 0;
    int32_t mY = 0;

protected:
    LPointParam(int32_t x, int32_t y) : mX(x), mY(y) {}
};

// A pointer position in the receiving control's coordinates.
class LPointWithModifiersParam : public LPointParam
{
    TAVO_POOLED_CLASS(LPointWithModifiersParam, 32, true)

public:
    static RCPtr<LPointWithModifiersParam> Create(int32_t x, int32_t y, uint32_t modifiers,
                                                  uint32_t pointerId = 0)
    {
        return RCPtr<LPointWithModifiersParam>(new LPointWithModifiersParam(x, y, modifiers, pointerId));
    }
    WString ToString() const override;

    uint32_t mModifiers = 0;
    uint32_t mPointerId = 0;

protected:
    LPointWithModifiersParam(int32_t x, int32_t y, uint32_t modifiers, uint32_t pointerId)
        : LPointParam(x, y), mModifiers(modifiers), mPointerId(pointerId)
    {
    }
};

class LMouseButtonParam : public LPointWithModifiersParam
{
    TAVO_POOLED_CLASS(LMouseButtonParam, 32, true)

public:
    // button: the one that changed (MouseButton); buttonsHeld: the mask
    // still down after it.
    static RCPtr<LMouseButtonParam> Create(uint32_t button, int32_t x, int32_t y, uint32_t modifiers,
                                           bool doubleClick = false, uint32_t buttonsHeld = 0,
                                           uint32_t pointerId = 0)
    {
        return RCPtr<LMouseButtonParam>(
            new LMouseButtonParam(button, x, y, modifiers, doubleClick, buttonsHeld, pointerId));
    }
    // The same press or release at another point.
    RCPtr<LMouseButtonParam> MovedTo(int32_t x, int32_t y) const
    {
        return Create(mButton, x, y, mModifiers, mDoubleClick, mButtonsHeld, mPointerId);
    }

    uint32_t mButton = 0;
    bool mDoubleClick = false;
    uint32_t mButtonsHeld = 0;

protected:
    LMouseButtonParam(uint32_t button, int32_t x, int32_t y, uint32_t modifiers, bool doubleClick,
                      uint32_t buttonsHeld, uint32_t pointerId)
        : LPointWithModifiersParam(x, y, modifiers, pointerId), mButton(button), mDoubleClick(doubleClick),
          mButtonsHeld(buttonsHeld)
    {
    }
};

class LMouseWheelParam : public LPointWithModifiersParam
{
    TAVO_POOLED_CLASS(LMouseWheelParam, 8, true)

public:
    // 0 vertical towards the user, 1 away, 2 horizontal left, 3 right.
    enum : uint32_t { kDown = 0, kUp = 1, kLeft = 2, kRight = 3 };

    static RCPtr<LMouseWheelParam> Create(int32_t x, int32_t y, uint32_t modifiers, uint32_t direction)
    {
        return RCPtr<LMouseWheelParam>(new LMouseWheelParam(x, y, modifiers, direction));
    }
    WString ToString() const override;
    bool IsVertical() const { return mDirection == kDown || mDirection == kUp; }

    uint32_t mDirection = 0;

protected:
    LMouseWheelParam(int32_t x, int32_t y, uint32_t modifiers, uint32_t direction)
        : LPointWithModifiersParam(x, y, modifiers, 0), mDirection(direction)
    {
    }
};

// One key event on its way through the controls: the key, whether the walk
// stays inside one container, and the controls that passed it on (held as
// counted objects so that this header needs no control class).
class LKeyParam : public virtual LRefCountedObject
{
    TAVO_POOLED_CLASS(LKeyParam, 16, true)

public:
    static RCPtr<LKeyParam> Create(const KeyCode& key, bool contained = false)
    {
        return RCPtr<LKeyParam>(new LKeyParam(key, contained));
    }
    // The identifier form of the key, such as "Alt+VKEY_F4".
    WString ToString() const override;

    // A press: a virtual key, key down, and not the no-key code.
    bool IsKeyPress() const;
    bool IsKeyPress(uint32_t virtualKey) const { return IsKeyPress() && mKey.VirtualKey() == virtualKey; }
    bool IsShift() const { return (mKey.code & KeyCode::kShift) != 0; }

    void Add(const RCPtr<LRefCountedObject>& control) { mPath.push_back(control); }
    uint32_t GetPathCount() const { return static_cast<uint32_t>(mPath.size()); }
    const RCPtr<LRefCountedObject>& GetPathAt(uint32_t index) const { return mPath.at(index); }
    // The last control that passed the key on, as T; empty when none is.
    template <class T>
    RCPtr<T> GetLast() const
    {
        return mPath.empty() ? RCPtr<T>() : RCPtrDynamicCast<T>(mPath.back());
    }

    KeyCode mKey;
    bool mContained = false;

protected:
    LKeyParam(const KeyCode& key, bool contained) : mKey(key), mContained(contained) {}

private:
    std::vector<RCPtr<LRefCountedObject>> mPath;
};

// Data of "NID_SIBLING_KEY": a key a control did not use, offered to the
// hot keys of its siblings. A receiver that takes it sets mResult to 0.
class LSiblingKeyParam : public virtual LRefCountedObject
{
    TAVO_POOLED_CLASS(LSiblingKeyParam, 8, true)

public:
    static RCPtr<LSiblingKeyParam> Create(const KeyCode& key, const RCPtr<LRefCountedObject>& sender)
    {
        return RCPtr<LSiblingKeyParam>(new LSiblingKeyParam(key, sender));
    }
    WString ToString() const override { return KeyCode::ToString(mKey); }
    template <class T>
    RCPtr<T> GetSender() const
    {
        return RCPtrDynamicCast<T>(mSender);
    }

    KeyCode mKey;
    RCPtr<LRefCountedObject> mSender;
    int32_t mResult = -1;

protected:
    LSiblingKeyParam(const KeyCode& key, const RCPtr<LRefCountedObject>& sender) : mKey(key), mSender(sender)
    {
    }
};

}  // namespace Tavo
