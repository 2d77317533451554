#pragma once
// A thread-safe memory cache with a count limit and a total-cost limit. When a store
// takes the cache over a limit, the least recently used entries are evicted until it
// is within its limits again. A limit of 0 means no limit.

#include <cstddef>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <unordered_map>

#include <rt/Object.h>
#include <rt/Value.h>

namespace fnd {

class MemoryCache : public rt::Object {
    RT_CLASS(MemoryCache, rt::Object)
public:
    MemoryCache() = default;

    /// Stores a value under a key (keys compare by isEqual); nil removes the entry.
    virtual void setObject(const rt::Value& object, const rt::Value& key, std::size_t cost = 0);
    /// The value under the key (nil when absent); counts as a use.
    virtual rt::Value objectForKey(const rt::Value& key);
    void removeObjectForKey(const rt::Value& key);
    void removeAllObjects();

    std::size_t countLimit() const;
    void setCountLimit(std::size_t limit);
    std::size_t totalCostLimit() const;
    void setTotalCostLimit(std::size_t limit);
    std::size_t count() const;
    std::size_t totalCost() const;

    void setName(std::string name);
    std::string name() const;

private:
    struct Entry {
        rt::Value key;
        rt::Value object;
        std::size_t cost;
    };
    using List = std::list<Entry>;  // most recently used first

    // Unlinks what exceeds the limits into `evicted`, released after the lock is dropped
    // so a value's destruction may use the cache again.
    void trimLocked(List& evicted);

    mutable std::mutex mutex_;
    List entries_;
    std::unordered_map<rt::Value, List::iterator, rt::ValueHash> index_;
    std::size_t countLimit_ = 0;
    std::size_t totalCostLimit_ = 0;
    std::size_t totalCost_ = 0;
    std::string name_;
};

}  // namespace fnd
