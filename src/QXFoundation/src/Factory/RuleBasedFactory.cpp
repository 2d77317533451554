#include "Factory/RuleBasedFactory.h"

#include <rt/Exception.h>

namespace zid {

namespace {
void requireRule(const rt::Ref<IFactoryRule>& rule) {
    if (!rule) throw rt::Exception(rt::Exception::InvalidArgument, "A factory cannot hold a nil rule");
}
}  // namespace

RuleBasedFactory::RuleBasedFactory() : ruleset_(rt::make<Ruleset>()) {}

rt::Ref<IFactoryRule> RuleBasedFactory::ruleForObject(const rt::Value& object, const rt::Value& context) const {
    return rt::cast<IFactoryRule>(ruleset_->ruleMatchingForObject(object, context));
}

rt::Value RuleBasedFactory::createObjectFor(const rt::Value& object, const rt::Value& context) {
    auto rule = ruleForObject(object, context);
    return rule ? rule->objectForObject(object, context) : rt::Value();
}

void RuleBasedFactory::addRule(const rt::Ref<IFactoryRule>& rule) {
    requireRule(rule);
    rule->setFactory(selfAs<RuleBasedFactory>());
    ruleset_->addRule(rule);
}

void RuleBasedFactory::addRules(const std::vector<rt::Ref<IFactoryRule>>& rules) {
    for (const auto& rule : rules) requireRule(rule);  // all or nothing
    auto self = selfAs<RuleBasedFactory>();
    for (const auto& rule : rules) rule->setFactory(self);
    ruleset_->addRules(std::vector<rt::Ref<IRule>>(rules.begin(), rules.end()));
}

void RuleBasedFactory::insertRule(const rt::Ref<IFactoryRule>& rule, const rt::Ref<IFactoryRule>& before) {
    requireRule(rule);
    rule->setFactory(selfAs<RuleBasedFactory>());
    ruleset_->insertRule(rule, before);
}

void RuleBasedFactory::deleteRule(const rt::Ref<IFactoryRule>& rule) {
    if (!rule) return;  // nothing to remove
    rule->setFactory(nullptr);
    ruleset_->deleteRule(rule);
}

void RuleBasedFactory::deleteAllRules() {
    for (const auto& rule : ruleset_->rules())
        if (auto factoryRule = rt::cast<IFactoryRule>(rule)) factoryRule->setFactory(nullptr);
    ruleset_->deleteAllRules();
}

rt::Ref<RuleBasedFactory> RuleBasedFactory::copy() const {
    auto made = rt::cast<RuleBasedFactory>(objectClass().instantiate());
    if (!made) made = rt::make<RuleBasedFactory>();
    made->ruleset_ = ruleset_->copy();
    for (const auto& rule : made->ruleset_->rules())
        if (auto factoryRule = rt::cast<IFactoryRule>(rule)) factoryRule->setFactory(made);
    return made;
}

}  // namespace zid
