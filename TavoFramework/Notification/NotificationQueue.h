#pragma once

#include "Notification/NotificationDistributor.h"
#include "Utilities/Storage/RCPtrQueue.h"

#include <cstdint>

namespace Tavo {

// Holds posted notifications until the user-interface thread sends them
// through the queue's distributor, in posting order. Post works on any thread.
class LNotificationQueue : public virtual LRefCountedObject
{
public:
    // The queue's asynchronous entry: whatever it receives it posts.
    class LPostingReceiver : public LNotificationReceiver
    {
    public:
        explicit LPostingReceiver(const RCPtr<LNotificationQueue>& queue) : mQueue(queue) {}

        TavoResult ReceiveNotification(const RCPtr<LNotificationDistributor>& sender,
                                       const RCPtr<LNotification>& notification) override;
        TavoResult Unsubscribe(const RCPtr<LNotificationDistributor>& distributor,
                               const char16_t* name) override;

    private:
        friend class LNotificationQueue;
        RCPtr<LNotificationQueue> mQueue;
    };

    LNotificationQueue();
    ~LNotificationQueue() override;

    // Detaches when only the posting receiver still holds the queue.
    TavoResult ReleaseInternalReferences() override;

    // E_FAIL when one is set already or after Detach; an empty pointer is 0.
    TavoResult SetDistributor(const RCPtr<LNotificationDistributor>& distributor);
    TavoResult SetReceiver(const RCPtr<LNotificationDistributor>& distributor)
    {
        return SetDistributor(distributor);
    }
    // E_INVALIDARG for an empty or already posted notification, E_FAIL
    // without a distributor. Any thread.
    TavoResult Post(const RCPtr<LNotification>& notification);
    // Sends what was queued when the call began (nothing when this queue is
    // already being drained), then the idle notification when asked. True
    // when notifications remain. User-interface thread only.
    bool Process(bool sendIdle);
    // Discards what is queued; true when notifications remain.
    bool Flush();
    void Detach();

    uint32_t GetQueuedCount() const { return mQueue.GetCount(); }
    uint32_t GetCapacity() const { return mQueue.GetCapacity(); }
    RCPtr<LNotificationDistributor> GetDistributor() const;
    RCPtr<LPostingReceiver> GetPostingReceiver() const;

    // The lock shared by the rings of all notification queues.
    static Mutex& GetSharedQueueLock();

private:
    RCPtr<LNotificationDistributor> mDistributor;
    RCPtr<LPostingReceiver> mPostingReceiver;
    RCPtr<LNotification> mIdleNotification;
    RCPtrQueue<LNotification, 256> mQueue;
    bool mBusy = false;
};

}  // namespace Tavo
