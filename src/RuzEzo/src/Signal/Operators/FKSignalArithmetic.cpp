// Arithmetic operators: operands read as doubles (nil, and values without a numeric
// reading, as 0; a date as its seconds since 1970; text by its leading number).

#include <cmath>

#include <RuzEzo/Signal/FKSignal.h>

namespace zid {

FKSignalRef FKSignal::neg() {
    return mapWith([](const rt::Value& v) { return rt::Value(rt::Number::ofFloat(-static_cast<float>(v.doubleValue()))); });
}

FKSignalRef FKSignal::add(const FKSignalRef& other) {
    return combineWith(other, [](const rt::Value& a, const rt::Value& b) {
        return rt::Value(rt::Number::ofDouble(a.doubleValue() + b.doubleValue()));
    });
}

FKSignalRef FKSignal::sub(const FKSignalRef& other) {
    return combineWith(other, [](const rt::Value& a, const rt::Value& b) {
        return rt::Value(rt::Number::ofDouble(a.doubleValue() - b.doubleValue()));
    });
}

FKSignalRef FKSignal::mul(const FKSignalRef& other) {
    return combineWith(other, [](const rt::Value& a, const rt::Value& b) {
        return rt::Value(rt::Number::ofDouble(a.doubleValue() * b.doubleValue()));
    });
}

FKSignalRef FKSignal::div(const FKSignalRef& other) {
    return combineWith(other, [](const rt::Value& a, const rt::Value& b) {
        return rt::Value(rt::Number::ofDouble(a.doubleValue() / b.doubleValue()));
    });
}

FKSignalRef FKSignal::max(const FKSignalRef& other) {
    return combineWith(other, [](const rt::Value& a, const rt::Value& b) {
        return rt::Value(rt::Number::ofDouble(std::fmax(a.doubleValue(), b.doubleValue())));
    });
}

FKSignalRef FKSignal::min(const FKSignalRef& other) {
    return combineWith(other, [](const rt::Value& a, const rt::Value& b) {
        return rt::Value(rt::Number::ofDouble(std::fmin(a.doubleValue(), b.doubleValue())));
    });
}

}  // namespace zid
