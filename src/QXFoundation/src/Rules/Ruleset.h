#pragma once
// An ordered list of rules answering the first that matches an object in a context.
// The rule added last is tried first. Used from one thread at a time.

#include <vector>

#include "Rules/IRule.h"

namespace zid {

class Ruleset : public rt::Object {
    RT_CLASS(Ruleset, rt::Object)
public:
    Ruleset() = default;

    /// Puts the rule in front: it is tried first.
    void addRule(rt::Ref<IRule> rule);
    /// addRule() for each in order, so the last of the list ends up first.
    void addRules(const std::vector<rt::Ref<IRule>>& rules);
    /// Just before `before` (found by equality); at the end when it is nullptr or absent.
    void insertRule(rt::Ref<IRule> rule, const rt::Ref<IRule>& before);
    /// Removes every rule equal to the given one.
    void deleteRule(const rt::Ref<IRule>& rule);
    void deleteAllRules();

    /// The first rule, front to back, that matches; nullptr when none does.
    rt::Ref<IRule> ruleMatchingForObject(const rt::Value& object, const rt::Value& context) const;
    /// A snapshot of the rules in the order they are tried.
    std::vector<rt::Ref<IRule>> rules() const { return mRules_; }

    /// A ruleset of the receiver's class holding a copy of each rule, in the same order.
    virtual rt::Ref<Ruleset> copy() const;
    std::string description() const override;

private:
    std::vector<rt::Ref<IRule>> mRules_;
};

}  // namespace zid
