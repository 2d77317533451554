#include "Lists/DerivedBatch.h"

#include <algorithm>
#include <limits>

#include <QXFoundation/Listening/IListenable.h>

namespace zid {

namespace {

// Positions (into `after`) of a longest run of the given entries whose old positions
// increase along the new order.
std::vector<char> longestIncreasing(const std::vector<DerivedBatch::Entry>& after, const std::vector<std::size_t>& candidates) {
    std::vector<char> inRun(after.size(), 0);
    // Most batches keep every anchored item in order: then all of them form the run.
    if (std::is_sorted(candidates.begin(), candidates.end(),
                       [&](std::size_t a, std::size_t b) { return after[a].oldPosition < after[b].oldPosition; })) {
        for (auto c : candidates) inRun[c] = 1;
        return inRun;
    }
    std::vector<std::size_t> tails;                 // candidate index ending the best run of each length
    std::vector<std::ptrdiff_t> previous(candidates.size(), -1);
    for (std::size_t c = 0; c < candidates.size(); ++c) {
        auto old = after[candidates[c]].oldPosition;
        auto it = std::lower_bound(tails.begin(), tails.end(), old,
                                   [&](std::size_t t, std::int64_t v) { return after[candidates[t]].oldPosition < v; });
        auto length = static_cast<std::size_t>(it - tails.begin());
        if (length > 0) previous[c] = static_cast<std::ptrdiff_t>(tails[length - 1]);
        if (it == tails.end()) tails.push_back(c);
        else *it = c;
    }
    for (std::ptrdiff_t c = tails.empty() ? -1 : static_cast<std::ptrdiff_t>(tails.back()); c >= 0; c = previous[c])
        inRun[candidates[static_cast<std::size_t>(c)]] = 1;
    return inRun;
}

}  // namespace

DerivedBatch DerivedBatch::compute(std::vector<Removal> removals, const std::vector<Entry>& after) {
    DerivedBatch batch;
    std::sort(removals.begin(), removals.end(), [](const auto& a, const auto& b) { return a.oldPosition < b.oldPosition; });
    batch.deletions = std::move(removals);

    std::vector<std::size_t> anchored;
    for (std::size_t i = 0; i < after.size(); ++i)
        if (after[i].oldPosition >= 0 && after[i].anchored) anchored.push_back(i);
    std::vector<char> stays = longestIncreasing(after, anchored);

    // An item outside the run stays too when every staying item before it stood
    // before it and every one after it stood after it.
    constexpr auto kNone = std::numeric_limits<std::int64_t>::max();
    std::vector<std::int64_t> suffixMin(after.size() + 1, kNone);
    for (std::size_t i = after.size(); i-- > 0;)
        suffixMin[i] = std::min(suffixMin[i + 1], stays[i] ? after[i].oldPosition : kNone);
    std::int64_t prefixMax = -1;
    for (std::size_t i = 0; i < after.size(); ++i) {
        const auto& e = after[i];
        if (e.oldPosition < 0) {
            batch.inserts.push_back(i);
            continue;
        }
        if (!stays[i] && prefixMax < e.oldPosition && e.oldPosition < suffixMin[i + 1]) stays[i] = 1;
        if (stays[i]) prefixMax = std::max(prefixMax, e.oldPosition);
        else batch.moves.push_back(Move{static_cast<std::uint64_t>(e.oldPosition), i});
        if (e.changed || (e.touched && stays[i])) batch.changes.push_back(Move{static_cast<std::uint64_t>(e.oldPosition), i});
    }
    std::sort(batch.changes.begin(), batch.changes.end(), [](const auto& a, const auto& b) { return a.from < b.from; });
    return batch;
}

void DerivedBatch::reportReplacement(IList& list, const rt::Value::Array& before) {
    std::vector<Removal> removals;
    removals.reserve(before.size());
    for (std::size_t i = 0; i < before.size(); ++i) removals.push_back({i, before[i]});
    std::vector<Entry> after(list.count(), Entry{-1});
    compute(std::move(removals), after).report(list);
}

void DerivedBatch::report(IList& list) const {
    for (const auto& d : deletions)
        notifyListenersIn<IListListener>(list.listenerTable(), [&](IListListener& l) { l.listDidDeleteItem(list, d.item, d.oldPosition); });
    for (auto index : inserts) {
        auto item = list.objectAtIndex(index);
        notifyListenersIn<IListListener>(list.listenerTable(), [&](IListListener& l) { l.listDidInsertItem(list, item, index); });
    }
    for (const auto& m : moves) {
        auto item = list.objectAtIndex(m.to);
        notifyListenersIn<IListListener>(list.listenerTable(), [&](IListListener& l) { l.listDidMoveItem(list, item, m.from, m.to); });
    }
    for (const auto& c : changes) {
        auto item = list.objectAtIndex(c.to);
        notifyListenersIn<IListListener>(list.listenerTable(), [&](IListListener& l) { l.listDidChangeItem(list, item, c.from); });
    }
}

}  // namespace zid
