#pragma once
// A rule that also makes the result for the object it matches.

#include "Rules/IRule.h"

namespace zid {

class RuleBasedFactory;

class IFactoryRule : public IRule {
    RT_CLASS(IFactoryRule, IRule)
public:
    virtual rt::Value objectForObject(const rt::Value& object, const rt::Value& context) = 0;
    /// The factory holding the rule (held weakly).
    virtual rt::Ref<RuleBasedFactory> factory() const = 0;
    virtual void setFactory(const rt::Ref<RuleBasedFactory>& factory) = 0;
};

}  // namespace zid
