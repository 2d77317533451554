#pragma once
// Turns the single mutations of one batch into the batch description listeners get:
// deletions (old positions), inserts (new positions), moves, changes.
//
// Calling order for a batch: beginTracking, a track call right after each mutation,
// endTracking, reportChangesForList, reset. While idle, every call is ignored.
//
// The tracker follows the batch on a shadow of the list: one entry per position of the
// span the batch touched, each knowing where its item stood before the batch (or that
// it is new); a batch costs in proportion to that span, not to the list. endTracking reads
// the description off the shadow, so every reported batch replays exactly: removing the
// deletions and move sources at their old positions and placing the inserts and move
// destinations at their new positions turns the old contents into the new ones, whatever
// the sequence of mutations (duplicates, moves of moved items, changes of moved items).
//
// Code that works out a batch by other means may append records to the four arrays
// directly and use only reportChangesForList; the record helpers (shiftNewIndexesWith,
// oldIndexFromNewIndex, isNewElementAt) work on those records.

#include <cstdint>
#include <optional>
#include <vector>

#include <QXFoundation/Lists/ListChangeRecord.h>

namespace zid {

class ListChangeTracker : public rt::Object {
    RT_CLASS(ListChangeTracker, rt::Object)
public:
    using Records = std::vector<rt::Ref<ListChangeRecord>>;

    /// Opens a batch on a list of count items; track calls at or past count are ignored.
    void beginTracking(std::uint64_t count);
    /// Opens a batch on a list whose count is not given: positions the calls name past
    /// the ones seen so far are taken as items that were there before the batch (up to
    /// 2^24 positions; give the count for longer lists).
    void beginTracking();
    /// The item was inserted at index of the current list.
    void trackInserAt(std::int64_t index, const rt::Value& object);
    /// The item at index of the current list was removed.
    void trackDeletionFrom(std::int64_t index, const rt::Value& object);
    /// The item was removed at from and inserted at to (to counts after the removal).
    void trackMoveFrom(std::int64_t from, std::int64_t to, const rt::Value& object);
    /// The item at index of the current list changed.
    void trackChangeAt(std::int64_t index, const rt::Value& object);
    void endTracking();
    /// Sends the batch's item calls to the list's listeners.
    void reportChangesForList(IList& list) const;
    void reset();

    std::int64_t oldIndexFromNewIndex(std::int64_t index) const;
    void shiftNewIndexesWith(std::int64_t delta, std::int64_t start);
    bool isNewElementAt(std::int64_t index) const;

    bool isTracking() const { return tracking_; }
    const Records& inserts() const { return inserts_; }
    const Records& deletions() const { return deletions_; }
    const Records& moves() const { return moves_; }
    const Records& changes() const { return changes_; }
    /// Appends straight to the arrays (lists that derive their batches from another's).
    Records& mutableInserts() { return inserts_; }
    Records& mutableDeletions() { return deletions_; }
    Records& mutableMoves() { return moves_; }
    Records& mutableChanges() { return changes_; }

private:
    struct ShadowEntry {
        std::int64_t oldIndex;     // position before the batch; -1 for an item inserted in it
        rt::Value object;
        std::uint64_t insertedAt = 0;  // order of the insert call
        std::uint64_t movedAt = 0;     // order of the first move call; 0 = never moved
        bool alive = true;
    };
    void openBatch();
    // Positions the list has now (bounded when the count was not given).
    std::int64_t currentCount() const;
    // Makes the window reach from position first to end (end itself excluded).
    void spanWindow(std::int64_t first, std::int64_t end);
    // Whether the list has the position now; the window then holds it.
    bool holdPosition(std::int64_t index);

    bool tracking_ = false;
    bool countGiven_ = true;
    Records inserts_, deletions_, moves_, changes_;
    // The shadow covers only the span of positions the batch touched (the window);
    // items before it are untouched and stand where they stood, items after it are
    // untouched and keep their order, the first of them being the item that stood at
    // suffixOld_ before the batch.
    std::vector<ShadowEntry> entries_;
    std::vector<std::uint32_t> window_;   // entry ids by position, from position base_
    std::int64_t base_ = 0;
    std::int64_t suffixOld_ = 0;
    std::int64_t count_ = 0;              // the list's count when the batch opened
    std::vector<std::uint32_t> changed_;  // entry ids, one per change call, in call order
    std::uint64_t sequence_ = 0;
};

}  // namespace zid
