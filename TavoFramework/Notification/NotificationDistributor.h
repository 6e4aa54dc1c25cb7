#pragma once

#include "Notification/NotificationClient.h"
#include "Threading/Mutex.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace Tavo {

// Delivers a notification at once, on the caller's thread, to the clients
// registered for its id, newest registration first. No lock is held while a
// client runs, so clients may register, unregister and send from inside.
class LNotificationDistributor : public virtual LRefCountedObject
{
public:
    class LNotificationClientPool;

    // One client's registration for one id.
    class LNotificationRegisteredClientInfo : public LRefCountedObject
    {
    public:
        LNotificationRegisteredClientInfo(const RCPtr<LNotificationClient>& client, uint32_t flags)
            : mClient(client), mFlags(flags)
        {
        }
        ~LNotificationRegisteredClientInfo() override
        {
            mLastPosted = nullptr;
            mClient = nullptr;
        }

        const RCPtr<LNotificationClient>& GetClient() const { return mClient; }
        uint32_t GetFlags() const { return mFlags; }

    private:
        friend class LNotificationClientPool;
        RCPtr<LNotificationClient> mClient;
        // Guarded by the pool's lock.
        RCPtr<LNotification> mLastPosted;
        uint32_t mFlags;
    };

    // The registrations for one id. Lives as long as its distributor.
    class LNotificationClientPool : public LRefCountedObject
    {
    public:
        explicit LNotificationClientPool(LNotificationId id) : mId(id) {}

        LNotificationId GetID() const { return mId; }
        uint32_t GetFlags() const;
        Mutex& GetLock() const { return mLock; }
        // Take the pool's lock around these when walking the list.
        int32_t GetCount() const;
        RCPtr<LNotificationRegisteredClientInfo> GetRegistration(int32_t index) const;

        int32_t FindClient(const LNotificationClient* client) const;
        TavoResult AddClient(const RCPtr<LNotificationClient>& client, uint32_t flags);
        TavoResult RemoveClient(const LNotificationClient* client);
        // 1 when the pool has no registrations, else 0 after one pass.
        TavoResult DistributeNotification(const RCPtr<LNotificationDistributor>& sender,
                                          const RCPtr<LNotification>& notification);
        // Delivers to the registration at index; returns where a caller walking
        // the pool downwards continues (the count when index is past the end).
        int32_t SendNotificationToClient(const RCPtr<LNotificationDistributor>& sender, int32_t index,
                                         const RCPtr<LNotification>& notification);
        // Fills the latest-posted slot of every registration that asks for it.
        void StorePosted(const RCPtr<LNotification>& notification);
        bool GetClientFlags(const LNotificationClient* client, uint32_t& flags) const;
        // Changes with every registration added or removed, and is never the
        // same for two pools: what is derived from a pool's list stays valid
        // while the stamp does.
        uint64_t GetChangeStamp() const { return mStamp.load(std::memory_order_acquire); }

    private:
        void Stamp();
        // One per delivery pass, so nested and concurrent passes over the same
        // pool each keep their place; removals adjust every active one.
        struct Cursor
        {
            int32_t index = -1;
            Cursor* next = nullptr;
        };
        class CursorScope;

        // Under the lock: the client to call at index, or null to skip it.
        RCPtr<LNotificationClient> TakeForDelivery(int32_t index, const LNotification* notification);

        LNotificationId mId;
        std::atomic<uint32_t> mFlags{0};
        std::atomic<uint64_t> mStamp{0};
        std::vector<RCPtr<LNotificationRegisteredClientInfo>> mRegistrations;
        Cursor* mCursors = nullptr;
        mutable Mutex mLock;
    };

    LNotificationDistributor() = default;
    ~LNotificationDistributor() override;

    // Drops every registration when only they hold this distributor.
    TavoResult ReleaseInternalReferences() override;

    // 0 new, 1 no id or already registered (flags updated), E_INVALIDARG.
    TavoResult RegisterClient(const RCPtr<LNotificationClient>& client, const char16_t* name, uint32_t flags);
    // 0 removed, 1 not registered, E_INVALIDARG for no client or no id.
    TavoResult UnregisterClient(const RCPtr<LNotificationClient>& client, const char16_t* name);
    // The number of registrations removed, or E_INVALIDARG.
    int32_t UnregisterClientAll(const RCPtr<LNotificationClient>& client);
    bool HasClient(const LNotificationClient* client) const;
    RCPtr<LNotificationClientPool> FindClientPool(LNotificationId id) const;
    TavoResult GetClientData(const LNotificationClient* client, const char16_t* name, uint32_t& flags) const;
    // E_INVALIDARG for no notification, 1 when nobody is registered, else 0.
    TavoResult SendNotification(const RCPtr<LNotification>& notification);
    // Delivers to one registration of the pool for the notification's id.
    int32_t SendNotificationToClient(int32_t index, const RCPtr<LNotification>& notification);
    // Asks every registered client to unsubscribe itself.
    TavoResult RemoveAllClients();
    TavoResult DeliverToClient(const RCPtr<LNotificationReceiver>& client,
                               const RCPtr<LNotification>& notification);

    uint32_t GetRegistrationCount() const;
    // How many distributors hold registrations now, process-wide.
    static uint32_t GetActiveDistributorCount();

private:
    RCPtr<LNotificationClientPool> FindPoolLocked(LNotificationId id) const;
    TavoResult UnregisterLocked(const LNotificationClient* client, LNotificationId id);

    mutable Mutex mLock;
    std::vector<RCPtr<LNotificationClientPool>> mPools;
    uint32_t mRegistrationCount = 0;
};

}  // namespace Tavo
