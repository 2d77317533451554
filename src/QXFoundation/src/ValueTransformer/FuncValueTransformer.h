#pragma once
// A value through a function.

#include <functional>

#include "ValueTransformer/ValueTransformer.h"
#include <rt/Exception.h>

namespace zid {

class FuncValueTransformer : public ValueTransformer {
    RT_CLASS(FuncValueTransformer, ValueTransformer)
public:
    using Function = std::function<rt::Value(const rt::Value&)>;

    /// The function is required: InvalidArgumentException without one.
    explicit FuncValueTransformer(Function func) : func_(std::move(func)) {
        if (!func_) throw rt::Exception(rt::Exception::InvalidArgument, "FuncValueTransformer needs a function");
    }

    const Function& func() const { return func_; }

    /// The function's result; the function is called for nil too.
    rt::Value transformedValue(const rt::Value& value) const override { return func_(value); }

private:
    Function func_;
};

}  // namespace zid
