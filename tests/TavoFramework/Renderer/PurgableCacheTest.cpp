#include "Renderer/PurgableObjectCache.h"

#include <gtest/gtest.h>

#include <memory>

using namespace Tavo;

namespace {

using Cache = PurgableObjectCache<uint32_t, std::unique_ptr<int>>;

// Looks the id up and fills the slot when it is empty; true when it was filled.
bool Use(Cache& cache, uint32_t id)
{
    std::unique_ptr<int>& slot = cache.FindOrAdd(id);
    if (slot)
        return false;
    slot = std::make_unique<int>(static_cast<int>(id));
    return true;
}

}  // namespace

TEST(PurgableCache, FullCacheEvictsTheEntryUnusedLongest)
{
    Cache cache(4);
    for (uint32_t id = 1; id <= 4; ++id)
        EXPECT_TRUE(Use(cache, id));
    EXPECT_FALSE(Use(cache, 1));
    EXPECT_FALSE(Use(cache, 3));
    EXPECT_TRUE(Use(cache, 5));  // evicts 2
    EXPECT_EQ(cache.GetIndexedCount(), 4u);
    EXPECT_FALSE(Use(cache, 1));
    EXPECT_FALSE(Use(cache, 4));
    EXPECT_TRUE(Use(cache, 2));  // evicts 3, now the oldest
    EXPECT_TRUE(Use(cache, 3));
}

TEST(PurgableCache, PurgeEmptiesIdleEntriesThatAreRefilledOrTakenFirst)
{
    Cache cache(4);
    for (uint32_t id = 1; id <= 4; ++id)
        Use(cache, id);
    EXPECT_EQ(cache.PurgeSinceLastMark(), 0u);
    Use(cache, 4);
    Use(cache, 2);
    EXPECT_EQ(cache.PurgeSinceLastMark(), 2u);  // 1 and 3 idle for the period
    EXPECT_EQ(cache.GetIndexedCount(), 4u);
    // An emptied entry keeps its id: the next lookup refills it.
    EXPECT_TRUE(Use(cache, 3));
    // A new id takes the first emptied entry by position, not the oldest one.
    EXPECT_TRUE(Use(cache, 9));
    EXPECT_EQ(cache.GetEntry(0).id, 9u);
    EXPECT_FALSE(Use(cache, 2));
    EXPECT_FALSE(Use(cache, 4));
}

TEST(PurgableCache, UseCountSaturatesAndBreaksAgeTies)
{
    Cache cache(2);
    Use(cache, 1);
    cache.SetUseCount(0, 0xFFFFFFFFu);
    Use(cache, 1);
    EXPECT_EQ(cache.GetEntry(0).useCount, 0xFFFFFFFFu);
    Use(cache, 2);
    Use(cache, 7);  // 1 is oldest
    EXPECT_EQ(cache.GetEntry(0).id, 7u);
}
