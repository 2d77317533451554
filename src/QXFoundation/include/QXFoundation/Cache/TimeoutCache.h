#pragma once
// A memory cache whose entries may expire. Time is the main run loop's clock.

#include <optional>

#include <fnd/KeyedArchive.h>
#include <fnd/KeyedArchiver.h>
#include <fnd/KeyedUnarchiver.h>
#include <fnd/MemoryCache.h>
#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

/// One stored value and the moment after which it is no longer returned (none: never).
/// Archived with the value under "object" and the expiry under "expiresAt" (nil for
/// none); the class is registered for decoding.
class TimeoutCacheItem : public rt::Object, public fnd::Coding {
    RT_CLASS(TimeoutCacheItem, rt::Object)
public:
    TimeoutCacheItem() = default;
    TimeoutCacheItem(rt::Value object, std::optional<rt::Date> expiresAt)
        : object_(std::move(object)), expiresAt_(expiresAt) {}

    const rt::Value& object() const { return object_; }
    const std::optional<rt::Date>& expiresAt() const { return expiresAt_; }

    void encodeWithCoder(fnd::KeyedArchiver& coder) const override;
    /// An expiry that is there but is not a date reads as long past: a value whose
    /// expiry cannot be told is not served.
    void initWithCoder(fnd::KeyedUnarchiver& coder) override;

private:
    rt::Value object_;
    std::optional<rt::Date> expiresAt_;
};

class TimeoutCache : public fnd::MemoryCache {
    RT_CLASS(TimeoutCache, fnd::MemoryCache)
public:
    /// The shared cache.
    static rt::Ref<TimeoutCache> defaultCache();

    /// Stores the value for ttl seconds from now; a ttl of exactly 0 never expires, a
    /// negative one is expired at once.
    void setObject(const rt::Value& object, const rt::Value& key, std::size_t cost, double ttl);
    void setObjectForKeyTtl(const rt::Value& object, const rt::Value& key, double ttl) {
        setObject(object, key, 0, ttl);
    }
    /// The plain store wraps too, never expiring.
    void setObject(const rt::Value& object, const rt::Value& key, std::size_t cost = 0) override {
        setObject(object, key, cost, 0.0);
    }
    /// The stored value unless it has expired; nil when missing, expired, or not stored
    /// through this cache. Reading an expired entry leaves it in place.
    rt::Value objectForKey(const rt::Value& key) override;
};

}  // namespace zid
