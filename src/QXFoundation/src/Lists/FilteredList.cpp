#include <QXFoundation/Lists/FilteredList.h>

#include <algorithm>

#include <QXFoundation/Listening/IListenable.h>
#include "Lists/DerivedBatch.h"
#include "Lists/ParkingLot.h"
#include <rt/Exception.h>
#include <rt/Format.h>

namespace zid {

FilteredList::FilteredList(rt::Ref<IList> source, Filter filter) : DerivedList(std::move(source)), filter_(std::move(filter)) {}

rt::Ref<FilteredList> FilteredList::listWithSource(rt::Ref<IList> source, Filter filter) {
    return rt::make<FilteredList>(std::move(source), std::move(filter));
}

RankTree::Id FilteredList::takeId() {
    if (freeIds_.empty()) return nextId_++;
    auto id = freeIds_.back();
    freeIds_.pop_back();
    return id;
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
    freeIds_.clear();
    nextId_ = static_cast<RankTree::Id>(n);
    nodes_.build(ids, &shown);
    return shownBefore;
}

void FilteredList::buildFromSource() { rebuild(nullptr); }

namespace {
// All the items shown before go, all the items shown now come.
void reportReplacement(IList& list, const std::vector<rt::Value>& before) {
    std::vector<DerivedBatch::Removal> removals;
    for (std::size_t i = 0; i < before.size(); ++i) removals.push_back({i, before[i]});
    std::vector<DerivedBatch::Entry> after(list.count(), DerivedBatch::Entry{-1});
    DerivedBatch::compute(std::move(removals), after).report(list);
}
}  // namespace

void FilteredList::setSourceList(rt::Ref<IList> source) {
    announceWillChangeContent(DidOrder::EmptyFirst);  // a whole new evaluation closes with emptiness first
    std::vector<rt::Value> before;
    for (std::uint64_t i = 0, n = count(); i < n; ++i) before.push_back(objectAtIndex(i));
    followSource(std::move(source));
    nodes_.clear();
    rebuild(nullptr);
    reportReplacement(*this, before);
    announceDidChangeContent();
}

void FilteredList::resynchronize(const rt::Value::Array& itemsThen) { reportReplacement(*this, rebuild(&itemsThen)); }

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

void FilteredList::applySourceBatch(const SourceBatch& batch) {
    if (batch.empty()) return;
    std::uint64_t oldCount = nodes_.total(), newCount = sourceList()->count();
    if (!batch.fits(oldCount, newCount)) {
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

    struct Removal {
        std::uint64_t index;
        std::size_t call;  // deletion number, or move number + deletions
    };
    std::vector<Removal> removals;
    for (std::size_t i = 0; i < batch.deletions.size(); ++i) removals.push_back({batch.deletions[i].index, i});
    for (std::size_t i = 0; i < batch.moves.size(); ++i) removals.push_back({batch.moves[i].from, batch.deletions.size() + i});
    std::sort(removals.begin(), removals.end(), [](const auto& a, const auto& b) { return a.index > b.index; });
    struct Parked {
        RankTree::Id id;
        bool shown;
        std::size_t slot;
    };
    std::vector<Parked> parked(batch.moves.size());
    ParkingLot lot;
    lot.reset(batch.moves.size());
    for (const auto& r : removals) {
        std::uint64_t shownBefore = 0;
        auto id = nodes_.findCountingMarks(r.index, shownBefore);
        bool shown = nodes_.marked(id);
        auto at = static_cast<std::int64_t>(shownBefore);
        auto end = static_cast<std::int64_t>(nodes_.totalMarked() + lot.count());  // positions in the tracker's view
        nodes_.erase(id);
        if (r.call < batch.deletions.size()) {
            if (shown) tracker_->trackDeletionFrom(at, batch.deletions[r.call].item);
            freeIds_.push_back(id);
            continue;
        }
        auto move = r.call - batch.deletions.size();
        parked[move] = Parked{id, shown, 0};
        if (shown) {
            tracker_->trackMoveFrom(at, end - 1, batch.moves[move].item);
            parked[move].slot = lot.park();
        }
    }

    struct Placement {
        std::uint64_t index;
        std::size_t call;  // insert number, or move number + inserts
    };
    std::vector<Placement> placements;
    for (std::size_t i = 0; i < batch.inserts.size(); ++i) placements.push_back({batch.inserts[i].index, i});
    for (std::size_t i = 0; i < batch.moves.size(); ++i) placements.push_back({batch.moves[i].to, batch.inserts.size() + i});
    std::sort(placements.begin(), placements.end(), [](const auto& a, const auto& b) { return a.index < b.index; });
    for (const auto& p : placements) {
        if (p.call < batch.inserts.size()) {
            const auto& item = batch.inserts[p.call].item;
            bool now = passes(item);
            auto id = takeId();
            nodes_.insertAt(id, p.index, 1, now);
            if (now) tracker_->trackInserAt(static_cast<std::int64_t>(nodes_.markedBefore(id)), item);
            continue;
        }
        auto move = p.call - batch.inserts.size();
        const auto& item = batch.moves[move].item;
        const auto& was = parked[move];
        bool now = passes(item);
        std::int64_t from = -1;
        if (was.shown) {
            from = static_cast<std::int64_t>(nodes_.totalMarked() + lot.placeOf(was.slot));
            lot.leave(was.slot);
        }
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
    tracker_->endTrackingAndReport(*this);
}

}  // namespace zid
