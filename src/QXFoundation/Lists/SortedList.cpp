#include <QXFoundation/Lists/SortedList.h>

#include <algorithm>
#include <numeric>

#include <QXFoundation/Listening/IListenable.h>
#include <QXFoundation/Lists/DerivedBatch.h>
#include <rt/Exception.h>
#include <rt/Format.h>

namespace zid {

SortedList::SortedList(rt::Ref<IList> source, Comparator comparator)
    : comparator_(std::move(comparator)), initialSource_(std::move(source)) {
    if (!comparator_) throw rt::Exception(rt::Exception::InvalidArgument, "A sorted list needs a comparator");
}

rt::Ref<SortedList> SortedList::listWithSource(rt::Ref<IList> source, Comparator comparator) {
    return rt::make<SortedList>(std::move(source), std::move(comparator));
}

void SortedList::didInitialize() {
    IList::didInitialize();
    sourceList_ = std::move(initialSource_);
    if (sourceList_) addListener(*sourceList_, self());
    setOrder(sortedSourceIndexes());
}

std::vector<std::uint64_t> SortedList::sortedSourceIndexes() const {
    std::uint64_t n = sourceList_ ? sourceList_->count() : 0;
    rt::Value::Array items;
    items.reserve(n);
    for (std::uint64_t i = 0; i < n; ++i) items.push_back(sourceList_->objectAtIndex(i));
    std::vector<std::uint64_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](auto a, auto b) { return before(items[a], items[b]); });
    return order;
}

void SortedList::setOrder(std::vector<std::uint64_t> order) {
    indexOrder_ = std::move(order);
    positions_.assign(indexOrder_.size(), 0);
    for (std::size_t d = 0; d < indexOrder_.size(); ++d)
        if (indexOrder_[d] < positions_.size()) positions_[indexOrder_[d]] = d;
}

rt::Value SortedList::objectAtIndex(std::uint64_t index) const {
    return sourceList_->objectAtIndex(sourceIndexFromDestinationIndex(index));
}

std::uint64_t SortedList::sourceIndexFromDestinationIndex(std::uint64_t index) const {
    if (index >= indexOrder_.size())
        throw rt::Exception(rt::Exception::RangeError,
                            rt::format("index %llu beyond bounds of a sorted list of %llu items",
                                       static_cast<unsigned long long>(index),
                                       static_cast<unsigned long long>(indexOrder_.size())));
    return indexOrder_[index];
}

std::int64_t SortedList::destinationIndexFromSourceIndex(std::uint64_t index) const {
    return index < positions_.size() ? static_cast<std::int64_t>(positions_[index]) : NotFound;
}

bool SortedList::containsObject(const rt::Value& object) const { return sourceList_ && sourceList_->containsObject(object); }

std::int64_t SortedList::indexOfObject(const rt::Value& object) const {
    if (!sourceList_ || sourceList_->indexOfObject(object) == NotFound) return NotFound;
    for (std::size_t d = 0; d < indexOrder_.size(); ++d)
        if (sourceList_->objectAtIndex(indexOrder_[d]).isEqual(object)) return static_cast<std::int64_t>(d);
    return NotFound;
}

void SortedList::setSourceList(rt::Ref<IList> source) {
    if (sourceList_) removeListener(*sourceList_, *this);
    follower_.end();
    announceWillChangeContent();
    std::vector<DerivedBatch::Removal> removals;
    for (std::uint64_t d = 0; d < indexOrder_.size(); ++d) removals.push_back({d, objectAtIndex(d)});
    sourceList_ = std::move(source);
    if (sourceList_) addListener(*sourceList_, self());
    setOrder(sortedSourceIndexes());
    std::vector<DerivedBatch::Entry> after(indexOrder_.size(), DerivedBatch::Entry{-1});
    DerivedBatch::compute(std::move(removals), after).report(*this);
    announceDidChangeContent();
}

void SortedList::setComparator(Comparator comparator) {
    if (!comparator) throw rt::Exception(rt::Exception::InvalidArgument, "A sorted list needs a comparator");
    comparator_ = std::move(comparator);
    announceWillChangeContent();
    auto oldPositions = positions_;
    setOrder(sortedSourceIndexes());
    std::vector<DerivedBatch::Entry> after;
    after.reserve(indexOrder_.size());
    for (auto s : indexOrder_) after.push_back({static_cast<std::int64_t>(oldPositions[s])});
    DerivedBatch::compute({}, after).report(*this);
    announceDidChangeContent();
}

// ---- following the source --------------------------------------------------------------

void SortedList::listWillChangeContent(IList& list) {
    if (!isSource(list)) return;
    announceWillChangeContent();
    follower_.begin(indexOrder_.size());
    follower_.sourceWillChange();
}

void SortedList::listDidInsertItem(IList& list, const rt::Value&, std::uint64_t index) {
    if (isSource(list)) follower_.sourceDidInsert(index);
}
void SortedList::listDidDeleteItem(IList& list, const rt::Value& item, std::uint64_t index) {
    if (isSource(list)) follower_.sourceDidDelete(index, item);
}
void SortedList::listDidMoveItem(IList& list, const rt::Value&, std::uint64_t from, std::uint64_t to) {
    if (isSource(list)) follower_.sourceDidMove(from, to);
}
void SortedList::listDidChangeItem(IList& list, const rt::Value&, std::uint64_t index) {
    if (isSource(list)) follower_.sourceDidChange(index);
}

void SortedList::listDidChangeContent(IList& list) {
    if (!isSource(list) || !follower_.inSourceBatch()) return;
    follower_.sourceDidChangeContent();
    commitSourceBatch();
    follower_.end();
    announceDidChangeContent();
}

void SortedList::commitSourceBatch() {
    const auto& entries = follower_.entries();
    const std::size_t oldCount = indexOrder_.size();
    // where each source item of before the batch stands now
    std::vector<std::int64_t> newSource(oldCount, -1);
    // Inserted and changed items are placed again. A moved item keeps its place when it
    // still sorts there (a source move leaves the order alone, ties included); since a
    // changed item whose position shifted also reaches us as a move, one that no longer
    // fits is placed again.
    enum Kind : char { Keep, Moved, Place };
    std::vector<char> kind(entries.size(), Keep);
    for (std::size_t s = 0; s < entries.size(); ++s) {
        const auto& e = entries[s];
        if (e.origin >= 0 && static_cast<std::size_t>(e.origin) < oldCount) newSource[e.origin] = static_cast<std::int64_t>(s);
        kind[s] = (e.origin < 0 || e.changed) ? Place : e.moved ? Moved : Keep;
    }
    std::vector<DerivedBatch::Removal> removals;
    for (const auto& removed : follower_.removed())
        if (static_cast<std::size_t>(removed.origin) < oldCount)
            removals.push_back({positions_[removed.origin], removed.item});

    struct Shown {
        std::uint64_t source;
        std::int64_t oldPosition;
        rt::Value item;
    };
    // Items are read from the source only where a comparison needs them.
    auto itemOf = [&](const Shown& shown) { return shown.item.isNil() ? sourceList_->objectAtIndex(shown.source) : shown.item; };
    // the surviving items in their old sorted order
    std::vector<Shown> survivors;
    survivors.reserve(oldCount);
    std::vector<std::int64_t> oldPositionOfNew(entries.size(), -1);
    for (std::size_t d = 0; d < oldCount; ++d) {
        auto ns = newSource[indexOrder_[d]];
        if (ns < 0) continue;
        oldPositionOfNew[ns] = static_cast<std::int64_t>(d);
        if (kind[ns] != Place) {
            auto source = static_cast<std::uint64_t>(ns);
            survivors.push_back({source, static_cast<std::int64_t>(d), kind[ns] == Moved ? sourceList_->objectAtIndex(source) : rt::Value()});
        }
    }
    // the next item that surely keeps its place, for every survivor
    std::vector<std::ptrdiff_t> nextKept(survivors.size() + 1, -1);
    for (std::size_t i = survivors.size(); i-- > 0;)
        nextKept[i] = kind[survivors[i].source] == Keep ? static_cast<std::ptrdiff_t>(i) : nextKept[i + 1];
    std::vector<Shown> kept, placed;
    kept.reserve(survivors.size());
    for (std::size_t i = 0; i < survivors.size(); ++i) {
        auto& shown = survivors[i];
        bool stays = kind[shown.source] == Keep ||
                     ((kept.empty() || !before(shown.item, itemOf(kept.back()))) &&
                      (nextKept[i + 1] < 0 || !before(itemOf(survivors[static_cast<std::size_t>(nextKept[i + 1])]), shown.item)));
        (stays ? kept : placed).push_back(std::move(shown));
    }
    for (std::size_t s = 0; s < entries.size(); ++s)
        if (kind[s] == Place) placed.push_back({s, oldPositionOfNew[s], sourceList_->objectAtIndex(s)});
    // equal items placed in one batch keep their source order
    std::stable_sort(placed.begin(), placed.end(), [](const auto& a, const auto& b) { return a.source < b.source; });
    std::stable_sort(placed.begin(), placed.end(), [&](const auto& a, const auto& b) { return before(a.item, b.item); });

    // Merge: a placed item goes before the first kept item it sorts strictly before.
    std::vector<std::uint64_t> order;
    std::vector<DerivedBatch::Entry> after;
    order.reserve(entries.size());
    after.reserve(entries.size());
    std::size_t k = 0, p = 0;
    while (k < kept.size() || p < placed.size()) {
        bool takePlaced = p < placed.size() && (k == kept.size() || before(placed[p].item, itemOf(kept[k])));
        const auto& shown = takePlaced ? placed[p++] : kept[k++];
        const auto& e = entries[shown.source];
        order.push_back(shown.source);
        bool existed = shown.oldPosition >= 0;
        after.push_back({shown.oldPosition, !takePlaced, existed && e.changed, existed && e.moved});
    }
    setOrder(std::move(order));
    DerivedBatch::compute(std::move(removals), after).report(*this);
}

}  // namespace zid
