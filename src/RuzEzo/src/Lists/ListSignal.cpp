#include <RuzEzo/Lists/ListSignal.h>

#include <QXFoundation/Listening/IListenable.h>
#include <RuzEzo/Signal/Const/FKConstSignal.h>
#include <RuzEzo/Signal/Keypath/FKKeypathSignal.h>
#include <rt/Exception.h>
#include <rt/KVC.h>

namespace zid {

ListSignal::ListSignal(rt::Ref<IList> list, std::string keypath) : list_(std::move(list)), keypath_(std::move(keypath)) {}

rt::Ref<ListSignal> ListSignal::signalWithList(rt::Ref<IList> list, std::string keypath) {
    return rt::make<ListSignal>(std::move(list), std::move(keypath));
}

void ListSignal::didInitialize() {
    FKSignal::didInitialize();
    if (list_) {
        addListener(*list_, self());
        for (std::uint64_t i = 0, n = list_->count(); i < n; ++i) keypathSignals_.push_back(signalForItem(list_->objectAtIndex(i)));
    }
    resetChildSignal();
}

void ListSignal::willDestroy() {
    if (handler_) handler_->dispose();
    handler_.reset();
    FKSignal::willDestroy();
}

FKSignalRef ListSignal::signalForItem(const rt::Value& item) const {
    try {
        if (item.isObject()) return FKKeypathSignal::signalWithTarget(*item.object(), keypath_);
        return FKConstSignal::signalWithValue(item.isNil() ? rt::Value() : rt::valueForKeyPath(item, keypath_));
    } catch (const rt::Exception&) {
        // An item without the key shows as the null placeholder.
        return FKConstSignal::signalWithValue(rt::Value());
    }
}

void ListSignal::resetChildSignal() {
    if (handler_) handler_->dispose();
    childSignal_ = FKMultiSignal::signalWithSignals(keypathSignals_);
    rt::Weak<ListSignal> weakSelf = std::static_pointer_cast<ListSignal>(self());
    handler_ = childSignal_->addValueHandler([weakSelf](const rt::Value& value) {
        if (auto signal = weakSelf.lock()) signal->setValue(value);
    });
}

void ListSignal::listWillChangeContent(IList& list) {
    if (&list != list_.get()) return;
    inBatch_ = true;
    clearBatch();
}

void ListSignal::listDidInsertItem(IList& list, const rt::Value& item, std::uint64_t index) {
    if (&list != list_.get()) return;
    inserts_.push_back(index);
    insertedItems_.push_back(item);
    if (!inBatch_) applyBatch();
}

void ListSignal::listDidDeleteItem(IList& list, const rt::Value&, std::uint64_t index) {
    if (&list != list_.get()) return;
    deletions_.push_back(index);
    if (!inBatch_) applyBatch();
}

void ListSignal::listDidMoveItem(IList& list, const rt::Value&, std::uint64_t from, std::uint64_t to) {
    if (&list != list_.get()) return;
    moves_.push_back(ListBatchMove{from, to});
    if (!inBatch_) applyBatch();
}

void ListSignal::listDidChangeContent(IList& list) {
    if (&list != list_.get() || !inBatch_) return;
    inBatch_ = false;
    applyBatch();
}

void ListSignal::applyBatch() {
    if (deletions_.empty() && inserts_.empty() && moves_.empty()) return;
    const auto replay = replayListBatch(keypathSignals_.size(), deletions_, inserts_, moves_);
    std::vector<FKSignalRef> next;
    next.reserve(replay.slots.size());
    for (const auto& slot : replay.slots) {
        switch (slot.kind) {
        case ListBatchSlot::Kind::Kept:
        case ListBatchSlot::Kind::Moved: next.push_back(keypathSignals_[slot.from]); break;
        case ListBatchSlot::Kind::Inserted: next.push_back(signalForItem(insertedItems_[slot.from])); break;
        case ListBatchSlot::Kind::Missing: next.push_back(FKConstSignal::signalWithValue(rt::Value())); break;
        }
    }
    keypathSignals_.swap(next);
    clearBatch();
    resetChildSignal();
}

void ListSignal::clearBatch() {
    deletions_.clear();
    inserts_.clear();
    insertedItems_.clear();
    moves_.clear();
}

}  // namespace zid
