#include <RuzEzo/Signal/Multi/FKMultiSignal.h>

#include <QXFoundation/Extensions/NilHandling.h>
#include <rt/Format.h>
#include "Signal/WeakHandlers.h"

namespace zid {

rt::Ref<FKMultiSignal> FKMultiSignal::signalWithSignals(std::vector<FKSignalRef> signals) {
    auto signal = rt::make<FKMultiSignal>();
    signal->setSignals(std::move(signals));
    return signal;
}

void FKMultiSignal::setSignals(std::vector<FKSignalRef> signals) {
    auto keepAlive = selfSignal();
    signals_ = std::move(signals);
    // Iterate over a copy: a replay may close this signal and drop the list.
    std::vector<FKSignalRef> sources = signals_;
    for (const FKSignalRef& source : sources) {
        if (!source) continue;
        auto subscription = addWeakHandlers(source, std::static_pointer_cast<FKMultiSignal>(keepAlive),
                                            &FKMultiSignal::onValue, &FKMultiSignal::onClose);
        handlers_.push_back(AutoDisposable::disposableWithDisposable(std::move(subscription)));
    }
    updateValue();
}

void FKMultiSignal::updateValue() {
    // After the close the sources are gone; a late value from one of them has nothing
    // meaningful to compute, so it is ignored.
    if (isClosed()) return;
    rt::Value::Array values;
    values.reserve(signals_.size());
    for (const FKSignalRef& source : signals_) values.push_back(nullify(source ? source->lastValue() : rt::Value()));
    setValue(rt::Value(std::move(values)));
}

void FKMultiSignal::onValue(const rt::Value&) { updateValue(); }

void FKMultiSignal::onClose() {
    auto keepAlive = selfSignal();
    // The list is emptied before any source goes: a source this signal held last is
    // freed by the release, closes on its way out and calls back here, and must find
    // nothing left to drop instead of a list half torn down. The sources are let go
    // after the close, when this signal's own close handlers have run.
    std::vector<FKSignalRef> dropped;
    dropped.swap(signals_);
    close();
}

bool FKMultiSignal::repetitive() const {
    for (const FKSignalRef& source : signals_)
        if (source && source->repetitive()) return true;
    return false;
}

std::string FKMultiSignal::description() const {
    rt::Value::Array sources;
    for (const FKSignalRef& source : signals_) sources.push_back(source ? rt::Value(source) : rt::Value::null());
    return FKSignal::description() + rt::format(" signals:%@", rt::Value(std::move(sources)));
}

}  // namespace zid
