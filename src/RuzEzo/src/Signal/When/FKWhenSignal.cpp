#include "Signal/When/FKWhenSignal.h"

#include <utility>

namespace zid {

rt::Ref<FKWhenSignal> FKWhenSignal::signalWithConditionalSignal(const FKSignalRef& condition,
                                                                const FKSignalRef& trueSignal,
                                                                const FKSignalRef& falseSignal) {
    auto signal = rt::make<FKWhenSignal>();
    signal->setConditionalSignal(condition);
    signal->setTrueSignal(trueSignal);
    signal->setFalseSignal(falseSignal);
    signal->resetValue();
    return signal;
}

void FKWhenSignal::follow(FKSignalRef& slot, rt::Ref<AutoDisposable>& handlerSlot, FKSignalRef signal) {
    auto keepAlive = selfSignal();
    // The previous signal is let go only after its subscription has ended: one that
    // only this signal held would otherwise close on its way out and, still followed,
    // close this signal with it.
    FKSignalRef previousSignal = std::exchange(slot, std::move(signal));
    rt::Ref<AutoDisposable> previous = std::move(handlerSlot);
    handlerSlot = rt::make<AutoDisposable>();
    if (slot) {
        rt::Weak<FKWhenSignal> weakSelf = std::static_pointer_cast<FKWhenSignal>(keepAlive);
        FKSignalRef source = slot;
        rt::Ref<AutoDisposable> wrapper = handlerSlot;
        wrapper->setDisposable(source->addValueHandler(
            [weakSelf](const rt::Value&) {
                if (auto self = weakSelf.lock()) self->resetValue();
            },
            [weakSelf] {
                if (auto self = weakSelf.lock()) self->onClose();
            }));
    }
    previous.reset();  // ends the previous subscription
    previousSignal.reset();
}

void FKWhenSignal::setConditionalSignal(FKSignalRef signal) {
    follow(conditionalSignal_, conditionalSignalHandler_, std::move(signal));
}
void FKWhenSignal::setTrueSignal(FKSignalRef signal) { follow(trueSignal_, trueSignalHandler_, std::move(signal)); }
void FKWhenSignal::setFalseSignal(FKSignalRef signal) { follow(falseSignal_, falseSignalHandler_, std::move(signal)); }

bool FKWhenSignal::conditionValue(const rt::Value& value) {
    switch (value.type()) {
        case rt::Value::Type::Nil:
        case rt::Value::Type::Null: return false;
        case rt::Value::Type::Number:
        case rt::Value::Type::String: return value.boolValue();
        default: return true;
    }
}

void FKWhenSignal::resetValue() {
    bool condition = conditionalSignal_ && conditionValue(conditionalSignal_->lastValue());
    const FKSignalRef& chosen = condition ? trueSignal_ : falseSignal_;
    setValue(chosen ? chosen->lastValue() : rt::Value());
}

void FKWhenSignal::onValue(const rt::Value&) { resetValue(); }

void FKWhenSignal::onClose() {
    auto keepAlive = selfSignal();
    setConditionalSignal(nullptr);
    setTrueSignal(nullptr);
    setFalseSignal(nullptr);
    close();
}

bool FKWhenSignal::repetitive() const {
    return (conditionalSignal_ && conditionalSignal_->repetitive()) || (trueSignal_ && trueSignal_->repetitive()) ||
           (falseSignal_ && falseSignal_->repetitive());
}

}  // namespace zid
