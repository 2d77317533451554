#include "Signal/Filter/FKFilterSignal.h"

namespace zid {

rt::Ref<FKFilterSignal> FKFilterSignal::signalWithSignal(const FKSignalRef& source, FilterBlock filter) {
    auto signal = rt::make<FKFilterSignal>(std::move(filter));
    signal->setSourceSignal(source);
    return signal;
}

void FKFilterSignal::valueReceived(const rt::Value& value) {
    if (filter_ && filter_(value)) setValue(value);
}

}  // namespace zid
