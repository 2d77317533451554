#pragma once
// A binding: a subscription of a target object to a signal. Bindings belong to their
// target (its binding dictionary), never keep it alive, and end with it.

#include <string>

#include <QXFoundation/Disposable/AutoDisposable.h>
#include <QXFoundation/Disposable/IDisposable.h>
#include <RuzEzo/Signal/FKSignal.h>

namespace zid {

class FKBinding : public rt::Object, public IDisposable {
    RT_CLASS(FKBinding, rt::Object)
public:
    explicit FKBinding(const rt::Ref<rt::Object>& target = nullptr) : target_(target) {}
    static rt::Ref<FKBinding> bindingWithTarget(const rt::Ref<rt::Object>& target);

    /// The object written to; null once it has been freed.
    rt::Ref<rt::Object> target() const { return target_.lock(); }
    const FKSignalRef& signal() const { return signal_; }
    const rt::Ref<AutoDisposable>& signalHandler() const { return signalHandler_; }

    /// Ends the current subscription and follows the new signal; a signal holding a
    /// value replays it, so the target may be written before this returns. Null
    /// unsubscribes and leaves the binding registered.
    virtual void setSignal(FKSignalRef signal);
    /// A value of the signal. The base does nothing.
    virtual void onValue(const rt::Value& value);
    /// The signal closed: unsubscribe, and leave the target's binding dictionary.
    virtual void onClose();
    /// Ends the subscription and drops the signal; the binding stays registered.
    void dispose() override;

private:
    rt::Weak<rt::Object> target_;
    FKSignalRef signal_;
    rt::Ref<AutoDisposable> signalHandler_;
};

using FKBindingRef = rt::Ref<FKBinding>;

}  // namespace zid
