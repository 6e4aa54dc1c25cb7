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
#include "Utilities/Storage/File.h"

namespace {

constexpr uint32_t kSearchBudgetMs = 50;
constexpr uint32_t kImagePort = 0;

// Folder and name of the firmware path; false when either is empty.
bool SplitPath(const Tavo::WString& path, Tavo::WString& folder, Tavo::WString& name)
{
    const int32_t slash = std::max(path.ReverseFind(u'/'), path.ReverseFind(u'\\'));
    if (slash < 0 || slash + 1 == int32_t(path.GetLength()))
        return false;
    folder = path.Left(slash);
    name = path.Mid(slash + 1);
    if (folder.IsEmpty() && (path[0] == u'/' || path[0] == u'\\'))
        folder = Tavo::WString(u"/");
    folder.Replace(u'\\', u'/');
    return !folder.IsEmpty();
}

// Releases the channel and clears the driver's flag on every way out.
class TransferScope
{
public:
    explicit TransferScope(const DeviceInstanceRecord& record) : mRecord(record) {}
    ~TransferScope() { Release(); }
    TransferScope(const TransferScope&) = delete;
    TransferScope& operator=(const TransferScope&) = delete;

    bool SetFlag()
    {
        mHold.emplace();
        mFlagOn = SetDriverUpdateFlag(mRecord, 1);
        if (!mFlagOn)
            mHold.reset();
        return mFlagOn;
    }
    PrivateMidi& Channel()
    {
        mChannel = std::make_unique<PrivateMidi>(mRecord);
        mChannel->ReportUntakenTo(&mUntaken);
        return *mChannel;
    }
    // The messages the device never took: sent, but the image is not whole.
    uint32_t Release()
    {
        mChannel.reset();
        if (mFlagOn) {
            mFlagOn = false;
            SetDriverUpdateFlag(mRecord, 0);
        }
        mHold.reset();
        return mUntaken;
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

    Tavo::WString folder;
    Tavo::WString name;
    const bool pathValid = SplitPath(host.GetFirmwarePath(), folder, name);
    // An empty image would report success with nothing sent.
    Tavo::FileStatus status;
    if (pathValid && Tavo::File::GetStatus(folder + Tavo::WString(u"/") + name, status) && !status.isFolder &&
        status.size == 0) {
        Fail(host, kReasonFileAccess);
        return Tavo::E_FAIL;
    }

    TransferScope scope(record);
    if (!scope.SetFlag()) {
        Fail(host, kReasonDeviceAccess);
        return Tavo::E_FAIL;
    }
    PrivateMidi& channel = scope.Channel();
    // A port that did not open makes every send fail, which ends the transfer.
    channel.OpenPort(kImagePort);

    Tavo::Array<uint8_t> image;
    Tavo::File file;
    if (!pathValid || file.Open(folder, name, Tavo::File::kModeRead) != Tavo::S_OK ||
        !ReadWholeFile(file, image)) {
        scope.Release();
        host.SetDeviceState(kDeviceCannotUpdate);
        host.SetUpdateState(kUpdateFailed);
        host.SetCannotUpdateReason(kReasonFileAccess);
        return Tavo::E_FAIL;
    }
    const Tavo::TavoResult hr = SendImage(image, channel, host);
    // Drains the port before it closes; an abort may still come meanwhile.
    const uint32_t untaken = scope.Release();
    file.Close();

    if (hr < 0) {
        Fail(host, kReasonDeviceAccess);
        return hr;
    }
    // What the device never took did not arrive: the image is cut.
    if (untaken != 0) {
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
