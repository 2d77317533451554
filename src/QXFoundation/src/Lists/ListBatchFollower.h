#pragma once
// Follows a source list through one or more of its batches and keeps, for every
// position of the source as it is now, where that item stood when following began
// (or that it is new), whether it was moved and whether it was reported changed.
//
// The merged list uses it to turn its lists' batches into exact batches of its own: it
// compares its state at the start with the state the follower describes at the end,
// instead of translating the item calls one by one (which cannot respect the change
// contract once a batch holds several calls). This costs a pass over the list per batch;
// the filtered and sorted lists replay a batch call by call on trees instead.

#include <cstdint>
#include <vector>

#include <QXFoundation/Lists/IList.h>
#include <QXFoundation/Lists/ListBatchReplay.h>

namespace zid {

class ListBatchFollower {
public:
    struct Entry {
        std::int64_t origin;  // position when following began; -1 for an item inserted since
        bool moved = false;
        bool changed = false;
    };
    struct Removed {
        std::int64_t origin;  // position when following began
        rt::Value item;
    };

    /// Starts following a source of count items.
    void begin(std::uint64_t count);
    /// Stops following and forgets everything.
    void end();
    bool isFollowing() const { return following_; }

    /// One batch of the source (its calls use the source's change contract).
    void sourceWillChange();
    void sourceDidInsert(std::uint64_t index);
    void sourceDidDelete(std::uint64_t index, const rt::Value& item);
    void sourceDidMove(std::uint64_t from, std::uint64_t to);
    void sourceDidChange(std::uint64_t index);
    /// Applies the collected batch.
    void sourceDidChangeContent();
    bool inSourceBatch() const { return inBatch_; }

    /// The source as it is now, one entry per position.
    const std::vector<Entry>& entries() const { return entries_; }
    /// Items present when following began and removed since.
    const std::vector<Removed>& removed() const { return removed_; }

private:
    void clearBatch();

    bool following_ = false;
    bool inBatch_ = false;
    std::vector<Entry> entries_;
    std::vector<Removed> removed_;
    // the open source batch
    std::vector<std::uint64_t> deletions_;
    std::vector<rt::Value> deletedItems_;  // one per deletion
    std::vector<std::uint64_t> inserts_;
    std::vector<ListBatchMove> moves_;
    std::vector<std::uint64_t> changes_;
};

}  // namespace zid
