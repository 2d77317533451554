#include <QXFoundation/Lists/ListChangeTracker.h>

#include <algorithm>
#include <limits>

#include <QXFoundation/Listening/IListenable.h>

namespace zid {

void ListChangeTracker::beginTracking(std::uint64_t count) {
    openBatch(count);
    countGiven_ = true;
}

void ListChangeTracker::beginTracking() {
    openBatch(0);
    countGiven_ = false;
}

bool ListChangeTracker::inShadow(std::int64_t index) {
    if (index < 0) return false;
    // Positions past the ones seen so far hold items of before the batch, in order. A
    // position far beyond any list the shadow could hold is a caller's error, ignored
    // like any other position outside the list.
    constexpr std::int64_t kMostPositions = std::int64_t{1} << 24;
    if (!countGiven_ && index < kMostPositions)
        while (static_cast<std::uint64_t>(index) >= current_.size()) {
            entries_.push_back(ShadowEntry{originals_++, rt::Value()});
            current_.push_back(static_cast<std::uint32_t>(entries_.size() - 1));
        }
    return static_cast<std::uint64_t>(index) < current_.size();
}

void ListChangeTracker::openBatch(std::uint64_t count) {
    tracking_ = true;
    inserts_.clear();
    deletions_.clear();
    moves_.clear();
    changes_.clear();
    entries_.clear();
    changed_.clear();
    current_.clear();
    sequence_ = 0;
    entries_.reserve(count);
    current_.reserve(count);
    for (std::uint64_t i = 0; i < count; ++i) {
        entries_.push_back(ShadowEntry{static_cast<std::int64_t>(i), rt::Value()});
        current_.push_back(static_cast<std::uint32_t>(i));
    }
    originals_ = static_cast<std::int64_t>(count);
}

void ListChangeTracker::reset() {
    tracking_ = false;
    inserts_.clear();
    deletions_.clear();
    moves_.clear();
    changes_.clear();
    entries_.clear();
    entries_.shrink_to_fit();
    current_.clear();
    current_.shrink_to_fit();
    changed_.clear();
}

// ---- record helpers ----------------------------------------------------------------------

void ListChangeTracker::shiftNewIndexesWith(std::int64_t delta, std::int64_t start) {
    for (auto* records : {&deletions_, &inserts_, &changes_})
        for (auto& r : *records)
            if (r->newToIndex() >= start) r->setNewToIndex(r->newToIndex() + delta);
    for (auto& r : moves_) {
        if (r->newToIndex() >= start) r->setNewToIndex(r->newToIndex() + delta);
        if (r->newFromIndex() >= start) r->setNewFromIndex(r->newFromIndex() + delta);
    }
}

std::int64_t ListChangeTracker::oldIndexFromNewIndex(std::int64_t n) const {
    auto countAtOrBefore = [n](const Records& records, bool from) {
        return static_cast<std::int64_t>(std::count_if(records.begin(), records.end(), [&](const auto& r) {
            return (from ? r->newFromIndex() : r->newToIndex()) <= n;
        }));
    };
    return n - countAtOrBefore(inserts_, false) + countAtOrBefore(deletions_, false) - countAtOrBefore(moves_, false) +
           countAtOrBefore(moves_, true);
}

bool ListChangeTracker::isNewElementAt(std::int64_t index) const {
    return std::any_of(inserts_.begin(), inserts_.end(), [&](const auto& r) { return r->newToIndex() == index; });
}

// ---- the batch on the shadow -------------------------------------------------------------

void ListChangeTracker::trackInserAt(std::int64_t index, const rt::Value& object) {
    if (!tracking_ || index < 0 || (index > 0 && !inShadow(index - 1))) return;
    entries_.push_back(ShadowEntry{-1, object, ++sequence_});
    current_.insert(current_.begin() + index, static_cast<std::uint32_t>(entries_.size() - 1));
}

void ListChangeTracker::trackDeletionFrom(std::int64_t index, const rt::Value& object) {
    if (!tracking_ || !inShadow(index)) return;
    auto id = current_[static_cast<std::size_t>(index)];
    current_.erase(current_.begin() + index);
    auto& entry = entries_[id];
    entry.alive = false;
    // An item inserted and removed in one batch leaves no trace; one that was there
    // before is reported removed from where it stood, whatever moved it meanwhile.
    if (entry.oldIndex >= 0) deletions_.push_back(ListChangeRecord::recordWithOldIndex(entry.oldIndex, index, object));
}

void ListChangeTracker::trackMoveFrom(std::int64_t from, std::int64_t to, const rt::Value& object) {
    if (!tracking_ || !inShadow(from) || !inShadow(to) || from == to) return;
    auto id = current_[static_cast<std::size_t>(from)];
    current_.erase(current_.begin() + from);
    current_.insert(current_.begin() + to, id);
    auto& entry = entries_[id];
    if (entry.object.isNil()) entry.object = object;
    if (entry.oldIndex >= 0 && entry.movedAt == 0) entry.movedAt = ++sequence_;
}

void ListChangeTracker::trackChangeAt(std::int64_t index, const rt::Value& object) {
    if (!tracking_ || !inShadow(index)) return;
    auto id = current_[static_cast<std::size_t>(index)];
    auto& entry = entries_[id];
    if (entry.oldIndex < 0) return;  // a new item is reported only as inserted
    if (entry.object.isNil()) entry.object = object;
    changed_.push_back(id);
}

void ListChangeTracker::endTracking() {
    if (!tracking_) return;
    constexpr std::int64_t kGone = -1;
    std::vector<std::int64_t> newIndex(entries_.size(), kGone);
    for (std::size_t i = 0; i < current_.size(); ++i) newIndex[current_[i]] = static_cast<std::int64_t>(i);

    // Items that were there before and are neither moved nor changed keep their order
    // relative to each other. A moved item that ended where it began needs no move when
    // that order stays intact around it: every such item before it in the new order
    // stood before it in the old order, and every one after it after.
    std::vector<std::int64_t> prefixMax(current_.size() + 1, std::numeric_limits<std::int64_t>::min());
    std::vector<std::int64_t> suffixMin(current_.size() + 1, std::numeric_limits<std::int64_t>::max());
    for (std::size_t i = 0; i < current_.size(); ++i) {
        const auto& e = entries_[current_[i]];
        bool still = e.oldIndex >= 0 && e.movedAt == 0;
        prefixMax[i + 1] = std::max(prefixMax[i], still ? e.oldIndex : prefixMax[i]);
    }
    for (std::size_t i = current_.size(); i-- > 0;) {
        const auto& e = entries_[current_[i]];
        bool still = e.oldIndex >= 0 && e.movedAt == 0;
        suffixMin[i] = std::min(suffixMin[i + 1], still ? e.oldIndex : suffixMin[i + 1]);
    }
    auto movedInPlace = [&](std::uint32_t id) {
        const auto& e = entries_[id];
        auto p = static_cast<std::size_t>(newIndex[id]);
        return newIndex[id] == e.oldIndex && prefixMax[p] < e.oldIndex && suffixMin[p + 1] > e.oldIndex;
    };

    // inserts in the order of their calls
    std::vector<std::uint32_t> ids;
    for (std::uint32_t id = 0; id < entries_.size(); ++id)
        if (entries_[id].alive && entries_[id].oldIndex < 0) ids.push_back(id);
    std::sort(ids.begin(), ids.end(), [&](auto a, auto b) { return entries_[a].insertedAt < entries_[b].insertedAt; });
    for (auto id : ids) inserts_.push_back(ListChangeRecord::recordWithOldIndex(NotFound, newIndex[id], entries_[id].object));

    // moves in the order of their first move call
    ids.clear();
    for (std::uint32_t id = 0; id < entries_.size(); ++id)
        if (entries_[id].alive && entries_[id].movedAt != 0 && !movedInPlace(id)) ids.push_back(id);
    std::sort(ids.begin(), ids.end(), [&](auto a, auto b) { return entries_[a].movedAt < entries_[b].movedAt; });
    std::vector<bool> reportedMove(entries_.size(), false);
    for (auto id : ids) {
        const auto& e = entries_[id];
        moves_.push_back(ListChangeRecord::recordWithOldIndex(e.oldIndex, e.oldIndex, newIndex[id], e.object));
        reportedMove[id] = true;
    }

    // changes in call order: an item that only shifted is reported as a move from where
    // it stood to where it stands (once); a moved item's change names its old position.
    std::vector<bool> convertedToMove(entries_.size(), false);
    for (auto id : changed_) {
        const auto& e = entries_[id];
        if (!e.alive) continue;
        if (e.movedAt == 0 && newIndex[id] != e.oldIndex) {
            if (!convertedToMove[id]) {
                moves_.push_back(ListChangeRecord::recordWithOldIndex(e.oldIndex, newIndex[id], e.object));
                convertedToMove[id] = true;
            }
            continue;
        }
        changes_.push_back(ListChangeRecord::recordWithOldIndex(e.oldIndex, reportedMove[id] ? e.oldIndex : newIndex[id], e.object));
    }
}

void ListChangeTracker::reportChangesForList(IList& list) const {
    auto asIndex = [](std::int64_t i) { return static_cast<std::uint64_t>(i); };
    for (const auto& r : deletions_)
        notifyListeners<IListListener>(list, [&](IListListener& l) { l.listDidDeleteItem(list, r->object(), asIndex(r->oldIndex())); });
    for (const auto& r : inserts_)
        notifyListeners<IListListener>(list, [&](IListListener& l) { l.listDidInsertItem(list, r->object(), asIndex(r->newToIndex())); });
    for (const auto& r : moves_)
        notifyListeners<IListListener>(list, [&](IListListener& l) {
            l.listDidMoveItem(list, r->object(), asIndex(r->oldIndex()), asIndex(r->newToIndex()));
        });
    for (const auto& r : changes_)
        notifyListeners<IListListener>(list, [&](IListListener& l) { l.listDidChangeItem(list, r->object(), asIndex(r->oldIndex())); });
}

}  // namespace zid
