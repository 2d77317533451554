#include <gtest/gtest.h>

#include <QXFoundation/Cache/TimeoutCache.h>
#include <VirtualTime.h>

using zid::TimeoutCache;
using zid::TimeoutCacheItem;

class TimeoutCacheTest : public zidtest::VirtualTimeTest {};

TEST_F(TimeoutCacheTest, EntriesExpireAfterTheirTimeToLive) {
    auto cache = rt::make<TimeoutCache>();
    cache->setObjectForKeyTtl("short", "a", 10);
    cache->setObject("forever", "b", 0, 0.0);
    cache->setObject("plain", "c");
    cache->setObjectForKeyTtl("past", "d", -1);
    EXPECT_EQ(cache->objectForKey("a"), rt::Value("short"));
    EXPECT_TRUE(cache->objectForKey("d").isNil());
    advance(10);
    EXPECT_EQ(cache->objectForKey("a"), rt::Value("short"));  // at the moment itself it still counts
    advance(0.5);
    EXPECT_TRUE(cache->objectForKey("a").isNil());
    EXPECT_EQ(cache->count(), 4u);  // reading an expired entry leaves it in place
    advance(1e6);
    EXPECT_EQ(cache->objectForKey("b"), rt::Value("forever"));
    EXPECT_EQ(cache->objectForKey("c"), rt::Value("plain"));
}

TEST_F(TimeoutCacheTest, StoringAgainRenewsAndCostsStillEvict) {
    auto cache = rt::make<TimeoutCache>();
    cache->setTotalCostLimit(10);
    cache->setObject("x", "k", 4, 5.0);
    advance(4);
    cache->setObject("y", "k", 4, 5.0);
    advance(4);
    EXPECT_EQ(cache->objectForKey("k"), rt::Value("y"));
    cache->setObject("big", "other", 8, 0.0);
    EXPECT_TRUE(cache->objectForKey("k").isNil());
    EXPECT_EQ(cache->objectForKey("other"), rt::Value("big"));
}

TEST_F(TimeoutCacheTest, ValuesNotStoredThroughTheCacheAreNotReturned) {
    auto cache = rt::make<TimeoutCache>();
    cache->fnd::MemoryCache::setObject("raw", "k", 0);
    EXPECT_TRUE(cache->objectForKey("k").isNil());
    EXPECT_EQ(TimeoutCache::defaultCache(), TimeoutCache::defaultCache());
}

TEST_F(TimeoutCacheTest, ItemsArchiveTheirValueAndExpiry) {
    auto roundTrip = [](const rt::Ref<TimeoutCacheItem>& item) {
        rt::Ref<rt::Error> error;
        auto back = fnd::KeyedUnarchiver::unarchivedObject(fnd::KeyedArchiver::archivedData(item), &error);
        EXPECT_FALSE(error) << (error ? error->localizedDescription() : "");
        return back.as<TimeoutCacheItem>();
    };
    auto back = roundTrip(rt::make<TimeoutCacheItem>(rt::Value("v"), rt::Date{1234.5}));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->object(), rt::Value("v"));
    EXPECT_EQ(back->expiresAt(), rt::Date{1234.5});

    auto never = roundTrip(rt::make<TimeoutCacheItem>(rt::Value(7), std::nullopt));
    ASSERT_TRUE(never);
    EXPECT_EQ(never->object(), rt::Value(7));
    EXPECT_FALSE(never->expiresAt());
}

TEST_F(TimeoutCacheTest, AnUnreadableExpiryIsTakenAsPast) {
    auto archiver = rt::make<fnd::KeyedArchiver>();
    archiver->encodeObject("v", "object");
    archiver->encodeObject("tomorrow", "expiresAt");
    auto reader = rt::make<fnd::KeyedUnarchiver>(archiver->finishEncoding());
    auto item = rt::make<TimeoutCacheItem>();
    item->initWithCoder(*reader);
    ASSERT_TRUE(item->expiresAt());
    EXPECT_LT(*item->expiresAt(), clock->date());
}
