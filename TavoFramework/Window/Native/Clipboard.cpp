#include "Window/Native/Clipboard.h"

#include "Notification/NotificationCenter.h"
#include "ObjectBase/Exception.h"
#include "Window/Native/WindowHost.h"

namespace Tavo {

namespace Win = Platform::Window;

namespace {

constexpr uint32_t kReadTimeoutMs = 2000;

LClipboard::EditRouter& Router()
{
    static auto* router = new LClipboard::EditRouter;
    return *router;
}

const char16_t* const kRequests[] = {u"NID_EDIT_CUT_REQ", u"NID_EDIT_COPY_REQ", u"NID_EDIT_PASTE_REQ",
                                     u"NID_EDIT_DELETE_REQ"};
const int32_t kRequestKinds[] = {kEditCut, kEditCopy, kEditPaste, kEditDelete};

}  // namespace

RCPtr<LTaggableObject> CreateClipboardText(const WString& text)
{
    return RCPtr<LTaggableObject>(new LClipboardText(text));
}

const WString* GetClipboardText(const RCPtr<LTaggableObject>& data)
{
    const auto* text = dynamic_cast<const LClipboardText*>(data.Get());
    return text ? static_cast<const WString*>(text) : nullptr;
}

RCPtr<LClipboard> LClipboard::Create(Win::IWindowSystem* system)
{
    return RCPtr<LClipboard>(new LClipboard(system));
}

Win::IWindowSystem* LClipboard::System() const
{
    return mSystem ? mSystem : WindowHost::System();
}

TavoResult LClipboard::Initialize()
{
    const RCPtr<LNotificationCenter> center = GetMainNotificationCenter();
    for (int i = 0; i < 4; ++i) {
        if (!Subscribe(center, kRequests[i]))
            TAVO_THROW_IF_FAILED(E_FAIL, "Tavo::LClipboard::Initialize", "System\\ClipBoard", 41 + i);
    }
    return S_OK;
}

TavoResult LClipboard::ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                           const RCPtr<LNotification>& notification)
{
    if (notification) {
        for (int i = 0; i < 4; ++i) {
            if (notification->GetID() == GetNotificationID(kRequests[i])) {
                PerformEditOnFocus(kRequestKinds[i]);
                return S_FALSE;
            }
        }
    }
    return LNotificationClient::ReceiveNotification(sender, notification);
}

TavoResult LClipboard::SetData(const RCPtr<LTaggableObject>& data)
{
    if (mWriting)
        return S_FALSE;
    mWriting = true;
    mHeld = data;
    if (!data) {
        mWriting = false;
        return S_OK;
    }
    Win::IWindowSystem* system = System();
    TavoResult result = E_FAIL;
    if (system) {
        bool ok = false;
        if (const WString* text = GetClipboardText(data))
            ok = system->SetClipboardText(0, std::u16string(text->c_str(), text->GetLength()));
        else
            ok = system->SetClipboardPrivate(0);
        result = ok ? S_OK : E_FAIL;
        mLastSequence = system->GetClipboardSequence();
    }
    mWriting = false;
    return result;
}

RCPtr<LTaggableObject> LClipboard::GetData()
{
    Win::IWindowSystem* system = System();
    if (!system)
        return mHeld;
    // Still ours: what we wrote (or read) last, text or private object.
    if (system->OwnsClipboard() && system->GetClipboardSequence() == mLastSequence)
        return mHeld;
    if (system->ClipboardHasPrivate())
        return mHeld;
    const std::optional<std::u16string> text = system->ReadClipboardText(kReadTimeoutMs);
    mHeld = text ? CreateClipboardText(WString(text->c_str())) : RCPtr<LTaggableObject>();
    mLastSequence = system->GetClipboardSequence();
    return mHeld;
}

void LClipboard::SetEditRouter(EditRouter router)
{
    Router() = std::move(router);
}

TavoResult PerformEditOnFocus(int32_t kind)
{
    return Router() ? Router()(kind, true) : S_FALSE;
}

bool CanPerformEditOnFocus(int32_t kind)
{
    return Router() && Router()(kind, false) == S_OK;
}

}  // namespace Tavo
