// The updater's main window content: finds its buttons and labels, turns
// the engine's device, file and update states into the texts and controls
// shown (UpdateControls), and drives the engine from the clicks and menu.
#include "UI/MainControl.h"

#include "Application/Application.h"
#include "Application/FrameworkApp.h"
#include "ControlBase/ControlFactory.h"
#include "Controls/Button.h"
#include "Controls/Label.h"
#include "Controls/MainMenu.h"
#include "Controls/ProgressBar.h"
#include "Engine/UpdateNotificationData.h"
#include "ObjectBase/Exception.h"
#include "System/CursorNames.h"
#include "UI/UiDump.h"
#include "Utilities/Storage/Format.h"
#include "Window/Native/FileDialog.h"
#include "Window/RootWindow.h"
#include "Window/WindowOSServices.h"

#include <chrono>
#include <iterator>
#include <thread>

namespace Tavo {

namespace {
using Engine = LUpdateEngineInterface;

constexpr const char* kFunctionInitialize = "Tavo::LMainControl::Initialize";
constexpr const char* kFile = "UI\\MainControl";
// The check-mark bit of a menu entry's state record.
constexpr uint32_t kMenuItemChecked = 0x2;

// The engine's update-mode transition: 0 when the user brings the device
// into update mode by hand (this program's engine); 3 and 4 when it gets
// there by itself and the window waits for it; 1 and 4 when it resets on its
// own after a transfer.
constexpr int32_t kTransitionNone = 0;

bool EntersUpdateModeItself(int32_t transition)
{
    return transition == 4 || transition == 3;
}

bool ResetsAfterUpdate(int32_t transition)
{
    return transition == 4 || transition == 1;
}

void ThrowMissing(const char* name, int line)
{
    TAVO_THROW(std::runtime_error, std::string("Null Pointer : LMainControl couldn't find ") + name,
               kFunctionInitialize, kFile, line);
}

template <class T>
RCPtr<T> FindRequired(LControl& parent, const char16_t* name, const char* narrowName, int line)
{
    RCPtr<T> child = RCPtrDynamicCast<T>(parent.FindChildByName(name));
    if (!child)
        ThrowMissing(narrowName, line);
    return child;
}

// The text of id in the control's own table; empty when the table lacks it.
WString TableText(const LControl* control, const char16_t* id)
{
    WString text;
    if (control)
        if (RCPtr<LStringTable> table = control->GetStringTable())
            table->FindString(id, text);
    return text;
}

bool TableHas(const LControl* control, const char16_t* id)
{
    WString text;
    RCPtr<LStringTable> table = control ? control->GetStringTable() : RCPtr<LStringTable>();
    return table && table->FindString(id, text);
}

WString AppText(const char16_t* id)
{
    WString text;
    if (LFrameworkApp* app = GetFrameworkApp())
        if (const RCPtr<LStringTable>& table = app->GetApplicationStringTable())
            table->FindString(id, text);
    return text;
}

void Show(const RCPtr<LControl>& control, bool visible)
{
    if (control)
        control->SetVisible(visible);
}

// Returns only when the notification carries data of type T.
template <class T>
const T* DataOf(const RCPtr<LNotification>& notification)
{
    return notification ? dynamic_cast<const T*>(notification->GetData().Get()) : nullptr;
}
}  // namespace

LMainControl::LMainControl(const RCPtr<LControl>& parent, const WString& name) : LControl(parent, name) {}

LMainControl::~LMainControl() = default;

RCPtr<LControl> LMainControl::Create(const RCPtr<LControl>& parent,
                                     const RCPtr<LControlDescriptor>& descriptor,
                                     const RCPtr<LUpdateProcessor>& processor)
{
    RCPtr<LMainControl> control(new LMainControl(parent, descriptor ? descriptor->GetName() : WString()));
    control->mProcessor = processor;
    RunCreationSteps(control, descriptor);
    return control;
}

TavoResult LMainControl::ReleaseInternalReferences()
{
    // The menu's updater points back here.
    if (mMenuItemUpdater)
        mMenuItemUpdater->Drop();
    mMenuItemUpdater = nullptr;
    return LControl::ReleaseInternalReferences();
}

RCPtr<LUpdateEngineInterface> LMainControl::GetUpdateEngine() const
{
    return mProcessor ? mProcessor->GetEngine() : RCPtr<LUpdateEngineInterface>();
}

TavoResult LMainControl::ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                             const RCPtr<LNotification>& notification)
{
    if (mHandler && notification) {
        const char16_t* name = notification->GetID();
        if (mHandler->FindHandler(sender, name) || mHandler->FindHandler(nullptr, name))
            return mHandler->DispatchNotification(sender, notification);
    }
    return LControl::ReceiveNotification(sender, notification);
}

TavoResult LMainControl::Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name)
{
    if (mHandler)
        mHandler->RemoveHandler(distributor, name);
    return LControl::Unsubscribe(distributor, name);
}

TavoResult LMainControl::Initialize()
{
    const TavoResult base = LControl::Initialize();
    // Nothing below can work without the base; the first refresh would meet
    // labels never looked up.
    if (Failed(base))
        return base;

    mHandler = Handler::Create(this);
    const RCPtr<LNotificationDistributor> center = GetMainNotificationCenter();
    struct
    {
        Handler::Operation operation;
        const char16_t* name;
        int line;
    } const engineNotifications[] = {
        {&LMainControl::OnDeviceStateChangeNotification, kDeviceStateChangeName, 67},
        {&LMainControl::OnFirmwareFileStateChangeNotification, kFirmwareFileStateChangeName, 68},
        {&LMainControl::OnFoundDeviceListChange, kFoundDeviceListChangeName, 69},
        {&LMainControl::OnFirmwareUpdateProgressNotification, kFirmwareUpdateProgressName, 70},
        {&LMainControl::OnFirmwareUpdateCompletedNotification, kFirmwareUpdateCompletedName, 72},
    };
    for (const auto& n : engineNotifications)
        TAVO_THROW_IF_FAILED(mHandler->AddHandler(n.operation, center, n.name), kFunctionInitialize, kFile,
                             n.line);

    struct
    {
        RCPtr<LButton>* member;
        const char16_t* name;
        const char* narrowName;
        Handler::Operation operation;
        int missingLine;  // 0: optional
        int subscribeLine;
    } const buttons[] = {
        {&mButtonExit, u"buttonExit", "buttonExit", &LMainControl::OnExitClick, 75, 76},
        {&mButtonUpdateFirmware, u"buttonUpdateFirmware", "buttonUpdateFirmware",
         &LMainControl::OnUpdateFirmwareClick, 79, 80},
        {&mButtonReinitialize, u"buttonReinitialize", "buttonReinitialize",
         &LMainControl::OnReinitializeClick, 83, 84},
        {&mButtonScanForDevice, u"buttonScanForDevice", "buttonScanForDevice",
         &LMainControl::OnScanForDeviceClick, 0, 89},
        {&mButtonDeviceReady, u"buttonManualDeviceReadyForUpdateButton", "",
         &LMainControl::OnDeviceReadyForUpdateClick, 0, 95},
        {&mButtonRescan, u"buttonManualDeviceHasUpdatedRescanButton", "",
         &LMainControl::OnDeviceHasUpdatedRescanClick, 0, 100},
        {&mButtonSelectFirmwareFile, u"buttonSelectFirmwareFile", "",
         &LMainControl::OnSelectFirmwareFileClick, 0, 106},
        {&mButtonAbort, u"buttonAbort", "", &LMainControl::OnAbortClick, 0, 112},
    };
    for (const auto& b : buttons) {
        *b.member = RCPtrDynamicCast<LButton>(FindChildByName(b.name));
        if (!*b.member) {
            if (b.missingLine)
                ThrowMissing(b.narrowName, b.missingLine);
            continue;
        }
        TAVO_THROW_IF_FAILED(mHandler->AddHandler(b.operation, *b.member, u"NID_LEFT_CLICK"),
                             kFunctionInitialize, kFile, b.subscribeLine);
    }

    mLabelDeviceInformation =
        FindRequired<LLabel>(*this, u"labelDeviceInformation", "labelDeviceInformation", 116);
    mLabelFirmwareFileInformation =
        FindRequired<LLabel>(*this, u"labelFirmwareFileInformation", "labelFirmwareFileInformation", 119);
    mLabelUpdateProcessInformation =
        FindRequired<LLabel>(*this, u"labelUpdateProcessInformation", "labelUpdateProcessInformation", 122);
    mLabelFileFirmwareVersion =
        FindRequired<LLabel>(*this, u"labelFileFirmwareVersion", "labelFileFirmwareVersion", 125);
    mLabelDeviceFirmwareVersion =
        FindRequired<LLabel>(*this, u"labelDeviceFirmwareVersion", "labelDeviceFirmwareVersion", 128);
    mLabelDeviceCannotUpdateError =
        FindRequired<LLabel>(*this, u"labelDeviceCannotUpdateError", "labelDeviceCannotUpdateError", 131);
    mProgressBar = FindRequired<LProgressBar>(*this, u"progressBar", "progressBar", 134);
    mControlTransitioning = FindChildByName(u"controlTransitioningToUpdateMode");
    mLabelDeviceNotFound = FindChildByName(u"labelDeviceNotFound");

    RCPtr<LLabel> versionLabel =
        FindRequired<LLabel>(*this, u"updaterVersionLabel", "updaterVersionLabel", 140);
    WString version;
    if (LFrameworkApp* app = GetFrameworkApp())
        app->GetProductVersion(version);
    versionLabel->SetText(Format(TableText(versionLabel.Get(), u"LABEL").c_str(), version));
    mTransitionText =
        TableText(mLabelUpdateProcessInformation.Get(), u"LABEL_UPDATE_TRANSITIONING_TO_UPDATE_MODE");

    if (RCPtr<LMainMenu> menu = RCPtrDynamicCast<LMainMenu>(FindChildByName(u"mainMenu"))) {
        mMenuItemUpdater = LMenuItemUpdater::Create(RCPtr<LControl>(this));
        menu->SetMenuItemUpdater(mMenuItemUpdater);
    }

    if (!mProcessor)
        if (LFrameworkApp* app = GetFrameworkApp())
            if (auto* host = dynamic_cast<LApplication*>(app))
                mProcessor = host->GetUpdateProcessor();

    // Idle turns keep the dump current also where nothing is repainted.
    mDump = UiDump::FromEnvironment();
    if (mDump)
        RequestIdle();

    RCPtr<Engine> engine = GetUpdateEngine();
    if (!engine)
        return base;
    mCachedDeviceState = static_cast<uint32_t>(engine->GetDeviceState());
    mNoScanButton = !mButtonScanForDevice;
    AdoptStartedTransfer(*engine, true);
    UpdateControls(engine->GetUpdateState(), static_cast<int32_t>(mCachedDeviceState),
                   engine->GetFileState());
    engine->SetNotify(true);
    return base;
}

TavoResult LMainControl::ProcessRootWindowAquired()
{
    const TavoResult result = LControl::ProcessRootWindowAquired();
    LRootWindow* root = GetRootWindow();
    if (!root)
        TAVO_THROW(std::runtime_error, "No Root Window!", "Tavo::LMainControl::ProcessRootWindowAquired",
                   kFile, 1247);
    // The window's queue delivers its menu commands through the root window.
    if (mHandler) {
        const RCPtr<LNotificationDistributor> menus(static_cast<LNotificationDistributor*>(root));
        mHandler->AddHandler(&LMainControl::SelectFirmwareFile, menus, u"NID_MENU_FILE_SELECT");
        mHandler->AddHandler(&LMainControl::OnExitClick, menus, u"NID_MENU_FILE_EXIT_REQ");
        mHandler->AddHandler(&LMainControl::ToggleAllowDowngrade, menus, u"NID_MENU_OPTIONS_ALLOW_DOWNGRADE");
    }
    return result;
}

TavoResult LMainControl::UpdateMenuItemState(const RCPtr<LMenuDescriptor>&, int32_t, const WString& command,
                                             uint32_t& state)
{
    if (command == u"NID_MENU_OPTIONS_ALLOW_DOWNGRADE" && mProcessor) {
        state = mProcessor->GetAlwaysUpdate() ? (state | kMenuItemChecked) : (state & ~kMenuItemChecked);
        return S_OK;
    }
    return S_FALSE;
}

void LMainControl::Refresh()
{
    if (RCPtr<Engine> engine = GetUpdateEngine())
        UpdateControls(engine->GetUpdateState(), engine->GetDeviceState(), engine->GetFileState());
}

// ---------------------------------------------------------------------------
// State display

void LMainControl::UpdateControls(int32_t updateState, int32_t deviceState, int32_t fileState)
{
    RCPtr<Engine> engine = GetUpdateEngine();
    if (!engine || !mLabelDeviceInformation)
        return;
    UpdateDeviceStateLabel(deviceState);
    UpdateFileStateLabel(fileState);
    UpdateProcessLabel(updateState, deviceState);
    UpdateDeviceFirmwareVersionLabel();
    UpdateFileFirmwareVersionLabel();
    const bool allowed = (mProcessor && mProcessor->GetAlwaysUpdate()) || engine->IsFileNewerThanDevice();
    UpdateCannotUpdateLabel(allowed);
    Show(mButtonSelectFirmwareFile, fileState != Engine::kFileValid);

    const bool fileValid = fileState == Engine::kFileValid;
    const bool fileReadable = fileState == Engine::kFileVersionUnknown || fileValid;
    const bool deviceNormal = deviceState == Engine::kDeviceNormalMode;
    const bool enteringUpdateMode = deviceState == Engine::kDeviceEnteringUpdateMode;
    const bool updateButton =
        fileValid && allowed && (deviceNormal || deviceState == Engine::kDeviceInUpdateMode);
    const bool transitioningChild = static_cast<bool>(mControlTransitioning);

    // Uses the engine's own states, not the arguments.
    bool deviceVersion = false;
    {
        WString text;
        const int32_t engineDevice = engine->GetDeviceState();
        if (engine->GetDeviceFirmwareVersionText(text) >= 0 && engine->GetFileState() == Engine::kFileValid)
            deviceVersion = (!text.IsEmpty() && engineDevice == Engine::kDeviceNormalMode) ||
                            (engineDevice == Engine::kDeviceEnteringUpdateMode &&
                             engine->GetUpdateModeTransitionState() == kTransitionNone);
    }

    if (updateState == Engine::kUpdateIdle) {
        bool deviceInfo = false;
        if (deviceState <= Engine::kDeviceSeveralFound)
            deviceInfo = fileValid;
        else if (deviceNormal)
            deviceInfo = fileValid && allowed;
        else if (deviceState >= Engine::kDeviceEnteringUpdateMode && deviceState <= Engine::kDeviceUpdating)
            deviceInfo = !fileValid || allowed;
        bool cannotUpdate = deviceState == Engine::kDeviceCannotUpdate ||
                            (deviceState >= Engine::kDeviceNormalMode && fileValid && !allowed);
        // The transition control takes the place of both.
        if (enteringUpdateMode && transitioningChild)
            deviceInfo = cannotUpdate = false;
        if (SeveralDevicesInUse(deviceState))
            deviceInfo = true;

        Show(mLabelFirmwareFileInformation,
             (deviceState < Engine::kDeviceCannotUpdate || deviceNormal) && !fileValid);
        Show(mLabelDeviceInformation, deviceInfo);
        Show(mLabelFileFirmwareVersion, fileValid);
        Show(mLabelDeviceFirmwareVersion, deviceVersion);
        Show(mProgressBar, deviceState == Engine::kDeviceUpdating);
        Show(mButtonUpdateFirmware, updateButton);
        Show(mLabelUpdateProcessInformation,
             updateButton || enteringUpdateMode || deviceState == Engine::kDeviceUpdating);
        Show(mLabelDeviceCannotUpdateError, cannotUpdate);
        Show(mButtonReinitialize, deviceState == Engine::kDeviceCannotUpdate && fileReadable);
        Show(mButtonScanForDevice, fileValid && (deviceState == Engine::kDeviceNoneFound ||
                                                 deviceState == Engine::kDeviceSeveralFound));
        Show(mButtonDeviceReady, enteringUpdateMode);
        Show(mButtonRescan, false);
        Show(mControlTransitioning, enteringUpdateMode);
        Show(mLabelDeviceNotFound, deviceState == Engine::kDeviceNoneFound && fileReadable);
        Show(mButtonExit, !enteringUpdateMode);
        Show(mButtonAbort, true);
    } else if (updateState >= Engine::kUpdateRunning && updateState <= Engine::kUpdateSucceeded) {
        const bool running = updateState == Engine::kUpdateRunning;
        const bool failed = updateState == Engine::kUpdateFailed;
        const bool done = updateState == Engine::kUpdateSucceeded;
        Show(mLabelDeviceInformation, false);
        Show(mLabelFirmwareFileInformation, failed);
        Show(mLabelUpdateProcessInformation, !failed);
        Show(mButtonUpdateFirmware, false);
        Show(mLabelFileFirmwareVersion, true);
        Show(mLabelDeviceFirmwareVersion, deviceVersion);
        Show(mProgressBar, running);
        Show(mButtonExit, !running);
        bool reinit = failed || updateState == Engine::kUpdateAborted;
        if (done)
            reinit = !mUpdateStarted && (!deviceNormal || engine->IsFileNewerThanDevice());
        Show(mButtonAbort, running);
        Show(mButtonReinitialize, reinit);
        Show(mLabelDeviceCannotUpdateError, failed);
        Show(mButtonScanForDevice, false);
        Show(mButtonDeviceReady, false);
        Show(mButtonRescan, done && !deviceNormal);
        Show(mControlTransitioning, false);
        Show(mLabelDeviceNotFound, false);
    }

    // The transition animation holds one idle request while it runs.
    if (RCPtrDynamicCast<LProgressBar>(mControlTransitioning)) {
        const bool animate = updateState == Engine::kUpdateIdle && enteringUpdateMode;
        if (animate && !mIdleRequested) {
            RequestIdle();
            mIdleRequested = true;
        } else if (!animate && mIdleRequested && GetIdleRequests() > 0) {
            CancelIdle();
            mIdleRequested = false;
        }
    }
}

void LMainControl::UpdateDeviceStateLabel(int32_t deviceState)
{
    // By device state; null keeps the label's text.
    static const char16_t* const kIds[] = {u"LABEL_NO_DEVICE_DEFINED",
                                           u"LABEL_NO_DEVICE_FOUND",
                                           u"LABEL_SCANNING_FOR_DEVICE",
                                           u"LABEL_DEVICES_AVAILABLE_NONE_SELECTED",
                                           nullptr,
                                           u"LABEL_DEVICE_NOT_IN_UPDATE_MODE",
                                           nullptr,
                                           u"LABEL_DEVICE_IN_UPDATE_MODE"};
    WString text = mLabelDeviceInformation->GetText();
    if (deviceState >= 0 && deviceState < int32_t(std::size(kIds)) && kIds[deviceState])
        text = TableText(mLabelDeviceInformation.Get(), kIds[deviceState]);
    // Only the first of several mixers is updated; the user is told so, and
    // may go on.
    if (SeveralDevicesInUse(deviceState)) {
        const WString several = TableText(mLabelDeviceInformation.Get(), u"LABEL_SEVERAL_DEVICES_FOUND");
        bool blank = true;
        for (uint32_t i = 0; i < text.GetLength() && blank; ++i)
            blank = text[i] == u' ' || text[i] == u'\n';
        text = blank ? several : text + WString(u"\n") + several;
    }
    mLabelDeviceInformation->SetText(text);
}

bool LMainControl::SeveralDevicesInUse(int32_t deviceState)
{
    RCPtr<Engine> engine = GetUpdateEngine();
    const bool inUse = deviceState == Engine::kDeviceSeveralFound ||
                       deviceState == Engine::kDeviceNormalMode || deviceState == Engine::kDeviceInUpdateMode;
    return inUse && engine && engine->GetFoundDeviceCount() > 1;
}

void LMainControl::UpdateFileStateLabel(int32_t fileState)
{
    WString text = mLabelFirmwareFileInformation->GetText();
    const LControl* label = mLabelFirmwareFileInformation.Get();
    if (fileState == Engine::kFileNone)
        text = TableText(label, u"LABEL_NO_FILE_DEFINED");
    else if (fileState == Engine::kFileMissing || fileState == Engine::kFileVersionUnknown)
        text = TableText(label, u"LABEL_FIRMARE_FILE_INVALID");
    else if (fileState == Engine::kFileValid)
        text = TableText(label, u"LABEL_FIRMARE_FILE_FOUND_VERSION_KNOWN");
    mLabelFirmwareFileInformation->SetText(text);
}

void LMainControl::UpdateProcessLabel(int32_t updateState, int32_t deviceState)
{
    RCPtr<Engine> engine = GetUpdateEngine();
    const LControl* label = mLabelUpdateProcessInformation.Get();
    WString text = label->GetText();
    switch (updateState) {
    case Engine::kUpdateIdle:
        if (deviceState == Engine::kDeviceEnteringUpdateMode)
            text = mTransitionText;
        else if (deviceState == Engine::kDeviceInUpdateMode && mShowPreStartInstructions)
            text = TableText(label, u"LABEL_PRE_START_UPDATE_INSTRUCTIONS");
        else
            text = TableText(label, engine->IsFileNewerThanDevice() ? u"LABEL_READY_FOR_UPDATE"
                                                                    : u"LABEL_READY_FOR_DOWNGRADE_UPDATE");
        break;
    case Engine::kUpdateRunning:
        text = TableText(label, u"LABEL_UPDATE_IN_PROGRESS");
        break;
    case Engine::kUpdateAborted:
        text = TableText(label, u"LABEL_UPDATE_ABORTED");
        break;
    case Engine::kUpdateSucceeded:
        if (deviceState == Engine::kDeviceNormalMode)
            text = TableText(label, engine->IsFileNewerThanDevice() ? u"LABEL_UPDATE_SENT_BUT_NOT_SUCCESSFUL"
                                                                    : u"LABEL_UPDATE_SUCCEEDED");
        else if (mUpdateStarted)
            text = TableText(label, TableHas(label, u"LABEL_UPDATE_TRANSITIONING_AFTER_UPDATE")
                                        ? u"LABEL_UPDATE_TRANSITIONING_AFTER_UPDATE"
                                        : u"LABEL_UPDATE_IN_PROGRESS");
        else
            text = TableText(label, u"LABEL_UPDATE_SUCESS_UNKNOWN");
        break;
    default:
        break;
    }
    mLabelUpdateProcessInformation->SetText(text);
}

void LMainControl::UpdateDeviceFirmwareVersionLabel()
{
    WString version;
    if (GetUpdateEngine()->GetDeviceFirmwareVersionText(version) == S_OK)
        mLabelDeviceFirmwareVersion->SetText(
            Format(TableText(mLabelDeviceFirmwareVersion.Get(), u"LABEL").c_str(), version));
}

void LMainControl::UpdateFileFirmwareVersionLabel()
{
    WString version;
    if (GetUpdateEngine()->GetFileFirmwareVersionText(version) == S_OK)
        mLabelFileFirmwareVersion->SetText(
            Format(TableText(mLabelFileFirmwareVersion.Get(), u"LABEL").c_str(), version));
}

void LMainControl::UpdateCannotUpdateLabel(bool allowed)
{
    uint32_t reason = 0;
    GetUpdateEngine()->GetCannotUpdateReason(&reason);
    const LControl* label = mLabelDeviceCannotUpdateError.Get();
    WString text = label->GetText();
    if (allowed) {
        if (const char16_t* id = LUpdateProcessor::CannotUpdateTextId(reason))
            text = TableText(label, id);
    } else {
        text = TableText(label, reason == Engine::kReasonDriverTooOld ? u"LABEL_DRIVER_IS_TOO_OLD"
                                                                      : u"LABEL_UPDATE_NOT_NEEDED");
    }
    mLabelDeviceCannotUpdateError->SetText(text);
}

// ---------------------------------------------------------------------------
// Update flow

void LMainControl::RedrawAll()
{
    if (LRootWindow* root = GetRootWindow())
        if (IWindowOSServices* os = root->GetOSServices()) {
            os->Invalidate();
            os->Redraw();
        }
}

void LMainControl::AdoptStartedTransfer(Engine& engine, bool finishedToo)
{
    // A transfer the start switch began for this window (before it was up,
    // or again on TRY AGAIN) is the window's own: after it the device
    // installs; it has not gone silent.
    const int32_t updateState = engine.GetUpdateState();
    if (updateState == Engine::kUpdateRunning || (finishedToo && updateState == Engine::kUpdateSucceeded))
        mUpdateStarted = true;
}

void LMainControl::StartTransfer(Engine& engine)
{
    // Refused once an exit was accepted.
    if (Failed(engine.StartUpdate()))
        return;
    mUpdateStarted = true;
    mProgressBar->SetValue(0.0);
    mProgressBar->SetEstimateTimeRemaining(false);
}

void LMainControl::StartUpdateSequence()
{
    RCPtr<Engine> engine = GetUpdateEngine();
    if (!engine || engine->GetFileState() != Engine::kFileValid)
        return;
    if (engine->GetDeviceState() == Engine::kDeviceNormalMode) {
        UpdateControls(Engine::kUpdateIdle, Engine::kDeviceEnteringUpdateMode, Engine::kFileValid);
        RedrawAll();
        LWaitCursor wait(AppText(u"WAITING_FOR_DEVICE_TO_ENTER_UPDATE_MODE_CURSOR_TITLE"));
        if (Succeeded(engine->RequestUpdateMode())) {
            mUpdateModeRequested = true;
            if (engine->GetDeviceState() == Engine::kDeviceEnteringUpdateMode &&
                EntersUpdateModeItself(engine->GetUpdateModeTransitionState()))
                if (Failed(WaitForDeviceToEnterUpdateMode()))
                    engine->SetDeviceState(Engine::kDeviceNoneFound);
        }
    }
    bool started = false;
    if (engine->GetDeviceState() == Engine::kDeviceInUpdateMode) {
        if (mShowPreStartInstructions && !mPreStartInstructionsShown) {
            mPreStartInstructionsShown = true;
        } else {
            StartTransfer(*engine);
            started = engine->GetDeviceState() == Engine::kDeviceUpdating;
        }
    }
    // The worker may not have marked the transfer running yet; the window
    // shows it running from the start.
    int32_t updateState = engine->GetUpdateState();
    if (started && updateState == Engine::kUpdateIdle)
        updateState = Engine::kUpdateRunning;
    UpdateControls(updateState, engine->GetDeviceState(), engine->GetFileState());
    RedrawAll();
}

TavoResult LMainControl::RefreshDeviceState()
{
    LWaitCursor wait(WString{});
    RCPtr<Engine> engine = GetUpdateEngine();
    if (!engine)
        return E_FAIL;
    const uint64_t mark = MarkArrivedInput();
    const TavoResult hr = engine->RefreshDeviceState();
    HandleCloseRequestsSince(mark);
    return hr;
}

uint64_t LMainControl::MarkArrivedInput()
{
    LRootWindow* root = GetRootWindow();
    IWindowOSServices* os = root ? root->GetOSServices() : nullptr;
    return os ? os->MarkArrivedInput() : 0;
}

void LMainControl::HandleCloseRequestsSince(uint64_t mark)
{
    // A close the user asked for while the device was awaited came before
    // whatever the answer leads to, a transfer included.
    if (LRootWindow* root = GetRootWindow())
        if (IWindowOSServices* os = root->GetOSServices())
            os->HandleCloseRequestsSince(mark);
}

TavoResult LMainControl::WaitForDeviceToEnterUpdateMode()
{
    RCPtr<Engine> engine = GetUpdateEngine();
    if (!engine)
        return E_FAIL;
    if (!EntersUpdateModeItself(engine->GetUpdateModeTransitionState()))
        return E_FAIL;
    const uint64_t mark = MarkArrivedInput();
    for (uint32_t elapsed = 0; elapsed < 10000; elapsed += 500) {
        RedrawAll();
        LWaitCursor wait(AppText(u"WAITING_FOR_DEVICE_TO_ENTER_UPDATE_MODE_CURSOR_TITLE"));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const TavoResult hr = engine->RefreshDeviceState();
        HandleCloseRequestsSince(mark);
        if (Succeeded(hr)) {
            const int32_t deviceState = engine->GetDeviceState();
            if (deviceState == Engine::kDeviceInUpdateMode)
                return S_OK;
            if (deviceState != Engine::kDeviceEnteringUpdateMode)
                return E_FAIL;
        }
    }
    return E_FAIL;
}

void LMainControl::Reinitialize()
{
    if (mProcessor)
        mProcessor->Reinitialize();
    if (RCPtr<Engine> engine = GetUpdateEngine()) {
        mCachedDeviceState = static_cast<uint32_t>(engine->GetDeviceState());
        // An earlier transfer's success is not this start's.
        AdoptStartedTransfer(*engine, false);
    }
    mNoScanButton = !mButtonScanForDevice;
    Refresh();
}

void LMainControl::RequestExit()
{
    if (LFrameworkApp* app = GetFrameworkApp())
        app->RequestExit();
}

void LMainControl::ScanForDeviceInBackground()
{
    // Without a scan button the user has no way to look again: do it for them.
    if (RCPtr<Engine> engine = GetUpdateEngine())
        engine->ScanForDevices();
}

TavoResult LMainControl::OnExitClick(const RCPtr<LNotificationDistributor>&, const RCPtr<LNotification>&)
{
    RequestExit();
    return 1;
}

TavoResult LMainControl::OnUpdateFirmwareClick(const RCPtr<LNotificationDistributor>&,
                                               const RCPtr<LNotification>&)
{
    StartUpdateSequence();
    return 1;
}

TavoResult LMainControl::OnReinitializeClick(const RCPtr<LNotificationDistributor>&,
                                             const RCPtr<LNotification>&)
{
    Reinitialize();
    if (RCPtr<Engine> engine = GetUpdateEngine())
        engine->ScanForDevices();
    return 1;
}

TavoResult LMainControl::OnScanForDeviceClick(const RCPtr<LNotificationDistributor>&,
                                              const RCPtr<LNotification>&)
{
    if (RCPtr<Engine> engine = GetUpdateEngine())
        engine->ScanForDevices();
    return 1;
}

TavoResult LMainControl::OnDeviceReadyForUpdateClick(const RCPtr<LNotificationDistributor>&,
                                                     const RCPtr<LNotification>&)
{
    if (Failed(RefreshDeviceState()))
        return 1;
    if (GetUpdateEngine()->GetDeviceState() == Engine::kDeviceInUpdateMode)
        StartUpdateSequence();
    return 1;
}

TavoResult LMainControl::OnDeviceHasUpdatedRescanClick(const RCPtr<LNotificationDistributor>&,
                                                       const RCPtr<LNotification>&)
{
    LWaitCursor wait(AppText(u"WAITING_FOR_DEVICE_TO_ENTER_UPDATE_MODE_CURSOR_TITLE"));
    if (Succeeded(RefreshDeviceState()) && GetUpdateEngine()->GetDeviceState() == Engine::kDeviceNormalMode) {
        mUpdateStarted = false;
        Refresh();
    }
    return 1;
}

TavoResult LMainControl::OnSelectFirmwareFileClick(const RCPtr<LNotificationDistributor>& sender,
                                                   const RCPtr<LNotification>& notification)
{
    return SelectFirmwareFile(sender, notification);
}

TavoResult LMainControl::OnAbortClick(const RCPtr<LNotificationDistributor>&, const RCPtr<LNotification>&)
{
    RCPtr<Engine> engine = GetUpdateEngine();
    const int32_t deviceState = engine ? engine->GetDeviceState() : Engine::kDeviceUninitialized;
    if (deviceState == Engine::kDeviceEnteringUpdateMode || deviceState == Engine::kDeviceUpdating)
        engine->AbortUpdate();
    return 1;
}

TavoResult LMainControl::SelectFirmwareFile(const RCPtr<LNotificationDistributor>&,
                                            const RCPtr<LNotification>&)
{
    const WString title = AppText(u"SELECT_FIRMWARE_FILE_DIALOG_TITLE");
    const WString filter = AppText(u"SELECT_FIRMWARE_FILE_DIALOG_FILE_FILTER");
    const WString extension = AppText(u"SELECT_FIRMWARE_FILE_DEFAULT_FILE_EXTENSION");
    if (!mFileDialog)
        mFileDialog = RCPtr<LFileDialog>(new LFileDialog(WString{}));
    if (mFileDialog->DoModal(filter, extension, title, false) == S_OK)
        if (RCPtr<Engine> engine = GetUpdateEngine())
            engine->SetFirmwareFile(mFileDialog->GetFileName());
    return 1;
}

TavoResult LMainControl::ToggleAllowDowngrade(const RCPtr<LNotificationDistributor>&,
                                              const RCPtr<LNotification>&)
{
    if (mProcessor) {
        mProcessor->SetAlwaysUpdate(!mProcessor->GetAlwaysUpdate());
        Refresh();
    }
    return 1;
}

TavoResult LMainControl::OnDeviceStateChangeNotification(const RCPtr<LNotificationDistributor>&,
                                                         const RCPtr<LNotification>& notification)
{
    const auto* data = DataOf<LDeviceStateChangeNotificationData>(notification);
    RCPtr<Engine> engine = GetUpdateEngine();
    if (!data || !engine || !mLabelDeviceInformation)
        return 1;
    const int32_t newState = static_cast<int32_t>(data->GetNewState());
    UpdateDeviceStateLabel(newState);
    int32_t updateState = engine->GetUpdateState();
    // The hand-over marks the device updating before the worker marks the
    // transfer running, and no later notice says so: a busy worker would
    // leave the window showing no transfer (and its Exit) until the end.
    if (newState == Engine::kDeviceUpdating && updateState == Engine::kUpdateIdle)
        updateState = Engine::kUpdateRunning;
    const int32_t fileState = engine->GetFileState();
    if (LRootWindow* root = GetRootWindow())
        if (LFrameworkApp* app = GetFrameworkApp())
            root->SetCursor(app->GetCursor(UI_CURSOR_ARROW()));
    if (newState == Engine::kDeviceNoneFound && mNoScanButton)
        ScanForDeviceInBackground();
    // Only the first of several devices is updated; the engine reports its
    // state next.
    if (newState == Engine::kDeviceSeveralFound)
        engine->SelectDevice(0);
    if (newState == Engine::kDeviceInUpdateMode && engine->UsesWorkerThread() && !mUpdateStarted &&
        mUpdateModeRequested && !mShowPreStartInstructions)
        StartTransfer(*engine);
    UpdateControls(updateState, newState, fileState);
    return 1;
}

TavoResult LMainControl::OnFirmwareFileStateChangeNotification(const RCPtr<LNotificationDistributor>&,
                                                               const RCPtr<LNotification>& notification)
{
    const auto* data = DataOf<LFirmwareFileStateChangeNotificationData>(notification);
    if (!data || !mLabelFirmwareFileInformation)
        return 1;
    UpdateFileStateLabel(static_cast<int32_t>(data->GetNewState()));
    if (data->GetNewState() == Engine::kFileValid)
        UpdateFileFirmwareVersionLabel();
    Refresh();
    return 1;
}

TavoResult LMainControl::OnFoundDeviceListChange(const RCPtr<LNotificationDistributor>&,
                                                 const RCPtr<LNotification>&)
{
    return 1;
}

TavoResult LMainControl::OnFirmwareUpdateProgressNotification(const RCPtr<LNotificationDistributor>&,
                                                              const RCPtr<LNotification>& notification)
{
    const auto* data = DataOf<LFirmwareUpdateProgressNotificationData>(notification);
    if (!data || !mProgressBar)
        return 1;
    mProgressBar->SetValue(data->GetFraction());
    if (!data->IsAutomaticEstimate())
        mProgressBar->SetTimeRemaining(data->GetRemainingTime());
    mProgressBar->SetEstimateTimeRemaining(data->IsAutomaticEstimate());
    if (LFrameworkApp* app = GetFrameworkApp())
        app->SetStatusText(data->GetText(), false);
    return 1;
}

TavoResult LMainControl::OnFirmwareUpdateCompletedNotification(const RCPtr<LNotificationDistributor>&,
                                                               const RCPtr<LNotification>& notification)
{
    const auto* data = DataOf<LFirmwareUpdateCompletedNotificationData>(notification);
    RCPtr<Engine> engine = GetUpdateEngine();
    if (!engine)
        return 1;
    mUpdateModeRequested = false;
    if (!ResetsAfterUpdate(engine->GetUpdateModeTransitionState())) {
        Refresh();
        mUpdateStarted = false;
    } else if (!data || !data->GetSuccess()) {
        mUpdateStarted = false;
        Refresh();
    } else {
        LWaitCursor wait(u"Waiting for Device Reset To Complete...");
        Refresh();
        RedrawAll();
        if (ResetsAfterUpdate(engine->GetUpdateModeTransitionState())) {
            for (uint32_t elapsed = 0; elapsed < 10000; elapsed += 500) {
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                if (Failed(engine->RefreshDeviceState()) ||
                    engine->GetDeviceState() == Engine::kDeviceNormalMode)
                    break;
            }
            mUpdateStarted = false;
            Refresh();
        } else {
            engine->RefreshDeviceState();
        }
    }
    return 1;
}

TavoResult LMainControl::Draw(LRenderer* renderer, const RectRegion& region,
                              std::vector<RCPtr<LControl>>& overlays, bool overlayPass)
{
    const TavoResult result = LControl::Draw(renderer, region, overlays, overlayPass);
    // Also inside a blocking handler's forced redraw, where no idle turn runs.
    WriteDump();
    return result;
}

void LMainControl::WriteDump()
{
    if (!mDump)
        return;
    PointT<int32_t> origin{0, 0};
    if (LRootWindow* root = GetRootWindow())
        if (IWindowOSServices* os = root->GetOSServices())
            origin = os->ClientToScreen({0, 0});
    mDump->Update(*this, origin);
}

void LMainControl::OnIdle()
{
    WriteDump();
    RCPtr<Engine> engine = GetUpdateEngine();
    RCPtr<LProgressBar> bar = RCPtrDynamicCast<LProgressBar>(mControlTransitioning);
    if (!engine || !bar || engine->GetDeviceState() != Engine::kDeviceEnteringUpdateMode)
        return;
    if (!EntersUpdateModeItself(engine->GetUpdateModeTransitionState()))
        return;
    double percent = bar->GetValue() * 100.0 + 2.0;
    if (percent > 100.0)
        percent = 0.0;
    bar->SetValue(percent / 100.0);
}

}  // namespace Tavo
