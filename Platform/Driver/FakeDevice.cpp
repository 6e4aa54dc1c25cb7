#include <atomic>
#include <map>
#include <mutex>

#include "Platform/Driver/DeviceInternal.h"

namespace Tavo::Platform::Driver {

using namespace Internal;

namespace {

struct FakeEntry
{
    std::shared_ptr<DriverHandler> handler;
    bool busy = false;
};

struct FakeTable
{
    std::mutex mutex;
    std::map<std::u16string, std::shared_ptr<FakeEntry>> entries;
};

FakeTable& Table()
{
    static FakeTable* table = new FakeTable;
    return *table;
}

void Release(const std::shared_ptr<FakeEntry>& entry)
{
    std::lock_guard<std::mutex> lock(Table().mutex);
    entry->busy = false;
}

class FakeSession final : public DriverSession
{
public:
    FakeSession(std::shared_ptr<HandleState> state, std::shared_ptr<FakeEntry> entry)
        : mState(std::move(state)), mEntry(std::move(entry))
    {
    }

    void MessageTaken(uint64_t token) override { mState->MessageTaken(token); }
    void InputPending() override { mState->InputPending(); }
    void Detach() override
    {
        mState->Detach();
        // A vanished device no longer holds the path.
        ReleaseOnce();
    }
    bool IsOpen() const override { return mState->IsOpen(); }

    void ReleaseOnce()
    {
        if (!mReleased.exchange(true))
            Release(mEntry);
    }

private:
    std::shared_ptr<HandleState> mState;
    std::shared_ptr<FakeEntry> mEntry;
    std::atomic<bool> mReleased{false};
};

class FakeTransport final : public Transport
{
public:
    FakeTransport(std::shared_ptr<FakeEntry> entry, std::shared_ptr<FakeSession> session)
        : mEntry(std::move(entry)), mSession(std::move(session))
    {
    }

    bool Exchange(const Request& request, Reply& reply, uint32_t& error) override
    {
        if (!mSession->IsOpen()) {
            error = kErrorDeviceNotConnected;
            return false;
        }
        reply = mEntry->handler->OnRequest(*mSession, request);
        return true;
    }

    void Close() override
    {
        mEntry->handler->OnClose(*mSession);
        mSession->ReleaseOnce();
    }

private:
    std::shared_ptr<FakeEntry> mEntry;
    std::shared_ptr<FakeSession> mSession;
};

}  // namespace

bool RegisterFakeDevice(const std::u16string& path, std::shared_ptr<DriverHandler> handler)
{
    FakeTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto& entry = table.entries[path];
    if (entry)
        return false;
    entry = std::make_shared<FakeEntry>();
    entry->handler = std::move(handler);
    return true;
}

void UnregisterFakeDevice(const std::u16string& path)
{
    FakeTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.entries.erase(path);
}

namespace Internal {

std::unique_ptr<Device> OpenFakeDevice(const std::u16string& path, bool& found, uint32_t& error)
{
    std::shared_ptr<FakeEntry> entry;
    {
        FakeTable& table = Table();
        std::lock_guard<std::mutex> lock(table.mutex);
        auto it = table.entries.find(path);
        found = it != table.entries.end();
        if (!found)
            return nullptr;
        if (it->second->busy) {
            error = kErrorSharingViolation;
            return nullptr;
        }
        it->second->busy = true;
        entry = it->second;
    }
    auto state = std::make_shared<HandleState>();
    auto session = std::make_shared<FakeSession>(state, entry);
    entry->handler->OnOpen(session);
    return MakeDevice(state, std::make_unique<FakeTransport>(entry, session));
}

}  // namespace Internal
}  // namespace Tavo::Platform::Driver
