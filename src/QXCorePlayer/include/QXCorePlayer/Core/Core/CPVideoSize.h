#pragma once
// The size of a video picture (width and height, doubles), as key-value coding sees it:
// a dictionary {"width", "height"}.
#include <rt/Value.h>
#include <rt/ValueTraits.h>

namespace zid {

struct CPVideoSize {
    double width = 0;
    double height = 0;
    friend bool operator==(const CPVideoSize&, const CPVideoSize&) = default;
};

}  // namespace zid

namespace rt {
template <>
struct ValueTraits<zid::CPVideoSize> {
    static Value toValue(const zid::CPVideoSize& v) {
        Dictionary d;
        d.set(Value("width"), Value(v.width));
        d.set(Value("height"), Value(v.height));
        return Value(d);
    }
    static zid::CPVideoSize fromValue(const Value& v) {
        if (!v.isDictionary()) return {};
        return {v.dictionary().get(Value("width")).doubleValue(), v.dictionary().get(Value("height")).doubleValue()};
    }
};
}  // namespace rt
