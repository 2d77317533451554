#pragma once
// A signal made with one value (nil included): every handler added later receives it.

#include <RuzEzo/Signal/FKSignal.h>

namespace zid {

class FKConstSignal : public FKSignal {
    RT_CLASS(FKConstSignal, FKSignal)
public:
    explicit FKConstSignal(rt::Value value = rt::Value());
    static rt::Ref<FKConstSignal> signalWithValue(rt::Value value);

    /// Hands the value to every value handler again.
    void fire();
};

/// A constant signal holding the value.
rt::Ref<FKConstSignal> toConstSignal(rt::Value value);

}  // namespace zid
