#include "Rules/Ruleset.h"

#include <algorithm>

#include <rt/Exception.h>

namespace zid {

namespace {
void requireRule(const rt::Ref<IRule>& rule) {
    if (!rule) throw rt::Exception(rt::Exception::InvalidArgument, "A ruleset cannot hold a nil rule");
}
bool sameRule(const rt::Ref<IRule>& a, const rt::Ref<IRule>& b) { return a == b || (a && b && a->isEqual(*b)); }
}  // namespace

void Ruleset::addRule(rt::Ref<IRule> rule) {
    requireRule(rule);
    mRules_.insert(mRules_.begin(), std::move(rule));
}

void Ruleset::addRules(const std::vector<rt::Ref<IRule>>& rules) {
    for (const auto& rule : rules) requireRule(rule);  // all or nothing
    for (const auto& rule : rules) addRule(rule);
}

void Ruleset::insertRule(rt::Ref<IRule> rule, const rt::Ref<IRule>& before) {
    requireRule(rule);
    auto at = before ? std::find_if(mRules_.begin(), mRules_.end(), [&](const auto& r) { return sameRule(r, before); })
                     : mRules_.end();
    mRules_.insert(at, std::move(rule));
}

void Ruleset::deleteRule(const rt::Ref<IRule>& rule) {
    std::erase_if(mRules_, [&](const auto& r) { return sameRule(r, rule); });
}

void Ruleset::deleteAllRules() { mRules_.clear(); }

rt::Ref<IRule> Ruleset::ruleMatchingForObject(const rt::Value& object, const rt::Value& context) const {
    for (const auto& rule : mRules_)
        if (rule && rule->matchesForObject(object, context)) return rule;
    return nullptr;
}

rt::Ref<Ruleset> Ruleset::copy() const {
    auto made = rt::cast<Ruleset>(objectClass().instantiate());
    if (!made) made = rt::make<Ruleset>();
    for (const auto& rule : mRules_) made->mRules_.push_back(rule ? rule->copy() : nullptr);
    return made;
}

std::string Ruleset::description() const {
    rt::Value::Array rules(mRules_.begin(), mRules_.end());
    return rt::Object::description() + " rules = " + rt::Value(std::move(rules)).description();
}

}  // namespace zid
