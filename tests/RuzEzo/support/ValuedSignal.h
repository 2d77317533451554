#pragma once
// A signal that already holds a value: the starting point of most operator tests.

#include <RuzEzo/Signal/FKSignal.h>
#include <rt/Value.h>

namespace zidtest {

inline zid::FKSignalRef valued(const rt::Value& v) {
    auto s = rt::make<zid::FKSignal>();
    s->setValue(v);
    return s;
}

}  // namespace zidtest
