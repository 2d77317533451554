#pragma once
// A condition decided by a function.

#include <functional>

#include "Rules/IRuleCondition.h"

namespace zid {

class BlockRuleCondition : public IRuleCondition {
    RT_CLASS(BlockRuleCondition, IRuleCondition)
public:
    using Function = std::function<bool(const rt::Value&)>;

    explicit BlockRuleCondition(Function function = nullptr) : function_(std::move(function)) {}
    static rt::Ref<BlockRuleCondition> conditionWithFunction(Function function) {
        return rt::make<BlockRuleCondition>(std::move(function));
    }

    const Function& function() const { return function_; }

    /// The function's answer; NO without a function.
    bool matchesFor(const rt::Value& candidate) const override { return function_ && function_(candidate); }
    /// A new condition holding the same function.
    rt::Ref<IRuleCondition> copy() const override { return rt::make<BlockRuleCondition>(function_); }

private:
    Function function_;
};

}  // namespace zid
