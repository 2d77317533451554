#include "Lists/ReplayOrder.h"

#include <algorithm>

namespace zid {

std::vector<ReplayStep> removalsLastFirst(const DerivedList::SourceBatch& batch) {
    std::vector<ReplayStep> steps;
    steps.reserve(batch.deletions.size() + batch.moves.size());
    for (std::size_t i = 0; i < batch.deletions.size(); ++i) steps.push_back({batch.deletions[i].index, i});
    for (std::size_t i = 0; i < batch.moves.size(); ++i) steps.push_back({batch.moves[i].from, batch.deletions.size() + i});
    std::sort(steps.begin(), steps.end(), [](const auto& a, const auto& b) { return a.index > b.index; });
    return steps;
}

std::vector<ReplayStep> placementsFirstUp(const DerivedList::SourceBatch& batch) {
    std::vector<ReplayStep> steps;
    steps.reserve(batch.inserts.size() + batch.moves.size());
    for (std::size_t i = 0; i < batch.inserts.size(); ++i) steps.push_back({batch.inserts[i].index, i});
    for (std::size_t i = 0; i < batch.moves.size(); ++i) steps.push_back({batch.moves[i].to, batch.inserts.size() + i});
    std::sort(steps.begin(), steps.end(), [](const auto& a, const auto& b) { return a.index < b.index; });
    return steps;
}

}  // namespace zid
