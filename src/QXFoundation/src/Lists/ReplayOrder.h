#pragma once
// The order in which a filtered or a sorted list replays a source batch on its own
// trees, one call at a time: first the positions that go (deletions and move sources)
// from the last one down, so that every index still names the item it named before the
// batch; then the positions that come (inserts and move destinations) from the first one
// up, so that every item lands where the source holds it after the batch.

#include <cstdint>
#include <vector>

#include <QXFoundation/Lists/DerivedList.h>

namespace zid {

struct ReplayStep {
    std::uint64_t index;
    // A deletion's (an insert's) number in the batch; numbers past them name moves: the
    // move of number call minus their count.
    std::size_t call;
};

/// Deletions and move sources, the highest position first.
std::vector<ReplayStep> removalsLastFirst(const DerivedList::SourceBatch& batch);
/// Inserts and move destinations, the lowest position first.
std::vector<ReplayStep> placementsFirstUp(const DerivedList::SourceBatch& batch);

}  // namespace zid
