#pragma once

#include "Notification/Notification.h"
#include "Notification/NotificationDistributor.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace TavoTest {

using namespace Tavo;

// Records the order in which clients are called.
struct CallLog
{
    std::mutex lock;
    std::vector<std::string> calls;

    void Add(const std::string& name)
    {
        std::lock_guard<std::mutex> guard(lock);
        calls.push_back(name);
    }
    std::vector<std::string> Take()
    {
        std::lock_guard<std::mutex> guard(lock);
        return std::exchange(calls, {});
    }
};

class TestClient : public LNotificationClient
{
public:
    using Callback = std::function<void(const RCPtr<LNotificationDistributor>&, const RCPtr<LNotification>&)>;

    static RCPtr<TestClient> Create(std::string name, CallLog* log = nullptr,
                                    std::atomic<int>* destroyed = nullptr)
    {
        RCPtr<TestClient> client(new TestClient);
        client->mName = std::move(name), client->mLog = log, client->mDestroyed = destroyed;
        return client;
    }
    TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                   const RCPtr<LNotification>& notification) override
    {
        ++mReceived;
        if (mLog)
            mLog->Add(mName);
        if (mOnReceive)
            mOnReceive(sender, notification);
        return S_OK;
    }
    ~TestClient() override
    {
        if (mDestroyed)
            ++*mDestroyed;
    }

    std::string mName;
    CallLog* mLog = nullptr;
    std::atomic<int>* mDestroyed = nullptr;
    std::atomic<int> mReceived{0};
    Callback mOnReceive;
};

// A distributor or data object that counts its destruction.
template <class Base>
class Counted : public Base
{
public:
    static RCPtr<Counted> Create(std::atomic<int>* destroyed = nullptr)
    {
        return RCPtr<Counted>(new Counted(destroyed));
    }
    ~Counted() override
    {
        if (mDestroyed)
            ++*mDestroyed;
    }

private:
    explicit Counted(std::atomic<int>* destroyed) : mDestroyed(destroyed) {}
    std::atomic<int>* mDestroyed;
};
using CountedDistributor = Counted<LNotificationDistributor>;
using CountedData = Counted<LRefCountedObject>;

// Pooling is process-wide: every test leaves it off.
struct PoolingOn
{
    PoolingOn() { LNotification::SetPoolingEnabled(true); }
    ~PoolingOn() { LNotification::SetPoolingEnabled(false); }
};

}  // namespace TavoTest
