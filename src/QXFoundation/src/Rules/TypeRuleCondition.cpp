#include "Rules/TypeRuleCondition.h"

#include <functional>

namespace zid {

bool TypeRuleCondition::matchesFor(const rt::Value& candidate) const {
    if (candidate.isNil()) return false;
    if (!cls_ && !protocol_) return true;
    auto object = candidate.object();
    if (!object) return false;
    if (cls_ && !object->isKindOf(*cls_)) return false;
    if (protocol_) return object->conformsTo(*protocol_);
    return true;
}

rt::Ref<IRuleCondition> TypeRuleCondition::copy() const {
    auto made = rt::cast<TypeRuleCondition>(objectClass().instantiate());
    if (!made) made = rt::make<TypeRuleCondition>();
    made->cls_ = cls_;
    made->protocol_ = protocol_;
    return made;
}

bool TypeRuleCondition::isEqual(const rt::Object& other) const {
    auto* o = dynamic_cast<const TypeRuleCondition*>(&other);
    return o && o->cls_ == cls_ && o->protocol_ == protocol_;
}

std::size_t TypeRuleCondition::hash() const {
    std::size_t h = std::hash<const void*>()(cls_);
    if (protocol_) h ^= std::hash<std::string>()(*protocol_) * 31;
    return h;
}

std::string TypeRuleCondition::description() const {
    if (cls_ && protocol_) return cls_->name() + "<" + *protocol_ + ">";
    if (cls_) return cls_->name();
    if (protocol_) return "id<" + *protocol_ + ">";
    return "ANY";
}

}  // namespace zid
