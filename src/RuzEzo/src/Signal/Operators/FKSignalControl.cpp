#include <RuzEzo/Signal/FKSignal.h>
#include "Signal/Switch/FKSwitchSignal.h"
#include "Signal/When/FKWhenSignal.h"

namespace zid {

FKSignalRef FKSignal::if_(const FKSignalRef& condition, const FKSignalRef& elseSignal) {
    return FKWhenSignal::signalWithConditionalSignal(condition, selfSignal(), elseSignal);
}

FKSignalRef FKSignal::switch_(const rt::Dictionary& cases) { return FKSwitchSignal::signalWithCondition(selfSignal(), cases); }

}  // namespace zid
