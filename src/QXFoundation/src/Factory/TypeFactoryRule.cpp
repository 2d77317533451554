#include "Factory/TypeFactoryRule.h"

namespace zid {

rt::Value TypeFactoryRule::objectForObject(const rt::Value&, const rt::Value&) {
    if (!resultClass_) return {};
    return rt::Value(resultClass_->instantiate());
}

rt::Ref<IRule> TypeFactoryRule::copy() const {
    auto made = rt::cast<TypeFactoryRule>(AbstractFactoryRule::copy());
    made->resultClass_ = resultClass_;
    return made;
}

std::string TypeFactoryRule::description() const {
    return AbstractFactoryRule::description() + " => " + (resultClass_ ? resultClass_->name() : std::string("(null)"));
}

}  // namespace zid
