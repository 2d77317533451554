#include "Lists/MergedList.h"

#include <QXFoundation/Listening/IListenable.h>
#include "Lists/DerivedBatch.h"
#include <rt/Exception.h>
#include <rt/Format.h>

namespace zid {

MergedList::MergedList(std::vector<rt::Ref<IList>> lists) : lists_(std::move(lists)) {
    std::erase(lists_, nullptr);
}

rt::Ref<MergedList> MergedList::listWithLists(std::vector<rt::Ref<IList>> lists) {
    return rt::make<MergedList>(std::move(lists));
}

rt::Ref<MergedList> mergedList(std::vector<rt::Ref<IList>> lists) { return MergedList::listWithLists(std::move(lists)); }

rt::Ref<MergedList> mergedList(const rt::Value::Array& values) {
    std::vector<rt::Ref<IList>> lists;
    for (const auto& value : values)
        if (auto list = value.as<IList>()) lists.push_back(list);
    return MergedList::listWithLists(std::move(lists));
}

void MergedList::didInitialize() {
    IList::didInitialize();
    for (const auto& list : lists_) addListener(*list, self());
}

std::uint64_t MergedList::count() const {
    std::uint64_t total = 0;
    for (const auto& list : lists_) total += list->count();
    return total;
}

rt::Value MergedList::objectAtIndex(std::uint64_t index) const {
    std::uint64_t i = index;
    for (const auto& list : lists_) {
        auto n = list->count();
        if (i < n) return list->objectAtIndex(i);
        i -= n;
    }
    throw rt::Exception(rt::Exception::RangeError,
                        rt::format("objectAtIndex: index %llu beyond bounds of a merged list of %llu items",
                                   static_cast<unsigned long long>(index), static_cast<unsigned long long>(count())));
}

bool MergedList::containsObject(const rt::Value& object) const {
    for (const auto& list : lists_)
        if (list->containsObject(object)) return true;
    return false;
}

std::int64_t MergedList::indexOfObject(const rt::Value& object) const {
    std::uint64_t offset = 0;
    for (const auto& list : lists_) {
        auto index = list->indexOfObject(object);
        if (index != NotFound) return static_cast<std::int64_t>(offset) + index;
        offset += list->count();
    }
    return NotFound;
}

std::uint64_t MergedList::offsetForList(const IList& list) const {
    std::uint64_t offset = 0;
    for (const auto& l : lists_) {
        if (l.get() == &list) return offset;
        offset += l->count();
    }
    return offset;
}

rt::Value MergedList::uniqueID() const {
    return rt::Value(rt::Number::ofULongLong(reinterpret_cast<std::uintptr_t>(this)));
}

// ---- batches ---------------------------------------------------------------------------

void MergedList::beginUpdates() {
    if (nestedChangeLevel_ == 0) willChangeContent();
    ++nestedChangeLevel_;
}

void MergedList::endUpdates() {
    if (nestedChangeLevel_ <= 0) return;
    if (--nestedChangeLevel_ == 0) didChangeContent();
}

void MergedList::willChangeContent() {
    followers_.clear();
    oldOffsets_.clear();
    std::uint64_t offset = 0;
    for (const auto& list : lists_) {
        oldOffsets_.push_back(offset);
        auto n = list->count();
        offset += n;
        auto [it, fresh] = followers_.try_emplace(list.get());
        if (fresh) it->second.begin(n);
    }
    announceWillChangeContent();
}

void MergedList::didChangeContent() {
    std::vector<DerivedBatch::Removal> removals;
    std::vector<DerivedBatch::Entry> after;
    for (std::size_t k = 0; k < lists_.size(); ++k) {
        auto& follower = followers_[lists_[k].get()];
        follower.sourceDidChangeContent();  // a list whose batch is still open counts as it is
        auto base = static_cast<std::int64_t>(oldOffsets_[k]);
        for (const auto& removed : follower.removed())
            removals.push_back({static_cast<std::uint64_t>(base + removed.origin), removed.item});
        for (const auto& e : follower.entries())
            after.push_back({e.origin >= 0 ? base + e.origin : -1, !e.moved, e.changed, e.moved});
    }
    followers_.clear();
    DerivedBatch::compute(std::move(removals), after).report(*this);
    announceDidChangeContent();
}

ListBatchFollower* MergedList::followerFor(const IList& list) {
    auto it = followers_.find(&list);
    return it == followers_.end() ? nullptr : &it->second;
}

void MergedList::listWillChangeContent(IList& list) {
    beginUpdates();
    if (auto* f = followerFor(list)) f->sourceWillChange();
}

void MergedList::listDidChangeContent(IList& list) {
    if (auto* f = followerFor(list)) f->sourceDidChangeContent();
    endUpdates();
}

void MergedList::listDidInsertItem(IList& list, const rt::Value&, std::uint64_t index) {
    if (auto* f = followerFor(list)) f->sourceDidInsert(index);
}
void MergedList::listDidDeleteItem(IList& list, const rt::Value& item, std::uint64_t index) {
    if (auto* f = followerFor(list)) f->sourceDidDelete(index, item);
}
void MergedList::listDidMoveItem(IList& list, const rt::Value&, std::uint64_t from, std::uint64_t to) {
    if (auto* f = followerFor(list)) f->sourceDidMove(from, to);
}
void MergedList::listDidChangeItem(IList& list, const rt::Value&, std::uint64_t index) {
    if (auto* f = followerFor(list)) f->sourceDidChange(index);
}

}  // namespace zid
