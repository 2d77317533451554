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
    deletions_.clear();
    inserts_.clear();
    moves_.clear();
    changes_.clear();
}

void ListBatchFollower::sourceWillChange() {
    inBatch_ = true;
    deletions_.clear();
    inserts_.clear();
    moves_.clear();
    changes_.clear();
}

void ListBatchFollower::sourceDidInsert(std::uint64_t index) {
    if (inBatch_) inserts_.push_back(index);
}
void ListBatchFollower::sourceDidDelete(std::uint64_t index, const rt::Value& item) {
    if (inBatch_) deletions_.emplace_back(index, item);
}
void ListBatchFollower::sourceDidMove(std::uint64_t from, std::uint64_t to) {
    if (inBatch_) moves_.push_back(Placed{from, to});
}
void ListBatchFollower::sourceDidChange(std::uint64_t index) {
    if (inBatch_) changes_.push_back(index);
}

void ListBatchFollower::sourceDidChangeContent() {
    if (!inBatch_) return;
    inBatch_ = false;
    const std::size_t before = entries_.size();
    // Changes, deletions and move sources name positions before the batch.
    for (auto index : changes_)
        if (index < before) entries_[index].changed = true;
    std::vector<char> taken(before, 0);
    for (const auto& [index, item] : deletions_) {
        if (index >= before || taken[index]) continue;  // a source breaking the contract
        taken[index] = 1;
        if (entries_[index].origin >= 0) removed_.push_back(Removed{entries_[index].origin, item});
    }
    std::vector<Placed> moves;
    moves.reserve(moves_.size());
    for (const auto& move : moves_) {
        if (move.from >= before || taken[move.from]) continue;
        taken[move.from] = 2;
        moves.push_back(move);
    }
    std::vector<Entry> remaining;
    remaining.reserve(before);
    for (std::size_t i = 0; i < before; ++i)
        if (!taken[i]) remaining.push_back(entries_[i]);
    // Inserts and move destinations name positions after it; the rest fill in order.
    const std::size_t after = remaining.size() + inserts_.size() + moves.size();
    std::vector<Entry> next(after, Entry{-2});
    for (auto index : inserts_)
        if (index < after && next[index].origin == -2) next[index] = Entry{-1};
    for (const auto& move : moves) {
        if (move.to >= after || next[move.to].origin != -2) continue;
        Entry moved = entries_[move.from];
        moved.moved = true;
        next[move.to] = moved;
    }
    std::size_t fill = 0;
    for (auto& slot : next)
        if (slot.origin == -2) slot = fill < remaining.size() ? remaining[fill++] : Entry{-1};
    entries_.swap(next);
    deletions_.clear();
    inserts_.clear();
    moves_.clear();
    changes_.clear();
}

}  // namespace zid
