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
    deletions_.clear();
    inserts_.clear();
    moves_.clear();
}

void ListSignal::listDidInsertItem(IList& list, const rt::Value& item, std::uint64_t index) {
    if (&list != list_.get()) return;
    inserts_.emplace_back(index, item);
    if (!inBatch_) applyBatch();
}

void ListSignal::listDidDeleteItem(IList& list, const rt::Value&, std::uint64_t index) {
    if (&list != list_.get()) return;
    deletions_.push_back(index);
    if (!inBatch_) applyBatch();
}

void ListSignal::listDidMoveItem(IList& list, const rt::Value&, std::uint64_t from, std::uint64_t to) {
    if (&list != list_.get()) return;
    moves_.push_back(Placed{from, to});
    if (!inBatch_) applyBatch();
}

void ListSignal::listDidChangeContent(IList& list) {
    if (&list != list_.get() || !inBatch_) return;
    inBatch_ = false;
    applyBatch();
}

void ListSignal::applyBatch() {
    bool any = !deletions_.empty() || !inserts_.empty() || !moves_.empty();
    if (!any) return;
    const std::size_t before = keypathSignals_.size();
    // Deletions and move sources leave from their positions before the batch.
    std::vector<char> taken(before, 0);
    for (auto index : deletions_)
        if (index < before) taken[index] = 1;
    std::vector<Placed> moves;
    for (const auto& move : moves_)
        if (move.from < before && !taken[move.from]) {
            taken[move.from] = 1;
            moves.push_back(move);
        }
    std::vector<FKSignalRef> remaining;
    remaining.reserve(before);
    for (std::size_t i = 0; i < before; ++i)
        if (!taken[i]) remaining.push_back(keypathSignals_[i]);
    // Inserts and move destinations take their positions after it; the rest fill in.
    const std::size_t after = remaining.size() + inserts_.size() + moves.size();
    std::vector<FKSignalRef> next(after);
    for (const auto& [index, item] : inserts_)
        if (index < after && !next[index]) next[index] = signalForItem(item);
    for (const auto& move : moves)
        if (move.to < after && !next[move.to]) next[move.to] = keypathSignals_[move.from];
    std::size_t fill = 0;
    for (auto& slot : next)
        if (!slot) slot = fill < remaining.size() ? remaining[fill++] : FKConstSignal::signalWithValue(rt::Value());
    keypathSignals_.swap(next);
    deletions_.clear();
    inserts_.clear();
    moves_.clear();
    resetChildSignal();
}

}  // namespace zid
