#include "Factory/AbstractFactoryRule.h"

#include <rt/Exception.h>

namespace zid {

bool AbstractFactoryRule::matchesForObject(const rt::Value& object, const rt::Value& context) const {
    if (contextCondition_ && !contextCondition_->matchesFor(context)) return false;
    return conditionMatches(condition_, object);
}

rt::Value AbstractFactoryRule::objectForObject(const rt::Value&, const rt::Value&) {
    rt::raiseMustOverride("objectForObject", *this);
}

rt::Ref<IRule> AbstractFactoryRule::copy() const {
    auto made = rt::cast<AbstractFactoryRule>(objectClass().instantiate());
    if (!made) rt::raiseMustOverride("copy", *this);  // a rule class without a default constructor
    made->setCondition(condition_);
    made->setContextCondition(contextCondition_);
    return made;
}

std::string AbstractFactoryRule::description() const {
    std::string base = rt::Object::description();
    std::string condition = rt::Value(condition_).description();
    if (contextCondition_) return base + " " + condition + " if context " + rt::Value(contextCondition_).description();
    return base + " " + condition + " ";
}

}  // namespace zid
