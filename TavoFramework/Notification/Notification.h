#pragma once

#include "Notification/NotificationID.h"
#include "ObjectBase/RefCountedObject.h"

#include <atomic>
#include <cstdint>

namespace Tavo {

// One notification: an interned id and the sender's data object. While the
// application runs, released notifications go back to a process-wide pool.
class LNotification : public virtual LRefCountedObject
{
public:
    // Null for a null or empty name. The name may be an id.
    static RCPtr<LNotification> Create(const char16_t* name,
                                       const ConstRCPtr<LRefCountedObject>& data = nullptr);

    // false also empties the pool, destroying what it held.
    static void SetPoolingEnabled(bool enable);
    static bool IsPoolingEnabled();
    static uint32_t GetPoolCount();

    int32_t Release() override;

    LNotificationId GetID() const { return mId; }
    const ConstRCPtr<LRefCountedObject>& GetData() const { return mData; }
    bool IsPosted() const { return mPosted.load(std::memory_order_acquire); }
    void SetPosted(bool posted) { mPosted.store(posted, std::memory_order_release); }
    // Sets the posted flag; false when it was set already, so of two posters
    // racing with one notification only one wins.
    bool MarkPosted() { return !mPosted.exchange(true, std::memory_order_acq_rel); }

protected:
    LNotification(LNotificationId id, const ConstRCPtr<LRefCountedObject>& data) : mId(id), mData(data) {}
    ~LNotification() override = default;

private:
    void Recycle();

    LNotificationId mId;
    ConstRCPtr<LRefCountedObject> mData;
    std::atomic<bool> mPosted{false};
    // Touched only by the thread dropping the last reference, but a pooled
    // object may already be in use on another thread when it is cleared.
    std::atomic<bool> mRecycling{false};
};

}  // namespace Tavo
