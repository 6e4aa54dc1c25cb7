#include "Notification/Notification.h"

#include <atomic>
#include <utility>
#include <vector>

namespace Tavo {

namespace {

struct NotificationPool
{
    std::vector<RCPtr<LNotification>> free;
    std::atomic<bool> enabled{false};
};

NotificationPool& Pool()
{
    static auto* pool = new NotificationPool;
    return *pool;
}

}  // namespace

RCPtr<LNotification> LNotification::Create(const char16_t* name, const ConstRCPtr<LRefCountedObject>& data)
{
    if (!name || !name[0])
        return nullptr;
    LNotificationId id = GetNotificationID(name);
    NotificationPool& pool = Pool();
    if (!pool.enabled.load(std::memory_order_acquire))
        return RCPtr<LNotification>(new LNotification(id, data));

    ConstRCPtr<LRefCountedObject> oldData;
    RCPtr<LNotification> result;
    {
        MutexLocker lock(GetFrameworkLock());
        if (pool.free.empty())
            return RCPtr<LNotification>(new LNotification(id, data));
        result = std::move(pool.free.back());
        pool.free.pop_back();
        if (!result->IsPosted()) {
            result->mId = id;
            if (!(result->mData == data)) {
                oldData = std::move(result->mData);
                result->mData = data;
            }
        }
    }
    // Old data is released outside the lock: its destructor may do anything.
    return result;
}

void LNotification::SetPoolingEnabled(bool enable)
{
    NotificationPool& pool = Pool();
    std::vector<RCPtr<LNotification>> dropped;
    {
        MutexLocker lock(GetFrameworkLock());
        pool.enabled.store(enable, std::memory_order_release);
        if (!enable)
            dropped.swap(pool.free);
    }
}

bool LNotification::IsPoolingEnabled()
{
    return Pool().enabled.load(std::memory_order_acquire);
}

uint32_t LNotification::GetPoolCount()
{
    MutexLocker lock(GetFrameworkLock());
    return static_cast<uint32_t>(Pool().free.size());
}

int32_t LNotification::Release()
{
    if (!mRecycling.load(std::memory_order_relaxed) && GetRefCount() == 1) {
        mRecycling.store(true, std::memory_order_relaxed);
        Recycle();
        mRecycling.store(false, std::memory_order_relaxed);
    }
    return LRefCountedObject::Release();
}

void LNotification::Recycle()
{
    if (!IsPosted()) {
        ConstRCPtr<LRefCountedObject> data = std::move(mData);
    }
    NotificationPool& pool = Pool();
    if (!pool.enabled.load(std::memory_order_acquire))
        return;
    MutexLocker lock(GetFrameworkLock());
    // Checked again under the lock: pooling may have been switched off meanwhile.
    if (pool.enabled.load(std::memory_order_relaxed))
        pool.free.emplace_back(this);
}

}  // namespace Tavo
