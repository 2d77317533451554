#pragma once
// A signal that takes the value of its true signal while the condition signal's value
// reads as true, and of its false signal otherwise. Once any of the three closes, it
// drops all three and closes.
//
// Truth of the condition: nil and the null placeholder are NO; a number is its own
// truth; a string is YES when it starts (after blanks, signs and zeros) with a digit
// 1-9 or with Y, y, T or t; any other value (a date, an array, an object) is YES.

#include <QXFoundation/Disposable/AutoDisposable.h>
#include <RuzEzo/Signal/FKSignal.h>

namespace zid {

class FKWhenSignal : public FKSignal {
    RT_CLASS(FKWhenSignal, FKSignal)
public:
    FKWhenSignal() = default;
    static rt::Ref<FKWhenSignal> signalWithConditionalSignal(const FKSignalRef& condition, const FKSignalRef& trueSignal,
                                                             const FKSignalRef& falseSignal);

    const FKSignalRef& conditionalSignal() const { return conditionalSignal_; }
    const FKSignalRef& trueSignal() const { return trueSignal_; }
    const FKSignalRef& falseSignal() const { return falseSignal_; }
    void setConditionalSignal(FKSignalRef signal);
    void setTrueSignal(FKSignalRef signal);
    void setFalseSignal(FKSignalRef signal);

    void resetValue();
    void onValue(const rt::Value& value);
    void onClose();
    bool repetitive() const override;

    /// The truth rule of the condition (see above).
    static bool conditionValue(const rt::Value& value);

private:
    void follow(FKSignalRef& slot, rt::Ref<AutoDisposable>& handlerSlot, FKSignalRef signal);

    FKSignalRef conditionalSignal_, trueSignal_, falseSignal_;
    rt::Ref<AutoDisposable> conditionalSignalHandler_, trueSignalHandler_, falseSignalHandler_;
};

}  // namespace zid
