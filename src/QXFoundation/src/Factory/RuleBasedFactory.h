#pragma once
// Makes an object for an object in a context with the first factory rule that matches
// (the rule added last is tried first). Every rule added through the factory names it
// as its factory; a rule removed through it names none.

#include <vector>

#include "Factory/IFactoryRule.h"
#include "Rules/Ruleset.h"

namespace zid {

class RuleBasedFactory : public rt::Object {
    RT_CLASS(RuleBasedFactory, rt::Object)
public:
    RuleBasedFactory();

    const rt::Ref<Ruleset>& ruleset() const { return ruleset_; }

    /// The matching rule's result; nil when no rule matches.
    rt::Value createObjectFor(const rt::Value& object, const rt::Value& context);
    /// The rule that would be used; nullptr when none matches.
    rt::Ref<IFactoryRule> ruleForObject(const rt::Value& object, const rt::Value& context) const;

    void addRule(const rt::Ref<IFactoryRule>& rule);
    void addRules(const std::vector<rt::Ref<IFactoryRule>>& rules);
    void insertRule(const rt::Ref<IFactoryRule>& rule, const rt::Ref<IFactoryRule>& before);
    void deleteRule(const rt::Ref<IFactoryRule>& rule);
    void deleteAllRules();

    /// A factory of the receiver's class with a copy of every rule, each naming the copy
    /// as its factory.
    virtual rt::Ref<RuleBasedFactory> copy() const;

private:
    rt::Ref<Ruleset> ruleset_;
};

}  // namespace zid
