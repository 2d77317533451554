#pragma once
// A live, read-only list of the items of a source list that pass a filter, in source
// order. Each batch of the source becomes one exact batch of the filtered list.
//
// Items the source inserts, changes or moves are asked the filter again (a changed
// item whose position shifted reaches listeners as a move); other items keep their
// answer until reevaluateContent(), which applies a replaced filter to every item.

#include <functional>

#include <QXFoundation/Lists/IndexSet.h>
#include <QXFoundation/Lists/ListBatchFollower.h>

namespace zid {

class FilteredList : public IList, public IListListener {
    RT_CLASS(FilteredList, IList)
public:
    using Filter = std::function<bool(const rt::Value&)>;

    FilteredList(rt::Ref<IList> source, Filter filter);
    static rt::Ref<FilteredList> listWithSource(rt::Ref<IList> source, Filter filter);

    const rt::Ref<IList>& sourceList() const { return sourceList_; }
    /// Follows another source; the change of contents is one batch.
    void setSourceList(rt::Ref<IList> source);
    const Filter& filter() const { return filter_; }
    /// Takes effect with reevaluateContent().
    void setFilter(Filter filter) { filter_ = std::move(filter); }
    /// Applies the filter to every source item and reports the difference as one batch.
    void reevaluateContent();

    std::uint64_t count() const override { return indexes_.count(); }
    rt::Value objectAtIndex(std::uint64_t index) const override;
    /// Whether a shown item is equal to the object.
    bool containsObject(const rt::Value& object) const override;
    /// The first shown position of an equal item; NotFound for items the filter rejects.
    std::int64_t indexOfObject(const rt::Value& object) const override;

    /// Source positions shown, ascending.
    const IndexSet& indexes() const { return indexes_; }
    /// Shown items before source position s (s's own position when it is shown).
    std::uint64_t filteredIndexFromSourceIndex(std::uint64_t s) const { return indexes_.countOfIndexesBelow(s); }
    std::uint64_t sourceIndexFromFilteredIndex(std::uint64_t i) const;

    void listWillChangeContent(IList& list) override;
    void listDidChangeContent(IList& list) override;
    void listDidInsertItem(IList& list, const rt::Value& item, std::uint64_t index) override;
    void listDidChangeItem(IList& list, const rt::Value& item, std::uint64_t index) override;
    void listDidDeleteItem(IList& list, const rt::Value& item, std::uint64_t index) override;
    void listDidMoveItem(IList& list, const rt::Value& item, std::uint64_t from, std::uint64_t to) override;

protected:
    void didInitialize() override;

private:
    bool isSource(const IList& list) const { return sourceList_ && &list == sourceList_.get(); }
    bool passes(const rt::Value& item) const { return filter_ && filter_(item); }
    void commitSourceBatch();

    rt::Ref<IList> sourceList_;
    Filter filter_;
    IndexSet indexes_;
    ListBatchFollower follower_;
    rt::Ref<IList> initialSource_;
};

}  // namespace zid
