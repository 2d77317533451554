#pragma once
// Turns the single mutations of one batch into the batch description listeners get:
// deletions (old positions), inserts (new positions), moves, changes.
//
// Calling order for a batch: beginTracking, a track call right after each mutation,
// endTracking, reportChangesForList, reset. While idle, every call is ignored.
//
// The tracker follows the batch on a shadow of the list: the positions the batch touched
// hold entries that know where their item stood before the batch (or that it is new);
// the untouched positions in between are runs of consecutive old positions. The shadow
// is a sequence of pieces kept in chunks (PieceSequence): each track call costs a search
// of a small index and an edit of one chunk, however far apart its positions lie, and a
// batch of k calls O(k log k) at most. endTracking reads the description off the
// shadow, so every reported batch replays exactly: removing the
// deletions and move sources at their old positions and placing the inserts and move
// destinations at their new positions turns the old contents into the new ones, whatever
// the sequence of mutations (duplicates, moves of moved items, changes of moved items).
//
// While a batch is tracked, the record helpers answer from the batch followed so far:
// isNewElementAt tells whether the item at a position was inserted in it,
// oldIndexFromNewIndex where the item at a position stood before it (NotFound for an
// item new to the list), and shiftNewIndexesWith opens positions the caller accounts for
// itself (delta > 0: they report nothing) or closes positions (delta < 0: as deletions).
// Outside a batch, code that works out a batch by other means may append records to the
// four arrays directly and use only reportChangesForList; the helpers then work on those
// records.

#include <cstdint>
#include <optional>
#include <vector>

#include <QXFoundation/Lists/ListChangeRecord.h>
#include <QXFoundation/Lists/PieceSequence.h>

namespace zid {

class ListChangeTracker : public rt::Object {
    RT_CLASS(ListChangeTracker, rt::Object)
public:
    using Records = std::vector<rt::Ref<ListChangeRecord>>;

    /// Opens a batch on a list of count items; track calls at or past count are ignored.
    void beginTracking(std::uint64_t count);
    /// Opens a batch on a list whose count is not given: positions the calls name past
    /// the ones seen so far are taken as items that were there before the batch.
    void beginTracking();
    /// The item was inserted at index of the current list.
    void trackInserAt(std::int64_t index, const rt::Value& object);
    /// The item at index of the current list was removed.
    void trackDeletionFrom(std::int64_t index, const rt::Value& object);
    /// The item was removed at from and inserted at to (to counts after the removal).
    void trackMoveFrom(std::int64_t from, std::int64_t to, const rt::Value& object);
    /// The item at index of the current list changed.
    void trackChangeAt(std::int64_t index, const rt::Value& object);
    /// The item at index of the current list may have changed without a change call (a
    /// derived list whose source moved it): reported changed only when it is reported
    /// neither moved nor changed otherwise.
    void trackTouchAt(std::int64_t index, const rt::Value& object);
    void endTracking();
    /// Sends the batch's item calls to the list's listeners.
    void reportChangesForList(IList& list) const;
    void reset();
    /// endTracking, reportChangesForList and reset in one step, without making the
    /// record objects (the lists' own batches, where nobody reads the records).
    void endTrackingAndReport(IList& list);

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
    static constexpr std::int64_t kGap = -2;  // an entry of a position opened by a shift
    struct ShadowEntry {
        std::int64_t oldIndex;     // position before the batch; -1 for an item inserted in it
        rt::Value object;
        std::uint64_t insertedAt = 0;  // order of the insert call
        std::uint64_t movedAt = 0;     // order of the first move call; 0 = never moved
        bool alive = true;
        bool changed = false;
    };
    using PieceKind = PieceSequence::Kind;
    void openBatch(std::int64_t count);
    std::int64_t currentCount() const { return static_cast<std::int64_t>(pieces_.total()); }
    // The number of the shadow entry at a position of the list, made from a run or gap
    // where needed; kNoEntry outside the list.
    std::uint32_t holdPosition(std::int64_t index);
    void closePosition(std::int64_t index, const rt::Value& object);
    // A change call, or with touchOnly a touch call.
    void noteChange(std::int64_t index, const rt::Value& object, bool touchOnly);
    // Works the batch out of the shadow into found_ and closes the shadow.
    void readBatch();

    bool tracking_ = false;
    bool shadowOpen_ = false;  // between beginTracking and endTracking: the helpers read the shadow
    Records inserts_, deletions_, moves_, changes_;
    PieceSequence pieces_;
    std::vector<ShadowEntry> entries_;
    struct ChangeCall {
        std::uint32_t entry;
        bool touchOnly;
    };
    std::vector<ChangeCall> changed_;  // in call order
    static constexpr std::uint32_t kNoEntry = 0xffffffffu;
    struct Found {
        std::int64_t oldIndex, newFromIndex, newToIndex;
        rt::Value object;                // a deletion's item
        std::uint32_t entry = kNoEntry;  // the shadow entry holding the item of the others
    };
    const rt::Value& objectOf(const Found& found) const {
        return found.entry == kNoEntry ? found.object : entries_[found.entry].object;
    }
    struct FoundBatch {
        std::vector<Found> deletions, inserts, moves, changes;
    };
    FoundBatch found_;  // deletions as they come; the rest when the batch is read
    std::uint64_t sequence_ = 0;
};

}  // namespace zid
