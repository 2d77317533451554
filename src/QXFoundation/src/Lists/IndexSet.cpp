#include <QXFoundation/Lists/IndexSet.h>

#include <algorithm>
#include <iterator>

namespace zid {

IndexSet::IndexSet(std::initializer_list<std::uint64_t> indexes) {
    for (auto index : indexes) addIndex(index);
}

bool IndexSet::containsIndex(std::uint64_t index) const {
    return std::binary_search(indexes_.begin(), indexes_.end(), index);
}

void IndexSet::addIndex(std::uint64_t index) {
    auto it = std::lower_bound(indexes_.begin(), indexes_.end(), index);
    if (it == indexes_.end() || *it != index) indexes_.insert(it, index);
}

void IndexSet::appendIndex(std::uint64_t index) {
    if (indexes_.empty() || indexes_.back() < index) indexes_.push_back(index);
    else addIndex(index);
}

void IndexSet::removeIndex(std::uint64_t index) {
    auto it = std::lower_bound(indexes_.begin(), indexes_.end(), index);
    if (it != indexes_.end() && *it == index) indexes_.erase(it);
}

void IndexSet::addIndexes(const IndexSet& other) {
    std::vector<std::uint64_t> merged;
    merged.reserve(indexes_.size() + other.indexes_.size());
    std::set_union(indexes_.begin(), indexes_.end(), other.begin(), other.end(), std::back_inserter(merged));
    indexes_.swap(merged);
}

void IndexSet::removeIndexes(const IndexSet& other) {
    std::vector<std::uint64_t> kept;
    kept.reserve(indexes_.size());
    std::set_difference(indexes_.begin(), indexes_.end(), other.begin(), other.end(), std::back_inserter(kept));
    indexes_.swap(kept);
}

std::size_t IndexSet::countOfIndexesBelow(std::uint64_t index) const {
    return static_cast<std::size_t>(std::lower_bound(indexes_.begin(), indexes_.end(), index) - indexes_.begin());
}

std::int64_t IndexSet::firstIndex() const {
    return indexes_.empty() ? NotFound : static_cast<std::int64_t>(indexes_.front());
}

std::int64_t IndexSet::lastIndex() const {
    return indexes_.empty() ? NotFound : static_cast<std::int64_t>(indexes_.back());
}

void IndexSet::shiftIndexesStartingAtIndex(std::uint64_t start, std::int64_t delta) {
    if (delta == 0) return;
    auto first = std::lower_bound(indexes_.begin(), indexes_.end(), start);
    if (delta > 0) {
        for (auto it = first; it != indexes_.end(); ++it) *it += static_cast<std::uint64_t>(delta);
        return;
    }
    // The shifted indexes slide over [start - |delta|, start): those are dropped, and
    // nothing goes below zero.
    auto distance = static_cast<std::uint64_t>(-delta);
    std::uint64_t floor = distance > start ? 0 : start - distance;
    auto dropFrom = std::lower_bound(indexes_.begin(), first, floor);
    for (auto it = first; it != indexes_.end(); ++it) *it = *it >= distance ? *it - distance : 0;
    indexes_.erase(dropFrom, first);
    // Indexes shifted to zero from below distance collapse into one.
    indexes_.erase(std::unique(indexes_.begin(), indexes_.end()), indexes_.end());
}

}  // namespace zid
