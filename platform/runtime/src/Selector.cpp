#include <rt/Selector.h>

#include <algorithm>
#include <mutex>
#include <unordered_set>

namespace rt {

namespace {
struct Interned {
    std::mutex mutex;
    std::unordered_set<std::string> names;  // node-based: element addresses stay put
};
Interned& interned() {
    static auto* table = new Interned();  // selectors live for the process
    return *table;
}
const std::string& emptyName() {
    static const std::string empty;
    return empty;
}
}  // namespace

Selector::Selector(std::string_view name) {
    auto& table = interned();
    std::lock_guard lock(table.mutex);
    name_ = &*table.names.emplace(name).first;
}

const std::string& Selector::name() const { return name_ ? *name_ : emptyName(); }

std::size_t Selector::argumentCount() const {
    return name_ ? static_cast<std::size_t>(std::count(name_->begin(), name_->end(), ':')) : 0;
}

}  // namespace rt
