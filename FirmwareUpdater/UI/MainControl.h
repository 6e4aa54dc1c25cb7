#pragma once

#include "Application/UpdateProcessor.h"
#include "ControlBase/Control.h"
#include "Notification/NotificationHandler.h"

#include <memory>

namespace Tavo {

class LButton;
class LLabel;
class LProgressBar;
class LFileDialog;
class LMenuItemUpdater;
class UiDump;

// The content of the updater's window: finds its buttons, labels and
// progress bar among the skin's children, drives the update engine from
// their clicks and keeps the texts and visible controls in step with the
// engine's device, file and update states.
class LMainControl : public LControl
{
public:
    LMainControl(const RCPtr<LControl>& parent, const WString& name);
    ~LMainControl() override;

    // Builds the control from its descriptor with the processor it drives;
    // without one, Initialize takes the application's.
    static RCPtr<LControl> Create(const RCPtr<LControl>& parent, const RCPtr<LControlDescriptor>& descriptor,
                                  const RCPtr<LUpdateProcessor>& processor);

    TavoResult ReleaseInternalReferences() override;
    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override;
    TavoResult Unsubscribe(const RCPtr<LNotificationDistributor>& distributor, const char16_t* name) override;
    TavoResult ProcessRootWindowAquired() override;
    TavoResult UpdateMenuItemState(const RCPtr<LMenuDescriptor>& menu, int32_t item, const WString& command,
                                   uint32_t& state) override;
    void OnIdle() override;
    TavoResult Initialize() override;
    // Draws as the base does; with TAVO_UI_DUMP set, also writes what the
    // window now shows.
    TavoResult Draw(LRenderer* renderer, const RectRegion& region, std::vector<RCPtr<LControl>>& overlays,
                    bool overlayPass) override;

    // Texts and visible children for the three engine states.
    void UpdateControls(int32_t updateState, int32_t deviceState, int32_t fileState);
    // UpdateControls with the engine's current states.
    void Refresh();

    TavoResult OnExitClick(const RCPtr<LNotificationDistributor>& sender,
                           const RCPtr<LNotification>& notification);
    TavoResult OnUpdateFirmwareClick(const RCPtr<LNotificationDistributor>& sender,
                                     const RCPtr<LNotification>& notification);
    TavoResult OnReinitializeClick(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification);
    TavoResult OnScanForDeviceClick(const RCPtr<LNotificationDistributor>& sender,
                                    const RCPtr<LNotification>& notification);
    TavoResult OnDeviceReadyForUpdateClick(const RCPtr<LNotificationDistributor>& sender,
                                           const RCPtr<LNotification>& notification);
    TavoResult OnDeviceHasUpdatedRescanClick(const RCPtr<LNotificationDistributor>& sender,
                                             const RCPtr<LNotification>& notification);
    TavoResult OnSelectFirmwareFileClick(const RCPtr<LNotificationDistributor>& sender,
                                         const RCPtr<LNotification>& notification);
    TavoResult OnAbortClick(const RCPtr<LNotificationDistributor>& sender,
                            const RCPtr<LNotification>& notification);
    TavoResult SelectFirmwareFile(const RCPtr<LNotificationDistributor>& sender,
                                  const RCPtr<LNotification>& notification);
    TavoResult ToggleAllowDowngrade(const RCPtr<LNotificationDistributor>& sender,
                                    const RCPtr<LNotification>& notification);
    TavoResult OnDeviceStateChangeNotification(const RCPtr<LNotificationDistributor>& sender,
                                               const RCPtr<LNotification>& notification);
    TavoResult OnFirmwareFileStateChangeNotification(const RCPtr<LNotificationDistributor>& sender,
                                                     const RCPtr<LNotification>& notification);
    TavoResult OnFoundDeviceListChange(const RCPtr<LNotificationDistributor>& sender,
                                       const RCPtr<LNotification>& notification);
    TavoResult OnFirmwareUpdateProgressNotification(const RCPtr<LNotificationDistributor>& sender,
                                                    const RCPtr<LNotification>& notification);
    TavoResult OnFirmwareUpdateCompletedNotification(const RCPtr<LNotificationDistributor>& sender,
                                                     const RCPtr<LNotification>& notification);

    void StartUpdateSequence();
    TavoResult RefreshDeviceState();
    TavoResult WaitForDeviceToEnterUpdateMode();
    void Reinitialize();
    void RequestExit();

    RCPtr<LUpdateEngineInterface> GetUpdateEngine() const;
    const RCPtr<LUpdateProcessor>& GetUpdateProcessor() const { return mProcessor; }
    bool IsUpdateStarted() const { return mUpdateStarted; }

private:
    using Handler = LNotificationHandler<LMainControl>;

    void UpdateDeviceStateLabel(int32_t deviceState);
    // Several mixers are plugged in and the first is the one in use.
    bool SeveralDevicesInUse(int32_t deviceState);
    void UpdateFileStateLabel(int32_t fileState);
    void UpdateProcessLabel(int32_t updateState, int32_t deviceState);
    void UpdateDeviceFirmwareVersionLabel();
    void UpdateFileFirmwareVersionLabel();
    void UpdateCannotUpdateLabel(bool updateAllowed);
    void StartTransfer(LUpdateEngineInterface& engine);
    // Around a wait for the device: close requests that came during it
    // are handled before what follows.
    uint64_t MarkArrivedInput();
    void HandleCloseRequestsSince(uint64_t mark);
    // Takes a transfer the command line started as the window's own.
    void AdoptStartedTransfer(LUpdateEngineInterface& engine, bool finishedToo);
    // Paints the whole window before a call that may block.
    void RedrawAll();
    void ScanForDeviceInBackground();
    void WriteDump();

    RCPtr<Handler> mHandler;
    RCPtr<LButton> mButtonUpdateFirmware;
    RCPtr<LButton> mButtonScanForDevice;
    RCPtr<LButton> mButtonExit;
    RCPtr<LButton> mButtonReinitialize;
    RCPtr<LButton> mButtonDeviceReady;
    RCPtr<LButton> mButtonRescan;
    RCPtr<LButton> mButtonSelectFirmwareFile;
    RCPtr<LButton> mButtonAbort;
    RCPtr<LLabel> mLabelDeviceInformation;
    RCPtr<LLabel> mLabelFirmwareFileInformation;
    RCPtr<LLabel> mLabelUpdateProcessInformation;
    RCPtr<LLabel> mLabelFileFirmwareVersion;
    RCPtr<LLabel> mLabelDeviceFirmwareVersion;
    RCPtr<LLabel> mLabelDeviceCannotUpdateError;
    RCPtr<LControl> mControlTransitioning;
    RCPtr<LControl> mLabelDeviceNotFound;
    RCPtr<LProgressBar> mProgressBar;
    RCPtr<LUpdateProcessor> mProcessor;
    RCPtr<LFileDialog> mFileDialog;
    RCPtr<LMenuItemUpdater> mMenuItemUpdater;
    uint32_t mCachedDeviceState = 0;
    bool mNoScanButton = false;
    bool mUpdateStarted = false;
    bool mUpdateModeRequested = false;
    bool mShowPreStartInstructions = false;
    bool mPreStartInstructionsShown = false;
    // One idle request at most, held while the transition animates.
    bool mIdleRequested = false;
    WString mTransitionText;
    std::unique_ptr<UiDump> mDump;
};

}  // namespace Tavo
