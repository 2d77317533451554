#include <QXFoundation/Lists/TrackedItems.h>

#include <cstdint>
#include <utility>

namespace zid {

std::size_t TrackedItems::home(const void* key) const {
    // Fibonacci hashing of the address: objects lie 16 or more bytes apart, so the low
    // bits say little; the product's high bits mix them all in.
    auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(key)) * 0x9e3779b97f4a7c15ull;
    return static_cast<std::size_t>(bits >> 32) & (slots_.size() - 1);
}

void TrackedItems::rehash(std::size_t capacity) {
    std::vector<Entry> old;
    old.swap(slots_);
    slots_.resize(capacity);
    for (auto& entry : old) {
        if (!entry.key) continue;
        auto i = home(entry.key);
        while (slots_[i].key) i = (i + 1) & (slots_.size() - 1);
        slots_[i] = std::move(entry);
    }
}

void TrackedItems::reserve(std::size_t n) {
    std::size_t capacity = 16;
    while (capacity < 2 * n) capacity *= 2;
    if (capacity > slots_.size()) rehash(capacity);
}

TrackedItems::Entry& TrackedItems::operator[](const void* key) {
    if (2 * (size_ + 1) > slots_.size()) rehash(slots_.empty() ? 16 : 2 * slots_.size());
    auto i = home(key);
    while (slots_[i].key && slots_[i].key != key) i = (i + 1) & (slots_.size() - 1);
    if (!slots_[i].key) {
        slots_[i].key = key;
        ++size_;
    }
    return slots_[i];
}

TrackedItems::Entry* TrackedItems::find(const void* key) {
    if (slots_.empty()) return nullptr;
    for (auto i = home(key); slots_[i].key; i = (i + 1) & (slots_.size() - 1))
        if (slots_[i].key == key) return &slots_[i];
    return nullptr;
}

void TrackedItems::erase(Entry& entry) {
    const auto mask = slots_.size() - 1;
    auto hole = static_cast<std::size_t>(&entry - slots_.data());
    slots_[hole] = Entry();
    --size_;
    // Entries after the hole that could not sit at their home slot move back into it,
    // so every look-up still finds its entry before the first free slot.
    for (auto i = (hole + 1) & mask; slots_[i].key; i = (i + 1) & mask) {
        auto want = home(slots_[i].key);
        // the entry may fill the hole when the hole lies on its way from home to i
        bool reachable = hole <= i ? (want <= hole || want > i) : (want <= hole && want > i);
        if (!reachable) continue;
        slots_[hole] = std::move(slots_[i]);
        slots_[i] = Entry();
        hole = i;
    }
}

void TrackedItems::clear() {
    for (auto& entry : slots_) entry = Entry();
    size_ = 0;
}

}  // namespace zid
