#pragma once

#include <cstdint>

#include "ObjectBase/Result.h"
#include "Utilities/Storage/Array.h"
#include "Utilities/Storage/StringT.h"

class PrivateMidi;

// What the transfer needs of the engine that runs it on its worker.
class FirmwareTransferHost
{
public:
    virtual ~FirmwareTransferHost() = default;

    // Read between chunks, without a lock.
    virtual bool IsAbortRequested() = 0;
    virtual void SetUpdateState(int32_t state) = 0;
    virtual void SetDeviceState(int32_t state) = 0;
    // On the selected found device.
    virtual void SetCannotUpdateReason(uint32_t reason) = 0;
    virtual Tavo::WString GetFirmwarePath() = 0;
    virtual void PostUpdateProgress(uint32_t stage, double fraction, bool automaticEstimate,
                                    int32_t remainingTime, bool secondFlag, const Tavo::WString& text) = 0;
    virtual void PostUpdateCompleted(bool success) = 0;
    virtual uint16_t GetChunkSize() = 0;
    virtual uint16_t GetChunkPauseMs() = 0;
};

// Update states and device states the transfer sets.
enum TransferUpdateState : int32_t {
    kUpdateRunning = 1,
    kUpdateFailed = 2,
    kUpdateAborted = 3,
    kUpdateSucceeded = 4,
};
constexpr int32_t kDeviceCannotUpdate = 4;
constexpr int32_t kDeviceInUpdateMode = 7;
constexpr uint32_t kReasonFileAccess = 3;
constexpr uint32_t kReasonDeviceAccess = 4;

// Sends the firmware file through port 0 of the mixer's private channel:
// S_OK, E_ABORT when the abort flag ended it, else E_FAIL. The driver's
// update flag is on only while the transfer runs; it goes on and off through
// the channel's own handle, and a device that went away under that handle
// meanwhile (even when it came back at once) makes the transfer a failure.
Tavo::TavoResult PerformPrivateMidiUpdate(FirmwareTransferHost& host);

// The chunk sender: every chunk is sent whole, the last one zero-padded,
// each followed by its progress post and the pause.
Tavo::TavoResult SendImage(const Tavo::Array<uint8_t>& image, PrivateMidi& channel,
                           FirmwareTransferHost& host);
