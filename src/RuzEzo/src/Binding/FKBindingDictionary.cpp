#include <RuzEzo/Binding/FKBindingDictionary.h>

namespace zid {

FKBindingRef FKBindingDictionary::get(std::string_view key) const {
    for (const auto& [k, binding] : entries_)
        if (k == key) return binding;
    return nullptr;
}

void FKBindingDictionary::set(const std::string& key, FKBindingRef binding) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->first != key) continue;
        FKBindingRef previous = std::move(it->second);  // released after the change
        if (binding) it->second = std::move(binding);
        else entries_.erase(it);
        return;
    }
    if (binding) entries_.emplace_back(key, std::move(binding));
}

bool FKBindingDictionary::removeBinding(const FKBinding* binding) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->second.get() != binding) continue;
        FKBindingRef previous = std::move(it->second);
        entries_.erase(it);
        return true;
    }
    return false;
}

}  // namespace zid
