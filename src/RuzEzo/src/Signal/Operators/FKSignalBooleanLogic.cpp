// Boolean operators. Truth here: nil is NO, a number its own truth, any other value
// (every string, even "0" or "") YES.

#include <RuzEzo/Signal/FKSignal.h>

namespace zid {

namespace {
rt::Value intNumber(bool b) { return rt::Value(rt::Number::ofInt(b ? 1 : 0)); }
rt::Value boolNumber(bool b) { return rt::Value(rt::Number::ofBool(b)); }
}  // namespace

bool FKSignal::boolValueFor(const rt::Value& value) {
    if (value.isNil()) return false;
    if (value.isNumber()) return value.boolValue();
    return true;
}

FKSignalRef FKSignal::not_() {
    return mapWith([](const rt::Value& v) { return intNumber(!boolValueFor(v)); });
}

FKSignalRef FKSignal::or_(const FKSignalRef& other) {
    return combineWith(other,
                       [](const rt::Value& a, const rt::Value& b) { return intNumber(boolValueFor(a) || boolValueFor(b)); });
}

FKSignalRef FKSignal::and_(const FKSignalRef& other) {
    return combineWith(other,
                       [](const rt::Value& a, const rt::Value& b) { return intNumber(boolValueFor(a) && boolValueFor(b)); });
}

FKSignalRef FKSignal::xor_(const FKSignalRef& other) {
    return combineWith(other,
                       [](const rt::Value& a, const rt::Value& b) { return intNumber(boolValueFor(a) != boolValueFor(b)); });
}

FKSignalRef FKSignal::equ(const FKSignalRef& other) {
    return combineWith(other, [](const rt::Value& a, const rt::Value& b) {
        // A nil left side equals nothing, not even nil.
        return boolNumber(!a.isNil() && a.isEqual(b));
    });
}

FKSignalRef FKSignal::nequ(const FKSignalRef& other) { return equ(other)->not_(); }

FKSignalRef FKSignal::gt(const FKSignalRef& other) {
    return combineWith(other,
                       [](const rt::Value& a, const rt::Value& b) { return intNumber(a.doubleValue() > b.doubleValue()); });
}

FKSignalRef FKSignal::lt(const FKSignalRef& other) {
    return combineWith(other,
                       [](const rt::Value& a, const rt::Value& b) { return intNumber(a.doubleValue() < b.doubleValue()); });
}

FKSignalRef FKSignal::toBool() {
    return mapWith([](const rt::Value& v) { return boolNumber(boolValueFor(v)); });
}

}  // namespace zid
