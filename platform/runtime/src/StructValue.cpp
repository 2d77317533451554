#include <rt/StructValue.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace rt {

namespace {
// An integer of the given kind from a double, rounded to nearest and saturated.
Number integerOfKind(Number::Kind kind, double v) {
    Number rounded = Number::ofDouble(std::nearbyint(v));
    long long s = rounded.longLongValue();
    unsigned long long u = rounded.unsignedLongLongValue();
    switch (kind) {
        case Number::Kind::Char: return Number::ofChar(static_cast<signed char>(std::clamp<long long>(s, -128, 127)));
        case Number::Kind::Short: return Number::ofShort(static_cast<short>(std::clamp<long long>(s, -32768, 32767)));
        case Number::Kind::Int:
            return Number::ofInt(static_cast<int>(std::clamp<long long>(s, std::numeric_limits<int>::min(), std::numeric_limits<int>::max())));
        case Number::Kind::UChar: return Number::ofUChar(static_cast<unsigned char>(std::min<unsigned long long>(u, 255)));
        case Number::Kind::UShort: return Number::ofUShort(static_cast<unsigned short>(std::min<unsigned long long>(u, 65535)));
        case Number::Kind::UInt:
            return Number::ofUInt(static_cast<unsigned>(std::min<unsigned long long>(u, std::numeric_limits<unsigned>::max())));
        case Number::Kind::ULongLong: return Number::ofULongLong(u);
        default: return Number::ofLongLong(s);
    }
}
}  // namespace

Value interpolate(const Value& from, const Value& to, double progress) {
    if (from.isNumber() && to.isNumber()) {
        const Number& a = *from.number();
        const Number& b = *to.number();
        if (a.kind() != Number::Kind::Bool && b.kind() != Number::Kind::Bool) {
            double v = a.doubleValue() + (b.doubleValue() - a.doubleValue()) * progress;
            if (a.isFloatingPoint() || b.isFloatingPoint() || a.kind() != b.kind())
                return a.kind() == Number::Kind::Float && b.kind() == Number::Kind::Float ? Value(Number::ofFloat(static_cast<float>(v)))
                                                                                            : Value(Number::ofDouble(v));
            return Value(integerOfKind(a.kind(), v));
        }
    } else if (from.isDate() && to.isDate()) {
        return Value(Interpolation<Date>::interpolate(from.date(), to.date(), progress));
    } else if (from.isStruct() && from.structTypeId() == to.structTypeId()) {
        const StructType& kind = detail::structType(from.structTypeId());
        if (kind.interpolate) {
            alignas(8) unsigned char out[Value::InlineStructBytes];
            kind.interpolate(from.structBytes(), to.structBytes(), progress, out);
            return Value::ofStruct(from.structTypeId(), out, kind.size);
        }
    }
    return progress >= 1 ? to : from;
}

}  // namespace rt
