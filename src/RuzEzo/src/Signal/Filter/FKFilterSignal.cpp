#include "Signal/Filter/FKFilterSignal.h"

namespace zid {

rt::Ref<FKFilterSignal> FKFilterSignal::signalWithSignal(const FKSignalRef& source, FilterBlock filter) {
    return following<FKFilterSignal>(source, std::move(filter));
}

void FKFilterSignal::valueReceived(const rt::Value& value) {
    if (filter_ && filter_(value)) setValue(value);
}

}  // namespace zid
