#pragma once
// A live, read-only list showing the items of a source list in the order of a
// comparator, called as comparator(new item, existing item): an item goes before the
// first item it sorts strictly before (the answer -1) and after every item it ties
// with, so equal items keep their order of arrival.
//
// Each batch of the source becomes one exact batch: items the source inserts or changes
// are placed again by binary search, moved items stay where they still sort, the others
// keep their order. Replacing the source or the comparator sorts again and reports the
// difference as one batch.
//
// Every item has one node in two balanced trees, one in source order and one in sorted
// order, so translating a position either way costs O(log n) and a source batch of k
// calls O(k log n). Reads go through the source; for comparisons the list keeps the
// items the source's calls named (the same objects), so a binary search reads no
// positions.

#include <functional>
#include <vector>

#include <QXFoundation/Lists/DerivedList.h>
#include <QXFoundation/Lists/IdPool.h>
#include <QXFoundation/Lists/ListChangeTracker.h>
#include <QXFoundation/Lists/RankTree.h>

namespace zid {

class SortedList : public DerivedList {
    RT_CLASS(SortedList, DerivedList)
public:
    /// -1 ascending (the first argument goes first), 0 same, 1 descending.
    using Comparator = std::function<int(const rt::Value&, const rt::Value&)>;

    SortedList(rt::Ref<IList> source, Comparator comparator);
    static rt::Ref<SortedList> listWithSource(rt::Ref<IList> source, Comparator comparator);

    void setSourceList(rt::Ref<IList> source);
    const Comparator& comparator() const { return comparator_; }
    void setComparator(Comparator comparator);

    std::uint64_t count() const override { return sorted_.total(); }
    rt::Value objectAtIndex(std::uint64_t index) const override;
    bool containsObject(const rt::Value& object) const override;
    /// The first sorted position of an equal item.
    std::int64_t indexOfObject(const rt::Value& object) const override;

    /// The source position shown at a sorted position.
    std::uint64_t sourceIndexFromDestinationIndex(std::uint64_t index) const;
    /// The sorted position of a source position; NotFound when none.
    std::int64_t destinationIndexFromSourceIndex(std::uint64_t index) const;

protected:
    void buildFromSource() override;
    void applySourceBatch(const SourceBatch& batch) override;
    void resynchronize(const rt::Value::Array& itemsThen) override;

private:
    bool before(const rt::Value& a, const rt::Value& b) const { return comparator_(a, b) == -1; }
    const rt::Value& itemOf(RankTree::Id id) const { return items_[id]; }
    // Sorts every source item afresh, equal items in source order; an item's id is its
    // source position.
    void sortAll();
    // The items shown, in order, read from the source's contents of the given moment.
    rt::Value::Array shownItems(const rt::Value::Array* itemsThen) const;
    // The position at which an item goes: after every item it does not sort before.
    std::uint64_t placementOf(const rt::Value& item) const;
    // The steps of a source batch, in this order: the changed items found, removals and
    // placements replayed in source order, changed and moved items kept where they still
    // sort or parked, then the parked and inserted items placed.
    struct Replay;
    void takeChanges(const SourceBatch& batch, Replay& replay);
    void replayRemovals(const SourceBatch& batch, Replay& replay);
    void replayPlacements(const SourceBatch& batch, Replay& replay);
    void keepOrPark(Replay& replay);
    void park(Replay& replay, RankTree::Id id, const rt::Value& item, bool moved);
    void placeAll(Replay& replay);
    void keepItem(RankTree::Id id, const rt::Value& item);
    // During a batch: an item's source position (known without a tree walk once placed).
    std::uint64_t sourcePositionOf(RankTree::Id id) const;

    Comparator comparator_;
    RankTree bySource_, sorted_;  // the same ids in both
    IdPool ids_;
    std::vector<rt::Value> items_;  // by id
    std::vector<char> kind_;  // by id, during a batch: how the source touched the item
    std::vector<std::uint64_t> placedAt_;  // by id, during a batch: 1 + source position of an item placed in it
    rt::Ref<ListChangeTracker> tracker_ = rt::make<ListChangeTracker>();
};

}  // namespace zid
