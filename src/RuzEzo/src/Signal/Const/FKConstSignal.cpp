#include <RuzEzo/Signal/Const/FKConstSignal.h>

namespace zid {

FKConstSignal::FKConstSignal(rt::Value value) { setValue(std::move(value)); }

rt::Ref<FKConstSignal> FKConstSignal::signalWithValue(rt::Value value) {
    return rt::make<FKConstSignal>(std::move(value));
}

void FKConstSignal::fire() {
    // setValue() with the same value would be dropped as a repeat; a caller that
    // fires wants the handlers to see the value again.
    rt::Value value = lastValue();
    callOnValueHandlers(value);
}

rt::Ref<FKConstSignal> toConstSignal(rt::Value value) { return FKConstSignal::signalWithValue(std::move(value)); }

}  // namespace zid
