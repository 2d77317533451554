#pragma once
// A factory rule whose result is a new instance of a fixed class.

#include "Factory/AbstractFactoryRule.h"

namespace zid {

class TypeFactoryRule : public AbstractFactoryRule {
    RT_CLASS(TypeFactoryRule, AbstractFactoryRule)
public:
    TypeFactoryRule() = default;
    TypeFactoryRule(const rt::Class* resultClass, const rt::Ref<IRuleCondition>& condition,
                    const rt::Ref<IRuleCondition>& contextCondition)
        : AbstractFactoryRule(condition, contextCondition), resultClass_(resultClass) {}

    static rt::Ref<TypeFactoryRule> ruleWithResultClass(const rt::Class& resultClass,
                                                        const rt::Ref<IRuleCondition>& condition = nullptr,
                                                        const rt::Ref<IRuleCondition>& contextCondition = nullptr) {
        return rt::make<TypeFactoryRule>(&resultClass, condition, contextCondition);
    }

    const rt::Class* resultClass() const { return resultClass_; }
    void setResultClass(const rt::Class* cls) { resultClass_ = cls; }

    /// A new instance of the result class (the object and context are not consulted);
    /// nil without a result class or when the class cannot be made without arguments.
    rt::Value objectForObject(const rt::Value& object, const rt::Value& context) override;
    rt::Ref<IRule> copy() const override;
    /// The base description followed by " => <class name>".
    std::string description() const override;

private:
    const rt::Class* resultClass_ = nullptr;
};

}  // namespace zid
