#include <QXFoundation/Lists/FilteredList.h>

#include <algorithm>

#include <QXFoundation/Listening/IListenable.h>
#include "Lists/DerivedBatch.h"
#include "Lists/ParkingLot.h"
#include "Lists/ReplayOrder.h"
#include <rt/Exception.h>
#include <rt/Format.h>

namespace zid {

FilteredList::FilteredList(rt::Ref<IList> source, Filter filter) : DerivedList(std::move(source)), filter_(std::move(filter)) {}

rt::Ref<FilteredList> FilteredList::listWithSource(rt::Ref<IList> source, Filter filter) {
    return rt::make<FilteredList>(std::move(source), std::move(filter));
}

// ---- reading --------------------------------------------------------------------------

rt::Value FilteredList::objectAtIndex(std::uint64_t index) const {
    return sourceList()->objectAtIndex(sourceIndexFromFilteredIndex(index));
}

std::uint64_t FilteredList::sourceIndexFromFilteredIndex(std::uint64_t i) const {
    if (i >= count())
        throw rt::Exception(rt::Exception::RangeError,
                            rt::format("index %llu beyond bounds of a filtered list of %llu items", i,
                                       static_cast<unsigned long long>(count())));
    return nodes_.positionOf(nodes_.findMarked(i));
}

std::uint64_t FilteredList::filteredIndexFromSourceIndex(std::uint64_t s) const {
    if (s >= nodes_.total()) return count();
    std::uint64_t shownBefore = 0;
    nodes_.findCountingMarks(s, shownBefore);
    return shownBefore;
}

IndexSet FilteredList::indexes() const {
    IndexSet shown;
    std::uint64_t s = 0;
    nodes_.forEach([&](RankTree::Id id) {
        if (nodes_.marked(id)) shown.appendIndex(s);
        ++s;
    });
    return shown;
}

bool FilteredList::containsObject(const rt::Value& object) const { return indexOfObject(object) != NotFound; }

std::int64_t FilteredList::indexOfObject(const rt::Value& object) const {
    std::uint64_t s = 0;
    std::int64_t rank = 0, found = NotFound;
    for (auto id = nodes_.first(); id != RankTree::kNil && found == NotFound; id = nodes_.next(id), ++s) {
        if (!nodes_.marked(id)) continue;
        if (sourceList()->objectAtIndex(s).isEqual(object)) found = rank;
        ++rank;
    }
    return found;
}

// ---- whole evaluations -------------------------------------------------------------------

std::vector<rt::Value> FilteredList::rebuild(const rt::Value::Array* itemsThen) {
    std::vector<rt::Value> shownBefore;
    std::uint64_t s = 0;
    nodes_.forEach([&](RankTree::Id id) {
        if (nodes_.marked(id)) shownBefore.push_back(itemsThen ? (*itemsThen)[s] : sourceList()->objectAtIndex(s));
        ++s;
    });
    std::uint64_t n = sourceList() ? sourceList()->count() : 0;
    std::vector<RankTree::Id> ids(n);
    std::vector<bool> shown(n);
    for (std::uint64_t i = 0; i < n; ++i) {
        ids[i] = static_cast<RankTree::Id>(i);
        shown[i] = passes(sourceList()->objectAtIndex(i));
    }
    ids_.resetTo(static_cast<RankTree::Id>(n));
    nodes_.build(ids, &shown);
    return shownBefore;
}

void FilteredList::buildFromSource() { rebuild(nullptr); }

void FilteredList::setSourceList(rt::Ref<IList> source) {
    announceWillChangeContent(DidOrder::EmptyFirst);  // a whole new evaluation closes with emptiness first
    std::vector<rt::Value> before;
    for (std::uint64_t i = 0, n = count(); i < n; ++i) before.push_back(objectAtIndex(i));
    followSource(std::move(source));
    nodes_.clear();
    rebuild(nullptr);
    DerivedBatch::reportReplacement(*this, before);
    announceDidChangeContent();
}

void FilteredList::resynchronize(const rt::Value::Array& itemsThen) { DerivedBatch::reportReplacement(*this, rebuild(&itemsThen)); }

void FilteredList::reevaluateContent() {
    announceWillChangeContent(DidOrder::EmptyFirst);  // a whole new evaluation closes with emptiness first
    std::vector<DerivedBatch::Removal> removals;
    std::vector<DerivedBatch::Entry> after;
    std::vector<std::pair<RankTree::Id, bool>> marks;
    std::uint64_t s = 0, old = 0;
    nodes_.forEach([&](RankTree::Id id) {
        auto item = sourceList()->objectAtIndex(s++);
        bool wasIn = nodes_.marked(id);
        bool in = passes(item);
        if (in) after.push_back({wasIn ? static_cast<std::int64_t>(old) : -1});
        else if (wasIn) removals.push_back({old, item});
        if (wasIn) ++old;
        marks.emplace_back(id, in);
    });
    for (auto [id, in] : marks) nodes_.setMarked(id, in);  // after the walk, which reads the old marks
    DerivedBatch::compute(std::move(removals), after).report(*this);
    announceDidChangeContent();
}

// ---- following the source ------------------------------------------------------------------

struct FilteredList::Parked {
    RankTree::Id id;
    bool shown;
    std::size_t slot;
};

void FilteredList::applySourceBatch(const SourceBatch& batch) {
    if (batch.empty()) return;
    if (!batch.fits(nodes_.total(), sourceList()->count())) {
        // A source breaking the change contract: start again from its contents.
        nodes_.clear();
        rebuild(nullptr);
        return;
    }
    // The batch is replayed on the nodes one call at a time, each call on this list
    // going to the tracker in the positions of its moment: changes (old positions),
    // removals from the last old position down, then placements from the first new
    // position up. Moved items are parked after the list meanwhile.
    tracker_->beginTracking(count());
    applyChanges(batch);
    ParkingLot lot;
    auto parked = replayRemovals(batch, lot);
    replayPlacements(batch, parked, lot);
    tracker_->endTrackingAndReport(*this);
}

void FilteredList::applyChanges(const SourceBatch& batch) {
    for (const auto& c : batch.changes) {
        std::uint64_t shownBefore = 0;
        auto id = nodes_.findCountingMarks(c.index, shownBefore);
        bool was = nodes_.marked(id), now = passes(c.item);
        auto at = static_cast<std::int64_t>(shownBefore);
        if (was && now) tracker_->trackChangeAt(at, c.item);
        else if (was) tracker_->trackDeletionFrom(at, c.item);
        else if (now) tracker_->trackInserAt(at, c.item);
        nodes_.setMarked(id, now);
    }
}

std::vector<FilteredList::Parked> FilteredList::replayRemovals(const SourceBatch& batch, ParkingLot& lot) {
    std::vector<Parked> parked(batch.moves.size());
    lot.reset(batch.moves.size());
    for (const auto& r : removalsLastFirst(batch)) {
        std::uint64_t shownBefore = 0;
        auto id = nodes_.findCountingMarks(r.index, shownBefore);
        bool shown = nodes_.marked(id);
        auto at = static_cast<std::int64_t>(shownBefore);
        if (r.call < batch.deletions.size()) {
            nodes_.erase(id);
            if (shown) tracker_->trackDeletionFrom(at, batch.deletions[r.call].item);
            ids_.give(id);
            continue;
        }
        auto move = r.call - batch.deletions.size();
        parked[move] = Parked{id, shown, 0};
        if (shown) parked[move].slot = lot.parkTracked(*tracker_, at, nodes_.totalMarked(), batch.moves[move].item);
        nodes_.erase(id);
    }
    return parked;
}

void FilteredList::replayPlacements(const SourceBatch& batch, const std::vector<Parked>& parked, ParkingLot& lot) {
    for (const auto& p : placementsFirstUp(batch)) {
        if (p.call < batch.inserts.size()) {
            const auto& item = batch.inserts[p.call].item;
            bool now = passes(item);
            auto id = ids_.take();
            nodes_.insertAt(id, p.index, 1, now);
            if (now) tracker_->trackInserAt(static_cast<std::int64_t>(nodes_.markedBefore(id)), item);
            continue;
        }
        auto move = p.call - batch.inserts.size();
        const auto& item = batch.moves[move].item;
        const auto& was = parked[move];
        bool now = passes(item);
        std::int64_t from = was.shown ? lot.leaveTracked(was.slot, nodes_.totalMarked()) : -1;
        nodes_.insertAt(was.id, p.index, 1, now);
        auto to = static_cast<std::int64_t>(nodes_.markedBefore(was.id));
        if (was.shown && now) {
            tracker_->trackMoveFrom(from, to, item);
            // the source's move may stand for a change whose position shifted
            tracker_->trackTouchAt(to, item);
        } else if (was.shown) {
            tracker_->trackDeletionFrom(from, item);
        } else if (now) {
            tracker_->trackInserAt(to, item);
        }
    }
}

}  // namespace zid
