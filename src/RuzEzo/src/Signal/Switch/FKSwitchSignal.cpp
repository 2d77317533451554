#include "Signal/Switch/FKSwitchSignal.h"

#include "Signal/WeakHandlers.h"

namespace zid {

rt::Ref<FKSwitchSignal> FKSwitchSignal::signalWithCondition(const FKSignalRef& condition, const rt::Dictionary& cases) {
    auto signal = rt::make<FKSwitchSignal>();
    signal->setCases(cases);
    signal->setCondition(condition);
    signal->resetValue();
    return signal;
}

void FKSwitchSignal::subscribe(const FKSignalRef& source) {
    if (!source) return;
    handlers_.push_back(AutoDisposable::disposableWithDisposable(addWeakHandlers(
        source, std::static_pointer_cast<FKSwitchSignal>(selfSignal()), &FKSwitchSignal::onValue, &FKSwitchSignal::onClose)));
}

void FKSwitchSignal::setCases(rt::Dictionary cases) {
    auto keepAlive = selfSignal();
    cases_ = std::move(cases);
    const rt::Dictionary snapshot = cases_;
    for (const auto& [key, value] : snapshot.entries()) subscribe(value.as<FKSignal>());
}

void FKSwitchSignal::setCondition(FKSignalRef condition) {
    auto keepAlive = selfSignal();
    condition_ = std::move(condition);
    FKSignalRef source = condition_;
    subscribe(source);
}

void FKSwitchSignal::resetValue() {
    rt::Value c = condition_ ? condition_->lastValue() : rt::Value();
    if (!c.isNil()) {
        for (const auto& [key, value] : cases_.entries()) {
            if (key.isEqual(c)) {
                auto chosen = value.as<FKSignal>();
                setValue(chosen ? chosen->lastValue() : rt::Value());
                return;
            }
        }
    }
    setValue(rt::Value());
}

void FKSwitchSignal::onValue(const rt::Value&) { resetValue(); }

void FKSwitchSignal::onClose() { close(); }

bool FKSwitchSignal::repetitive() const {
    for (const auto& [key, value] : cases_.entries()) {
        auto signal = value.as<FKSignal>();
        if (signal && signal->repetitive()) return true;
    }
    return false;
}

}  // namespace zid
