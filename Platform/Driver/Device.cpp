#include <cstring>

#include "Platform/Driver/DeviceInternal.h"
#include "Platform/Kernel/TextCoding.h"
#include "Platform/Registry/RegistryNames.h"

namespace Tavo::Platform::Driver {

using namespace Internal;
using Tavo::Platform::HexDigitValue;

namespace {

// A numeric slot: 32-bit value, upper four bytes zero.
bool NumericSlot(const uint8_t* p, uint32_t& value)
{
    value = Get32(p);
    return Get32(p + 4) == 0;
}

}  // namespace

std::optional<Guid> Guid::Parse(std::string_view text)
{
    if (text.size() == 38 && text.front() == '{' && text.back() == '}')
        text = text.substr(1, 36);
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        return std::nullopt;
    uint8_t bytes[16];
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23)
            continue;
        int hi = HexDigitValue(text[i]), lo = HexDigitValue(text[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        bytes[n++] = static_cast<uint8_t>(hi * 16 + lo);
        ++i;
    }
    Guid g;
    g.data1 = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
    g.data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
    g.data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
    std::memcpy(g.data4, bytes + 8, 8);
    return g;
}

namespace Internal {

uint32_t HandleState::Prepare(const void* in, uint32_t inSize, void* out, uint32_t outSize, Request& request,
                              Call& call)
{
    if (in == nullptr || inSize < sizeof(PropertyHeader) || inSize - sizeof(PropertyHeader) > kMaxInput ||
        (out == nullptr && outSize != 0) || outSize > kMaxValue)
        return kErrorInvalidParameter;
    const auto* bytes = static_cast<const uint8_t*>(in);
    std::memcpy(&request.header, bytes, sizeof(PropertyHeader));
    request.input.assign(bytes + sizeof(PropertyHeader), bytes + inSize);
    const auto* outBytes = static_cast<const uint8_t*>(out);
    request.value.assign(outBytes, outBytes + outSize);

    if (!(request.header.set == kMidiChannelSet))
        return kErrorNone;
    const uint32_t id = request.header.id;
    const bool set = request.header.flags == kPropertySet;
    const bool get = request.header.flags == kPropertyGet;
    call.id = id;
    uint32_t number = 0;
    switch (id) {
    case kMidiSetEvent:
    case kMidiClearEvent: {
        if (!set || outSize != 8)
            return kErrorInvalidParameter;
        call.memorySide = true;
        call.event = reinterpret_cast<KernelEvent*>(static_cast<uintptr_t>(Get64(outBytes)));
        if (id == kMidiSetEvent && call.event == nullptr)
            return kErrorInvalidParameter;
        std::fill(request.value.begin(), request.value.end(), 0);
        if (id == kMidiClearEvent) {
            // The channel is going away: nothing may touch its memory after this.
            std::lock_guard<std::mutex> lock(mMutex);
            DropLocked();
        }
        return kErrorNone;
    }
    case kMidiClose: {
        std::lock_guard<std::mutex> lock(mMutex);
        mPending.clear();
        return kErrorNone;
    }
    case kMidiSend: {
        uint32_t length = 0;
        if (!set || outSize != 24 || !NumericSlot(outBytes, number) || !NumericSlot(outBytes + 16, length))
            return kErrorInvalidParameter;
        auto* buffer = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(Get64(outBytes + 8)));
        if (buffer == nullptr || length > kMaxMessage)
            return kErrorInvalidParameter;
        call.memorySide = true;
        request.message.assign(buffer, buffer + length);
        std::fill(request.value.begin() + 8, request.value.begin() + 16, 0);
        // Registered before the driver sees it: it may report it taken at once.
        std::lock_guard<std::mutex> lock(mMutex);
        call.token = mNextToken++;
        request.sendToken = call.token;
        mPending[call.token] = {buffer, buffer[0]};
        return kErrorNone;
    }
    case kMidiRead: {
        const uint8_t* slots = bytes + sizeof(PropertyHeader);
        if (!get || inSize != sizeof(PropertyHeader) + 24 || outSize < 16 || !NumericSlot(slots, number) ||
            !NumericSlot(slots + 16, call.space))
            return kErrorInvalidParameter;
        call.readPosition = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(Get64(slots + 8)));
        if (call.readPosition == nullptr && call.space != 0)
            return kErrorInvalidParameter;
        call.memorySide = true;
        call.space = std::min(call.space, kMaxRead);
        std::fill(request.input.begin() + 8, request.input.begin() + 16, 0);
        Put32(request.input.data() + 16, call.space);
        return kErrorNone;
    }
    default:
        return kErrorNone;
    }
}

uint32_t HandleState::Finish(const Call& call, const Reply& reply, void* out, uint32_t outSize,
                             uint32_t& returned)
{
    returned = 0;
    uint32_t error = reply.error;
    if (error == kErrorNone && reply.output.size() > outSize)
        error = kErrorMoreData;
    if (error == kErrorNone && call.memorySide && call.id == kMidiRead && reply.readData.size() > call.space)
        error = kErrorMoreData;
    if (error != kErrorNone) {
        Abandon(call);
        return error;
    }
    auto* outBytes = static_cast<uint8_t*>(out);
    if (!reply.output.empty())
        std::memcpy(outBytes, reply.output.data(), reply.output.size());
    returned = static_cast<uint32_t>(reply.output.size());
    if (!call.memorySide)
        return kErrorNone;
    if (call.id == kMidiRead) {
        if (!reply.readData.empty())
            std::memcpy(call.readPosition, reply.readData.data(), reply.readData.size());
        if (reply.output.size() < 16)
            std::memset(outBytes + reply.output.size(), 0, 16 - reply.output.size());
        Put32(outBytes + 8, static_cast<uint32_t>(reply.readData.size()));
        returned = 16;
    } else if (call.id == kMidiSetEvent) {
        std::lock_guard<std::mutex> lock(mMutex);
        if (!mClosed && !mDetached)
            mEvent = call.event;
    }
    return kErrorNone;
}

void HandleState::Abandon(const Call& call)
{
    if (call.token == 0)
        return;
    // A refused send is free again for the sender; a late report must not
    // touch it.
    std::lock_guard<std::mutex> lock(mMutex);
    mPending.erase(call.token);
}

uint32_t HandleState::Status() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    if (mClosed)
        return kErrorInvalidHandle;
    return mDetached ? kErrorDeviceNotConnected : kErrorNone;
}

void HandleState::MessageTaken(uint64_t token)
{
    std::lock_guard<std::mutex> lock(mMutex);
    auto it = mPending.find(token);
    if (it == mPending.end())
        return;
    std::atomic_ref<uint8_t>(*it->second.buffer)
        .store(static_cast<uint8_t>(~it->second.first), std::memory_order_release);
    mPending.erase(it);
}

void HandleState::InputPending()
{
    std::lock_guard<std::mutex> lock(mMutex);
    if (mEvent != nullptr)
        mEvent->Set();
}

void HandleState::Detach()
{
    std::lock_guard<std::mutex> lock(mMutex);
    mDetached = true;
    DropLocked();
}

void HandleState::Close()
{
    std::lock_guard<std::mutex> lock(mMutex);
    mClosed = true;
    DropLocked();
}

bool HandleState::IsOpen() const
{
    return Status() == kErrorNone;
}

void HandleState::DropLocked()
{
    mPending.clear();
    mEvent = nullptr;
}

}  // namespace Internal

struct Device::Impl
{
    std::shared_ptr<HandleState> state;
    std::unique_ptr<Transport> transport;
    std::once_flag closed;
};

Device::Device(std::unique_ptr<Impl> impl) : mImpl(std::move(impl)) {}

Device::~Device()
{
    Close();
}

bool Device::Ioctl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                   uint32_t* returned, uint32_t* error)
{
    uint32_t unusedReturned = 0, unusedError = 0;
    uint32_t& bytes = returned ? *returned : unusedReturned;
    uint32_t& failure = error ? *error : unusedError;
    bytes = 0;
    failure = code == kIoctlKsProperty ? mImpl->state->Status() : kErrorInvalidFunction;
    if (failure != kErrorNone)
        return false;
    Request request;
    HandleState::Call call;
    failure = mImpl->state->Prepare(in, inSize, out, outSize, request, call);
    if (failure != kErrorNone) {
        mImpl->state->Abandon(call);
        return false;
    }
    Reply reply;
    if (!mImpl->transport->Exchange(request, reply, failure)) {
        mImpl->state->Abandon(call);
        return false;
    }
    failure = mImpl->state->Finish(call, reply, out, outSize, bytes);
    return failure == kErrorNone;
}

void Device::Close()
{
    std::call_once(mImpl->closed, [this] {
        mImpl->state->Close();
        mImpl->transport->Close();
    });
}

namespace Internal {

std::unique_ptr<Device> MakeDevice(std::shared_ptr<HandleState> state, std::unique_ptr<Transport> transport)
{
    auto impl = std::make_unique<Device::Impl>();
    impl->state = std::move(state);
    impl->transport = std::move(transport);
    return std::make_unique<Device>(std::move(impl));
}

}  // namespace Internal

std::unique_ptr<Device> OpenDevice(std::u16string_view path, uint32_t* error)
{
    uint32_t unused = 0;
    uint32_t& failure = error ? *error : unused;
    failure = kErrorNone;
    bool found = false;
    auto device = OpenFakeDevice(std::u16string(path), found, failure);
    if (found)
        return device;
    if (path.empty()) {
        failure = kErrorFileNotFound;
        return nullptr;
    }
    return OpenSocketDevice(Registry::Names::ToUtf8(path), failure);
}

}  // namespace Tavo::Platform::Driver
