#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include <fnd/MemoryCache.h>

TEST(MemoryCacheTest, StoresReplacesAndRemoves) {
    auto cache = rt::make<fnd::MemoryCache>();
    cache->setObject("one", "k", 3);
    cache->setObject("two", "k", 5);
    EXPECT_EQ(cache->objectForKey("k"), rt::Value("two"));
    EXPECT_EQ(cache->count(), 1u);
    EXPECT_EQ(cache->totalCost(), 5u);
    cache->setObject(rt::Value(), "k");
    EXPECT_TRUE(cache->objectForKey("k").isNil());
    EXPECT_EQ(cache->totalCost(), 0u);
    cache->setObject(1, 42);  // keys are values, compared by value
    EXPECT_EQ(cache->objectForKey(42LL), rt::Value(1));
    cache->removeAllObjects();
    EXPECT_EQ(cache->count(), 0u);
}

TEST(MemoryCacheTest, EvictsLeastRecentlyUsedOverTheCountLimit) {
    auto cache = rt::make<fnd::MemoryCache>();
    cache->setCountLimit(2);
    cache->setObject("a", "a");
    cache->setObject("b", "b");
    (void)cache->objectForKey("a");  // b is now the oldest use
    cache->setObject("c", "c");
    EXPECT_FALSE(cache->objectForKey("b"));
    EXPECT_TRUE(cache->objectForKey("a"));
    EXPECT_TRUE(cache->objectForKey("c"));
}

TEST(MemoryCacheTest, EvictsOverTheCostLimitAndWhenTheLimitShrinks) {
    auto cache = rt::make<fnd::MemoryCache>();
    cache->setTotalCostLimit(10);
    cache->setObject("a", "a", 4);
    cache->setObject("b", "b", 4);
    cache->setObject("c", "c", 4);  // 12 > 10: a goes
    EXPECT_FALSE(cache->objectForKey("a"));
    EXPECT_EQ(cache->totalCost(), 8u);
    cache->setTotalCostLimit(5);
    EXPECT_EQ(cache->count(), 1u);
    EXPECT_TRUE(cache->objectForKey("c"));
    cache->setObject("huge", "huge", 50);  // cannot fit at all
    EXPECT_FALSE(cache->objectForKey("huge"));
}

TEST(MemoryCacheTest, ManyThreadsAtOnceKeepItConsistent) {
    auto cache = rt::make<fnd::MemoryCache>();
    cache->setCountLimit(50);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([cache, t] {
            for (int i = 0; i < 2000; ++i) {
                cache->setObject(i, t * 10000 + i % 97, 1);
                (void)cache->objectForKey(t * 10000 + (i * 7) % 97);
                if (i % 100 == 0) cache->removeObjectForKey(t * 10000 + i % 97);
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_LE(cache->count(), 50u);
    EXPECT_EQ(cache->totalCost(), cache->count());
}
