// The extended operators and the two shapes every operator is built from: a map of
// the receiver, or a map of the two-element array of a multi signal.

#include <cmath>
#include <limits>

#include <QXFoundation/Extensions/NilHandling.h>
#include <RuzEzo/Signal/FKSignal.h>
#include "Signal/Filter/FKFilterSignal.h"
#include "Signal/Map/FKMapSignal.h"
#include <RuzEzo/Signal/Multi/FKMultiSignal.h>
#include "Signal/Operators/FKTextCase.h"
#include "Signal/Skip/FKSkippableProxySignal.h"
#include <rt/Exception.h>
#include <rt/Format.h>

namespace zid {

namespace {

// Values that are not text are mapped through their description.
rt::Value mapText(const rt::Value& v, std::string (*transform)(const std::string&)) {
    if (v.isNil()) return rt::Value();
    return rt::Value(transform(v.isString() ? v.string() : v.description()));
}

// Integers and text by their integer reading, everything else by its double reading;
// out-of-range values stop at the ends of the int range.
int intOf(const rt::Value& v) {
    constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
    if ((v.isNumber() && !v.number()->isFloatingPoint()) || v.isString()) {
        if (v.isNumber() && v.number()->isUnsigned() && v.number()->unsignedLongLongValue() > static_cast<unsigned long long>(kMax))
            return kMax;
        long long n = v.longLongValue();
        return n > kMax ? kMax : (n < kMin ? kMin : static_cast<int>(n));
    }
    double d = v.doubleValue();
    if (std::isnan(d)) return 0;
    if (d >= static_cast<double>(kMax)) return kMax;
    if (d <= static_cast<double>(kMin)) return kMin;
    return static_cast<int>(d);
}

// The two-operand shape: a map of the multi signal [first, second], each element
// turned back from the null placeholder into nil before the block reads it.
FKSignalRef combine(const FKSignalRef& first, const FKSignalRef& second,
                    std::function<rt::Value(const rt::Value&, const rt::Value&)> block) {
    auto pair = FKMultiSignal::signalWithSignals({first, second});
    return FKMapSignal::signalWithSignal(pair, [block = std::move(block)](const rt::Value& v) {
        const rt::Value::Array& items = v.array();
        rt::Value a = items.size() > 0 ? nilify(items[0]) : rt::Value();
        rt::Value b = items.size() > 1 ? nilify(items[1]) : rt::Value();
        return block(a, b);
    });
}

}  // namespace

FKSignalRef FKSignal::mapWith(std::function<rt::Value(const rt::Value&)> block) {
    return FKMapSignal::signalWithSignal(selfSignal(), std::move(block));
}

FKSignalRef FKSignal::combineWith(const FKSignalRef& other,
                                  std::function<rt::Value(const rt::Value&, const rt::Value&)> block) {
    return combine(selfSignal(), other, std::move(block));
}

FKSignalRef FKSignal::map(std::function<rt::Value(const rt::Value&)> block) { return mapWith(std::move(block)); }

FKSignalRef FKSignal::filter(std::function<bool(const rt::Value&)> block) {
    return FKFilterSignal::signalWithSignal(selfSignal(), std::move(block));
}

FKSignalRef FKSignal::ignore(const rt::Value& value) {
    return filter([value](const rt::Value& v) { return !(v.isIdentical(value) || v.isEqual(value)); });
}

FKSignalRef FKSignal::skip(unsigned long long count) {
    return FKSkippableProxySignal::signalWithSignal(selfSignal(), count);
}

FKSignalRef FKSignal::skipFirst() { return skip(1); }

FKSignalRef FKSignal::toStr() {
    return mapWith([](const rt::Value& v) { return v.isNil() ? rt::Value() : rt::Value(v.description()); });
}

FKSignalRef FKSignal::toInt() {
    return mapWith([](const rt::Value& v) { return rt::Value(rt::Number::ofInt(intOf(v))); });
}

FKSignalRef FKSignal::toFloat() {
    return mapWith([](const rt::Value& v) { return rt::Value(rt::Number::ofFloat(static_cast<float>(v.doubleValue()))); });
}

FKSignalRef FKSignal::toDouble() {
    return mapWith([](const rt::Value& v) { return rt::Value(rt::Number::ofDouble(v.doubleValue())); });
}

FKSignalRef FKSignal::toUcase() {
    return mapWith([](const rt::Value& v) { return mapText(v, &textcase::uppercase); });
}

FKSignalRef FKSignal::toLcase() {
    return mapWith([](const rt::Value& v) { return mapText(v, &textcase::lowercase); });
}

FKSignalRef FKSignal::toCapitalized() {
    return mapWith([](const rt::Value& v) { return mapText(v, &textcase::capitalized); });
}

FKSignalRef FKSignal::text() {
    return mapWith([](const rt::Value& v) -> rt::Value {
        // Views, fields and labels answer "text"; anything else has none.
        auto object = v.object();
        if (!object) return rt::Value();
        try {
            return object->valueForKey("text");
        } catch (const rt::Exception&) {
            return rt::Value();
        }
    });
}

FKSignalRef FKSignal::withPrefix(const FKSignalRef& prefix) {
    // The prefix signal is the first element of the pair.
    return combine(prefix, selfSignal(),
                   [](const rt::Value& p, const rt::Value& v) { return rt::Value(rt::format("%@%@", p, v)); });
}

FKSignalRef FKSignal::withSuffix(const FKSignalRef& suffix) {
    return combineWith(suffix, [](const rt::Value& a, const rt::Value& b) { return rt::Value(rt::format("%@%@", a, b)); });
}

}  // namespace zid
