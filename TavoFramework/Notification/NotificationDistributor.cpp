#include "Notification/NotificationDistributor.h"

#include <algorithm>
#include <utility>

namespace Tavo {

namespace {

// Every distributor that holds registrations. Each entry is one reference,
// counted as internal by its distributor.
struct ActiveDistributors
{
    Mutex lock;
    std::vector<LNotificationDistributor*> list;
};

ActiveDistributors& Active()
{
    static auto* active = new ActiveDistributors;
    return *active;
}

}  // namespace

// ---- pool ----

class LNotificationDistributor::LNotificationClientPool::CursorScope
{
public:
    // Links the cursor; the caller holds the pool's lock.
    explicit CursorScope(LNotificationClientPool& pool) : mPool(pool)
    {
        mCursor.next = mPool.mCursors;
        mPool.mCursors = &mCursor;
    }
    ~CursorScope()
    {
        MutexLocker lock(mPool.mLock);
        for (Cursor** link = &mPool.mCursors; *link; link = &(*link)->next)
            if (*link == &mCursor) {
                *link = mCursor.next;
                break;
            }
    }
    CursorScope(const CursorScope&) = delete;
    CursorScope& operator=(const CursorScope&) = delete;

    Cursor mCursor;

private:
    LNotificationClientPool& mPool;
};

uint32_t LNotificationDistributor::LNotificationClientPool::GetFlags() const
{
    return mFlags.load(std::memory_order_acquire);
}

int32_t LNotificationDistributor::LNotificationClientPool::GetCount() const
{
    MutexLocker lock(mLock);
    return static_cast<int32_t>(mRegistrations.size());
}

RCPtr<LNotificationDistributor::LNotificationRegisteredClientInfo>
LNotificationDistributor::LNotificationClientPool::GetRegistration(int32_t index) const
{
    MutexLocker lock(mLock);
    if (index < 0 || index >= static_cast<int32_t>(mRegistrations.size()))
        return nullptr;
    return mRegistrations[index];
}

int32_t LNotificationDistributor::LNotificationClientPool::FindClient(const LNotificationClient* client) const
{
    MutexLocker lock(mLock);
    for (int32_t i = static_cast<int32_t>(mRegistrations.size()); i-- > 0;)
        if (mRegistrations[i]->mClient.Get() == client)
            return i;
    return -1;
}

void LNotificationDistributor::LNotificationClientPool::Stamp()
{
    static std::atomic<uint64_t> last{0};
    mStamp.store(last.fetch_add(1, std::memory_order_relaxed) + 1, std::memory_order_release);
}

TavoResult LNotificationDistributor::LNotificationClientPool::AddClient(
    const RCPtr<LNotificationClient>& client, uint32_t flags)
{
    if (!client)
        return E_INVALIDARG;
    MutexLocker lock(mLock);
    bool replaced = false;
    for (auto it = mRegistrations.rbegin(); it != mRegistrations.rend(); ++it) {
        LNotificationRegisteredClientInfo& registration = **it;
        if (registration.mClient.Get() != client.Get())
            continue;
        if (registration.mFlags == flags)
            return S_OK;
        registration.mFlags = flags;
        replaced = true;
    }
    if (replaced) {
        uint32_t all = 0;
        for (const auto& registration : mRegistrations)
            all |= registration->mFlags;
        mFlags.store(all, std::memory_order_release);
        return S_OK;
    }
    mRegistrations.emplace_back(new LNotificationRegisteredClientInfo(client, flags));
    mFlags.fetch_or(flags, std::memory_order_acq_rel);
    Stamp();
    return S_OK;
}

TavoResult LNotificationDistributor::LNotificationClientPool::RemoveClient(const LNotificationClient* client)
{
    // Destroyed after the lock: it drops a client reference.
    RCPtr<LNotificationRegisteredClientInfo> removed;
    MutexLocker lock(mLock);
    for (int32_t i = static_cast<int32_t>(mRegistrations.size()); i-- > 0;) {
        if (mRegistrations[i]->mClient.Get() != client)
            continue;
        removed = std::move(mRegistrations[i]);
        mRegistrations.erase(mRegistrations.begin() + i);
        Stamp();
        for (Cursor* cursor = mCursors; cursor; cursor = cursor->next)
            if (i < cursor->index)
                --cursor->index;
        return S_OK;
    }
    return S_FALSE;
}

RCPtr<LNotificationClient> LNotificationDistributor::LNotificationClientPool::TakeForDelivery(
    int32_t index, const LNotification* notification)
{
    LNotificationRegisteredClientInfo& registration = *mRegistrations[index];
    if (registration.mFlags & LNotificationClient::kLatestPostedOnly) {
        if (registration.mLastPosted.Get() != notification)
            return nullptr;
        // The caller still holds the notification, so this only drops a count.
        registration.mLastPosted = nullptr;
    }
    return registration.mClient;
}

TavoResult LNotificationDistributor::LNotificationClientPool::DistributeNotification(
    const RCPtr<LNotificationDistributor>& sender, const RCPtr<LNotification>& notification)
{
    // The lock is held between calls and left only while a client runs.
    mLock.Enter();
    int32_t i = static_cast<int32_t>(mRegistrations.size()) - 1;
    if (i < 0) {
        mLock.Leave();
        return S_FALSE;
    }
    CursorScope scope(*this);
    for (;;) {
        int32_t count = static_cast<int32_t>(mRegistrations.size());
        if (i >= count)
            i = count - 1;
        if (i < 0)
            break;
        RCPtr<LNotificationClient> client = TakeForDelivery(i, notification.Get());
        if (!client) {
            --i;
            continue;
        }
        scope.mCursor.index = i;
        mLock.Leave();
        client->ReceiveNotification(sender, notification);
        client = nullptr;
        mLock.Enter();
        i = scope.mCursor.index - 1;
    }
    mLock.Leave();
    return S_OK;
}

int32_t LNotificationDistributor::LNotificationClientPool::SendNotificationToClient(
    const RCPtr<LNotificationDistributor>& sender, int32_t index, const RCPtr<LNotification>& notification)
{
    if (index < 0 || !notification)
        return index;
    mLock.Enter();
    int32_t count = static_cast<int32_t>(mRegistrations.size());
    if (index >= count) {
        mLock.Leave();
        return count;
    }
    RCPtr<LNotificationClient> client = TakeForDelivery(index, notification.Get());
    if (!client) {
        mLock.Leave();
        return index;
    }
    CursorScope scope(*this);
    scope.mCursor.index = index;
    mLock.Leave();
    client->ReceiveNotification(sender, notification);
    MutexLocker lock(mLock);
    return scope.mCursor.index;
}

void LNotificationDistributor::LNotificationClientPool::StorePosted(const RCPtr<LNotification>& notification)
{
    // Replaced notifications are released after the lock.
    std::vector<RCPtr<LNotification>> replaced;
    MutexLocker lock(mLock);
    for (auto it = mRegistrations.rbegin(); it != mRegistrations.rend(); ++it) {
        LNotificationRegisteredClientInfo& registration = **it;
        if (!(registration.mFlags & LNotificationClient::kLatestPostedOnly))
            continue;
        if (registration.mLastPosted)
            replaced.push_back(std::move(registration.mLastPosted));
        registration.mLastPosted = notification;
    }
}

bool LNotificationDistributor::LNotificationClientPool::GetClientFlags(const LNotificationClient* client,
                                                                       uint32_t& flags) const
{
    MutexLocker lock(mLock);
    for (auto it = mRegistrations.rbegin(); it != mRegistrations.rend(); ++it)
        if ((*it)->mClient.Get() == client) {
            flags = (*it)->mFlags;
            return true;
        }
    return false;
}

// ---- distributor ----

LNotificationDistributor::~LNotificationDistributor() = default;

TavoResult LNotificationDistributor::ReleaseInternalReferences()
{
    RemoveAllClients();
    return LRefCountedObject::ReleaseInternalReferences();
}

RCPtr<LNotificationDistributor::LNotificationClientPool> LNotificationDistributor::FindPoolLocked(
    LNotificationId id) const
{
    for (auto it = mPools.rbegin(); it != mPools.rend(); ++it)
        if ((*it)->GetID() == id)
            return *it;
    return nullptr;
}

RCPtr<LNotificationDistributor::LNotificationClientPool> LNotificationDistributor::FindClientPool(
    LNotificationId id) const
{
    MutexLocker lock(mLock);
    return FindPoolLocked(id);
}

TavoResult LNotificationDistributor::RegisterClient(const RCPtr<LNotificationClient>& client,
                                                    const char16_t* name, uint32_t flags)
{
    if (!client)
        return E_INVALIDARG;
    LNotificationId id = GetNotificationID(name);
    if (!id)
        return S_FALSE;
    MutexLocker lock(mLock);
    RCPtr<LNotificationClientPool> pool = FindPoolLocked(id);
    bool already = pool && pool->FindClient(client.Get()) >= 0;
    if (!already) {
        // Each registration holds this distributor once, as an internal reference.
        AddRef();
        AddInternalReferences(1);
        if (++mRegistrationCount == 1) {
            ActiveDistributors& active = Active();
            MutexLocker activeLock(active.lock);
            AddRef();
            AddInternalReferences(1);
            active.list.push_back(this);
        }
    }
    if (!pool) {
        pool = new LNotificationClientPool(id);
        mPools.push_back(pool);
    }
    pool->AddClient(client, flags);
    return already ? S_FALSE : S_OK;
}

TavoResult LNotificationDistributor::UnregisterLocked(const LNotificationClient* client, LNotificationId id)
{
    RCPtr<LNotificationClientPool> pool = FindPoolLocked(id);
    if (!pool)
        return S_FALSE;
    TavoResult result = pool->RemoveClient(client);
    if (result != S_OK)
        return result;
    // The callers hold this object, so these releases never destroy it.
    if (--mRegistrationCount == 0) {
        ActiveDistributors& active = Active();
        bool listed = false;
        {
            MutexLocker activeLock(active.lock);
            auto found = std::find(active.list.begin(), active.list.end(), this);
            if (found != active.list.end()) {
                active.list.erase(found);
                listed = true;
            }
        }
        if (listed) {
            AddInternalReferences(-1);
            Release();
        }
    }
    AddInternalReferences(-1);
    Release();
    return S_OK;
}

TavoResult LNotificationDistributor::UnregisterClient(const RCPtr<LNotificationClient>& client,
                                                      const char16_t* name)
{
    if (!client)
        return E_INVALIDARG;
    LNotificationId id = GetNotificationID(name);
    if (!id)
        return E_INVALIDARG;
    RCPtr<LNotificationDistributor> self(this);
    MutexLocker lock(mLock);
    return UnregisterLocked(client.Get(), id);
}

int32_t LNotificationDistributor::UnregisterClientAll(const RCPtr<LNotificationClient>& client)
{
    if (!client)
        return E_INVALIDARG;
    RCPtr<LNotificationDistributor> self(this);
    MutexLocker lock(mLock);
    int32_t removed = 0;
    for (size_t i = mPools.size(); i-- > 0;) {
        LNotificationId id = mPools[i]->GetID();
        if (id && UnregisterLocked(client.Get(), id) == S_OK)
            ++removed;
    }
    return removed;
}

bool LNotificationDistributor::HasClient(const LNotificationClient* client) const
{
    MutexLocker lock(mLock);
    for (auto it = mPools.rbegin(); it != mPools.rend(); ++it)
        if ((*it)->FindClient(client) >= 0)
            return true;
    return false;
}

TavoResult LNotificationDistributor::GetClientData(const LNotificationClient* client, const char16_t* name,
                                                   uint32_t& flags) const
{
    LNotificationId id = GetNotificationID(name);
    if (!id)
        return E_FAIL;
    MutexLocker lock(mLock);
    RCPtr<LNotificationClientPool> pool = FindPoolLocked(id);
    if (!pool || !pool->GetClientFlags(client, flags))
        return E_FAIL;
    return S_OK;
}

TavoResult LNotificationDistributor::SendNotification(const RCPtr<LNotification>& notification)
{
    if (!notification)
        return E_INVALIDARG;
    RCPtr<LNotificationClientPool> pool = FindClientPool(notification->GetID());
    if (!pool)
        return S_FALSE;
    return pool->DistributeNotification(RCPtr<LNotificationDistributor>(this), notification);
}

int32_t LNotificationDistributor::SendNotificationToClient(int32_t index,
                                                           const RCPtr<LNotification>& notification)
{
    if (!notification)
        return index;
    RCPtr<LNotificationClientPool> pool = FindClientPool(notification->GetID());
    if (!pool)
        return 0;
    return pool->SendNotificationToClient(RCPtr<LNotificationDistributor>(this), index, notification);
}

TavoResult LNotificationDistributor::RemoveAllClients()
{
    RCPtr<LNotificationDistributor> self(this);
    MutexLocker lock(mLock);
    for (size_t p = mPools.size(); p-- > 0;) {
        RCPtr<LNotificationClientPool> pool = mPools[p];
        // A client may drop more than one registration: re-clamp each step.
        for (int32_t i = pool->GetCount() - 1; i >= 0; --i) {
            RCPtr<LNotificationRegisteredClientInfo> registration = pool->GetRegistration(i);
            if (!registration) {
                i = pool->GetCount();
                continue;
            }
            RCPtr<LNotificationClient> client = registration->GetClient();
            client->Unsubscribe(self, pool->GetID());
        }
    }
    return S_OK;
}

TavoResult LNotificationDistributor::DeliverToClient(const RCPtr<LNotificationReceiver>& client,
                                                     const RCPtr<LNotification>& notification)
{
    if (!client)
        return E_INVALIDARG;
    return client->ReceiveNotification(RCPtr<LNotificationDistributor>(this), notification);
}

uint32_t LNotificationDistributor::GetRegistrationCount() const
{
    MutexLocker lock(mLock);
    return mRegistrationCount;
}

uint32_t LNotificationDistributor::GetActiveDistributorCount()
{
    ActiveDistributors& active = Active();
    MutexLocker lock(active.lock);
    return static_cast<uint32_t>(active.list.size());
}

}  // namespace Tavo
