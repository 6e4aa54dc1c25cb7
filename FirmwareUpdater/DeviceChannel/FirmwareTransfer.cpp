#include "DeviceChannel/FirmwareTransfer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "DeviceChannel/DeviceInstance.h"
#include "DeviceChannel/PrivateMidi.h"
#include "Engine/FirmwareImage.h"
#include "Platform/App/InterruptSignals.h"
#include "Threading/ChunkPacer.h"

namespace {

constexpr uint32_t kSearchBudgetMs = 50;
constexpr uint32_t kImagePort = 0;

// The channel, and the driver's flag on and off through the channel's one
// handle. A device that re-enumerates (a reset of its own, a power cycle, a
// replug) forgets the flag and what it had received; the handle it had goes
// with it, so a transfer that kept its handle from the flag going on until it
// went off again reached one device all along.
class TransferScope
{
public:
    explicit TransferScope(const DeviceInstanceRecord& record) : mRecord(record) {}
    ~TransferScope() { End(); }
    TransferScope(const TransferScope&) = delete;
    TransferScope& operator=(const TransferScope&) = delete;

    PrivateMidi& Open()
    {
        mChannel = std::make_unique<PrivateMidi>(mRecord);
        mChannel->ReportUntakenTo(&mUntaken);
        return *mChannel;
    }

    // A run killed where no handler ran leaves the flag on over part of an
    // image, and the device goes on collecting after it while the flag stays
    // on: it is cleared first, so the device starts on a fresh image.
    bool SetFlag(FirmwareTransferHost& host)
    {
        mHold.emplace();
        // An abort that found no hold ends the program without waiting for
        // this transfer: once it is seen here, no flag is set.
        if (host.IsAbortRequested())
            return false;
        // From here on the flag is cleared on every way out.
        mFlagOn = true;
        return mChannel->SetUpdateFlag(0) && mChannel->SetUpdateFlag(1);
    }

    // Drains and closes the channel, then clears the flag through the same
    // handle. True when every message was taken and the handle stayed the
    // one the flag was set through; the flag is cleared in any case.
    bool End()
    {
        if (!mChannel)
            return false;
        mChannel->Shutdown();
        bool whole = mUntaken == 0;
        if (mFlagOn && mChannel->SetUpdateFlag(0))
            mFlagOn = false;
        else
            whole = false;
        mChannel.reset();
        // Whatever device is there now, it is left with the flag off.
        if (mFlagOn)
            SetDriverUpdateFlag(mRecord, 0);
        mFlagOn = false;
        mHold.reset();
        return whole;
    }

private:
    DeviceInstanceRecord mRecord;
    uint32_t mUntaken = 0;
    std::unique_ptr<PrivateMidi> mChannel;
    bool mFlagOn = false;
    // While the flag is on, a second interrupt waits for it to be cleared.
    std::optional<Tavo::Platform::App::InterruptHold> mHold;
};

void Fail(FirmwareTransferHost& host, uint32_t reason)
{
    host.SetUpdateState(kUpdateFailed);
    host.SetCannotUpdateReason(reason);
    host.SetDeviceState(kDeviceCannotUpdate);
}

Tavo::TavoResult Transfer(FirmwareTransferHost& host)
{
    host.SetUpdateState(kUpdateRunning);
    DeviceInstanceRecord record;
    const uint8_t anyInstance[16] = {};
    if (FindDeviceInstance(kSearchBudgetMs, record, kMixerDriverKey, kMixerVendorId, kMixerProductId,
                           anyInstance) != 0) {
        Fail(host, kReasonDeviceAccess);
        return Tavo::E_FAIL;
    }

    // Read whole before the device is touched: a file that cannot be read
    // (or is empty, which would report success with nothing sent) never
    // puts the device into update mode.
    Tavo::Array<uint8_t> image;
    if (Tavo::Failed(ReadFirmwareImage(host.GetFirmwarePath(), image))) {
        Fail(host, kReasonFileAccess);
        return Tavo::E_FAIL;
    }

    TransferScope scope(record);
    PrivateMidi& channel = scope.Open();
    if (!scope.SetFlag(host)) {
        scope.End();
        // Aborted before the flag went on: as an abort while sending.
        Fail(host, kReasonDeviceAccess);
        return host.IsAbortRequested() ? Tavo::E_ABORT : Tavo::E_FAIL;
    }
    // A port that did not open makes every send fail, which ends the transfer.
    channel.OpenPort(kImagePort);
    const Tavo::TavoResult hr = SendImage(image, channel, host);
    // Drains the port before it closes; an abort may still come meanwhile.
    const bool whole = scope.End();

    if (hr < 0) {
        Fail(host, kReasonDeviceAccess);
        return hr;
    }
    // Messages the device never took, or a device that went away and came
    // back meanwhile: the image did not arrive whole.
    if (!whole) {
        Fail(host, kReasonDeviceAccess);
        return Tavo::E_FAIL;
    }
    if (host.IsAbortRequested()) {
        host.SetUpdateState(kUpdateAborted);
        host.SetDeviceState(kDeviceInUpdateMode);
        host.PostUpdateCompleted(false);
        return Tavo::E_ABORT;
    }
    host.SetUpdateState(kUpdateSucceeded);
    return hr;
}

}  // namespace

Tavo::TavoResult SendImage(const Tavo::Array<uint8_t>& image, PrivateMidi& channel,
                           FirmwareTransferHost& host)
{
    const uint32_t size = image.GetCount();
    const uint32_t chunkSize = host.GetChunkSize();
    if (chunkSize == 0)
        return Tavo::E_FAIL;
    const uint32_t chunks = size / chunkSize + (size % chunkSize != 0 ? 1 : 0);
    const uint8_t* data = image.GetData();
    uint32_t sent = 0;
    Tavo::Array<uint8_t> chunk;
    for (uint32_t i = 0; i < chunks && !host.IsAbortRequested(); ++i) {
        chunk.SetCount(0);
        chunk.SetCount(chunkSize);
        const uint32_t n = i + 1 < chunks ? chunkSize : size - (chunks - 1) * chunkSize;
        std::memcpy(chunk.GetData(), data + sent, n);
        sent += n;
        if (channel.Send(kImagePort, chunk.GetData(), chunkSize) != kPrivateMidiOk)
            return Tavo::E_FAIL;
        const double fraction = std::min(1.0, double(sent) / double(size));
        host.PostUpdateProgress(0, fraction, true, -1, false, Tavo::WString());
        // Read per chunk: the pause may change while the transfer runs.
        Tavo::ChunkPacer::Pause(host.GetChunkPauseMs());
    }
    return host.IsAbortRequested() ? Tavo::E_ABORT : Tavo::S_OK;
}

Tavo::TavoResult PerformPrivateMidiUpdate(FirmwareTransferHost& host)
{
    try {
        return Transfer(host);
    } catch (...) {
        // The scope has released the channel and cleared the flag.
        try {
            Fail(host, kReasonDeviceAccess);
        } catch (...) {
        }
        return Tavo::E_FAIL;
    }
}
