#pragma once

#include "ObjectBase/RefCountedObject.h"

#include <cstdint>
#include <vector>

namespace Tavo {

// Maps key objects, by identity, to counted references. Keys are hashed on
// Bits bits of their address into 2^Bits buckets, each searched from its
// newest entry. The map holds a reference to each key, so a key's identity
// cannot pass to a new object while it is mapped.
template <class K, class V, uint32_t Bits = 8>
class RCPtrMap
{
    static_assert(Bits > 0 && Bits <= 16);

public:
    static constexpr uint32_t kBucketCount = 1u << Bits;

    RCPtrMap() = default;
    RCPtrMap(const RCPtrMap&) = delete;
    RCPtrMap& operator=(const RCPtrMap&) = delete;

    // Null when the key is not mapped.
    RCPtr<V> Find(const K* key) const
    {
        const std::vector<Entry>& bucket = mBuckets[Hash(key)];
        for (auto it = bucket.rbegin(); it != bucket.rend(); ++it) {
            if (it->key.Get() == key)
                return it->value;
        }
        return nullptr;
    }
    RCPtr<V> Find(const ConstRCPtr<K>& key) const { return Find(key.Get()); }

    // Replaces the value of a mapped key, else appends. A null key is ignored.
    void Add(const ConstRCPtr<K>& key, const RCPtr<V>& value)
    {
        if (!key)
            return;
        std::vector<Entry>& bucket = mBuckets[Hash(key.Get())];
        for (auto it = bucket.rbegin(); it != bucket.rend(); ++it) {
            if (it->key.Get() == key.Get()) {
                it->value = value;
                return;
            }
        }
        bucket.push_back({key, value});
        ++mCount;
    }

    void RemoveAll()
    {
        // Released outside the buckets: a value's destructor may use the map.
        for (std::vector<Entry>& bucket : mBuckets) {
            std::vector<Entry> old;
            old.swap(bucket);
        }
        mCount = 0;
    }

    uint32_t GetCount() const { return mCount; }

private:
    struct Entry
    {
        ConstRCPtr<K> key;
        RCPtr<V> value;
    };

    // Objects are at least 16-byte aligned, so the low four bits carry nothing.
    static uint32_t Hash(const K* key)
    {
        return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key) >> 4) & (kBucketCount - 1);
    }

    std::vector<Entry> mBuckets[kBucketCount];
    uint32_t mCount = 0;
};

}  // namespace Tavo
