#pragma once
// The base of factory rules: a condition on the object and one on the context (either
// may be missing, matching everything); subclasses make the result.

#include <string>

#include "Factory/IFactoryRule.h"
#include "Rules/IRuleCondition.h"

namespace zid {

class AbstractFactoryRule : public IFactoryRule {
    RT_CLASS(AbstractFactoryRule, IFactoryRule)
public:
    AbstractFactoryRule() = default;
    /// Both conditions are copied.
    AbstractFactoryRule(const rt::Ref<IRuleCondition>& condition, const rt::Ref<IRuleCondition>& contextCondition)
        : condition_(copyCondition(condition)), contextCondition_(copyCondition(contextCondition)) {}

    /// A rule of class T (this class by default) for the conditions.
    template <class T = AbstractFactoryRule>
    static rt::Ref<T> ruleForCondition(const rt::Ref<IRuleCondition>& condition,
                                       const rt::Ref<IRuleCondition>& contextCondition = nullptr) {
        auto rule = rt::make<T>();
        rule->setCondition(condition);
        rule->setContextCondition(contextCondition);
        return rule;
    }

    const rt::Ref<IRuleCondition>& condition() const { return condition_; }
    void setCondition(const rt::Ref<IRuleCondition>& condition) { condition_ = copyCondition(condition); }
    const rt::Ref<IRuleCondition>& contextCondition() const { return contextCondition_; }
    void setContextCondition(const rt::Ref<IRuleCondition>& condition) { contextCondition_ = copyCondition(condition); }
    rt::Ref<RuleBasedFactory> factory() const override { return factory_.lock(); }
    void setFactory(const rt::Ref<RuleBasedFactory>& factory) override { factory_ = factory; }

    /// The context condition first (the object's is not asked when it fails), then the
    /// object condition; missing conditions match.
    bool matchesForObject(const rt::Value& object, const rt::Value& context) const override;
    /// A subclass makes the result; the base raises the internal-inconsistency exception.
    rt::Value objectForObject(const rt::Value& object, const rt::Value& context) override;
    /// A rule of the receiver's class with copies of both conditions, in no factory.
    rt::Ref<IRule> copy() const override;
    /// "<...> condition if context contextCondition", or "<...> condition ".
    std::string description() const override;

private:
    rt::Ref<IRuleCondition> condition_;
    rt::Ref<IRuleCondition> contextCondition_;
    rt::Weak<RuleBasedFactory> factory_;
};

}  // namespace zid
