#pragma once
// Descriptors of binding destinations, and the binder that assigns signals to them:
//     FKSignalBinder::sharedInstance()[FKKeypathBindingInfo::infoWithTarget(obj, "title")] = signal;
// Assigning again under a descriptor for the same target and keypath re-points the
// existing binding; reading gives the binding itself (made and registered when absent).

#include <string>

#include <RuzEzo/Binding/FKBinding.h>

namespace zid {

/// The abstract descriptor: subclasses name a binding of their target.
class FKBindingInfo : public rt::Object {
    RT_CLASS(FKBindingInfo, rt::Object)
public:
    /// Descriptors exist only as subclasses: raises "You must subclass to use FKBindingInfo".
    static rt::Ref<FKBindingInfo> bindingInfoWithTarget(const rt::Ref<rt::Object>& target);

    rt::Ref<rt::Object> target() const { return target_.lock(); }
    /// The binding the descriptor names, made when absent; null once the target is gone.
    /// Subclasses must override it.
    virtual FKBindingRef binding();
    /// Points the named binding at the signal.
    void bindWithSignal(const FKSignalRef& signal);

protected:
    explicit FKBindingInfo(const rt::Ref<rt::Object>& target) : target_(target) {}

private:
    rt::Weak<rt::Object> target_;
};

class FKKeypathBindingInfo : public FKBindingInfo {
    RT_CLASS(FKKeypathBindingInfo, FKBindingInfo)
public:
    FKKeypathBindingInfo(const rt::Ref<rt::Object>& target, std::string keypath)
        : FKBindingInfo(target), keypath_(std::move(keypath)) {}
    static rt::Ref<FKKeypathBindingInfo> infoWithTarget(const rt::Ref<rt::Object>& target, std::string keypath);

    const std::string& keypath() const { return keypath_; }
    /// The target's keypath binding for the keypath.
    FKBindingRef binding() override;

private:
    std::string keypath_;
};

using FKBindingInfoRef = rt::Ref<FKBindingInfo>;

/// The process-wide binder. It holds no state.
class FKSignalBinder : public rt::Object {
    RT_CLASS(FKSignalBinder, rt::Object)
public:
    /// The one binder of the process (made on first use, never released).
    static FKSignalBinder& sharedInstance();

    /// Sends bindWithSignal to the descriptor.
    void setObject(const FKSignalRef& signal, const FKBindingInfoRef& forKeyedSubscript);
    /// The descriptor's binding (made and registered when absent).
    FKBindingRef objectForKeyedSubscript(const FKBindingInfoRef& info);

    /// binder[info] = signal; FKBindingRef b = binder[info];
    class Subscript {
    public:
        Subscript(FKSignalBinder& binder, FKBindingInfoRef info) : binder_(binder), info_(std::move(info)) {}
        Subscript& operator=(const FKSignalRef& signal) {
            binder_.setObject(signal, info_);
            return *this;
        }
        operator FKBindingRef() const { return binder_.objectForKeyedSubscript(info_); }

    private:
        FKSignalBinder& binder_;
        FKBindingInfoRef info_;
    };
    Subscript operator[](FKBindingInfoRef info) { return Subscript(*this, std::move(info)); }
};

}  // namespace zid
