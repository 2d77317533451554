#include <RuzEzo/Binding/FKBinding.h>

#include <RuzEzo/Binding/FKBindingCategory.h>
#include "Signal/WeakHandlers.h"

namespace zid {

rt::Ref<FKBinding> FKBinding::bindingWithTarget(const rt::Ref<rt::Object>& target) { return rt::make<FKBinding>(target); }

void FKBinding::setSignal(FKSignalRef signal) {
    auto keepAlive = self();
    if (auto handler = std::move(signalHandler_)) handler->dispose();
    signal_ = std::move(signal);
    if (!signal_) return;
    FKSignalRef source = signal_;
    auto subscription = addWeakHandlers(source, std::static_pointer_cast<FKBinding>(keepAlive), &FKBinding::onValue,
                                        &FKBinding::onClose);
    if (signal_ == source) {
        signalHandler_ = AutoDisposable::disposableWithDisposable(std::move(subscription));
    } else {
        subscription->dispose();  // the binding was re-pointed or ended during the replay
    }
}

void FKBinding::onValue(const rt::Value&) {}

void FKBinding::onClose() {
    auto keepAlive = self();
    setSignal(nullptr);
    if (auto owner = target()) fk_unbind(*owner, std::static_pointer_cast<FKBinding>(keepAlive));
}

void FKBinding::dispose() {
    auto keepAlive = self();
    if (auto handler = std::move(signalHandler_)) handler->dispose();
    setSignal(nullptr);
}

}  // namespace zid
