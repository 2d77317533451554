#include <QXFoundation/Cache/TimeoutCache.h>

#include <fnd/RunLoop.h>

namespace zid {

namespace {
rt::Date now() { return fnd::RunLoop::main()->clock().date(); }
}  // namespace

rt::Dictionary TimeoutCacheItem::encodeWithCoder() const {
    rt::Dictionary coded;
    coded.set("object", object_);
    if (expiresAt_) coded.set("expiresAt", *expiresAt_);
    return coded;
}

rt::Ref<TimeoutCacheItem> TimeoutCacheItem::initWithCoder(const rt::Dictionary& coded) {
    rt::Value expires = coded.get("expiresAt");
    if (!expires.isNilOrNull() && !expires.isDate()) return nullptr;
    std::optional<rt::Date> expiresAt;
    if (expires.isDate()) expiresAt = expires.date();
    return rt::make<TimeoutCacheItem>(coded.get("object"), expiresAt);
}

rt::Ref<TimeoutCache> TimeoutCache::defaultCache() {
    static const rt::Ref<TimeoutCache> shared = rt::make<TimeoutCache>();
    return shared;
}

void TimeoutCache::setObject(const rt::Value& object, const rt::Value& key, std::size_t cost, double ttl) {
    if (object.isNil()) {
        removeObjectForKey(key);
        return;
    }
    std::optional<rt::Date> expiresAt;
    if (ttl != 0) expiresAt = now().addingTimeInterval(ttl);
    fnd::MemoryCache::setObject(rt::make<TimeoutCacheItem>(object, expiresAt), key, cost);
}

rt::Value TimeoutCache::objectForKey(const rt::Value& key) {
    auto item = fnd::MemoryCache::objectForKey(key).as<TimeoutCacheItem>();
    if (!item) return {};
    if (item->expiresAt() && *item->expiresAt() < now()) return {};
    return item->object();
}

}  // namespace zid
