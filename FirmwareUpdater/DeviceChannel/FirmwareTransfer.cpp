#include "DeviceChannel/FirmwareTransfer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "DeviceChannel/DeviceInstance.h"
#include "DeviceChannel/PrivateMidi.h"

namespace {

constexpr uint32_t kSearchBudgetMs = 50;
constexpr uint32_t kImagePort = 0;

// Folder and name of the firmware path; false when either is empty.
bool SplitPath(const Tavo::WString& wide, std::string& full)
{
    const Tavo::NString narrow(wide);
    const std::string path(narrow.c_str());
    const size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos || slash + 1 == path.size())
        return false;
    std::string folder = path.substr(0, slash);
    if (folder.empty() && path[0] == '/')
        folder = "/";
    if (folder.empty())
        return false;
    std::replace(folder.begin(), folder.end(), '\\', '/');
    full = folder + (folder.back() == '/' ? "" : "/") + path.substr(slash + 1);
    return true;
}

class ImageFile
{
public:
    explicit ImageFile(const std::string& path) : mFd(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~ImageFile()
    {
        if (mFd >= 0)
            close(mFd);
    }
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    bool IsOpen() const { return mFd >= 0; }

    // The whole file, or false on any error or shortfall.
    bool ReadAll(Tavo::Array<uint8_t>& image)
    {
        struct stat st;
        if (fstat(mFd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 || uint64_t(st.st_size) > UINT32_MAX)
            return false;
        const uint32_t length = static_cast<uint32_t>(st.st_size);
        image.SetCount(length);
        uint32_t done = 0;
        while (done < length) {
            const ssize_t n = read(mFd, image.GetData() + done, length - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += static_cast<uint32_t>(n);
        }
        return true;
    }

private:
    int mFd;
};

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
        mFlagOn = SetDriverUpdateFlag(mRecord, 1);
        return mFlagOn;
    }
    PrivateMidi& Channel()
    {
        mChannel = std::make_unique<PrivateMidi>(mRecord);
        return *mChannel;
    }
    void Release()
    {
        mChannel.reset();
        if (mFlagOn) {
            mFlagOn = false;
            SetDriverUpdateFlag(mRecord, 0);
        }
    }

private:
    DeviceInstanceRecord mRecord;
    std::unique_ptr<PrivateMidi> mChannel;
    bool mFlagOn = false;
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
    if (FindDeviceInstance(kSearchBudgetMs, record, kMixerDriverKey, kMixerVendorId, kMixerProductId, anyInstance)
        != 0) {
        Fail(host, kReasonDeviceAccess);
        return Tavo::E_FAIL;
    }

    std::string path;
    const bool pathValid = SplitPath(host.GetFirmwarePath(), path);
    // An empty image would report success with nothing sent.
    struct stat st;
    if (pathValid && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0) {
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
    std::unique_ptr<ImageFile> file;
    if (pathValid)
        file = std::make_unique<ImageFile>(path);
    if (!file || !file->IsOpen() || !file->ReadAll(image) || image.GetCount() == 0) {
        scope.Release();
        host.SetDeviceState(kDeviceCannotUpdate);
        host.SetUpdateState(kUpdateFailed);
        host.SetCannotUpdateReason(kReasonFileAccess);
        return Tavo::E_FAIL;
    }
    const Tavo::TavoResult hr = SendImage(image, channel, host);
    // Drains the port before it closes; an abort may still come meanwhile.
    scope.Release();
    file.reset();

    if (hr < 0) {
        Fail(host, kReasonDeviceAccess);
        return hr;
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

} // namespace

Tavo::TavoResult SendImage(const Tavo::Array<uint8_t>& image, PrivateMidi& channel, FirmwareTransferHost& host)
{
    const uint32_t size = image.GetCount();
    const uint32_t chunkSize = host.GetChunkSize();
    const auto pause = std::chrono::milliseconds(host.GetChunkPauseMs());
    if (chunkSize == 0)
        return Tavo::E_FAIL;
    const uint32_t chunks = size / chunkSize + (size % chunkSize != 0 ? 1 : 0);
    const uint8_t* data = image.GetData();
    uint32_t sent = 0;
    Tavo::Array<uint8_t> chunk;
    // Pauses end on a schedule, so late wake-ups do not add up; a send that
    // took longer than a pause starts the schedule afresh, so chunks never
    // bunch up to catch up.
    auto pauseEnd = std::chrono::steady_clock::now();
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
        pauseEnd += pause;
        const auto now = std::chrono::steady_clock::now();
        if (pauseEnd < now)
            pauseEnd = now + pause;
        std::this_thread::sleep_until(pauseEnd);
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
