#include <rt/PropertyTable.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include <rt/Class.h>
#include <rt/Value.h>

namespace rt {

namespace {
std::atomic<std::uint64_t> generation{1};
}

std::uint64_t propertyGeneration() { return generation.load(std::memory_order_acquire); }

void PropertyTable::add(Property property) {
    std::unique_lock lock(mutex_);
    generation.fetch_add(1, std::memory_order_acq_rel);
    auto key = property.key;
    properties_.insert_or_assign(std::move(key), std::move(property));
}

void PropertyTable::addAffectingKeyPaths(const std::string& key, const std::vector<std::string>& keyPaths) {
    std::unique_lock lock(mutex_);
    auto& paths = affecting_[key];
    for (const auto& path : keyPaths)
        if (std::find(paths.begin(), paths.end(), path) == paths.end()) paths.push_back(path);
}

void PropertyTable::setManual(const std::string& key) {
    std::unique_lock lock(mutex_);
    manual_.insert(key);
}

const Property* PropertyTable::find(std::string_view key) const {
    std::shared_lock lock(mutex_);
    auto it = properties_.find(key);
    // Entries are never removed, so the address stays valid after the lock.
    return it == properties_.end() ? nullptr : &it->second;
}

std::vector<std::string> PropertyTable::affectingKeyPaths(std::string_view key) const {
    std::shared_lock lock(mutex_);
    auto it = affecting_.find(key);
    return it == affecting_.end() ? std::vector<std::string>{} : it->second;
}

bool PropertyTable::isManual(std::string_view key) const {
    std::shared_lock lock(mutex_);
    return manual_.find(key) != manual_.end();
}

const Property* findProperty(const Class& cls, std::string_view key) {
    for (const Class* c = &cls; c; c = c->superclass())
        if (const Property* p = c->properties().find(key)) return p;
    return nullptr;
}

std::vector<std::string> affectingKeyPaths(const Class& cls, std::string_view key) {
    std::vector<std::string> all;
    for (const Class* c = &cls; c; c = c->superclass())
        for (auto& path : c->properties().affectingKeyPaths(key))
            if (std::find(all.begin(), all.end(), path) == all.end()) all.push_back(std::move(path));
    return all;
}

bool isManualKey(const Class& cls, std::string_view key) {
    for (const Class* c = &cls; c; c = c->superclass())
        if (c->properties().isManual(key)) return true;
    return false;
}

}  // namespace rt
