#pragma once
// A set of unsigned positions kept in ascending order.
//
// Shifting follows the usual index-set rule: shiftIndexesStartingAtIndex(start, delta)
// moves every index at or above start by delta; a negative delta first drops the
// indexes in [start + delta, start), the ones the shifted indexes slide over.

#include <cstdint>
#include <initializer_list>
#include <vector>

#include <QXFoundation/Lists/IList.h>

namespace zid {

class IndexSet {
public:
    IndexSet() = default;
    IndexSet(std::initializer_list<std::uint64_t> indexes);

    std::size_t count() const { return indexes_.size(); }
    bool empty() const { return indexes_.empty(); }
    bool containsIndex(std::uint64_t index) const;
    void addIndex(std::uint64_t index);
    void removeIndex(std::uint64_t index);
    void addIndexes(const IndexSet& other);
    void removeIndexes(const IndexSet& other);
    void removeAllIndexes() { indexes_.clear(); }
    /// Appends an index above every index held (the fast way to build a set in order).
    void appendIndex(std::uint64_t index);

    /// How many indexes are below index.
    std::size_t countOfIndexesBelow(std::uint64_t index) const;
    /// The index of the given rank (0 = smallest); rank must be below count().
    std::uint64_t indexAtRank(std::size_t rank) const { return indexes_[rank]; }
    /// The smallest and largest index, NotFound when empty.
    std::int64_t firstIndex() const;
    std::int64_t lastIndex() const;

    void shiftIndexesStartingAtIndex(std::uint64_t start, std::int64_t delta);

    const std::vector<std::uint64_t>& indexes() const { return indexes_; }
    auto begin() const { return indexes_.begin(); }
    auto end() const { return indexes_.end(); }
    bool operator==(const IndexSet& other) const = default;

private:
    std::vector<std::uint64_t> indexes_;
};

}  // namespace zid
