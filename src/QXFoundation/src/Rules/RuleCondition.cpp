#include "Rules/RuleCondition.h"

#include "Rules/BlockRuleCondition.h"
#include "Rules/TypeRuleCondition.h"
#include <rt/Exception.h>
#include <rt/KVO.h>

namespace zid {

rt::Ref<IRuleCondition> RuleCondition::conditionWithClass(const rt::Class& cls) {
    return TypeRuleCondition::conditionWithClass(&cls, std::nullopt);
}

rt::Ref<IRuleCondition> RuleCondition::conditionWithProtocol(std::string protocol) {
    return TypeRuleCondition::conditionWithClass(nullptr, std::move(protocol));
}

rt::Ref<IRuleCondition> RuleCondition::conditionWithClass(const rt::Class& cls, std::string protocol) {
    return TypeRuleCondition::conditionWithClass(&cls, std::move(protocol));
}

rt::Ref<IRuleCondition> RuleCondition::conditionWithObject(rt::Value object) {
    return conditionWithFunction(
        [object = std::move(object)](const rt::Value& x) { return !x.isNil() && x.isEqual(object); });
}

rt::Ref<IRuleCondition> RuleCondition::conditionWithMapFunction(Map map, Function function) {
    return conditionWithFunction([map = std::move(map), function = std::move(function)](const rt::Value& x) {
        return function(map(x));
    });
}

rt::Ref<IRuleCondition> RuleCondition::conditionWithMapCondition(Map map, rt::Ref<IRuleCondition> condition) {
    return conditionWithFunction([map = std::move(map), condition = std::move(condition)](const rt::Value& x) {
        return conditionMatches(condition, map(x));
    });
}

rt::Ref<IRuleCondition> RuleCondition::conditionWithKeypath(std::string keyPath, rt::Ref<IRuleCondition> condition) {
    return conditionWithMapCondition(
        [keyPath = std::move(keyPath)](const rt::Value& x) -> rt::Value {
            try {
                return rt::valueForKeyPath(x, keyPath);
            } catch (const rt::Exception&) {
                return {};  // an unknown key reads as nothing; other failures pass through
            }
        },
        std::move(condition));
}

rt::Ref<IRuleCondition> RuleCondition::conditionWithFunction(Function function) {
    return BlockRuleCondition::conditionWithFunction(std::move(function));
}

rt::Ref<IRuleCondition> RuleCondition::conditionWithTag(std::string tag) {
    return conditionWithFunction([tag = std::move(tag)](const rt::Value& x) { return objectHasTag(x, tag); });
}

rt::Ref<IRuleCondition> RuleCondition::orConditionWithCond0(rt::Ref<IRuleCondition> a, rt::Ref<IRuleCondition> b) {
    return conditionWithFunction([a = std::move(a), b = std::move(b)](const rt::Value& x) {
        return conditionMatches(a, x) || conditionMatches(b, x);
    });
}

rt::Ref<IRuleCondition> RuleCondition::andConditionWithCond0(rt::Ref<IRuleCondition> a, rt::Ref<IRuleCondition> b) {
    return conditionWithFunction([a = std::move(a), b = std::move(b)](const rt::Value& x) {
        return conditionMatches(a, x) && conditionMatches(b, x);
    });
}

rt::Ref<IRuleCondition> RuleCondition::notConditionWithCond(rt::Ref<IRuleCondition> a) {
    return conditionWithFunction([a = std::move(a)](const rt::Value& x) { return !conditionMatches(a, x); });
}

bool RuleCondition::matchesFor(const rt::Value&) const { rt::raiseMustOverride("matchesFor", *this); }

rt::Ref<IRuleCondition> RuleCondition::copy() const { rt::raiseMustOverride("copy", *this); }

bool objectHasTag(const rt::Value& candidate, const std::string& tag) {
    auto object = candidate.object();
    if (!object) return false;
    rt::Value tags = object->associatedObject("__tags");
    if (!tags.isArray()) return false;
    for (const auto& t : tags.array())
        if (t.isString() && t.string() == tag) return true;
    return false;
}

}  // namespace zid
