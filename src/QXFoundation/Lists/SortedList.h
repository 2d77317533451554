#pragma once
// A live, read-only list showing the items of a source list in the order of a
// comparator, called as comparator(new item, existing item): an item goes before the
// first item it sorts strictly before (the answer -1) and after every item it ties
// with, so equal items keep their order of arrival.
//
// Each batch of the source becomes one exact batch: items the source inserts, changes
// or moves are placed again, the others keep their order. Replacing the source or the
// comparator sorts again and reports the difference as one batch.

#include <functional>
#include <vector>

#include <QXFoundation/Lists/ListBatchFollower.h>

namespace zid {

class SortedList : public IList, public IListListener {
    RT_CLASS(SortedList, IList)
public:
    /// -1 ascending (the first argument goes first), 0 same, 1 descending.
    using Comparator = std::function<int(const rt::Value&, const rt::Value&)>;

    SortedList(rt::Ref<IList> source, Comparator comparator);
    static rt::Ref<SortedList> listWithSource(rt::Ref<IList> source, Comparator comparator);

    const rt::Ref<IList>& sourceList() const { return sourceList_; }
    void setSourceList(rt::Ref<IList> source);
    const Comparator& comparator() const { return comparator_; }
    void setComparator(Comparator comparator);

    std::uint64_t count() const override { return indexOrder_.size(); }
    rt::Value objectAtIndex(std::uint64_t index) const override;
    bool containsObject(const rt::Value& object) const override;
    /// The first sorted position of an equal item.
    std::int64_t indexOfObject(const rt::Value& object) const override;

    /// The source position shown at a sorted position.
    std::uint64_t sourceIndexFromDestinationIndex(std::uint64_t index) const;
    /// The sorted position of a source position; NotFound when none.
    std::int64_t destinationIndexFromSourceIndex(std::uint64_t index) const;

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
    bool before(const rt::Value& a, const rt::Value& b) const { return comparator_(a, b) == -1; }
    /// The order of every source item, equal items in source order.
    std::vector<std::uint64_t> sortedSourceIndexes() const;
    void setOrder(std::vector<std::uint64_t> order);
    void commitSourceBatch();

    rt::Ref<IList> sourceList_;
    Comparator comparator_;
    std::vector<std::uint64_t> indexOrder_;  // sorted position -> source position
    std::vector<std::uint64_t> positions_;   // source position -> sorted position
    ListBatchFollower follower_;
    rt::Ref<IList> initialSource_;
};

}  // namespace zid
