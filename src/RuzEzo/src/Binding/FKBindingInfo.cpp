#include <RuzEzo/Binding/FKBindingInfo.h>

#include <RuzEzo/Binding/FKBindingCategory.h>
#include <rt/Exception.h>

namespace zid {

rt::Ref<FKBindingInfo> FKBindingInfo::bindingInfoWithTarget(const rt::Ref<rt::Object>&) {
    rt::raiseMustSubclass("FKBindingInfo");
}

FKBindingRef FKBindingInfo::binding() { rt::raiseMustOverride("binding", *this); }

void FKBindingInfo::bindWithSignal(const FKSignalRef& signal) {
    if (auto named = binding()) named->setSignal(signal);
}

rt::Ref<FKKeypathBindingInfo> FKKeypathBindingInfo::infoWithTarget(const rt::Ref<rt::Object>& target,
                                                                   std::string keypath) {
    return rt::make<FKKeypathBindingInfo>(target, std::move(keypath));
}

FKBindingRef FKKeypathBindingInfo::binding() {
    auto owner = target();
    if (!owner) return nullptr;
    return bindingWithKeypath(*owner, keypath_);
}

FKSignalBinder& FKSignalBinder::sharedInstance() {
    // Made once, even when two threads ask first at the same time; never released.
    static const rt::Ref<FKSignalBinder>* shared = new rt::Ref<FKSignalBinder>(rt::make<FKSignalBinder>());
    return **shared;
}

void FKSignalBinder::setObject(const FKSignalRef& signal, const FKBindingInfoRef& forKeyedSubscript) {
    if (forKeyedSubscript) forKeyedSubscript->bindWithSignal(signal);
}

FKBindingRef FKSignalBinder::objectForKeyedSubscript(const FKBindingInfoRef& info) {
    return info ? info->binding() : nullptr;
}

}  // namespace zid
