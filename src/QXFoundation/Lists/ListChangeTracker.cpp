#include <QXFoundation/Lists/ListChangeTracker.h>

#include <algorithm>
#include <limits>

#include <QXFoundation/Listening/IListenable.h>

namespace zid {

void ListChangeTracker::beginTracking(std::uint64_t count) {
    openBatch();
    countGiven_ = true;
    count_ = static_cast<std::int64_t>(count);
}

void ListChangeTracker::beginTracking() {
    openBatch();
    countGiven_ = false;
}

void ListChangeTracker::openBatch() {
    tracking_ = true;
    inserts_.clear();
    deletions_.clear();
    moves_.clear();
    changes_.clear();
    entries_.clear();
    changed_.clear();
    window_.clear();
    base_ = suffixOld_ = count_ = 0;
    sequence_ = 0;
}

std::int64_t ListChangeTracker::currentCount() const {
    // Without a count, positions past the ones seen hold items of before the batch; a
    // position far beyond any list the shadow could hold is a caller's error, ignored
    // like any other position outside the list.
    constexpr std::int64_t kMostPositions = std::int64_t{1} << 24;
    if (!countGiven_) return kMostPositions;
    return base_ + static_cast<std::int64_t>(window_.size()) + (count_ - suffixOld_);
}

void ListChangeTracker::spanWindow(std::int64_t first, std::int64_t end) {
    if (window_.empty() && base_ == suffixOld_) base_ = suffixOld_ = first;  // nothing moved yet
    if (first < base_) {
        std::vector<std::uint32_t> front;
        front.reserve(static_cast<std::size_t>(base_ - first));
        for (std::int64_t old = first; old < base_; ++old) {
            entries_.push_back(ShadowEntry{old, rt::Value()});
            front.push_back(static_cast<std::uint32_t>(entries_.size() - 1));
        }
        window_.insert(window_.begin(), front.begin(), front.end());
        base_ = first;
    }
    while (base_ + static_cast<std::int64_t>(window_.size()) < end) {
        entries_.push_back(ShadowEntry{suffixOld_++, rt::Value()});
        window_.push_back(static_cast<std::uint32_t>(entries_.size() - 1));
    }
}

bool ListChangeTracker::holdPosition(std::int64_t index) {
    if (index < 0 || index >= currentCount()) return false;
    spanWindow(index, index + 1);
    return true;
}

void ListChangeTracker::reset() {
    tracking_ = false;
    inserts_.clear();
    deletions_.clear();
    moves_.clear();
    changes_.clear();
    entries_.clear();
    window_.clear();
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
    if (!tracking_ || index < 0 || index > currentCount()) return;
    spanWindow(index, index);
    entries_.push_back(ShadowEntry{-1, object, ++sequence_});
    window_.insert(window_.begin() + (index - base_), static_cast<std::uint32_t>(entries_.size() - 1));
}

void ListChangeTracker::trackDeletionFrom(std::int64_t index, const rt::Value& object) {
    if (!tracking_ || !holdPosition(index)) return;
    auto at = window_.begin() + (index - base_);
    auto id = *at;
    window_.erase(at);
    auto& entry = entries_[id];
    entry.alive = false;
    // An item inserted and removed in one batch leaves no trace; one that was there
    // before is reported removed from where it stood, whatever moved it meanwhile.
    if (entry.oldIndex >= 0) deletions_.push_back(ListChangeRecord::recordWithOldIndex(entry.oldIndex, index, object));
}

void ListChangeTracker::trackMoveFrom(std::int64_t from, std::int64_t to, const rt::Value& object) {
    if (!tracking_ || from == to || !holdPosition(from) || !holdPosition(to)) return;
    auto at = window_.begin() + (from - base_);
    auto id = *at;
    window_.erase(at);
    window_.insert(window_.begin() + (to - base_), id);
    auto& entry = entries_[id];
    if (entry.object.isNil()) entry.object = object;
    if (entry.oldIndex >= 0 && entry.movedAt == 0) entry.movedAt = ++sequence_;
}

void ListChangeTracker::trackChangeAt(std::int64_t index, const rt::Value& object) {
    if (!tracking_ || !holdPosition(index)) return;
    auto id = window_[static_cast<std::size_t>(index - base_)];
    auto& entry = entries_[id];
    if (entry.oldIndex < 0) return;  // a new item is reported only as inserted
    if (entry.object.isNil()) entry.object = object;
    changed_.push_back(id);
}

void ListChangeTracker::endTracking() {
    if (!tracking_) return;
    constexpr std::int64_t kGone = -1;
    std::vector<std::int64_t> newIndex(entries_.size(), kGone);
    for (std::size_t i = 0; i < window_.size(); ++i) newIndex[window_[i]] = base_ + static_cast<std::int64_t>(i);

    // Items that were there before and are neither moved nor changed keep their order
    // relative to each other. A moved item that ended where it began needs no move when
    // that order stays intact around it: every such item before it in the new order
    // stood before it in the old order, and every one after it after.
    // Only the window matters: items before it and after it are untouched, and stood
    // before (after) every item of the window.
    std::vector<std::int64_t> prefixMax(window_.size() + 1, std::numeric_limits<std::int64_t>::min());
    std::vector<std::int64_t> suffixMin(window_.size() + 1, std::numeric_limits<std::int64_t>::max());
    for (std::size_t i = 0; i < window_.size(); ++i) {
        const auto& e = entries_[window_[i]];
        bool still = e.oldIndex >= 0 && e.movedAt == 0;
        prefixMax[i + 1] = std::max(prefixMax[i], still ? e.oldIndex : prefixMax[i]);
    }
    for (std::size_t i = window_.size(); i-- > 0;) {
        const auto& e = entries_[window_[i]];
        bool still = e.oldIndex >= 0 && e.movedAt == 0;
        suffixMin[i] = std::min(suffixMin[i + 1], still ? e.oldIndex : suffixMin[i + 1]);
    }
    auto movedInPlace = [&](std::uint32_t id) {
        const auto& e = entries_[id];
        auto p = static_cast<std::size_t>(newIndex[id] - base_);
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
