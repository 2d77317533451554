#pragma once
// A predicate on one candidate value. A missing condition (nullptr) is the "any"
// condition: it matches everything, wherever it is read.

#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

class IRuleCondition : public rt::Object {
    RT_CLASS(IRuleCondition, rt::Object)
public:
    virtual bool matchesFor(const rt::Value& candidate) const = 0;
    virtual rt::Ref<IRuleCondition> copy() const = 0;
};

/// Whether a condition matches, reading a missing condition as "any".
inline bool conditionMatches(const rt::Ref<IRuleCondition>& condition, const rt::Value& candidate) {
    return !condition || condition->matchesFor(candidate);
}

/// A copy of a condition; the "any" condition stays missing.
inline rt::Ref<IRuleCondition> copyCondition(const rt::Ref<IRuleCondition>& condition) {
    return condition ? condition->copy() : nullptr;
}

}  // namespace zid
