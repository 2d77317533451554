#include "Signal/Map/FKMapSignal.h"

#include <rt/Format.h>

namespace zid {

rt::Ref<FKMapSignal> FKMapSignal::signalWithSignal(const FKSignalRef& source, MapBlock map) {
    return following<FKMapSignal>(source, std::move(map));
}

void FKMapSignal::valueReceived(const rt::Value& value) {
    if (map_) setValue(map_(value));
}

std::string FKMapSignal::description() const {
    return FKProxySignal::description() + rt::format("sourceSignal:%@", sourceSignal());
}

}  // namespace zid
