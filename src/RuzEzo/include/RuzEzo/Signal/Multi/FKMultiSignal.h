#pragma once
// A signal whose value is the array of its sources' last values, in order, with the
// null placeholder for a source without value. It has a value from creation on and
// closes when any source closes.

#include <vector>

#include <QXFoundation/Disposable/AutoDisposable.h>
#include <RuzEzo/Signal/FKSignal.h>

namespace zid {

class FKMultiSignal : public FKSignal {
    RT_CLASS(FKMultiSignal, FKSignal)
public:
    FKMultiSignal() = default;
    static rt::Ref<FKMultiSignal> signalWithSignals(std::vector<FKSignalRef> signals);

    const std::vector<FKSignalRef>& signals() const { return signals_; }
    /// Follows the sources (each replays at once) and computes the value.
    void setSignals(std::vector<FKSignalRef> signals);
    void updateValue();
    void onValue(const rt::Value& value);
    /// Drops the sources and closes; the subscriptions stay until this signal is freed,
    /// and values arriving after the close are ignored.
    void onClose();
    /// YES when any source is repetitive.
    bool repetitive() const override;
    std::string description() const override;

private:
    std::vector<FKSignalRef> signals_;
    std::vector<rt::Ref<AutoDisposable>> handlers_;
};

}  // namespace zid
