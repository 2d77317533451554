#include <RuzEzo/Binding/FKKeypathBinding.h>

#include <rt/Format.h>

namespace zid {

rt::Ref<FKKeypathBinding> FKKeypathBinding::bindingWithTarget(const rt::Ref<rt::Object>& target, std::string keypath) {
    return rt::make<FKKeypathBinding>(target, std::move(keypath));
}

void FKKeypathBinding::onValue(const rt::Value& value) {
    auto owner = target();
    if (!owner) return;
    rt::Value current = owner->valueForKeyPath(keypath_);
    if (current.isIdentical(value) || current.isEqual(value)) return;
    // Nil written to a scalar property stores the property's zero (the typed setter's
    // reading of nil), so it never raises.
    owner->setValueForKeyPath(value, keypath_);
}

std::string FKKeypathBinding::description() const {
    return FKBinding::description() + rt::format("target = %@ keypath = %@", target(), keypath_);
}

}  // namespace zid
