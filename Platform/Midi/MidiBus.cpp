#include "Platform/Midi/MidiBus.h"

namespace Tavo::Platform::Midi {

class MidiBus::InLink final : public InputLink
{
public:
    InLink(std::shared_ptr<MidiBus> bus, uint64_t id, std::u16string name)
        : mBus(std::move(bus)), mId(id), mName(std::move(name))
    {
    }
    ~InLink() override { mBus->CloseLink(mId); }
    std::u16string Name() override { return mName; }
    bool Alive() override
    {
        std::lock_guard l(mBus->mLock);
        return mBus->Present(mBus->mLinks[mId].device);
    }

private:
    std::shared_ptr<MidiBus> mBus;
    uint64_t mId;
    std::u16string mName;
};

class MidiBus::OutLink final : public OutputLink
{
public:
    OutLink(std::shared_ptr<MidiBus> bus, uint64_t id, DeviceId device, std::u16string name)
        : mBus(std::move(bus)), mId(id), mDevice(device), mName(std::move(name))
    {
    }
    ~OutLink() override { mBus->CloseLink(mId); }
    std::u16string Name() override { return mName; }
    bool Alive() override
    {
        std::lock_guard l(mBus->mLock);
        return mBus->Present(mDevice);
    }
    MMRESULT Send(const uint8_t* data, size_t size, uint64_t token) override
    {
        return mBus->Send(mId, mDevice, data, size, token);
    }

private:
    std::shared_ptr<MidiBus> mBus;
    uint64_t mId;
    DeviceId mDevice;
    std::u16string mName;
};

std::shared_ptr<MidiBus> MidiBus::Install()
{
    auto bus = std::make_shared<MidiBus>();
    SetMidiBackend(bus);
    return bus;
}

MidiBus::MidiBus() : mThread([this] { Run(); }) {}

MidiBus::~MidiBus()
{
    {
        std::lock_guard l(mLock);
        mStopping = true;
    }
    mChanged.notify_all();
    mThread.join();
}

MidiBus::DeviceId MidiBus::Plug(const std::u16string& name, bool input)
{
    std::lock_guard l(mLock);
    DeviceId id = mNextDevice++;
    Device& d = mDevices[id];
    d.name = name;
    d.input = input;
    return id;
}

MidiBus::DeviceId MidiBus::PlugInput(const std::u16string& name)
{
    return Plug(name, true);
}

MidiBus::DeviceId MidiBus::PlugOutput(const std::u16string& name)
{
    return Plug(name, false);
}

void MidiBus::Unplug(DeviceId device)
{
    std::vector<uint64_t> affected;
    std::unique_lock l(mLock);
    auto it = mDevices.find(device);
    if (it == mDevices.end() || !it->second.present)
        return;
    it->second.present = false;
    for (auto& [id, link] : mLinks) {
        if (link.device == device && !link.closed) {
            ++link.uses;
            affected.push_back(id);
        }
    }
    for (uint64_t id : affected) {
        Link& link = mLinks[id];
        l.unlock();
        if (link.in != nullptr)
            link.in->OnGone();
        else
            link.out->OnGone();
        l.lock();
        --link.uses;
    }
    mChanged.notify_all();
}

bool MidiBus::Present(DeviceId device)
{
    auto it = mDevices.find(device);
    return it != mDevices.end() && it->second.present;
}

bool MidiBus::Inject(DeviceId input, const Bytes& bytes)
{
    std::unique_lock l(mLock);
    if (!Present(input))
        return false;
    for (auto& [id, link] : mLinks) {
        if (link.device == input && link.in != nullptr && !link.closed) {
            ++link.uses;
            l.unlock();
            link.in->OnBytes(bytes.data(), bytes.size());
            l.lock();
            --link.uses;
            mChanged.notify_all();
            return true;
        }
    }
    return false;
}

std::vector<MidiBus::Bytes> MidiBus::Sent(DeviceId output)
{
    std::lock_guard l(mLock);
    auto it = mDevices.find(output);
    return it == mDevices.end() ? std::vector<Bytes>() : it->second.sent;
}

bool MidiBus::WaitSent(DeviceId output, size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock l(mLock);
    return mChanged.wait_for(l, timeout, [&] {
        auto it = mDevices.find(output);
        return it != mDevices.end() && it->second.sent.size() >= count;
    });
}

void MidiBus::Respond(DeviceId output, const Bytes& request, DeviceId input, const Bytes& reply)
{
    std::lock_guard l(mLock);
    mDevices[output].replies.push_back({request, input, reply});
}

void MidiBus::SetTakesMessages(DeviceId output, bool takes)
{
    std::unique_lock l(mLock);
    Device& d = mDevices[output];
    d.takes = takes;
    if (!takes)
        return;
    auto held = std::move(d.held);
    d.held.clear();
    for (auto [link, token] : held)
        Taken(l, link, token);
}

void MidiBus::Taken(std::unique_lock<std::mutex>& l, uint64_t link, uint64_t token)
{
    auto it = mLinks.find(link);
    if (it == mLinks.end() || it->second.closed)
        return;
    ++it->second.uses;
    l.unlock();
    it->second.out->OnTaken(token);
    l.lock();
    --it->second.uses;
    mChanged.notify_all();
}

std::vector<std::u16string> MidiBus::Names(bool input)
{
    std::lock_guard l(mLock);
    std::vector<std::u16string> names;
    for (auto& [id, d] : mDevices) {
        if (d.present && d.input == input)
            names.push_back(d.name);
    }
    return names;
}

std::vector<std::u16string> MidiBus::InputNames()
{
    return Names(true);
}

std::vector<std::u16string> MidiBus::OutputNames()
{
    return Names(false);
}

int MidiBus::FindDevice(uint32_t number, bool input)
{
    uint32_t n = 0;
    for (auto& [id, d] : mDevices) {
        if (d.present && d.input == input && n++ == number)
            return static_cast<int>(id);
    }
    return -1;
}

MMRESULT MidiBus::OpenInput(uint32_t device, InputSink& sink, std::unique_ptr<InputLink>& link)
{
    std::lock_guard l(mLock);
    int id = FindDevice(device, true);
    if (id < 0)
        return MMSYSERR_BADDEVICEID;
    // One port per input device, as with most drivers.
    for (auto& [key, other] : mLinks) {
        if (other.device == static_cast<DeviceId>(id) && !other.closed)
            return MMSYSERR_ALLOCATED;
    }
    uint64_t linkId = mNextLink++;
    Link& rec = mLinks[linkId];
    rec.device = static_cast<DeviceId>(id);
    rec.in = &sink;
    link = std::make_unique<InLink>(shared_from_this(), linkId, mDevices[rec.device].name);
    return MMSYSERR_NOERROR;
}

MMRESULT MidiBus::OpenOutput(uint32_t device, OutputSink& sink, std::unique_ptr<OutputLink>& link)
{
    std::lock_guard l(mLock);
    int id = FindDevice(device, false);
    if (id < 0)
        return MMSYSERR_BADDEVICEID;
    uint64_t linkId = mNextLink++;
    Link& rec = mLinks[linkId];
    rec.device = static_cast<DeviceId>(id);
    rec.out = &sink;
    link = std::make_unique<OutLink>(shared_from_this(), linkId, rec.device, mDevices[rec.device].name);
    return MMSYSERR_NOERROR;
}

MMRESULT MidiBus::Send(uint64_t link, DeviceId device, const uint8_t* data, size_t size, uint64_t token)
{
    std::lock_guard l(mLock);
    if (!Present(device))
        return MMSYSERR_NODRIVER;
    mDevices[device].sent.emplace_back(data, data + size);
    mWork.push_back({link, device, Bytes(data, data + size), token});
    mChanged.notify_all();
    return MMSYSERR_NOERROR;
}

void MidiBus::CloseLink(uint64_t link)
{
    std::unique_lock l(mLock);
    Link& rec = mLinks[link];
    rec.closed = true;
    mChanged.wait(l, [&] { return rec.uses == 0; });
    mLinks.erase(link);
}

void MidiBus::Run()
{
    std::unique_lock l(mLock);
    for (;;) {
        mChanged.wait(l, [this] { return mStopping || !mWork.empty(); });
        if (mStopping)
            return;
        Work w = std::move(mWork.front());
        mWork.pop_front();
        Device& d = mDevices[w.device];
        if (!d.present)
            continue;
        if (w.token != 0 && !d.takes)
            d.held.emplace_back(w.link, w.token);
        else if (w.token != 0)
            Taken(l, w.link, w.token);
        std::vector<Reply> replies;
        for (const Reply& r : mDevices[w.device].replies) {
            if (r.request == w.bytes)
                replies.push_back(r);
        }
        l.unlock();
        for (const Reply& r : replies)
            Inject(r.input, r.reply);
        l.lock();
    }
}

}  // namespace Tavo::Platform::Midi
