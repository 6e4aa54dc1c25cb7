#pragma once

#include "ControlBase/Control.h"
#include "ControlBase/MenuDescriptor.h"

namespace Tavo {

// Asks one control for the live state of menu entries.
class LMenuItemUpdater : public virtual LRefCountedObject
{
public:
    static RCPtr<LMenuItemUpdater> Create(const RCPtr<LControl>& control)
    {
        return RCPtr<LMenuItemUpdater>(new LMenuItemUpdater(control));
    }
    const RCPtr<LControl>& GetControl() const { return mControl; }
    // Breaks the loop of a control whose own popups hold its updater.
    void Drop() { mControl = nullptr; }

private:
    explicit LMenuItemUpdater(const RCPtr<LControl>& control) : mControl(control) {}
    RCPtr<LControl> mControl;
};

// What a menu title asks of the drop-down list of its entries.
class IMenuPopup
{
public:
    virtual ~IMenuPopup() = default;
    // E_INVALIDARG for no menu; the popup keeps a copy.
    virtual TavoResult SetMenuDescriptor(const RCPtr<LMenuDescriptor>& menu) = 0;
    virtual RCPtr<LMenuDescriptor> GetMenuDescriptor() const = 0;
    // Where chosen entries are delivered; E_FAIL when one is set already.
    virtual TavoResult SetNotificationTarget(const RCPtr<LNotificationReceiver>& target) = 0;
    // Cleared by an opener that hides the popup itself after a choice.
    virtual void SetCloseOnActivation(bool close) = 0;
    virtual void SetItemUpdater(const RCPtr<LMenuItemUpdater>& updater) = 0;
};

}  // namespace Tavo
