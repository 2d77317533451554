#pragma once
// The key-value coding properties of one class description: typed getters and
// setters seen through rt::Value, the key paths each key depends on, and the keys
// whose changes the class announces by hand.
//
// Tables are filled when a class is described and only read afterwards; the lookups
// below walk the superclass chain, so a subclass sees its ancestors' properties.

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

class Class;
class Object;
class Value;

struct Property {
    std::string key;
    std::function<Value(const Object&)> getter;
    std::function<void(Object&, const Value&)> setter;  // empty for read-only keys
};

struct PropertyTable {
    /// Adds or replaces the property of its key.
    void add(Property property);
    /// Declares that the value of key depends on the given key paths.
    void addAffectingKeyPaths(const std::string& key, const std::vector<std::string>& keyPaths);
    /// Turns the automatic notices of registered setters off for key.
    void setManual(const std::string& key);

    const Property* find(std::string_view key) const;
    std::vector<std::string> affectingKeyPaths(std::string_view key) const;
    bool isManual(std::string_view key) const;

private:
    mutable std::shared_mutex mutex_;
    std::map<std::string, Property, std::less<>> properties_;
    std::map<std::string, std::vector<std::string>, std::less<>> affecting_;
    std::set<std::string, std::less<>> manual_;
};

/// Changes whenever a property is added to any table: a cached lookup is still
/// right while it answers the same number.
std::uint64_t propertyGeneration();

/// The property of key in cls or its nearest ancestor that has one.
const Property* findProperty(const Class& cls, std::string_view key);
/// Every key path that affects key, from cls and all its ancestors.
std::vector<std::string> affectingKeyPaths(const Class& cls, std::string_view key);
/// True when cls or an ancestor announces key by hand.
bool isManualKey(const Class& cls, std::string_view key);

}  // namespace rt
