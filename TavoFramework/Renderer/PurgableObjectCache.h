#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Tavo {

// A fixed number of entries found by id. A full cache reuses an empty entry
// first, else the one unused longest (fewest uses on a tie). Purge empties
// entries unused since a mark but keeps their ids, so a later lookup finds
// an empty slot to fill again.
template <class ID, class Value, class Hash = std::hash<ID>>
class PurgableObjectCache
{
public:
    struct Entry
    {
        ID id{};
        Value value{};
        uint32_t lastUse = 0;
        uint32_t useCount = 0;
        bool IsEmpty() const { return !value; }
        void Empty()
        {
            value = Value{};
            lastUse = 0;
            useCount = 0;
        }
    };

    explicit PurgableObjectCache(uint32_t capacity) : mEntries(capacity < 1 ? 1 : capacity) {}

    // The value slot for the id; the caller fills an empty one.
    Value& FindOrAdd(const ID& id, bool reset = false)
    {
        std::size_t i;
        auto found = mIndex.find(id);
        if (found != mIndex.end()) {
            i = found->second;
            if (reset)
                mEntries[i].Empty();
        } else {
            // Entries are indexed in position order until the cache is full.
            const bool full = mIndex.size() == mEntries.size();
            i = full ? Victim() : mIndex.size();
            Entry& entry = mEntries[i];
            if (full)
                mIndex.erase(entry.id);
            entry.Empty();
            entry.id = id;
            mIndex.emplace(id, i);
        }
        Entry& entry = mEntries[i];
        if (entry.useCount != 0xFFFFFFFFu)
            ++entry.useCount;
        entry.lastUse = ++mUseClock;
        return entry.value;
    }

    // Empties the id's entry, which keeps its place; false when the id has
    // none.
    bool Remove(const ID& id)
    {
        const auto found = mIndex.find(id);
        if (found == mIndex.end())
            return false;
        mEntries[found->second].Empty();
        return true;
    }

    // Empties every entry; ids stay.
    void EmptyAll()
    {
        for (Entry& entry : mEntries)
            entry.Empty();
    }

    // Empties the entries last used before the mark; returns how many.
    uint32_t Purge(uint32_t mark)
    {
        uint32_t emptied = 0;
        for (Entry& entry : mEntries)
            if (!entry.IsEmpty() && static_cast<int32_t>(entry.lastUse - mark) < 0) {
                entry.Empty();
                ++emptied;
            }
        return emptied;
    }

    // Purges everything unused since the previous purge and moves the mark.
    uint32_t PurgeSinceLastMark()
    {
        const uint32_t emptied = Purge(mPurgeMark);
        mPurgeMark = mUseClock;
        return emptied;
    }

    uint32_t GetCapacity() const { return static_cast<uint32_t>(mEntries.size()); }
    uint32_t GetIndexedCount() const { return static_cast<uint32_t>(mIndex.size()); }
    uint32_t GetUseClock() const { return mUseClock; }
    uint32_t GetFilledCount() const
    {
        uint32_t filled = 0;
        for (const Entry& entry : mEntries)
            filled += entry.IsEmpty() ? 0 : 1;
        return filled;
    }
    const Entry& GetEntry(uint32_t position) const { return mEntries[position]; }
    void SetUseCount(uint32_t position, uint32_t count) { mEntries[position].useCount = count; }

private:
    std::size_t Victim() const
    {
        std::size_t best = 0;
        uint32_t bestAge = 0;
        uint32_t bestUses = 0xFFFFFFFFu;
        for (std::size_t i = 0; i < mEntries.size(); ++i) {
            const Entry& entry = mEntries[i];
            if (entry.IsEmpty())
                return i;
            const uint32_t age = mUseClock - entry.lastUse;
            if (age > bestAge || (age == bestAge && entry.useCount < bestUses)) {
                best = i;
                bestAge = age;
                bestUses = entry.useCount;
            }
        }
        return best;
    }

    std::vector<Entry> mEntries;
    std::unordered_map<ID, std::size_t, Hash> mIndex;
    uint32_t mUseClock = 0;
    uint32_t mPurgeMark = 0;
};

}  // namespace Tavo
