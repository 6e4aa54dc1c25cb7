#include "Engine/FirmwareImage.h"
#include "Engine/UpdateEngine.h"

#include "Threading/ChunkPacer.h"

#include <algorithm>
#include <vector>

using Tavo::LRefCountedObject;
using Tavo::RCPtr;
using Tavo::WString;

namespace {

constexpr uint8_t kSysExStart = 0xF0;
constexpr uint8_t kSysExEnd = 0xF7;
constexpr uint8_t kCarriageReturn = 0x0D;

double Fraction(uint64_t done, uint64_t total)
{
    return std::min(1.0, double(done) / double(total));
}

}  // namespace

TavoResult LUpdateEngine::EnterUpdateMode()
{
    const int32_t state = GetDeviceState();
    if (state == kDeviceInUpdateMode)
        return S_FALSE;
    if (state != kDeviceNormalMode && state != kDeviceEnteringUpdateMode)
        return E_FAIL;
    SetDeviceState(kDeviceEnteringUpdateMode);
    // The ports are only touched: the user switches the device by hand.
    const int32_t selected = GetSelectedDeviceIndex();
    RCPtr<Tavo::LMidiCommInterface> service = GetMidiService();
    if (service && selected >= 0 && static_cast<uint32_t>(selected) < GetFoundDeviceCount()) {
        const DeviceDefinitionEx& device = mFoundDevices.At(static_cast<uint32_t>(selected));
        RCPtr<LRefCountedObject> capture;
        RCPtr<LRefCountedObject> render;
        service->OpenCapturePort(device.mNames[DeviceDefinition::kNormalInput], capture);
        service->OpenRenderPort(device.mNames[DeviceDefinition::kNormalOutput], render);
        render = nullptr;
        capture = nullptr;
    }
    return S_OK;
}

TavoResult LUpdateEngine::SendSysExMessage(const Tavo::IArray<uint8_t>& body,
                                           RCPtr<LRefCountedObject> renderPort)
{
    RCPtr<Tavo::LMidiCommInterface> service = GetMidiService();
    if (!renderPort || !service)
        return E_FAIL;
    std::vector<uint8_t> message;
    message.reserve(body.GetCount() + 2);
    message.push_back(kSysExStart);
    message.insert(message.end(), body.begin(), body.end());
    message.push_back(kSysExEnd);
    return service->Send(renderPort, message);
}

TavoResult LUpdateEngine::SendImage(const Tavo::IArray<uint8_t>&, const WString&, const WString&)
{
    return S_OK;
}

TavoResult LUpdateEngine::SendImageInChunks(const Tavo::IArray<uint8_t>& image, const WString&,
                                            const WString& renderPortName)
{
    RCPtr<Tavo::LMidiCommInterface> service = GetMidiService();
    RCPtr<LRefCountedObject> port;
    if (!service || Tavo::Failed(service->OpenRenderPort(renderPortName, port)) || !port)
        return E_FAIL;
    // Fixed for the run; the pause is read per chunk and may change meanwhile.
    const uint32_t chunkSize = std::max<uint32_t>(GetChunkSize(), 1);
    const uint32_t size = image.GetCount();
    const uint32_t chunks = size / chunkSize + (size % chunkSize ? 1 : 0);
    const uint8_t* bytes = image.GetData();
    std::vector<uint8_t> chunk(chunkSize);
    uint32_t position = 0;
    for (uint32_t i = 0; i < chunks && !IsAbortRequested(); ++i) {
        const uint32_t n = (i + 1 < chunks) ? chunkSize : size - (chunks - 1) * chunkSize;
        // The last chunk goes out whole, filled up with zeros.
        std::fill(chunk.begin(), chunk.end(), uint8_t(0));
        std::copy(bytes + position, bytes + position + n, chunk.begin());
        position += n;
        // A chunk that begins like a channel message goes out short: fewer
        // bytes than the chunk is a failed send, not a sent image.
        const TavoResult sent = service->Send(port, chunk);
        if (Tavo::Failed(sent) || static_cast<uint32_t>(sent) != chunkSize)
            return E_FAIL;
        PostUpdateProgress(0, Fraction(position, size), true, -1, false, WString());
        Tavo::ChunkPacer::Pause(GetChunkDelay());
    }
    return IsAbortRequested() ? E_ABORT : S_OK;
}

TavoResult LUpdateEngine::SendSysExImage(const Tavo::IArray<uint8_t>& image, const WString&,
                                         const WString& renderPortName)
{
    RCPtr<Tavo::LMidiCommInterface> service = GetMidiService();
    RCPtr<LRefCountedObject> port;
    if (!service || Tavo::Failed(service->OpenRenderPort(renderPortName, port)) || !port)
        return E_FAIL;
    const uint32_t size = image.GetCount();
    const uint8_t* bytes = image.GetData();
    Tavo::Array<uint8_t> message;
    for (uint32_t i = 0; i < size && !IsAbortRequested(); ++i) {
        const uint8_t c = bytes[i];
        if (c == kSysExEnd || c == kCarriageReturn) {
            // The terminator itself is not part of any message.
            if (message.GetCount() == 0)
                return E_FAIL;
            if (Tavo::Failed(SendSysExMessage(message, port)))
                return E_FAIL;
            PostUpdateProgress(0, Fraction(i, size), true, -1, false, WString());
            message.SetCount(0);
            Tavo::ChunkPacer::Pause(GetChunkDelay());
        } else if (c != kSysExStart) {
            message.Add(c);
        }
    }
    return IsAbortRequested() ? E_ABORT : S_OK;
}

void LUpdateEngine::FailUpdate(uint32_t reason)
{
    SetUpdateState(kUpdateFailed);
    SetSelectedCannotUpdateReason(reason);
    SetDeviceState(kDeviceCannotUpdate);
}

TavoResult LUpdateEngine::PerformUpdate()
{
    SetUpdateState(kUpdateRunning);
    const int32_t selected = GetSelectedDeviceIndex();
    if (selected < 0 || static_cast<uint32_t>(selected) >= GetFoundDeviceCount()) {
        FailUpdate(kReasonDeviceAccess);
        return E_FAIL;
    }
    const DeviceDefinitionEx device = mFoundDevices.At(static_cast<uint32_t>(selected));
    const WString& input = device.mNames[DeviceDefinition::kUpdateInput];
    const WString& output = device.mNames[DeviceDefinition::kUpdateOutput];

    RCPtr<Tavo::LMidiCommInterface> service = GetMidiService();
    RCPtr<LRefCountedObject> capture;
    RCPtr<LRefCountedObject> render;
    if (service) {
        service->OpenCapturePort(input, capture);
        service->OpenRenderPort(output, render);
    }
    if (!service || !capture || !render) {
        FailUpdate(kReasonDeviceAccess);
        return E_FAIL;
    }

    WString path;
    GetFirmwarePath(path);
    Tavo::Array<uint8_t> image;
    // A short read, a read error or an empty file is no image to send.
    if (Tavo::Failed(ReadFirmwareImage(path, image))) {
        FailUpdate(kReasonFileAccess);
        return E_FAIL;
    }
    // The sender opens its own port.
    render = nullptr;
    capture = nullptr;

    const TavoResult hr = SendImageInChunks(image, input, output);
    if (Tavo::Failed(hr)) {
        FailUpdate(kReasonDeviceAccess);
        return hr;
    }
    if (!IsAbortRequested()) {
        SetUpdateState(kUpdateSucceeded);
        return hr;
    }
    SetUpdateState(kUpdateAborted);
    SetDeviceState(kDeviceInUpdateMode);
    PostUpdateCompleted(false);
    return E_ABORT;
}
