#pragma once
// A live, read-only list of the items of a source list that pass a filter, in source
// order. Each batch of the source becomes one exact batch of the filtered list.
//
// Items the source inserts, changes or moves are asked the filter again (a changed
// item whose position shifted reaches listeners as a move); other items keep their
// answer until reevaluateContent(), which applies a replaced filter to every item.
//
// The list keeps one node per source item, marked when shown, in a balanced tree
// ordered by source position: translating positions costs O(log n), and a source
// batch of k calls O(k log n) (its change tracker works out the batch to report).

#include <functional>

#include <QXFoundation/Lists/DerivedList.h>
#include <QXFoundation/Lists/IdPool.h>
#include <QXFoundation/Lists/IndexSet.h>
#include <QXFoundation/Lists/ListChangeTracker.h>
#include <QXFoundation/Lists/RankTree.h>

namespace zid {

class ParkingLot;

class FilteredList : public DerivedList {
    RT_CLASS(FilteredList, DerivedList)
public:
    using Filter = std::function<bool(const rt::Value&)>;

    FilteredList(rt::Ref<IList> source, Filter filter);
    static rt::Ref<FilteredList> listWithSource(rt::Ref<IList> source, Filter filter);

    /// Follows another source; the change of contents is one batch.
    void setSourceList(rt::Ref<IList> source);
    const Filter& filter() const { return filter_; }
    /// Takes effect with reevaluateContent().
    void setFilter(Filter filter) { filter_ = std::move(filter); }
    /// Applies the filter to every source item and reports the difference as one batch.
    void reevaluateContent();

    std::uint64_t count() const override { return nodes_.totalMarked(); }
    rt::Value objectAtIndex(std::uint64_t index) const override;
    /// Whether a shown item is equal to the object.
    bool containsObject(const rt::Value& object) const override;
    /// The first shown position of an equal item; NotFound for items the filter rejects.
    std::int64_t indexOfObject(const rt::Value& object) const override;

    /// Source positions shown, ascending.
    IndexSet indexes() const;
    /// Shown items before source position s (s's own position when it is shown).
    std::uint64_t filteredIndexFromSourceIndex(std::uint64_t s) const;
    std::uint64_t sourceIndexFromFilteredIndex(std::uint64_t i) const;

protected:
    void buildFromSource() override;
    void applySourceBatch(const SourceBatch& batch) override;
    void resynchronize(const rt::Value::Array& itemsThen) override;

private:
    bool passes(const rt::Value& item) const { return filter_ && filter_(item); }
    // Evaluates every source item afresh; answers the shown items of before, in order,
    // read from items (the source's contents the current state describes).
    std::vector<rt::Value> rebuild(const rt::Value::Array* itemsThen);
    // The steps of a source batch, in this order: changes (marks set again), removals
    // (moved items parked), placements (moved items back).
    struct Parked;
    void applyChanges(const SourceBatch& batch);
    std::vector<Parked> replayRemovals(const SourceBatch& batch, ParkingLot& lot);
    void replayPlacements(const SourceBatch& batch, const std::vector<Parked>& parked, ParkingLot& lot);

    Filter filter_;
    RankTree nodes_{true};  // one per source item, in source order; marked: shown
    IdPool ids_;
    rt::Ref<ListChangeTracker> tracker_ = rt::make<ListChangeTracker>();
};

}  // namespace zid
