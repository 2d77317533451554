#include <RuzEzo/Signal/Holder/FKSignalHolder.h>

#include <rt/Exception.h>

namespace zid {

void FKSignalHolder::setSignal(const FKSignalRef& signal, const rt::Value& key) {
    if (key.isNil()) throw rt::Exception(rt::Exception::InvalidArgument, "A signal holder needs a key to store a signal under");
    for (auto& [itemKey, item] : signalItems_) {
        if (itemKey.isEqual(key)) {
            item->setSignal(signal);
            return;
        }
    }
    signalItems_.emplace_back(key, rt::make<FKSignalHolderItem>(signal));
}

FKSignalRef FKSignalHolder::signalForKey(const rt::Value& key) const {
    for (const auto& [itemKey, item] : signalItems_)
        if (itemKey.isEqual(key)) return item->signal();
    return nullptr;
}

std::vector<FKSignalRef> FKSignalHolder::signals() const {
    std::vector<FKSignalRef> live;
    for (const auto& [key, item] : signalItems_)
        if (auto signal = item->signal()) live.push_back(std::move(signal));
    return live;
}

void FKSignalHolder::closeSignals() {
    // Closing may run code that stores further signals; walk a snapshot.
    auto items = signalItems_;
    for (const auto& [key, item] : items)
        if (auto signal = item->signal()) signal->close();
}

void FKSignalHolder::willDestroy() {
    closeSignals();
    rt::Object::willDestroy();
}

}  // namespace zid
