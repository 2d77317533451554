#include <QXFoundation/Lists/ListBatchReplay.h>

namespace zid {

ListBatchReplay replayListBatch(std::size_t before, const std::vector<std::uint64_t>& deletions,
                                const std::vector<std::uint64_t>& inserts, const std::vector<ListBatchMove>& moves) {
    ListBatchReplay replay;
    // Deletions and move sources leave from their positions before the batch.
    std::vector<char> taken(before, 0);
    for (std::size_t n = 0; n < deletions.size(); ++n) {
        const auto index = deletions[n];
        if (index >= before || taken[index]) continue;
        taken[index] = 1;
        replay.deleted.push_back(n);
    }
    std::vector<ListBatchMove> moved;
    moved.reserve(moves.size());
    for (const auto& move : moves) {
        if (move.from >= before || taken[move.from]) continue;
        taken[move.from] = 1;
        moved.push_back(move);
    }
    std::vector<std::size_t> remaining;
    remaining.reserve(before);
    for (std::size_t i = 0; i < before; ++i)
        if (!taken[i]) remaining.push_back(i);
    // Inserts and move destinations take their positions after it; the rest fill in order.
    const std::size_t after = remaining.size() + inserts.size() + moved.size();
    std::vector<char> filled(after, 0);
    replay.slots.assign(after, ListBatchSlot{ListBatchSlot::Kind::Missing});
    for (std::size_t n = 0; n < inserts.size(); ++n) {
        const auto index = inserts[n];
        if (index >= after || filled[index]) continue;
        filled[index] = 1;
        replay.slots[index] = ListBatchSlot{ListBatchSlot::Kind::Inserted, n};
    }
    for (const auto& move : moved) {
        if (move.to >= after || filled[move.to]) continue;
        filled[move.to] = 1;
        replay.slots[move.to] = ListBatchSlot{ListBatchSlot::Kind::Moved, static_cast<std::size_t>(move.from)};
    }
    std::size_t fill = 0;
    for (std::size_t i = 0; i < after && fill < remaining.size(); ++i)
        if (!filled[i]) replay.slots[i] = ListBatchSlot{ListBatchSlot::Kind::Kept, remaining[fill++]};
    return replay;
}

}  // namespace zid
