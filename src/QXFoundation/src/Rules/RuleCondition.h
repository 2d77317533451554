#pragma once
// The factory of all conditions, and the abstract base for conditions of one's own.
// A missing condition (any()) matches everything, also inside the combinators.

#include <functional>
#include <optional>
#include <string>

#include "Rules/IRuleCondition.h"

namespace zid {

class RuleCondition : public IRuleCondition {
    RT_CLASS(RuleCondition, IRuleCondition)
public:
    using Function = std::function<bool(const rt::Value&)>;
    using Map = std::function<rt::Value(const rt::Value&)>;

    /// The "any" condition: nullptr.
    static rt::Ref<IRuleCondition> any() { return nullptr; }
    /// The candidate is an object of the class or a subclass.
    static rt::Ref<IRuleCondition> conditionWithClass(const rt::Class& cls);
    /// The candidate is an object conforming to the protocol.
    static rt::Ref<IRuleCondition> conditionWithProtocol(std::string protocol);
    /// Both.
    static rt::Ref<IRuleCondition> conditionWithClass(const rt::Class& cls, std::string protocol);
    /// The candidate is equal to the object (never for a nil candidate).
    static rt::Ref<IRuleCondition> conditionWithObject(rt::Value object);
    /// f(m(candidate)).
    static rt::Ref<IRuleCondition> conditionWithMapFunction(Map map, Function function);
    /// The condition matches m(candidate).
    static rt::Ref<IRuleCondition> conditionWithMapCondition(Map map, rt::Ref<IRuleCondition> condition);
    /// The condition matches the candidate's value at the key path; a key path the
    /// candidate cannot answer (a runtime exception) gives the condition nil.
    static rt::Ref<IRuleCondition> conditionWithKeypath(std::string keyPath, rt::Ref<IRuleCondition> condition);
    /// The function decides.
    static rt::Ref<IRuleCondition> conditionWithFunction(Function function);
    /// The candidate is an object carrying the tag (never for nil).
    static rt::Ref<IRuleCondition> conditionWithTag(std::string tag);
    /// a, or else b (b is asked only when a does not match).
    static rt::Ref<IRuleCondition> orConditionWithCond0(rt::Ref<IRuleCondition> a, rt::Ref<IRuleCondition> b);
    /// a and then b (b is not asked when a fails).
    static rt::Ref<IRuleCondition> andConditionWithCond0(rt::Ref<IRuleCondition> a, rt::Ref<IRuleCondition> b);
    /// Not a.
    static rt::Ref<IRuleCondition> notConditionWithCond(rt::Ref<IRuleCondition> a);

    /// A subclass supplies these; the base raises the internal-inconsistency exception.
    bool matchesFor(const rt::Value& candidate) const override;
    rt::Ref<IRuleCondition> copy() const override;

protected:
    /// Only subclasses are made.
    RuleCondition() = default;
};

/// Whether an object carries a tag (the tags kept on it under "__tags").
bool objectHasTag(const rt::Value& candidate, const std::string& tag);

}  // namespace zid
