#include <QXFoundation/Lists/ListChangeTracker.h>

#include <algorithm>
#include <limits>

#include <QXFoundation/Listening/IListenable.h>

namespace zid {

void ListChangeTracker::beginTracking(std::uint64_t count) {
    openBatch(static_cast<std::int64_t>(std::min<std::uint64_t>(count, std::numeric_limits<std::int64_t>::max())));
}

void ListChangeTracker::beginTracking() {
    // Without a count, positions past the ones seen hold items of before the batch: one
    // run as long as any list could be.
    openBatch(std::int64_t{1} << 62);
}

void ListChangeTracker::openBatch(std::int64_t count) {
    reset();
    tracking_ = shadowOpen_ = true;
    if (count > 0) pieces_.insert(0, {static_cast<std::uint64_t>(count), 0, PieceKind::Run});
}

std::uint32_t ListChangeTracker::holdPosition(std::int64_t index) {
    if (index < 0 || index >= currentCount()) return kNoEntry;
    auto place = pieces_.find(static_cast<std::uint64_t>(index));
    const auto& piece = pieces_.at(place);
    if (piece.kind == PieceKind::Entry) return static_cast<std::uint32_t>(piece.value);
    // carve the one position out of its run (or gaps)
    auto old = piece.kind == PieceKind::Run ? piece.value + static_cast<std::int64_t>(place.offset) : kGap;
    auto entry = static_cast<std::uint32_t>(entries_.size());
    entries_.push_back(ShadowEntry{old, rt::Value()});
    pieces_.isolate(place, PieceKind::Entry, entry);
    return entry;
}

void ListChangeTracker::reset() {
    tracking_ = shadowOpen_ = false;
    inserts_.clear();
    deletions_.clear();
    moves_.clear();
    changes_.clear();
    entries_.clear();
    changed_.clear();
    pieces_.clear();
    found_ = FoundBatch();
    sequence_ = 0;
}

// ---- record helpers ----------------------------------------------------------------------

void ListChangeTracker::shiftNewIndexesWith(std::int64_t delta, std::int64_t start) {
    if (shadowOpen_) {
        start = std::max<std::int64_t>(start, 0);
        if (delta > 0 && start <= currentCount()) {
            pieces_.insert(static_cast<std::uint64_t>(start), {static_cast<std::uint64_t>(delta), 0, PieceKind::Gaps});
        } else if (delta < 0) {
            std::int64_t from = std::max<std::int64_t>(start + delta, 0), to = std::min(start, currentCount());
            for (std::int64_t i = from; i < to; ++i) closePosition(from, rt::Value());
        }
        return;
    }
    for (auto* records : {&deletions_, &inserts_, &changes_})
        for (auto& r : *records)
            if (r->newToIndex() >= start) r->setNewToIndex(r->newToIndex() + delta);
    for (auto& r : moves_) {
        if (r->newToIndex() >= start) r->setNewToIndex(r->newToIndex() + delta);
        if (r->newFromIndex() >= start) r->setNewFromIndex(r->newFromIndex() + delta);
    }
}

std::int64_t ListChangeTracker::oldIndexFromNewIndex(std::int64_t n) const {
    if (shadowOpen_) {
        if (n < 0 || n >= currentCount()) return NotFound;
        auto place = pieces_.find(static_cast<std::uint64_t>(n));
        const auto& info = pieces_.at(place);
        if (info.kind == PieceKind::Run) return info.value + static_cast<std::int64_t>(place.offset);
        if (info.kind == PieceKind::Gaps) return NotFound;
        auto old = entries_[static_cast<std::size_t>(info.value)].oldIndex;
        return old >= 0 ? old : NotFound;
    }
    auto countAtOrBefore = [n](const Records& records, bool from) {
        return static_cast<std::int64_t>(std::count_if(records.begin(), records.end(), [&](const auto& r) {
            return (from ? r->newFromIndex() : r->newToIndex()) <= n;
        }));
    };
    return n - countAtOrBefore(inserts_, false) + countAtOrBefore(deletions_, false) - countAtOrBefore(moves_, false) +
           countAtOrBefore(moves_, true);
}

bool ListChangeTracker::isNewElementAt(std::int64_t index) const {
    if (shadowOpen_) {
        if (index < 0 || index >= currentCount()) return false;
        const auto& info = pieces_.at(pieces_.find(static_cast<std::uint64_t>(index)));
        return info.kind == PieceKind::Entry && entries_[static_cast<std::size_t>(info.value)].oldIndex == -1;
    }
    return std::any_of(inserts_.begin(), inserts_.end(), [&](const auto& r) { return r->newToIndex() == index; });
}

// ---- the batch on the shadow -------------------------------------------------------------

void ListChangeTracker::trackInserAt(std::int64_t index, const rt::Value& object) {
    if (!shadowOpen_ || index < 0 || index > currentCount()) return;
    entries_.push_back(ShadowEntry{-1, object, ++sequence_});
    pieces_.insert(static_cast<std::uint64_t>(index), {1, static_cast<std::int64_t>(entries_.size() - 1), PieceKind::Entry});
}

void ListChangeTracker::closePosition(std::int64_t index, const rt::Value& object) {
    if (index < 0 || index >= currentCount()) return;
    auto place = pieces_.find(static_cast<std::uint64_t>(index));
    auto piece = pieces_.at(place);
    // A position of a run (or of gaps) closes without an entry of its own: the piece
    // loses it.
    pieces_.removePosition(place);
    if (piece.kind == PieceKind::Run) {
        found_.deletions.push_back({piece.value + static_cast<std::int64_t>(place.offset), NotFound, index, object});
        return;
    }
    if (piece.kind == PieceKind::Gaps) return;
    auto& entry = entries_[static_cast<std::size_t>(piece.value)];
    entry.alive = false;
    // An item inserted and removed in one batch leaves no trace; one that was there
    // before is reported removed from where it stood, whatever moved it meanwhile.
    if (entry.oldIndex >= 0)
        found_.deletions.push_back({entry.oldIndex, NotFound, index, object.isNil() ? entry.object : object});
}

void ListChangeTracker::trackDeletionFrom(std::int64_t index, const rt::Value& object) {
    if (shadowOpen_) closePosition(index, object);
}

void ListChangeTracker::trackMoveFrom(std::int64_t from, std::int64_t to, const rt::Value& object) {
    if (!shadowOpen_ || from == to || to < 0 || to >= currentCount()) return;
    auto entryId = holdPosition(from);
    if (entryId == kNoEntry) return;
    pieces_.removePosition(pieces_.find(static_cast<std::uint64_t>(from)));
    pieces_.insert(static_cast<std::uint64_t>(to), {1, static_cast<std::int64_t>(entryId), PieceKind::Entry});
    auto& entry = entries_[entryId];
    if (entry.object.isNil()) entry.object = object;
    if (entry.oldIndex >= 0 && entry.movedAt == 0) entry.movedAt = ++sequence_;
}

void ListChangeTracker::trackChangeAt(std::int64_t index, const rt::Value& object) { noteChange(index, object, false); }

void ListChangeTracker::trackTouchAt(std::int64_t index, const rt::Value& object) { noteChange(index, object, true); }

void ListChangeTracker::noteChange(std::int64_t index, const rt::Value& object, bool touchOnly) {
    if (!shadowOpen_) return;
    auto entryId = holdPosition(index);
    if (entryId == kNoEntry) return;
    auto& entry = entries_[entryId];
    if (entry.oldIndex < 0) return;  // a new item is reported only as inserted
    if (entry.object.isNil()) entry.object = object;
    if (!touchOnly) entry.changed = true;
    changed_.push_back({entryId, touchOnly});
}

void ListChangeTracker::endTracking() {
    if (!shadowOpen_) return;
    readBatch();
    auto materialize = [this](const std::vector<Found>& found, Records& records) {
        for (const auto& f : found)
            records.push_back(f.newFromIndex == NotFound ? ListChangeRecord::recordWithOldIndex(f.oldIndex, f.newToIndex, objectOf(f))
                                                         : ListChangeRecord::recordWithOldIndex(f.oldIndex, f.newFromIndex, f.newToIndex, objectOf(f)));
    };
    materialize(found_.deletions, deletions_);
    materialize(found_.inserts, inserts_);
    materialize(found_.moves, moves_);
    materialize(found_.changes, changes_);
    found_ = FoundBatch();
}

void ListChangeTracker::endTrackingAndReport(IList& list) {
    if (!shadowOpen_) return;
    readBatch();
    auto asIndex = [](std::int64_t i) { return static_cast<std::uint64_t>(i); };
    auto& table = list.listenerTable();
    for (const auto& f : found_.deletions)
        notifyListenersIn<IListListener>(table, [&](IListListener& l) { l.listDidDeleteItem(list, objectOf(f), asIndex(f.oldIndex)); });
    for (const auto& f : found_.inserts)
        notifyListenersIn<IListListener>(table, [&](IListListener& l) { l.listDidInsertItem(list, objectOf(f), asIndex(f.newToIndex)); });
    for (const auto& f : found_.moves)
        notifyListenersIn<IListListener>(table, [&](IListListener& l) {
            l.listDidMoveItem(list, objectOf(f), asIndex(f.oldIndex), asIndex(f.newToIndex));
        });
    for (const auto& f : found_.changes)
        notifyListenersIn<IListListener>(table, [&](IListListener& l) { l.listDidChangeItem(list, objectOf(f), asIndex(f.oldIndex)); });
    reset();
}

void ListChangeTracker::readBatch() {
    shadowOpen_ = false;
    constexpr std::int64_t kGone = -1;
    // The shadow in order: every entry's new position, and for every piece the old
    // positions of the items in it that are neither moved nor changed (a run: all of them).
    std::vector<std::int64_t> newIndex(entries_.size(), kGone);
    struct Span {
        std::int64_t firstOld, lastOld;  // lastOld < firstOld: nothing still in the piece
        std::int64_t entry;              // -1 for a run or gaps
    };
    std::vector<Span> spans;
    std::int64_t position = 0;
    pieces_.forEach([&](const PieceSequence::Piece& info) {
        auto length = static_cast<std::int64_t>(info.length);
        if (info.kind == PieceKind::Run) {
            spans.push_back({info.value, info.value + length - 1, -1});
        } else if (info.kind == PieceKind::Entry) {
            newIndex[static_cast<std::size_t>(info.value)] = position;
            const auto& e = entries_[static_cast<std::size_t>(info.value)];
            bool still = e.oldIndex >= 0 && e.movedAt == 0;
            spans.push_back({still ? e.oldIndex : 0, still ? e.oldIndex : -1, info.value});
        }
        position += length;
    });

    // Items that were there before and are not moved keep their order relative to each
    // other. A moved item that ended where it began needs no move when that order stays
    // intact around it: every such item before it in the new order stood before it in
    // the old order, and every one after it after.
    std::vector<std::int64_t> prefixMax(spans.size() + 1, std::numeric_limits<std::int64_t>::min());
    std::vector<std::int64_t> suffixMin(spans.size() + 1, std::numeric_limits<std::int64_t>::max());
    std::vector<std::size_t> spanOfEntry(entries_.size(), 0);
    for (std::size_t i = 0; i < spans.size(); ++i) {
        bool any = spans[i].lastOld >= spans[i].firstOld;
        prefixMax[i + 1] = any ? std::max(prefixMax[i], spans[i].lastOld) : prefixMax[i];
        if (spans[i].entry >= 0) spanOfEntry[static_cast<std::size_t>(spans[i].entry)] = i;
    }
    for (std::size_t i = spans.size(); i-- > 0;) {
        bool any = spans[i].lastOld >= spans[i].firstOld;
        suffixMin[i] = any ? std::min(suffixMin[i + 1], spans[i].firstOld) : suffixMin[i + 1];
    }
    auto movedInPlace = [&](std::uint32_t id) {
        const auto& e = entries_[id];
        auto p = spanOfEntry[id];
        return newIndex[id] == e.oldIndex && prefixMax[p] < e.oldIndex && suffixMin[p + 1] > e.oldIndex;
    };

    // inserts in the order of their calls
    std::vector<std::uint32_t> ids;
    for (std::uint32_t id = 0; id < entries_.size(); ++id)
        if (entries_[id].alive && entries_[id].oldIndex == -1) ids.push_back(id);
    std::sort(ids.begin(), ids.end(), [&](auto a, auto b) { return entries_[a].insertedAt < entries_[b].insertedAt; });
    found_.inserts.reserve(ids.size());
    for (auto id : ids) found_.inserts.push_back({NotFound, NotFound, newIndex[id], rt::Value(), id});

    // moves in the order of their first move call
    ids.clear();
    for (std::uint32_t id = 0; id < entries_.size(); ++id)
        if (entries_[id].alive && entries_[id].movedAt != 0 && !movedInPlace(id)) ids.push_back(id);
    std::sort(ids.begin(), ids.end(), [&](auto a, auto b) { return entries_[a].movedAt < entries_[b].movedAt; });
    found_.moves.reserve(ids.size());
    std::vector<bool> reportedMove(entries_.size(), false);
    for (auto id : ids) {
        const auto& e = entries_[id];
        found_.moves.push_back({e.oldIndex, e.oldIndex, newIndex[id], rt::Value(), id});
        reportedMove[id] = true;
    }

    // changes in call order: an item that only shifted is reported as a move from where
    // it stood to where it stands (once); a moved item's change names its old position.
    // A touched item is reported changed once, and only when nothing else is reported
    // about it.
    std::vector<bool> convertedToMove(entries_.size(), false), touchReported(entries_.size(), false);
    found_.changes.reserve(changed_.size());
    for (auto [id, touchOnly] : changed_) {
        const auto& e = entries_[id];
        if (!e.alive) continue;
        if (touchOnly) {
            if (e.changed || reportedMove[id] || touchReported[id]) continue;
            touchReported[id] = true;
            found_.changes.push_back({e.oldIndex, NotFound, newIndex[id], rt::Value(), id});
            continue;
        }
        if (e.movedAt == 0 && newIndex[id] != e.oldIndex) {
            if (!convertedToMove[id]) {
                found_.moves.push_back({e.oldIndex, NotFound, newIndex[id], rt::Value(), id});
                convertedToMove[id] = true;
            }
            continue;
        }
        found_.changes.push_back({e.oldIndex, NotFound, reportedMove[id] ? e.oldIndex : newIndex[id], rt::Value(), id});
    }
}

void ListChangeTracker::reportChangesForList(IList& list) const {
    auto asIndex = [](std::int64_t i) { return static_cast<std::uint64_t>(i); };
    for (const auto& r : deletions_)
        notifyListenersIn<IListListener>(list.listenerTable(), [&](IListListener& l) { l.listDidDeleteItem(list, r->object(), asIndex(r->oldIndex())); });
    for (const auto& r : inserts_)
        notifyListenersIn<IListListener>(list.listenerTable(), [&](IListListener& l) { l.listDidInsertItem(list, r->object(), asIndex(r->newToIndex())); });
    for (const auto& r : moves_)
        notifyListenersIn<IListListener>(list.listenerTable(), [&](IListListener& l) {
            l.listDidMoveItem(list, r->object(), asIndex(r->oldIndex()), asIndex(r->newToIndex()));
        });
    for (const auto& r : changes_)
        notifyListenersIn<IListListener>(list.listenerTable(), [&](IListListener& l) { l.listDidChangeItem(list, r->object(), asIndex(r->oldIndex())); });
}

}  // namespace zid
