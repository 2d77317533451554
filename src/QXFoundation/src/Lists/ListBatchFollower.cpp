#include "Lists/ListBatchFollower.h"

namespace zid {

void ListBatchFollower::begin(std::uint64_t count) {
    end();
    following_ = true;
    entries_.reserve(count);
    for (std::uint64_t i = 0; i < count; ++i) entries_.push_back(Entry{static_cast<std::int64_t>(i)});
}

void ListBatchFollower::end() {
    following_ = false;
    inBatch_ = false;
    entries_.clear();
    removed_.clear();
    clearBatch();
}

void ListBatchFollower::sourceWillChange() {
    inBatch_ = true;
    clearBatch();
}

void ListBatchFollower::clearBatch() {
    deletions_.clear();
    deletedItems_.clear();
    inserts_.clear();
    moves_.clear();
    changes_.clear();
}

void ListBatchFollower::sourceDidInsert(std::uint64_t index) {
    if (inBatch_) inserts_.push_back(index);
}
void ListBatchFollower::sourceDidDelete(std::uint64_t index, const rt::Value& item) {
    if (!inBatch_) return;
    deletions_.push_back(index);
    deletedItems_.push_back(item);
}
void ListBatchFollower::sourceDidMove(std::uint64_t from, std::uint64_t to) {
    if (inBatch_) moves_.push_back(ListBatchMove{from, to});
}
void ListBatchFollower::sourceDidChange(std::uint64_t index) {
    if (inBatch_) changes_.push_back(index);
}

void ListBatchFollower::sourceDidChangeContent() {
    if (!inBatch_) return;
    inBatch_ = false;
    // Changes name positions before the batch, as deletions and move sources do.
    for (auto index : changes_)
        if (index < entries_.size()) entries_[index].changed = true;
    const auto replay = replayListBatch(entries_.size(), deletions_, inserts_, moves_);
    for (auto n : replay.deleted) {
        const auto& entry = entries_[deletions_[n]];
        if (entry.origin >= 0) removed_.push_back(Removed{entry.origin, deletedItems_[n]});
    }
    std::vector<Entry> next;
    next.reserve(replay.slots.size());
    for (const auto& slot : replay.slots) {
        switch (slot.kind) {
        case ListBatchSlot::Kind::Kept: next.push_back(entries_[slot.from]); break;
        case ListBatchSlot::Kind::Moved:
            next.push_back(entries_[slot.from]);
            next.back().moved = true;
            break;
        case ListBatchSlot::Kind::Inserted:
        case ListBatchSlot::Kind::Missing: next.push_back(Entry{-1}); break;
        }
    }
    entries_.swap(next);
    clearBatch();
}

}  // namespace zid
