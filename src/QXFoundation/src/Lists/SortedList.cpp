#include <QXFoundation/Lists/SortedList.h>

#include <algorithm>
#include <numeric>

#include <QXFoundation/Listening/IListenable.h>
#include "Lists/DerivedBatch.h"
#include "Lists/ParkingLot.h"
#include "Lists/ReplayOrder.h"
#include <rt/Exception.h>
#include <rt/Format.h>

namespace zid {

SortedList::SortedList(rt::Ref<IList> source, Comparator comparator)
    : DerivedList(std::move(source)), comparator_(std::move(comparator)) {
    if (!comparator_) throw rt::Exception(rt::Exception::InvalidArgument, "A sorted list needs a comparator");
}

rt::Ref<SortedList> SortedList::listWithSource(rt::Ref<IList> source, Comparator comparator) {
    return rt::make<SortedList>(std::move(source), std::move(comparator));
}

void SortedList::sortAll() {
    std::uint64_t n = sourceList() ? sourceList()->count() : 0;
    rt::Value::Array items;
    items.reserve(n);
    for (std::uint64_t i = 0; i < n; ++i) items.push_back(sourceList()->objectAtIndex(i));
    std::vector<RankTree::Id> inSource(n);
    std::iota(inSource.begin(), inSource.end(), 0);
    auto order = inSource;
    std::stable_sort(order.begin(), order.end(), [&](auto a, auto b) { return before(items[a], items[b]); });
    bySource_.build(inSource);
    sorted_.build(order);
    items_ = std::move(items);
    ids_.resetTo(static_cast<RankTree::Id>(n));
}

void SortedList::buildFromSource() { sortAll(); }

rt::Value::Array SortedList::shownItems(const rt::Value::Array* itemsThen) const {
    rt::Value::Array shown;
    sorted_.forEach([&](RankTree::Id id) {
        auto s = bySource_.positionOf(id);
        shown.push_back(itemsThen ? (*itemsThen)[s] : sourceList()->objectAtIndex(s));
    });
    return shown;
}

void SortedList::setSourceList(rt::Ref<IList> source) {
    announceWillChangeContent();
    auto before = shownItems(nullptr);
    followSource(std::move(source));
    sortAll();
    DerivedBatch::reportReplacement(*this, before);
    announceDidChangeContent();
}

void SortedList::resynchronize(const rt::Value::Array& itemsThen) {
    auto before = shownItems(&itemsThen);
    sortAll();
    DerivedBatch::reportReplacement(*this, before);
}

void SortedList::setComparator(Comparator comparator) {
    if (!comparator) throw rt::Exception(rt::Exception::InvalidArgument, "A sorted list needs a comparator");
    comparator_ = std::move(comparator);
    announceWillChangeContent();
    std::vector<std::int64_t> oldPositions(bySource_.total());
    std::int64_t d = 0;
    sorted_.forEach([&](RankTree::Id id) { oldPositions[bySource_.positionOf(id)] = d++; });
    sortAll();
    std::vector<DerivedBatch::Entry> after;
    after.reserve(oldPositions.size());
    sorted_.forEach([&](RankTree::Id id) { after.push_back({oldPositions[id]}); });  // ids are source positions now
    DerivedBatch::compute({}, after).report(*this);
    announceDidChangeContent();
}

// ---- reading --------------------------------------------------------------------------

rt::Value SortedList::objectAtIndex(std::uint64_t index) const {
    return sourceList()->objectAtIndex(sourceIndexFromDestinationIndex(index));
}

std::uint64_t SortedList::sourceIndexFromDestinationIndex(std::uint64_t index) const {
    if (index >= count())
        throw rt::Exception(rt::Exception::RangeError,
                            rt::format("index %llu beyond bounds of a sorted list of %llu items",
                                       static_cast<unsigned long long>(index), static_cast<unsigned long long>(count())));
    return bySource_.positionOf(sorted_.find(index));
}

std::int64_t SortedList::destinationIndexFromSourceIndex(std::uint64_t index) const {
    if (index >= bySource_.total()) return NotFound;
    return static_cast<std::int64_t>(sorted_.positionOf(bySource_.find(index)));
}

bool SortedList::containsObject(const rt::Value& object) const { return sourceList() && sourceList()->containsObject(object); }

std::int64_t SortedList::indexOfObject(const rt::Value& object) const {
    if (!sourceList() || sourceList()->indexOfObject(object) == NotFound) return NotFound;
    std::int64_t d = 0;
    for (auto id = sorted_.first(); id != RankTree::kNil; id = sorted_.next(id), ++d)
        if (itemOf(id).isEqual(object)) return d;
    return NotFound;
}

std::uint64_t SortedList::placementOf(const rt::Value& item) const {
    // binary search down the sorted tree: the items an item does not sort before stay
    // before it
    std::uint64_t pos = 0;
    for (auto t = sorted_.root(); t != RankTree::kNil;) {
        if (before(item, itemOf(t))) {
            t = sorted_.left(t);
        } else {
            pos += sorted_.leftTotal(t) + 1;
            t = sorted_.right(t);
        }
    }
    return pos;
}

// ---- following the source ------------------------------------------------------------------

namespace {
enum Kind : char { Keep, Changed, Moved, New };
}

// What one source batch has touched, from step to step.
struct SortedList::Replay {
    std::vector<RankTree::Id> touched;   // every item touched (their kind and placement go back at the end)
    std::vector<RankTree::Id> changed;   // items the source changed
    std::vector<RankTree::Id> movedIds;  // by move number
    std::vector<RankTree::Id> inserted;
    struct ToPlace {
        RankTree::Id id;
        const rt::Value* item;  // in items_, which keeps its size from the placements on
        std::uint64_t source;
        std::size_t slot;
        bool parked, moved;
        std::uint64_t keptBefore = 0;  // the items staying that it goes after
    };
    std::vector<ToPlace> toPlace;
    ParkingLot lot;
};

void SortedList::applySourceBatch(const SourceBatch& batch) {
    if (batch.empty()) return;
    if (!batch.fits(bySource_.total(), sourceList()->count())) {
        sortAll();  // a source breaking the change contract: start again from its contents
        return;
    }
    // The batch is replayed one call at a time on the source-order tree, and the items
    // it touched are then placed again in the sorted tree; every step goes to the tracker
    // in the positions of its moment. Items taken out wait, parked, after the list.
    tracker_->beginTracking(count());
    kind_.resize(ids_.end() + batch.inserts.size(), Keep);
    placedAt_.resize(kind_.size(), 0);
    Replay replay;
    takeChanges(batch, replay);
    replayRemovals(batch, replay);
    replayPlacements(batch, replay);
    keepOrPark(replay);
    placeAll(replay);
    for (auto id : replay.touched) {
        kind_[id] = Keep;
        placedAt_[id] = 0;
    }
    tracker_->endTrackingAndReport(*this);
}

void SortedList::keepItem(RankTree::Id id, const rt::Value& item) {
    // an item the source reports again is mostly the very object kept already
    if (!(item.isObject() && items_[id].isIdentical(item))) items_[id] = item;
}

std::uint64_t SortedList::sourcePositionOf(RankTree::Id id) const {
    // Placed in ascending order, every item placed keeps the position it was placed at.
    return placedAt_[id] ? placedAt_[id] - 1 : bySource_.positionOf(id);
}

void SortedList::takeChanges(const SourceBatch& batch, Replay& replay) {
    // changes name old positions: find their items before anything moves
    for (const auto& c : batch.changes) {
        auto id = bySource_.find(c.index);
        keepItem(id, c.item);
        if (kind_[id] != Keep) continue;
        kind_[id] = Changed;
        replay.changed.push_back(id);
        replay.touched.push_back(id);
    }
}

void SortedList::replayRemovals(const SourceBatch& batch, Replay& replay) {
    replay.movedIds.resize(batch.moves.size());
    for (const auto& r : removalsLastFirst(batch)) {
        auto id = bySource_.find(r.index);
        bySource_.erase(id);
        if (r.call < batch.deletions.size()) {
            tracker_->trackDeletionFrom(static_cast<std::int64_t>(sorted_.positionOf(id)), batch.deletions[r.call].item);
            sorted_.erase(id);
            items_[id] = rt::Value();
            ids_.give(id);
            continue;
        }
        auto move = r.call - batch.deletions.size();
        replay.movedIds[move] = id;
        keepItem(id, batch.moves[move].item);
        if (kind_[id] == Keep) {
            kind_[id] = Moved;
            replay.touched.push_back(id);
        }
    }
}

void SortedList::replayPlacements(const SourceBatch& batch, Replay& replay) {
    for (const auto& p : placementsFirstUp(batch)) {
        RankTree::Id id;
        if (p.call < batch.inserts.size()) {
            id = ids_.take();
            if (kind_.size() <= id) kind_.resize(id + 1, Keep);
            if (placedAt_.size() <= id) placedAt_.resize(id + 1, 0);
            if (items_.size() <= id) items_.resize(id + 1);
            items_[id] = batch.inserts[p.call].item;
            kind_[id] = New;
            replay.touched.push_back(id);
            replay.inserted.push_back(id);
        } else {
            id = replay.movedIds[p.call - batch.inserts.size()];
        }
        bySource_.insertAt(id, p.index, 1);
        placedAt_[id] = p.index + 1;
    }
}

void SortedList::park(Replay& replay, RankTree::Id id, const rt::Value& item, bool moved) {
    auto at = static_cast<std::int64_t>(sorted_.positionOf(id));
    auto slot = replay.lot.parkTracked(*tracker_, at, sorted_.total(), item);
    sorted_.erase(id);
    replay.toPlace.push_back({id, &item, sourcePositionOf(id), slot, true, moved});
}

void SortedList::keepOrPark(Replay& replay) {
    // Changed and moved items, in sorted order, stay where they still sort: between the
    // items before them that stay and the next item the source did not touch. A moved
    // item stays among items it ties with (a source move leaves the order alone); a
    // changed item stays only where placing it again would put it (after the items it
    // ties with), and is reported changed where it stood. Since a changed item whose
    // position shifted reaches us as a move, a moved item that no longer fits is placed
    // again too.
    struct Touched {
        std::uint64_t position;
        RankTree::Id id;
        bool changed;
    };
    std::vector<Touched> inPlace;
    for (auto id : replay.changed) inPlace.push_back({sorted_.positionOf(id), id, true});
    for (auto id : replay.movedIds)
        if (kind_[id] == Moved) {
            kind_[id] = Changed;  // listed once, even when moved by several calls
            inPlace.push_back({sorted_.positionOf(id), id, false});
        }
    std::sort(inPlace.begin(), inPlace.end(), [](const auto& a, const auto& b) { return a.position < b.position; });
    std::vector<RankTree::Id> nextKept(inPlace.size(), RankTree::kNil);
    for (std::size_t i = inPlace.size(); i-- > 0;) {
        bool nextIsTouched = i + 1 < inPlace.size() && inPlace[i + 1].position == inPlace[i].position + 1;
        nextKept[i] = nextIsTouched ? nextKept[i + 1] : sorted_.next(inPlace[i].id);
    }
    replay.lot.reset(inPlace.size());
    for (std::size_t i = 0; i < inPlace.size(); ++i) {
        auto [position, id, isChanged] = inPlace[i];
        const auto& item = itemOf(id);
        auto previous = sorted_.previous(id);
        bool fits = previous == RankTree::kNil || !before(item, itemOf(previous));
        if (fits && nextKept[i] != RankTree::kNil)
            fits = isChanged ? before(item, itemOf(nextKept[i])) : !before(itemOf(nextKept[i]), item);
        auto at = static_cast<std::int64_t>(sorted_.positionOf(id));
        if (isChanged) tracker_->trackChangeAt(at, item);
        if (!fits) park(replay, id, item, !isChanged);
        else if (!isChanged) tracker_->trackTouchAt(at, item);
    }
    for (auto id : replay.inserted) replay.toPlace.push_back({id, &itemOf(id), sourcePositionOf(id), 0, false, false});
}

void SortedList::placeAll(Replay& replay) {
    // The items go in sorted order, equal items in their source order, each after the
    // ones placed before it. Where an item goes among the items that stay is found first:
    // an item going after more of them sorts after one going after fewer, so only the
    // items going between the same two staying items are compared with each other.
    auto& toPlace = replay.toPlace;
    for (auto& p : toPlace) p.keptBefore = placementOf(*p.item);
    std::sort(toPlace.begin(), toPlace.end(), [](const auto& a, const auto& b) {
        return a.keptBefore != b.keptBefore ? a.keptBefore < b.keptBefore : a.source < b.source;
    });
    for (auto group = toPlace.begin(); group != toPlace.end();) {
        auto end = std::find_if(group, toPlace.end(), [&](const auto& p) { return p.keptBefore != group->keptBefore; });
        if (end - group > 1) std::stable_sort(group, end, [&](const auto& a, const auto& b) { return before(*a.item, *b.item); });
        group = end;
    }
    for (std::size_t placed = 0; placed < toPlace.size(); ++placed) {
        const auto& p = toPlace[placed];
        auto at = p.keptBefore + placed;  // every item placed before it goes before it
        if (!p.parked) {
            sorted_.insertAt(p.id, at, 1);
            tracker_->trackInserAt(static_cast<std::int64_t>(at), *p.item);
            continue;
        }
        auto from = replay.lot.leaveTracked(p.slot, sorted_.total());
        sorted_.insertAt(p.id, at, 1);
        tracker_->trackMoveFrom(from, static_cast<std::int64_t>(at), *p.item);
        if (p.moved) tracker_->trackTouchAt(static_cast<std::int64_t>(at), *p.item);
    }
}

}  // namespace zid
