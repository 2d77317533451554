#include "Signal/Proxy/FKProxySignal.h"

#include "Signal/WeakHandlers.h"

namespace zid {

rt::Ref<FKProxySignal> FKProxySignal::signalWithSignal(const FKSignalRef& source) {
    return following<FKProxySignal>(source);
}

void FKProxySignal::setSourceSignal(FKSignalRef source) {
    auto keepAlive = selfSignal();
    if (auto previous = signalHandler_.exchange(nullptr)) previous->dispose();
    sourceSignal_ = std::move(source);
    if (!sourceSignal_) return;
    // Hold the source locally: the replay inside the subscription may replace it.
    FKSignalRef source_ = sourceSignal_;
    auto subscription = addWeakHandlers(source_, std::static_pointer_cast<FKProxySignal>(keepAlive),
                                        &FKProxySignal::valueReceived, &FKProxySignal::sourceClosed);
    // A value handler that re-pointed the proxy during the replay has made this
    // subscription stale (and may have stored its own): end it instead of keeping it.
    std::shared_ptr<IDisposable> empty;
    if (sourceSignal_ != source_ || !signalHandler_.compare_exchange_strong(empty, subscription))
        subscription->dispose();
}

void FKProxySignal::valueReceived(const rt::Value& value) { setValue(value); }

bool FKProxySignal::repetitive() const { return sourceSignal_ ? sourceSignal_->repetitive() : false; }

void FKProxySignal::sourceClosed() {
    setSourceSignal(nullptr);
    close();
}

void FKProxySignal::willDestroy() {
    if (auto handler = signalHandler_.exchange(nullptr)) handler->dispose();
    FKSignal::willDestroy();
}

}  // namespace zid
