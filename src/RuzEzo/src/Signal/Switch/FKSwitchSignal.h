#pragma once
// A signal that takes the value of the case signal whose key equals the condition's
// value (keys tried in order; nil when none matches). It closes when the condition or
// a case closes, and keeps following them after that until it is freed.

#include <vector>

#include <QXFoundation/Disposable/AutoDisposable.h>
#include <RuzEzo/Signal/FKSignal.h>

namespace zid {

class FKSwitchSignal : public FKSignal {
    RT_CLASS(FKSwitchSignal, FKSignal)
public:
    FKSwitchSignal() = default;
    /// cases: key -> case signal (an object value holding an FKSignal).
    static rt::Ref<FKSwitchSignal> signalWithCondition(const FKSignalRef& condition, const rt::Dictionary& cases);

    const FKSignalRef& condition() const { return condition_; }
    const rt::Dictionary& cases() const { return cases_; }
    void setCondition(FKSignalRef condition);
    void setCases(rt::Dictionary cases);

    void resetValue();
    void onValue(const rt::Value& value);
    void onClose();
    /// YES when any case signal is repetitive.
    bool repetitive() const override;

private:
    void subscribe(const FKSignalRef& source);

    FKSignalRef condition_;
    rt::Dictionary cases_;
    std::vector<rt::Ref<AutoDisposable>> handlers_;
};

}  // namespace zid
