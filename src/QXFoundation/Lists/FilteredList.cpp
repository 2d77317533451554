#include <QXFoundation/Lists/FilteredList.h>

#include <QXFoundation/Listening/IListenable.h>
#include <QXFoundation/Lists/DerivedBatch.h>
#include <rt/Exception.h>
#include <rt/Format.h>

namespace zid {

FilteredList::FilteredList(rt::Ref<IList> source, Filter filter)
    : filter_(std::move(filter)), initialSource_(std::move(source)) {}

rt::Ref<FilteredList> FilteredList::listWithSource(rt::Ref<IList> source, Filter filter) {
    return rt::make<FilteredList>(std::move(source), std::move(filter));
}

void FilteredList::didInitialize() {
    IList::didInitialize();
    setSourceList(std::move(initialSource_));  // nobody listens yet
}

rt::Value FilteredList::objectAtIndex(std::uint64_t index) const {
    return sourceList_->objectAtIndex(sourceIndexFromFilteredIndex(index));
}

std::uint64_t FilteredList::sourceIndexFromFilteredIndex(std::uint64_t i) const {
    if (i >= indexes_.count())
        throw rt::Exception(rt::Exception::RangeError,
                            rt::format("index %llu beyond bounds of a filtered list of %llu items", i,
                                       static_cast<unsigned long long>(indexes_.count())));
    return indexes_.indexAtRank(i);
}

bool FilteredList::containsObject(const rt::Value& object) const { return indexOfObject(object) != NotFound; }

std::int64_t FilteredList::indexOfObject(const rt::Value& object) const {
    std::size_t rank = 0;
    for (auto s : indexes_) {
        if (sourceList_->objectAtIndex(s).isEqual(object)) return static_cast<std::int64_t>(rank);
        ++rank;
    }
    return NotFound;
}

void FilteredList::setSourceList(rt::Ref<IList> source) {
    if (sourceList_) removeListener(*sourceList_, *this);
    follower_.end();
    announceWillChangeContent();
    std::vector<DerivedBatch::Removal> removals;
    for (std::size_t i = 0; i < indexes_.count(); ++i) removals.push_back({i, objectAtIndex(i)});
    sourceList_ = std::move(source);
    indexes_.removeAllIndexes();
    std::vector<DerivedBatch::Entry> after;
    if (sourceList_) {
        addListener(*sourceList_, self());
        for (std::uint64_t s = 0, n = sourceList_->count(); s < n; ++s)
            if (passes(sourceList_->objectAtIndex(s))) {
                indexes_.appendIndex(s);
                after.push_back({-1});
            }
    }
    DerivedBatch::compute(std::move(removals), after).report(*this);
    announceDidChangeContent(DidOrder::EmptyFirst);
}

void FilteredList::reevaluateContent() {
    announceWillChangeContent();
    IndexSet next;
    std::vector<DerivedBatch::Removal> removals;
    std::vector<DerivedBatch::Entry> after;
    for (std::uint64_t s = 0, n = sourceList_ ? sourceList_->count() : 0; s < n; ++s) {
        auto item = sourceList_->objectAtIndex(s);
        bool wasIn = indexes_.containsIndex(s);
        std::int64_t old = wasIn ? static_cast<std::int64_t>(filteredIndexFromSourceIndex(s)) : -1;
        if (passes(item)) {
            next.appendIndex(s);
            after.push_back({old});
        } else if (wasIn) {
            removals.push_back({static_cast<std::uint64_t>(old), item});
        }
    }
    indexes_ = std::move(next);
    DerivedBatch::compute(std::move(removals), after).report(*this);
    // a re-evaluation of the whole source closes with emptiness first
    announceDidChangeContent(DidOrder::EmptyFirst);
}

// ---- following the source --------------------------------------------------------------

void FilteredList::listWillChangeContent(IList& list) {
    if (!isSource(list)) return;
    announceWillChangeContent();
    follower_.begin(list.count());
    follower_.sourceWillChange();
}

void FilteredList::listDidInsertItem(IList& list, const rt::Value&, std::uint64_t index) {
    if (isSource(list)) follower_.sourceDidInsert(index);
}
void FilteredList::listDidDeleteItem(IList& list, const rt::Value& item, std::uint64_t index) {
    if (isSource(list)) follower_.sourceDidDelete(index, item);
}
void FilteredList::listDidMoveItem(IList& list, const rt::Value&, std::uint64_t from, std::uint64_t to) {
    if (isSource(list)) follower_.sourceDidMove(from, to);
}
void FilteredList::listDidChangeItem(IList& list, const rt::Value&, std::uint64_t index) {
    if (isSource(list)) follower_.sourceDidChange(index);
}

void FilteredList::listDidChangeContent(IList& list) {
    if (!isSource(list) || !follower_.inSourceBatch()) return;
    follower_.sourceDidChangeContent();
    commitSourceBatch();
    follower_.end();
    announceDidChangeContent();
}

void FilteredList::commitSourceBatch() {
    const auto& entries = follower_.entries();
    // The filtered position of every source position of before the batch, -1 where
    // nothing was shown: one pass instead of a search per item.
    std::vector<std::int64_t> shownAt(indexes_.empty() ? 0 : indexes_.indexes().back() + 1, -1);
    std::int64_t rank = 0;
    for (auto s : indexes_) shownAt[s] = rank++;
    auto oldPosition = [&](std::int64_t origin) {
        return origin >= 0 && static_cast<std::size_t>(origin) < shownAt.size() ? shownAt[static_cast<std::size_t>(origin)] : -1;
    };
    std::vector<DerivedBatch::Removal> removals;
    for (const auto& removed : follower_.removed())
        if (auto old = oldPosition(removed.origin); old >= 0) removals.push_back({static_cast<std::uint64_t>(old), removed.item});
    IndexSet next;
    std::vector<DerivedBatch::Entry> after;
    for (std::size_t s = 0; s < entries.size(); ++s) {
        const auto& e = entries[s];
        std::int64_t old = oldPosition(e.origin);
        bool wasIn = old >= 0;
        bool in = wasIn;
        rt::Value item;
        if (e.origin < 0 || e.changed || e.moved) {
            item = sourceList_->objectAtIndex(s);
            in = passes(item);
        }
        if (in) {
            next.appendIndex(s);
            after.push_back({old, !e.moved, wasIn && e.changed, wasIn && e.moved});
        } else if (wasIn) {
            removals.push_back({static_cast<std::uint64_t>(old), item});
        }
    }
    indexes_ = std::move(next);
    DerivedBatch::compute(std::move(removals), after).report(*this);
}

}  // namespace zid
