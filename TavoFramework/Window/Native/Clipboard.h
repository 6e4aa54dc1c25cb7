#pragma once

#include "Application/AppInterfaces.h"
#include "Notification/NotificationClient.h"
#include "ObjectBase/Holder.h"
#include "ObjectBase/TaggableObject.h"
#include "Platform/Window/WindowSystem.h"

#include <functional>

namespace Tavo {

// Clipboard text as the program holds it.
using LClipboardText = LWrapperStringable<WString, StringToString, LTaggableObject>;
RCPtr<LTaggableObject> CreateClipboardText(const WString& text);
// The text of a clipboard object that is one, else nothing.
const WString* GetClipboardText(const RCPtr<LTaggableObject>& data);

// Edit kinds of the edit requests.
enum EditKind : int32_t { kEditDelete = 0, kEditCut = 1, kEditCopy = 2, kEditPaste = 3 };

// The application's gateway to the clipboard and the receiver of the edit
// requests, which it turns into edits of the focused control.
class LClipboard : public LNotificationClient, public IClipboardService
{
public:
    // Performs (perform true) or asks about an edit of the focused control of
    // the active window; 1 (not handled) without one.
    using EditRouter = std::function<TavoResult(int32_t kind, bool perform)>;

    static RCPtr<LClipboard> Create(Platform::Window::IWindowSystem* system = nullptr);

    // Subscribes to "NID_EDIT_CUT_REQ", "NID_EDIT_COPY_REQ",
    // "NID_EDIT_PASTE_REQ" and "NID_EDIT_DELETE_REQ" on the main center.
    TavoResult Initialize() override;
    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;

    // Text goes out as UTF-8 and, when it fits, Latin-1; any other object
    // stays in the program behind the private target. Empty data only
    // forgets what was held (another program took the clipboard). 1 while a
    // write is under way.
    TavoResult SetData(const RCPtr<LTaggableObject>& data);
    // Our own object while the clipboard is still ours, else another
    // program's text, else empty.
    RCPtr<LTaggableObject> GetData();

    static void SetEditRouter(EditRouter router);

    const RCPtr<LTaggableObject>& GetHeldData() const { return mHeld; }

private:
    explicit LClipboard(Platform::Window::IWindowSystem* system) : mSystem(system) {}
    Platform::Window::IWindowSystem* System() const;

    Platform::Window::IWindowSystem* mSystem;
    uint32_t mLastSequence = 0;
    RCPtr<LTaggableObject> mHeld;
    bool mWriting = false;
};

TavoResult PerformEditOnFocus(int32_t kind);
bool CanPerformEditOnFocus(int32_t kind);

}  // namespace Tavo
