#include "Lists/SignalWrapperList.h"

#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>

namespace zid {

SignalWrapperList::SignalWrapperList(FKSignalRef signal) : signal_(std::move(signal)) {}

rt::Ref<SignalWrapperList> SignalWrapperList::listWithSignal(FKSignalRef signal) {
    return rt::make<SignalWrapperList>(std::move(signal));
}

void SignalWrapperList::didInitialize() {
    ArrayList::didInitialize();
    auto signal = std::move(signal_);
    if (!signal) return;
    rt::Weak<SignalWrapperList> weakSelf = std::static_pointer_cast<SignalWrapperList>(self());
    onSignal(signal, deallocSignal(*this), [weakSelf](const rt::Value& value) {
        if (auto list = weakSelf.lock()) list->updateWithValue(value);
    });
}

void SignalWrapperList::updateWithValue(const rt::Value& value) {
    beginUpdates();
    removeAllObjects();
    if (!value.isNil()) addObject(value);
    endUpdates();
}

}  // namespace zid
