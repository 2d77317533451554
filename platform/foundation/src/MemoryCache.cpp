#include <fnd/MemoryCache.h>

namespace fnd {

void MemoryCache::setObject(const rt::Value& object, const rt::Value& key, std::size_t cost) {
    if (object.isNil()) {
        removeObjectForKey(key);
        return;
    }
    List evicted;
    {
        std::lock_guard lock(mutex_);
        if (auto it = index_.find(key); it != index_.end()) {
            totalCost_ -= it->second->cost;
            evicted.splice(evicted.end(), entries_, it->second);
            index_.erase(it);
        }
        entries_.push_front(Entry{key, object, cost});
        index_.emplace(key, entries_.begin());
        totalCost_ += cost;
        trimLocked(evicted);
    }
}

rt::Value MemoryCache::objectForKey(const rt::Value& key) {
    std::lock_guard lock(mutex_);
    auto it = index_.find(key);
    if (it == index_.end()) return {};
    entries_.splice(entries_.begin(), entries_, it->second);
    return it->second->object;
}

void MemoryCache::removeObjectForKey(const rt::Value& key) {
    List evicted;
    std::lock_guard lock(mutex_);
    auto it = index_.find(key);
    if (it == index_.end()) return;
    totalCost_ -= it->second->cost;
    evicted.splice(evicted.end(), entries_, it->second);
    index_.erase(it);
    // `evicted` is declared before the lock, so it is released after the unlock.
}

void MemoryCache::removeAllObjects() {
    List evicted;
    std::lock_guard lock(mutex_);
    evicted.swap(entries_);
    index_.clear();
    totalCost_ = 0;
}

void MemoryCache::trimLocked(List& evicted) {
    while (!entries_.empty() && ((countLimit_ && entries_.size() > countLimit_) ||
                                 (totalCostLimit_ && totalCost_ > totalCostLimit_))) {
        auto last = std::prev(entries_.end());
        index_.erase(last->key);
        totalCost_ -= last->cost;
        evicted.splice(evicted.end(), entries_, last);
    }
}

std::size_t MemoryCache::countLimit() const {
    std::lock_guard lock(mutex_);
    return countLimit_;
}

void MemoryCache::setCountLimit(std::size_t limit) {
    List evicted;
    std::lock_guard lock(mutex_);
    countLimit_ = limit;
    trimLocked(evicted);
}

std::size_t MemoryCache::totalCostLimit() const {
    std::lock_guard lock(mutex_);
    return totalCostLimit_;
}

void MemoryCache::setTotalCostLimit(std::size_t limit) {
    List evicted;
    std::lock_guard lock(mutex_);
    totalCostLimit_ = limit;
    trimLocked(evicted);
}

std::size_t MemoryCache::count() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

std::size_t MemoryCache::totalCost() const {
    std::lock_guard lock(mutex_);
    return totalCost_;
}

void MemoryCache::setName(std::string name) {
    std::lock_guard lock(mutex_);
    name_ = std::move(name);
}

std::string MemoryCache::name() const {
    std::lock_guard lock(mutex_);
    return name_;
}

}  // namespace fnd
