#pragma once

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
        return RCPtr<TestClient>(new TestClient(std::move(name), log, destroyed));
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
    CallLog* mLog;
    std::atomic<int>* mDestroyed;
    std::atomic<int> mReceived{0};
    Callback mOnReceive;

private:
    TestClient(std::string name, CallLog* log, std::atomic<int>* destroyed)
        : mName(std::move(name)), mLog(log), mDestroyed(destroyed)
    {
    }
};

class CountedDistributor : public LNotificationDistributor
{
public:
    static RCPtr<CountedDistributor> Create(std::atomic<int>* destroyed = nullptr)
    {
        return RCPtr<CountedDistributor>(new CountedDistributor(destroyed));
    }
    ~CountedDistributor() override
    {
        if (mDestroyed)
            ++*mDestroyed;
    }

private:
    explicit CountedDistributor(std::atomic<int>* destroyed) : mDestroyed(destroyed) {}
    std::atomic<int>* mDestroyed;
};

// A data object that counts its destruction.
class CountedData : public LRefCountedObject
{
public:
    explicit CountedData(std::atomic<int>* destroyed) : mDestroyed(destroyed) {}
    ~CountedData() override { ++*mDestroyed; }

private:
    std::atomic<int>* mDestroyed;
};

}  // namespace TavoTest
