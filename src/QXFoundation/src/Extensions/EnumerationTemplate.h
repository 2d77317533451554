#pragma once
// toArray: everything a range yields, in order, as an array value.

#include <rt/Value.h>

namespace zid {

template <class Range> rt::Value::Array toArray(const Range& range) {
    rt::Value::Array out;
    for (const auto& element : range) out.push_back(rt::Value(element));
    return out;
}

}  // namespace zid
