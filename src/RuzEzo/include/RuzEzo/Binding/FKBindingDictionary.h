#pragma once
// The bindings an object owns, by key, in the order the keys were first set.

#include <string>
#include <utility>
#include <vector>

#include <RuzEzo/Binding/FKBinding.h>

namespace zid {

class FKBindingDictionary : public rt::Object {
    RT_CLASS(FKBindingDictionary, rt::Object)
public:
    using Entries = std::vector<std::pair<std::string, FKBindingRef>>;

    FKBindingRef get(std::string_view key) const;
    /// Stores the binding under the key; null removes the key.
    void set(const std::string& key, FKBindingRef binding);
    /// Removes the first key whose binding is this very object; answers whether one was.
    bool removeBinding(const FKBinding* binding);
    const Entries& entries() const { return entries_; }
    std::size_t size() const { return entries_.size(); }

private:
    Entries entries_;
};

}  // namespace zid
