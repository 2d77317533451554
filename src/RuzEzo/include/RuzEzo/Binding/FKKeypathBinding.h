#pragma once
// A binding that keeps one key path of its target equal to the signal's latest value,
// writing only when the value differs from what the target holds.

#include <RuzEzo/Binding/FKBinding.h>

namespace zid {

class FKKeypathBinding : public FKBinding {
    RT_CLASS(FKKeypathBinding, FKBinding)
public:
    FKKeypathBinding(const rt::Ref<rt::Object>& target = nullptr, std::string keypath = {})
        : FKBinding(target), keypath_(std::move(keypath)) {}
    static rt::Ref<FKKeypathBinding> bindingWithTarget(const rt::Ref<rt::Object>& target, std::string keypath);

    const std::string& keypath() const { return keypath_; }

    /// Writes the value unless the target's current value equals it (nil equals nil).
    /// Nil given to a scalar property writes the property's zero.
    void onValue(const rt::Value& value) override;
    std::string description() const override;

private:
    std::string keypath_;
};

}  // namespace zid
