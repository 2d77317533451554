#pragma once
// Runs a block with a kept argument as soon as the block is assigned.

#include <functional>

#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

class FCaller : public rt::Object {
    RT_CLASS(FCaller, rt::Object)
public:
    using Func = std::function<void(const rt::Value&)>;
    FCaller() = default;
    explicit FCaller(rt::Value arg) : arg_(std::move(arg)) {}

    /// Stores the block and, when it is set, calls it at once with the kept argument.
    void setFunc(Func func);
    const Func& func() const { return func_; }
    const rt::Value& arg() const { return arg_; }
    void setArg(rt::Value arg) { arg_ = std::move(arg); }

private:
    Func func_;
    rt::Value arg_;
};

}  // namespace zid
