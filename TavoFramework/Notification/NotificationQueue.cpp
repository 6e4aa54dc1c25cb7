#include "Notification/NotificationQueue.h"

#include <utility>

namespace Tavo {

Mutex& LNotificationQueue::GetSharedQueueLock()
{
    static auto* lock = new Mutex;
    return *lock;
}

LNotificationQueue::LNotificationQueue() : mQueue(&GetSharedQueueLock())
{
    mPostingReceiver = RCPtr<LPostingReceiver>(new LPostingReceiver(RCPtr<LNotificationQueue>(this)));
    AddInternalReferences(1);
    mIdleNotification = LNotification::Create(u"NID_IDLE");
}

LNotificationQueue::~LNotificationQueue()
{
    Flush();
}

TavoResult LNotificationQueue::ReleaseInternalReferences()
{
    Detach();
    return LRefCountedObject::ReleaseInternalReferences();
}

TavoResult LNotificationQueue::SetDistributor(const RCPtr<LNotificationDistributor>& distributor)
{
    MutexLocker lock(GetSharedQueueLock());
    if (mDistributor || !mPostingReceiver)
        return E_FAIL;
    if (distributor)
        mDistributor = distributor;
    return S_OK;
}

RCPtr<LNotificationDistributor> LNotificationQueue::GetDistributor() const
{
    // Posters on other threads read it while the owner may detach.
    MutexLocker lock(GetSharedQueueLock());
    return mDistributor;
}

RCPtr<LNotificationQueue::LPostingReceiver> LNotificationQueue::GetPostingReceiver() const
{
    MutexLocker lock(GetSharedQueueLock());
    return mPostingReceiver;
}

TavoResult LNotificationQueue::Post(const RCPtr<LNotification>& notification)
{
    // Claimed before anything else, so one notification is never queued twice.
    if (!notification || !notification->MarkPosted())
        return E_INVALIDARG;
    RCPtr<LNotificationDistributor> distributor = GetDistributor();
    if (!distributor) {
        notification->SetPosted(false);
        return E_FAIL;
    }
    RCPtr<LNotificationDistributor::LNotificationClientPool> pool =
        distributor->FindClientPool(notification->GetID());
    if (pool && (pool->GetFlags() & LNotificationClient::kLatestPostedOnly))
        pool->StorePosted(notification);
    mQueue.Enqueue(notification);
    return S_OK;
}

namespace {

// Clears the busy flag however the drain ends (a handler may throw).
class BusyScope
{
public:
    explicit BusyScope(bool& busy) : mBusy(busy) { mBusy = true; }
    ~BusyScope() { mBusy = false; }

private:
    bool& mBusy;
};

// Clears the posted flag once the notification has left the queue.
class PostedScope
{
public:
    explicit PostedScope(LNotification* notification) : mNotification(notification) {}
    ~PostedScope() { mNotification->SetPosted(false); }

private:
    LNotification* mNotification;
};

}  // namespace

bool LNotificationQueue::Process(bool sendIdle)
{
    if (!mBusy) {
        BusyScope busy(mBusy);
        RCPtr<LNotificationDistributor> distributor = GetDistributor();
        RCPtr<LNotification> notification;
        // Only what was queued now; later posts wait for the next call. A
        // handler may flush the queue meanwhile, so stop when it runs dry.
        for (uint32_t n = mQueue.GetCount(); n > 0 && mQueue.TryDequeue(notification); --n) {
            PostedScope posted(notification.Get());
            if (distributor)
                distributor->SendNotification(notification);
        }
    }
    if (sendIdle) {
        RCPtr<LNotificationDistributor> distributor = GetDistributor();
        if (distributor)
            distributor->SendNotification(mIdleNotification);
    }
    return mQueue.GetCount() != 0;
}

bool LNotificationQueue::Flush()
{
    RCPtr<LNotification> notification;
    for (uint32_t n = mQueue.GetCount(); n > 0 && mQueue.TryDequeue(notification); --n)
        notification->SetPosted(false);
    return mQueue.GetCount() != 0;
}

void LNotificationQueue::Detach()
{
    Flush();
    RCPtr<LNotificationDistributor> distributor;
    RCPtr<LPostingReceiver> receiver;
    RCPtr<LNotificationQueue> self;
    {
        MutexLocker lock(GetSharedQueueLock());
        distributor = std::move(mDistributor);
        receiver = std::move(mPostingReceiver);
        if (receiver)
            self = std::move(receiver->mQueue);
    }
    // Uncounted before the reference goes, so dropping it cannot look like
    // the last outside release.
    if (receiver)
        AddInternalReferences(-1);
}

TavoResult LNotificationQueue::LPostingReceiver::ReceiveNotification(const RCPtr<LNotificationDistributor>&,
                                                                     const RCPtr<LNotification>& notification)
{
    if (!notification)
        return E_INVALIDARG;
    RCPtr<LNotificationQueue> queue;
    {
        MutexLocker lock(GetSharedQueueLock());
        queue = mQueue;
    }
    if (queue)
        queue->Post(LNotification::Create(notification->GetID(), notification->GetData()));
    return S_OK;
}

TavoResult LNotificationQueue::LPostingReceiver::Unsubscribe(const RCPtr<LNotificationDistributor>&,
                                                             const char16_t*)
{
    return E_FAIL;
}

}  // namespace Tavo
