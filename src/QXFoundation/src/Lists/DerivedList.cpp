#include <QXFoundation/Lists/DerivedList.h>

#include <algorithm>

#include <QXFoundation/Listening/IListenable.h>

namespace zid {

DerivedList::DerivedList(rt::Ref<IList> source) : initialSource_(std::move(source)) {}

void DerivedList::didInitialize() {
    IList::didInitialize();
    followSource(std::move(initialSource_));
    buildFromSource();
}

void DerivedList::followSource(rt::Ref<IList> source) {
    if (sourceList_) removeListener(*sourceList_, *this);
    sourceList_ = std::move(source);
    inBatch_ = false;
    batch_ = SourceBatch();
    startedInsideBatch_ = sourceList_ && sourceList_->isChangingContent();
    itemsWhenFollowed_.clear();
    if (startedInsideBatch_ && keepsState()) itemsWhenFollowed_ = sourceList_->allObjects();
    if (sourceList_) addListener(*sourceList_, self());
}

bool DerivedList::SourceBatch::fits(std::uint64_t oldCount, std::uint64_t newCount) const {
    if (oldCount + inserts.size() < deletions.size() || oldCount + inserts.size() - deletions.size() != newCount) return false;
    // A batch costs in proportion to its calls, not the list: sorted copies of the indexes,
    // or, for a batch touching a good part of the list, a mark per position (no sort).
    const std::size_t calls = deletions.size() + inserts.size() + moves.size() + changes.size();
    if (calls * 8 >= std::max(oldCount, newCount)) {
        std::vector<char> removed(oldCount, 0), filled(newCount, 0);  // removed: 1 deleted, 2 a move's source
        auto take = [](std::vector<char>& marks, std::uint64_t index, char mark) {
            if (index >= marks.size() || marks[index]) return false;
            marks[index] = mark;
            return true;
        };
        for (const auto& d : deletions)
            if (!take(removed, d.index, 1)) return false;
        for (const auto& m : moves)
            if (!take(removed, m.from, 2) || !take(filled, m.to, 1)) return false;
        for (const auto& i : inserts)
            if (!take(filled, i.index, 1)) return false;
        return std::all_of(changes.begin(), changes.end(), [&](const Call& c) { return c.index < oldCount && removed[c.index] != 1; });
    }
    std::vector<std::uint64_t> removed, filled, deleted;
    for (const auto& d : deletions) deleted.push_back(d.index);
    removed = deleted;
    for (const auto& m : moves) {
        removed.push_back(m.from);
        filled.push_back(m.to);
    }
    for (const auto& i : inserts) filled.push_back(i.index);
    auto distinctBelow = [](std::vector<std::uint64_t>& indexes, std::uint64_t limit) {
        std::sort(indexes.begin(), indexes.end());
        return std::adjacent_find(indexes.begin(), indexes.end()) == indexes.end() && (indexes.empty() || indexes.back() < limit);
    };
    if (!distinctBelow(removed, oldCount) || !distinctBelow(filled, newCount)) return false;
    std::sort(deleted.begin(), deleted.end());
    return std::all_of(changes.begin(), changes.end(), [&](const Call& c) {
        return c.index < oldCount && !std::binary_search(deleted.begin(), deleted.end(), c.index);
    });
}

void DerivedList::listWillChangeContent(IList& list) {
    if (!isSource(list)) return;
    inBatch_ = true;
    batch_ = SourceBatch();
    startedInsideBatch_ = false;  // from here on every call of the source is seen
    itemsWhenFollowed_.clear();
    sourceWillChangeContent();
}

void DerivedList::listDidChangeContent(IList& list) {
    if (!isSource(list)) return;
    if (inBatch_) {
        inBatch_ = false;
        SourceBatch batch;
        batch.deletions.swap(batch_.deletions);
        batch.inserts.swap(batch_.inserts);
        batch.changes.swap(batch_.changes);
        batch.moves.swap(batch_.moves);
        sourceDidChangeContent(batch);
    } else if (startedInsideBatch_) {
        startedInsideBatch_ = false;
        rt::Value::Array itemsThen;
        itemsThen.swap(itemsWhenFollowed_);
        announceWillChangeContent();
        resynchronize(itemsThen);
        announceDidChangeContent();
    }
}

void DerivedList::sourceDidChangeContent(const SourceBatch& batch) {
    applySourceBatch(batch);
    announceDidChangeContent();
}

void DerivedList::sourceItemCall(CallKind kind, const rt::Value& item, std::uint64_t from, std::uint64_t to) {
    if (!inBatch_) return;
    switch (kind) {
        case CallKind::Insert: batch_.inserts.push_back({to, item}); break;
        case CallKind::Delete: batch_.deletions.push_back({from, item}); break;
        case CallKind::Change: batch_.changes.push_back({from, item}); break;
        case CallKind::Move: batch_.moves.push_back({from, to, item}); break;
    }
}

void DerivedList::listDidInsertItem(IList& list, const rt::Value& item, std::uint64_t index) {
    if (isSource(list)) sourceItemCall(CallKind::Insert, item, index, index);
}
void DerivedList::listDidChangeItem(IList& list, const rt::Value& item, std::uint64_t index) {
    if (isSource(list)) sourceItemCall(CallKind::Change, item, index, index);
}
void DerivedList::listDidDeleteItem(IList& list, const rt::Value& item, std::uint64_t index) {
    if (isSource(list)) sourceItemCall(CallKind::Delete, item, index, index);
}
void DerivedList::listDidMoveItem(IList& list, const rt::Value& item, std::uint64_t from, std::uint64_t to) {
    if (isSource(list)) sourceItemCall(CallKind::Move, item, from, to);
}

}  // namespace zid
