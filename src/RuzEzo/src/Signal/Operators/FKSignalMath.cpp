// Math operators: double numbers of the standard function applied to the value read
// as a double (nil gives 0).

#include <cmath>

#include <RuzEzo/Signal/FKSignal.h>

namespace zid {

#define ZID_SIGNAL_MATH(name)                                                                                  \
    FKSignalRef FKSignal::name() {                                                                             \
        return mapWith([](const rt::Value& v) { return rt::Value(rt::Number::ofDouble(std::name(v.doubleValue()))); }); \
    }

ZID_SIGNAL_MATH(acos)
ZID_SIGNAL_MATH(asin)
ZID_SIGNAL_MATH(atan)
ZID_SIGNAL_MATH(ceil)
ZID_SIGNAL_MATH(cos)
ZID_SIGNAL_MATH(exp)
ZID_SIGNAL_MATH(fabs)
ZID_SIGNAL_MATH(floor)
ZID_SIGNAL_MATH(log)
ZID_SIGNAL_MATH(log10)
ZID_SIGNAL_MATH(log2)
ZID_SIGNAL_MATH(nearbyint)
ZID_SIGNAL_MATH(round)
ZID_SIGNAL_MATH(sin)
ZID_SIGNAL_MATH(sqrt)
ZID_SIGNAL_MATH(tan)
ZID_SIGNAL_MATH(trunc)

#undef ZID_SIGNAL_MATH

}  // namespace zid
