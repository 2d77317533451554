#include <QXFoundation/Cache/TimeoutCache.h>

#include <fnd/RunLoop.h>

namespace zid {

namespace {
rt::Date now() { return fnd::RunLoop::main()->clock().date(); }
}  // namespace

// Archives may hold items: the reader may make them by name.
[[maybe_unused]] const bool kItemCodingRegistered = (fnd::registerCodingClass<TimeoutCacheItem>(), true);

void TimeoutCacheItem::encodeWithCoder(fnd::KeyedArchiver& coder) const {
    coder.encodeObject(object_, "object");
    coder.encodeObject(expiresAt_ ? rt::Value(*expiresAt_) : rt::Value(), "expiresAt");
}

void TimeoutCacheItem::initWithCoder(fnd::KeyedUnarchiver& coder) {
    object_ = coder.decodeObject("object");
    rt::Value expires = coder.decodeObject("expiresAt");
    if (expires.isDate()) expiresAt_ = expires.date();
    else if (expires.isNilOrNull()) expiresAt_.reset();
    else expiresAt_ = rt::Date{-1e300};
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
