#include "Signal/Skip/FKSkippableProxySignal.h"

namespace zid {

rt::Ref<FKSkippableProxySignal> FKSkippableProxySignal::signalWithSignal(const FKSignalRef& source,
                                                                         unsigned long long skip) {
    return following<FKSkippableProxySignal>(source, skip);
}

void FKSkippableProxySignal::valueReceived(const rt::Value& value) {
    if (skipCount_ > 0) {
        --skipCount_;
        return;
    }
    setValue(value);
}

}  // namespace zid
