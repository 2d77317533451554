#pragma once
// Where every item of a list stands after one batch of its changes, the batch taken as
// a whole: deletions and move sources name positions before the batch, inserts and move
// destinations positions after it, and the items that stay keep their order in the
// positions left over. A list that follows another one item per position (a follower of
// its batches, a signal per item) rebuilds its own array from the answer.
//
// A batch that breaks that contract is replayed as far as it can be: a position out of
// range, a second deletion or move of one position, and a second arrival at one
// destination are passed over, and a position nothing arrives at is reported missing.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zid {

struct ListBatchMove {
    std::uint64_t from, to;
};

struct ListBatchSlot {
    enum class Kind {
        Kept,      // an item that stayed; `from` is its position before the batch
        Moved,     // a moved item; `from` is its position before the batch
        Inserted,  // an inserted item; `from` is the insert's number in the batch
        Missing,   // nothing arrived here (a batch that broke the contract)
    };
    Kind kind;
    std::size_t from = 0;
};

struct ListBatchReplay {
    /// One slot per position after the batch.
    std::vector<ListBatchSlot> slots;
    /// The numbers in the batch of the deletions that took an item away, in batch order.
    std::vector<std::size_t> deleted;
};

/// The arrangement after a batch on a list of `before` items.
ListBatchReplay replayListBatch(std::size_t before, const std::vector<std::uint64_t>& deletions,
                                const std::vector<std::uint64_t>& inserts, const std::vector<ListBatchMove>& moves);

}  // namespace zid
